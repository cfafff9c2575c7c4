#pragma once
// How the store copies files to and from the card. The desktop program shows a progress dialog with
// Cancel and asks before it overwrites an existing file; the terminal tool shows a progress bar and
// overwrites only when told to; tests use PlainFileCopy or a recording fake.

#include <filesystem>
#include <vector>

namespace k72 {

struct FileCopyItem {
    std::filesystem::path source;
    std::filesystem::path destination;
    // A source in the card folder: it is opened without following a link (a link there may lead out
    // of the card), and only when it is a regular file.
    bool sourceOnCard = false;
};

class IFileCopy {
public:
    virtual ~IFileCopy() = default;
    // Copies every item, file i of the sources to path i of the destinations, as one operation.
    // True exactly when all were copied; a failure, a cancel or a declined overwrite gives false.
    // A destination that was being written when the copy failed is not left behind half-written.
    virtual bool Copy(const std::vector<FileCopyItem>& items) = 0;
    // Asked before a copy whose destination exists and holds other bytes than source: false refuses
    // it (and says why), and then nothing of the operation is copied. The desktop program asks during
    // the copy itself, so this one lets every copy go on.
    virtual bool MayReplace(const std::filesystem::path& source, const std::filesystem::path& destination) {
        static_cast<void>(source);
        static_cast<void>(destination);
        return true;
    }
};

} // namespace k72
