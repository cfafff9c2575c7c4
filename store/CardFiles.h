#pragma once
// The files in the open card's folder: where a name a pad holds leads, what is there, which pad names
// a file, deleting files no pad uses any more, and clearing up what runs that were killed left behind.
// The folder is opened once when the card is opened; its files are reached relative to it and never
// through a link of their own. Names in the pad file are untrusted: only plain names of the folder
// are followed.

#include "base/FileHandle.h"
#include "store/CPadFile.h"
#include "store/StoreResult.h"

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

class CardFiles {
public:
    // The pad file that says which pad names which file; it must outlive this object.
    explicit CardFiles(const CPadFile& padFile) : padFile_(padFile) {}

    // Takes the card folder (opened as folderFd) for the card being opened; Close lets go of it.
    void Open(const std::filesystem::path& folder, FileHandle folderFd);
    void Close();
    bool IsOpen() const { return static_cast<bool>(folderFd_); }

    // The path of a file a pad names, in the card folder as the file system spells it; none when the
    // name is not a plain file name or no card is open. A missing file gives the path it would have.
    std::optional<std::filesystem::path> PathOf(std::string_view name) const;

    // What a name in the card folder is, looked at without following a link.
    struct State {
        std::filesystem::path path; // as the file system spells it
        bool exists = false;
        bool regular = false;  // a file, not a link, folder, FIFO, device or socket
        std::string typeWords; // "a folder", "a symbolic link", ...
    };
    // None for a name that is not a plain card file name or without an open card.
    std::optional<State> Inspect(std::string_view name) const;

    // The names of the card folder, read once for an operation on many names: a name that is not
    // there is then not looked for in a folder of 100,000 files again and again.
    class Listing {
    public:
        void Add(const std::string& name);
        // The entry name stands for: itself when it is there, else the smallest name equal to it
        // without regard to letter case; none when there is no such entry.
        std::optional<std::string> Find(std::string_view name) const;

    private:
        std::set<std::string> names_;
        std::map<std::string, std::string> byUpperCase_;
    };
    Listing List() const;
    std::optional<State> Inspect(std::string_view name, const Listing& listing) const;
    // True for a name of a regular file in the card folder.
    bool IsFile(std::string_view name) const;

    // The pad ("A-1-6") of the first record of the whole pad file (as it is on the card) that names
    // the file, leaving out the pad `exceptPad` and the sound of the pad `exceptSound`; none when no
    // record does. "?" when the pad file cannot be read: the file then counts as used.
    std::optional<std::string> UsedBy(std::string_view name, const PadLocation& exceptPad = {},
                                      const PadLocation& exceptSound = {}) const;

    // Deletes the named files from the card folder unless a record of the pad file names them (other
    // than the pad `except`). The result lists the files kept because a pad uses them and those that
    // could not be deleted (then Incomplete), with one text saying so; the files deleted are in its
    // change.
    // A remover given takes each file out instead of unlinking it (the undo history's trash keeps it): it
    // gets the name as the card folder spells it and answers false, with errno set, when it could not.
    using Remover = std::function<bool(const std::string& name)>;
    StoreResult DeleteUnused(const std::vector<std::string>& names, const PadLocation& except = {},
                             const Remover& remover = {}) const;
    // Deletes a file this program has just put onto the card and that nothing records (a copy whose
    // record could not be saved). A missing file is not an error.
    void Remove(const std::string& name) const;

    // Moves the named files of the card folder into its subfolder `subfolder` (made when missing, any
    // spelling of its name taken), each under its own name or with "-2", "-3" … before the extension
    // when that is taken there; a file there is never replaced. The subfolder is opened without
    // following a link: a link of that name, which could lead anywhere outside the card, is refused and
    // nothing is moved. Files are moved relative to the two opened folders, never through a path. The
    // names that could not be moved are in notDeleted, with a line each (Incomplete); the names moved
    // in the change's removed.
    StoreResult MoveIntoSubfolder(const std::vector<std::string>& names, std::string_view subfolder) const;

    // Removes the partial copies that killed runs left in the card folder.
    void RemoveStaleCopies() const;

    // True when something is at path (the pad file's check and the tests).
    static bool Exists(const std::filesystem::path& path);

private:
    const CPadFile& padFile_;
    std::filesystem::path folder_;
    FileHandle folderFd_;
};

} // namespace k72
