// audio, delete and export: the commands on a pad's files that convert nothing.
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/TemporaryFolder.h"
#include "engine/CConversionManager.h"
#include "store/CardLayout.h"
#include "store/ShortName.h"
#include "store/StoreMessages.h"

#include <optional>
#include <vector>

namespace k72::cli {
namespace {

// Where the store copies a sound of this name when the name itself is kept on the card: on a FAT card
// under its own name, elsewhere under its upper-case 8.3 form when it has one. A name that needs a
// numeric tail gets a free one, so it meets no existing file.
std::optional<std::filesystem::path> SoundDestination(const std::filesystem::path& cardFolder,
                                                      const std::string& name) {
    if (FolderKeepsShortNames(cardFolder)) {
        return FindEntryNoCase(cardFolder, name).value_or(cardFolder / name);
    }
    if (const auto exact = ExactShortName(name)) {
        return FindEntryNoCase(cardFolder, *exact).value_or(cardFolder / *exact);
    }
    return std::nullopt;
}

// The files an export copies: those of the pad that are on the card, with their destinations.
std::vector<FileCopyItem> ExportItems(CardSession& session, const PadEntry& entry,
                                      const std::filesystem::path& folder) {
    std::vector<NameField> names;
    if (entry.Kind() == PadKindMovie && entry.movie) {
        names.push_back(entry.movie->fileName);
        names.push_back(entry.movie->audioFileName);
    } else if (entry.Kind() == PadKindStill && entry.stills) {
        for (std::size_t i = 0; i < entry.stills->UsableCount(); ++i) {
            names.push_back(entry.stills->stillNames[i]);
        }
        names.push_back(entry.stills->audioFileName);
    }
    std::vector<FileCopyItem> items;
    for (const NameField& name : names) {
        const std::string text = NameText(name);
        const auto state = text.empty() ? std::nullopt : session.Store().InspectCardFile(text);
        if (state && state->exists && state->regular) {
            items.push_back(FileCopyItem{state->path, folder / text, true});
        }
    }
    return items;
}

} // namespace

int RunAudio(const AudioOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    const PadAddress address = PadOf(options.pad);
    if (!CheckInputFile(messages, options.wav)) {
        return kExitFailed;
    }
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (session.KindOf(address) == PadKindEmpty) {
        messages.Error(address.Text() + " is empty; a sound goes onto a movie or still image pad");
        return kExitFailed;
    }
    std::filesystem::path wav = options.wav;
    std::string name = wav.filename().string();
    std::optional<TemporaryFolder> workspace;
    const ResultCode check = CConversionManager::CheckPcmFile(wav.string());
    if (Failed(check)) {
        if (!options.convert) {
            messages.ShowMessage(messages::kLoadFailed);
            PrintResultCode(messages, check);
            messages.Error("the device plays only WAV files of PCM, 2 channels, 44100 Hz, 16 bits; --convert "
                           "converts this sound into that form");
            return kExitFailed;
        }
        // Converted into a private folder under its 8.3 name; that file is what the card receives.
        workspace.emplace();
        if (!workspace->Ok()) {
            messages.ShowMessage(messages::TemporaryDiskFull(workspace->Parent().string()));
            return kExitFailed;
        }
        name = ConvertedSoundName(wav);
        const std::filesystem::path converted = workspace->Path() / name;
        const ResultCode result = CConversionManager::ConvertSound(wav.string(), converted.string());
        if (Failed(result)) {
            messages.ShowMessage(messages::kLoadFailed);
            messages.Error(wav.string() + ": the sound cannot be decoded");
            PrintResultCode(messages, result);
            return kExitFailed;
        }
        wav = converted;
    }
    session.FileCopy().SetOverwrite(options.overwrite);
    // Refused before the store runs: it would keep a different file of that name and name it on the pad.
    if (!options.overwrite) {
        const auto destination = SoundDestination(session.Store().CardFolder(), name);
        if (destination && TerminalFileCopy::WouldReplace(wav, *destination)) {
            session.FileCopy().ReportExisting(*destination);
            return kExitFailed;
        }
    }
    const int before = messages.Count();
    if (!session.Store().SetAudio(wav, address.pad, name)) {
        if (messages.Count() == before) {
            messages.Error("the sound " + wav.string() + " could not be attached to " + address.Text());
        }
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    return kExitSuccess;
}

int RunDelete(const DeleteOptions& options) {
    CardSession session;
    const PadAddress address = PadOf(options.pad);
    if (!session.Open(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    if (session.KindOf(address) == PadKindEmpty) {
        // As in the desktop program: an empty pad is left as it is, its record untouched.
        output::Line(address.Text() + "  empty (nothing to delete)");
        return kExitSuccess;
    }
    session.Store().DeletePad(address.pad, options.deleteFiles);
    session.Store().RescanFileNumbers();
    // The store does not say whether the pad file was written; reading the bank back does.
    if (!session.Store().PadFile().LoadBank(address.bank) || session.KindOf(address) != PadKindEmpty) {
        session.Messages().Error("the pad file could not be written; " + address.Text() + " is unchanged");
        return kExitFailed;
    }
    output::Pad(address, session.Entry(address));
    // The store has named each file it could not delete; the pad is empty all the same.
    const std::size_t notDeleted = session.Store().FilesNotDeleted().size();
    if (notDeleted > 0) {
        session.Messages().Error(std::to_string(notDeleted) + (notDeleted == 1 ? " file" : " files") +
                                 " of " + address.Text() + " could not be deleted");
        return kExitFailed;
    }
    return kExitSuccess;
}

int RunExport(const ExportOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    const PadAddress address = PadOf(options.pad);
    const std::filesystem::path folder = options.folder;
    std::error_code ec;
    if (!std::filesystem::is_directory(folder, ec)) {
        messages.Error(folder.string() + " is not a folder");
        return kExitFailed;
    }
    // Export only reads the card: it works on a card the desktop program holds or one mounted read-only.
    if (!session.OpenForReading(options.card) || !session.Select(address)) {
        return kExitFailed;
    }
    const PadEntry* entry = session.Entry(address);
    const PadKind kind = entry != nullptr ? entry->Kind() : PadKindEmpty;
    if (kind == PadKindEmpty) {
        messages.Error(address.Text() + " is empty; there is nothing to export");
        return kExitFailed;
    }
    const std::vector<FileCopyItem> items = ExportItems(session, *entry, folder);
    // Every existing file is named before anything is copied, so that a refused export copies nothing.
    if (!options.overwrite) {
        bool refused = false;
        for (const FileCopyItem& item : items) {
            if (TerminalFileCopy::WouldReplace(item.source, item.destination)) {
                session.FileCopy().ReportExisting(item.destination);
                refused = true;
            }
        }
        if (refused) {
            return kExitFailed;
        }
    }
    session.FileCopy().SetOverwrite(options.overwrite);
    const int before = messages.Count();
    const bool ok = kind == PadKindMovie ? session.Store().ExportMovie(address.pad, folder)
                                         : session.Store().ExportStillImages(address.pad, folder);
    if (!ok) {
        if (messages.Count() == before) {
            messages.Error("the export of " + address.Text() + " failed");
        }
        return kExitFailed;
    }
    output::Line(address.Text() + "  exported " + std::to_string(items.size()) +
                 (items.size() == 1 ? " file to " : " files to ") + folder.string());
    return kExitSuccess;
}

} // namespace k72::cli
