#include "cli/CommandSupport.h"

#include "cli/CommandOutput.h"
#include "cli/TerminalMessages.h"
#include "engine/ResultCodeText.h"
#include "store/PrintableText.h"
#include "store/SourceRecord.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace k72::cli {

PadAddress PadOf(const std::string& text) {
    return PadAddress::Parse(text).value_or(PadAddress{});
}

bool CheckInputFile(TerminalMessages& messages, const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        messages.Error(file.string() + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        messages.Error(file.string() + " is not a file");
        return false;
    }
    return true;
}

std::string DescribePad(const PadAddress& address, const PadEntry* entry,
                        const std::map<std::string, std::string>& originals) {
    const auto named = [&originals](const NameField& field) {
        const std::string name = NameText(field);
        const auto original = originals.find(CardNameKey(name));
        return PrintableName(name) +
               (original != originals.end() ? " (" + PrintableName(original->second) + ")" : "");
    };
    std::string line = address.Text();
    const PadKind kind = entry != nullptr ? entry->Kind() : PadKindEmpty;
    const NameField* audio = nullptr;
    if (kind == PadKindMovie && entry->movie) {
        line += "  movie  " + named(entry->movie->fileName) + "  " +
                std::to_string(entry->movie->frameCount) + " frames";
        audio = &entry->movie->audioFileName;
    } else if (kind == PadKindStill && entry->stills) {
        const std::size_t count = entry->stills->UsableCount();
        line += "  still  " + std::to_string(count) + (count == 1 ? " picture:" : " pictures:");
        for (std::size_t i = 0; i < count; ++i) {
            line += " " + named(entry->stills->stillNames[i]);
        }
        audio = &entry->stills->audioFileName;
    } else {
        line += "  empty";
    }
    if (audio != nullptr && !IsEmptyName(*audio)) {
        line += "  audio " + PrintableName(NameText(*audio));
    }
    return line;
}

void PrintResultCode(TerminalMessages& messages, ResultCode code) {
    output::NoteCode(code);
    messages.Raw(ResultCodeText(code));
}

std::filesystem::path OutputPath(const std::filesystem::path& source,
                                 const std::filesystem::path& destination, const std::string& extension) {
    std::error_code ec;
    if (std::filesystem::is_directory(destination, ec)) {
        return destination / (source.stem().string() + "." + extension);
    }
    return destination;
}

std::string CardText(const std::string& card) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(card, ec);
    if (ec) {
        return card;
    }
    path = path.lexically_normal();
    if (path.filename().empty() && path.has_parent_path() && path != path.root_path()) {
        path = path.parent_path();
    }
    return path.string();
}

void PrintLine(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace k72::cli
