#pragma once
// How the store tells the user something. The desktop program shows an information message box with
// the caption "K-72 Image Converter"; the terminal tool prints the text; tests record it.

#include <string>

namespace k72 {

class IUserMessages {
public:
    virtual ~IUserMessages() = default;
    // Shows one message and returns once the user has seen it (the window's OK).
    virtual void ShowMessage(const std::string& text) = 0;
};

} // namespace k72
