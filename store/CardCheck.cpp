#include "store/CardCheck.h"

#include "store/CPadBankStore.h"
#include "store/CardHistory.h"
#include "store/CardLayout.h"
#include "store/DeviceForm.h"
#include "store/PadFileBackup.h"
#include "store/PadFileSnapshot.h"
#include "store/PrintableText.h"
#include "store/ShortName.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <stdio.h>
#include <sys/stat.h>
#include <tuple>

namespace k72 {
namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string PadName(int bank, int number, int pad) {
    return std::string(1, static_cast<char>('A' + bank)) + "-" + std::to_string(number + 1) + "-" +
           std::to_string(pad + 1);
}

// A sound file of the card folder, by its extension in any case.
bool IsSoundName(const std::string& name) {
    return name.size() > 4 && Upper(name.substr(name.size() - 4)) == ".WAV";
}

class Checker {
public:
    // files: the card folder's files by upper-case name, FAT short names too; shortNames: the upper-case
    // short name of each sound file whose own name is a long one.
    Checker(CardCheckReport& report, const std::map<std::string, std::string>& files,
            const std::map<std::string, std::string>& shortNames)
        : report_(report), files_(files), shortNames_(shortNames) {}

    // One name a record holds: the picture or movie (sound false) or the sound of a pad.
    void Name(int bank, int number, int pad, const NameField& field, bool sound) {
        const std::string name = NameText(field);
        const std::string where = PadName(bank, number, pad) + ": ";
        if (name.empty()) {
            Add(CardProblemKind::UnusableName, bank, number, pad, name,
                where + "the record names no " + (sound ? "sound" : "file"), false);
            return;
        }
        if (!IsPlainCardName(name)) {
            Add(CardProblemKind::UnusableName, bank, number, pad, name,
                where + "'" + PrintableName(name) + "' is not a file name of the card folder", false);
            return;
        }
        if (!IsDeviceName(name)) {
            Add(CardProblemKind::UnusableName, bank, number, pad, name,
                where + PrintableName(name) + " is not an upper-case 8.3 name, which the device needs",
                false);
        }
        if (files_.count(Upper(name)) == 0) {
            Add(sound ? CardProblemKind::MissingSound : CardProblemKind::MissingFile, bank, number, pad, name,
                where + (sound ? "the sound " : "") + PrintableName(name) + " is not on the card", true);
        } else {
            named_.insert(Upper(name));
        }
    }

    void Count(int bank, int number, int pad, std::uint32_t count) {
        if (count == 0 || count > padlayout::kMaxStills) {
            Add(CardProblemKind::StillCount, bank, number, pad, {},
                PadName(bank, number, pad) + ": the still image count is " + std::to_string(count) +
                    ", not 1 ... 100",
                false);
        }
    }

    // The files of the card's numbering and the sound files that no record names.
    void Unused() {
        for (const auto& [upper, actual] : files_) {
            if (upper != Upper(actual)) {
                continue; // the short name of a file listed under its long one
            }
            const bool sound = IsSoundName(actual);
            if (!sound && !WildcardMatchNoCase(cardlayout::kMoviePattern, actual) &&
                !WildcardMatchNoCase(cardlayout::kStillPattern, actual)) {
                continue;
            }
            const auto shortName = shortNames_.find(actual);
            if (named_.count(upper) != 0 ||
                (shortName != shortNames_.end() && named_.count(shortName->second) != 0)) {
                continue;
            }
            Add(CardProblemKind::UnusedFile, -1, -1, -1, actual,
                (sound ? "the sound " : "") + PrintableName(actual) + " is named by no pad", true);
        }
    }

private:
    void Add(CardProblemKind kind, int bank, int number, int pad, const std::string& name,
             const std::string& text, bool repairable) {
        report_.problems.push_back(CardProblem{kind, bank, number, pad, name, text, repairable});
    }

    CardCheckReport& report_;
    const std::map<std::string, std::string>& files_;
    const std::map<std::string, std::string>& shortNames_;
    std::set<std::string> named_;
};

bool SameProblem(const CardProblem& a, const CardProblem& b) {
    return std::tie(a.kind, a.bank, a.number, a.pad, a.name) ==
           std::tie(b.kind, b.bank, b.number, b.pad, b.name);
}

bool Listed(const CardCheckReport& report, const CardProblem& problem) {
    for (const CardProblem& listed : report.problems) {
        if (listed.repairable && SameProblem(listed, problem)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string CardProblem::PadText() const {
    return bank < 0 ? std::string() : PadName(bank, number, pad);
}

std::size_t CardCheckReport::Repairable() const {
    std::size_t count = 0;
    for (const CardProblem& problem : problems) {
        count += problem.repairable ? 1 : 0;
    }
    return count;
}

const char* CardProblemKindName(CardProblemKind kind) {
    switch (kind) {
    case CardProblemKind::PadFileSize:
        return "pad-file-size";
    case CardProblemKind::MissingFile:
        return "missing-file";
    case CardProblemKind::UnusedFile:
        return "unused-file";
    case CardProblemKind::UnusableName:
        return "unusable-name";
    case CardProblemKind::StillCount:
        return "still-count";
    case CardProblemKind::MissingSound:
        return "missing-sound";
    }
    return "unknown";
}

namespace {

// The card folder's files by their upper-case names, and the short names FAT gave sounds kept under long
// ones.
std::pair<std::map<std::string, std::string>, std::map<std::string, std::string>>
ListCardFolder(const std::filesystem::path& folder) {
    // The card folder's files by their upper-case names: FAT compares names without regard to case.
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            const std::string name = it->path().filename().string();
            files.emplace(Upper(name), name);
        }
    }
    // On the card itself a sound keeps the long name it was copied under, and the pad names the short
    // one FAT gave it: both stand for the file.
    std::map<std::string, std::string> shortNames;
    if (FolderKeepsShortNames(folder)) {
        for (const auto& [upper, name] : files) {
            if (IsSoundName(name) && !ExactShortName(name)) {
                if (const auto fatName = ReadFatShortName(folder, name)) {
                    shortNames.emplace(name, Upper(*fatName));
                }
            }
        }
        for (const auto& [name, fatName] : shortNames) {
            files.emplace(fatName, name);
        }
    }
    return {std::move(files), std::move(shortNames)};
}

} // namespace

StoreOutcome<CardCheckReport> CardCheck::Run(const std::filesystem::path& root) {
    StoreOutcome<CardCheckReport> result;
    CardCheckReport& report = result.value;
    const CardPaths paths = FindCardPaths(root);
    report.cardFolder = paths.cardFolder;

    // A folder that is no card at all cannot be checked; a card whose pad file is wrong is a finding.
    struct stat info {};
    CardOpenResult noCard;
    noCard.root = root;
    if (::stat(root.empty() ? "." : root.c_str(), &info) != 0) {
        noCard.failure = CardOpenFailure::NotFound;
        noCard.errorNumber = errno;
    } else if (!S_ISDIR(info.st_mode)) {
        noCard.failure = CardOpenFailure::NotAFolder;
    } else if (::lstat(paths.padFilePath.c_str(), &info) != 0) {
        noCard.failure = CardOpenFailure::NotACard;
    }
    if (!noCard) {
        // A folder without a pad file is still reported on, as a card whose pad file is missing.
        static_cast<StoreResult&>(result) = StoreFailed(StoreFailure::NoCard, CardOpenMessage(noCard));
        if (noCard.failure != CardOpenFailure::NotACard) {
            return result;
        }
    }

    PadFileSnapshot snapshot;
    if (const StoreResult read = snapshot.Read(paths.padFilePath); !read) {
        CardProblem problem;
        problem.kind = CardProblemKind::PadFileSize;
        problem.name = std::string(cardlayout::kPadFileName);
        problem.text = snapshot.WrongLength() >= 0
                           ? "the pad file has " + std::to_string(snapshot.WrongLength()) + " bytes, not " +
                                 std::to_string(padlayout::kFileSize)
                           : read.text;
        report.problems.push_back(std::move(problem));
        return result;
    }

    const auto [files, shortNames] = ListCardFolder(paths.cardFolder);

    Checker checker(report, files, shortNames);
    for (int bank = 0; bank < padlayout::kBanks; ++bank) {
        const std::vector<PadEntry> entries = snapshot.Bank(bank);
        for (int number = 0; number < padlayout::kNumbers; ++number) {
            for (int pad = 0; pad < padlayout::kPads; ++pad) {
                const PadEntry& entry = entries[static_cast<std::size_t>(number * padlayout::kPads + pad)];
                if (entry.Kind() == PadKindMovie && entry.movie) {
                    checker.Name(bank, number, pad, entry.movie->fileName, false);
                    if (!IsEmptyName(entry.movie->audioFileName)) {
                        checker.Name(bank, number, pad, entry.movie->audioFileName, true);
                    }
                } else if (entry.Kind() == PadKindStill && entry.stills) {
                    checker.Count(bank, number, pad, entry.stills->stillCount);
                    for (std::size_t i = 0; i < entry.stills->UsableCount(); ++i) {
                        checker.Name(bank, number, pad, entry.stills->stillNames[i], false);
                    }
                    if (!IsEmptyName(entry.stills->audioFileName)) {
                        checker.Name(bank, number, pad, entry.stills->audioFileName, true);
                    }
                }
            }
        }
    }
    checker.Unused();
    return result;
}

namespace {

// What a record keeps once the names of missing files are taken out of it; an empty pad when nothing
// of its movie or pictures is left.
PadEntry WithoutMissing(const PadEntry& entry, const std::vector<const CardProblem*>& problems) {
    std::set<std::string> missing;
    bool soundMissing = false;
    for (const CardProblem* problem : problems) {
        if (problem->kind == CardProblemKind::MissingSound) {
            soundMissing = true;
        } else {
            missing.insert(problem->name);
        }
    }
    PadEntry after = entry;
    if (after.Kind() == PadKindMovie && after.movie) {
        if (missing.count(NameText(after.movie->fileName)) != 0) {
            return PadEntry{};
        }
        if (soundMissing) {
            after.movie->audioFileName = NameField{};
        }
    } else if (after.Kind() == PadKindStill && after.stills) {
        StillRecord& stills = *after.stills;
        std::vector<NameField> kept;
        for (std::size_t i = 0; i < stills.UsableCount(); ++i) {
            if (missing.count(NameText(stills.stillNames[i])) == 0) {
                kept.push_back(stills.stillNames[i]);
            }
        }
        if (kept.empty()) {
            return PadEntry{};
        }
        if (kept.size() != stills.UsableCount()) {
            for (std::size_t i = 0; i < padlayout::kMaxStills; ++i) {
                stills.stillNames[i] = i < kept.size() ? kept[i] : NameField{};
            }
            stills.stillCount = static_cast<std::uint32_t>(kept.size());
        }
        if (soundMissing) {
            stills.audioFileName = NameField{};
        }
    }
    return after;
}

} // namespace

StoreResult CardCheck::Repair(CPadBankStore& store, const CardCheckReport& report) {
    if (report.Repairable() == 0) {
        return {};
    }
    std::error_code ec;
    if (!store.IsCardOpen() || store.IsReadOnly() ||
        !std::filesystem::equivalent(store.CardFolder(), report.cardFolder, ec)) {
        return StoreFailed(StoreFailure::NoCard, "the card is not open for changes");
    }
    // What is true now, with the card locked; only what was listed and still holds is repaired.
    const auto now = Run(PadFileBackup::CardRoot(store.CardFolder()));
    std::map<std::tuple<int, int, int>, std::vector<const CardProblem*>> records;
    std::vector<const CardProblem*> unused;
    for (const CardProblem& problem : now.value.problems) {
        if (!problem.repairable || !Listed(report, problem)) {
            continue;
        }
        if (problem.kind == CardProblemKind::UnusedFile) {
            unused.push_back(&problem);
        } else {
            records[{problem.bank, problem.number, problem.pad}].push_back(&problem);
        }
    }
    // A repaired card starts a new undo history; the files kept for undoing are moved aside with the
    // unused ones, never deleted.
    CardHistory(store).Forget(kUnusedFolder);
    if (records.empty() && unused.empty()) {
        return {};
    }
    store.BackUpPadFileOnce();

    StoreResult result;
    const auto failed = [&result](const std::string& line) {
        AddLine(result.text, line);
        result.failure = StoreFailure::Incomplete;
    };
    for (const auto& [where, problems] : records) {
        const PadLocation pad{std::get<0>(where), std::get<1>(where), std::get<2>(where)};
        const auto entry = store.EntryAt(pad);
        if (!entry) {
            failed("bank " + std::string(1, static_cast<char>('A' + pad.bank)) + " cannot be read");
            continue;
        }
        if (!store.WritePad(pad, WithoutMissing(*entry, problems))) {
            failed(pad.Text() + " could not be written to the pad file");
        }
    }

    if (!unused.empty()) {
        std::vector<std::string> names;
        for (const CardProblem* problem : unused) {
            names.push_back(problem->name);
        }
        Merge(result, store.Files().MoveIntoSubfolder(names, kUnusedFolder));
    }
    return result;
}

} // namespace k72
