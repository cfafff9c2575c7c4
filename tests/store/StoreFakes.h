#pragma once
// Recording stand-ins for the windows the store reaches the user through.

#include "store/IFileCopy.h"
#include "store/IUserMessages.h"
#include "store/PlainFileCopy.h"

#include <string>
#include <vector>

namespace k72test {

class RecordingMessages : public k72::IUserMessages {
public:
    void ShowMessage(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Records every copy operation; copies for real (without overwriting) unless told to fail or to only
// pretend.
class RecordingCopy : public k72::IFileCopy {
public:
    bool Copy(const std::vector<k72::FileCopyItem>& items) override {
        calls.push_back(items);
        if (fail) {
            return false;
        }
        return pretend || k72::PlainFileCopy(false).Copy(items);
    }
    std::vector<std::vector<k72::FileCopyItem>> calls;
    bool fail = false;
    bool pretend = false;
};

} // namespace k72test
