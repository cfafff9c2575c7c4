#include "store/CardOpenResult.h"

#include "store/PadRecords.h"

#include <cstring>
#include <sys/stat.h>

namespace k72 {
namespace {

// 1178496 as "1,178,496".
std::string Grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
        digits.insert(static_cast<std::size_t>(at), ",");
    }
    return digits;
}

std::string Where(const CardOpenResult& result) {
    return result.root.empty() ? std::string("The selected drive") : result.root.string();
}

} // namespace

std::string FileTypeWords(unsigned int mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return "a file";
    case S_IFDIR:
        return "a folder";
    case S_IFLNK:
        return "a symbolic link";
    case S_IFIFO:
        return "a FIFO";
    case S_IFSOCK:
        return "a socket";
    case S_IFCHR:
    case S_IFBLK:
        return "a device";
    default:
        return "not a file";
    }
}

std::string CardOpenMessage(const CardOpenResult& result) {
    const std::string reason = result.errorNumber != 0 ? std::strerror(result.errorNumber) : "unknown error";
    switch (result.failure) {
    case CardOpenFailure::None:
        return {};
    case CardOpenFailure::NotFound:
        return Where(result) + ": " + reason + ".\nChoose the drive or folder of the K-72's SD card.";
    case CardOpenFailure::NotAFolder:
        return Where(result) + " is not a folder.\nChoose the card's root folder (the one that holds DCIM).";
    case CardOpenFailure::NotACard:
        return Where(result) +
               " is not a K-72 card: it has no DCIM/000KAVLO/K72_PAD.SYS.\nChoose the drive of the "
               "K-72's SD card.";
    case CardOpenFailure::NotARegularFile:
        return "The card's pad file " + result.padFile.string() + " is " + result.fileType +
               ", not a file; it is not used.\nReplace it with the pad file the device made.";
    case CardOpenFailure::WrongLength:
        return Where(result) + " is not a K-72 card: its K72_PAD.SYS has " + Grouped(result.sizeFound) +
               " bytes, not " + Grouped(padlayout::kFileSize) +
               ".\nChoose the drive of the K-72's SD card, or let the device make its pad file again.";
    case CardOpenFailure::Locked:
        return "The card " + Where(result) +
               " is in use by another program (k72-card, or another window of the K-72 Image Converter "
               "has it open).\nClose it there first.";
    case CardOpenFailure::Busy:
        return "The card " + Where(result) +
               " was being read by other programs all the time this one waited for it.\nTry again in a "
               "moment.";
    case CardOpenFailure::ReadOnly:
        return "The card's pad file " + result.padFile.string() + " cannot be written: " + reason +
               ".\nCheck that the card is not write-protected.";
    case CardOpenFailure::IoError:
        return "The card's pad file " + result.padFile.string() + " cannot be read: " + reason +
               ".\nCheck that the card is inserted and working.";
    }
    return {};
}

} // namespace k72
