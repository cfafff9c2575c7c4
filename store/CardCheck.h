#pragma once
// The check of a whole card: what on it the device would trip over, or what only takes up room.
//
// Looked at: the pad file's length; every record of every bank, for names the device cannot use,
// names of files that are not in the card folder, still image counts outside 1 … 100 and sounds that
// are missing; and the files of the card's numbering (K72_nnnn.AVI, K72_nnnn.JPG) and the sound files
// (*.WAV) that no record names. The check itself reads a consistent copy of the pad file without its lock and
// changes nothing. The repair works through an open store, whose save path first copies the pad file: it
// clears what records name files that are gone, and moves unused files into DCIM/000KAVLO/UNUSED/,
// never deleting anything.

#include "store/PadRecords.h"
#include "store/StoreResult.h"

#include <filesystem>
#include <string>
#include <vector>

namespace k72 {

class CPadBankStore;

enum class CardProblemKind {
    PadFileSize,  // the pad file is missing, unreadable or of the wrong length; nothing more is checked
    MissingFile,  // a record names a movie or picture that is not in the card folder
    UnusedFile,   // a file of the card's numbering, or a sound file, that no record names
    UnusableName, // a name the device cannot use (not an upper-case 8.3 name of the card folder)
    StillCount,   // a still image pad's count is 0 or above 100
    MissingSound, // a pad names a sound that is not in the card folder
};

struct CardProblem {
    CardProblemKind kind = CardProblemKind::PadFileSize;
    int bank = -1; // the pad, when the problem is one of a record; -1 otherwise
    int number = -1;
    int pad = -1;
    std::string name;        // the file name concerned, when there is one
    std::string text;        // one line in words, e.g. "A-1-1: K72_0003.JPG is not on the card"
    bool repairable = false; // what --repair changes: a record naming a missing file, an unused file

    // "A-1-1", or empty when the problem is not one of a pad.
    std::string PadText() const;
};

struct CardCheckReport {
    std::filesystem::path cardFolder;
    std::vector<CardProblem> problems;
    bool Sound() const { return problems.empty(); }
    std::size_t Repairable() const;
};

// Short words for a kind, as scripts read them: "pad-file-size", "missing-file", "unused-file",
// "unusable-name", "still-count", "missing-sound".
const char* CardProblemKindName(CardProblemKind kind);

class CardCheck {
public:
    static constexpr const char* kUnusedFolder = "UNUSED";

    // Checks the card whose root (the folder holding DCIM) is given. Changes nothing; needs no lock.
    // A root that is not there, not a folder, or holds no pad file is no card to check (NoCard, with
    // the text; the report then says what is missing); a pad file that cannot be read or has the wrong
    // length is the report's one finding.
    static StoreOutcome<CardCheckReport> Run(const std::filesystem::path& root);

    // Repairs what the report lists as repairable, on the card that store has open (the same card):
    // records naming missing files lose those names (a movie pad whose movie is gone, or a still image
    // pad left without pictures, becomes empty; a missing sound is no longer named), and unused files
    // move into the UNUSED folder of the card folder (a name taken there gets "-2", "-3" … before the
    // extension). The pad file is copied first, as before any change. The card's undo history starts
    // again, and the files it kept for undoing go into UNUSED as well. The store's selection stays as it
    // was. Incomplete, with a line for each, when anything listed could not be repaired.
    static StoreResult Repair(CPadBankStore& store, const CardCheckReport& report);
};

} // namespace k72
