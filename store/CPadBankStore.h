#pragma once
// The open card: its folder, its pad file with the one bank held in memory, the selected bank and
// number, the file numbering, and the commands that change what is on the card. One store lives for
// the whole run of the program; the main view and the information dialogs use it directly.
//
// Whatever has to reach the user (messages, the progress of a movie conversion, file copies with their
// progress and overwrite question) goes through the injected interfaces; without them the store logs
// its messages to the diagnostic log, copies quietly without overwriting and waits for conversions.

#include "base/FileHandle.h"
#include "store/CPadFile.h"
#include "store/CardConversion.h"
#include "store/IConversionProgress.h"
#include "store/IFileCopy.h"
#include "store/IUserMessages.h"
#include "store/PadRecords.h"
#include "store/PlainFileCopy.h"
#include "store/Settings.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace k72 {

class CPadBankStore {
    // The card check's repair changes any bank through the same save path as the commands.
    friend class CardCheck;

public:
    explicit CPadBankStore(IUserMessages* messages = nullptr, IFileCopy* fileCopy = nullptr,
                           IConversionProgress* progress = nullptr);
    virtual ~CPadBankStore();
    CPadBankStore(const CPadBankStore&) = delete;
    CPadBankStore& operator=(const CPadBankStore&) = delete;

    // The collaborators; nullptr restores the quiet default. They must outlive their use by the store.
    void SetUserMessages(IUserMessages* messages) { messages_ = messages; }
    void SetFileCopy(IFileCopy* fileCopy) { fileCopy_ = fileCopy; }
    void SetConversionProgress(IConversionProgress* progress) { progress_ = progress; }
    // The conversion settings an import uses (a copy; set again after the preferences change).
    void SetSettings(const Settings& settings) { settings_ = settings; }
    const Settings& GetSettings() const { return settings_; }
    // Where conversions write before the result is copied to the card; empty: the system's.
    void SetTemporaryFolder(const std::filesystem::path& folder) { temporaryFolder_ = folder; }
    // Where copies of the cards' pad files are kept. Before the first change to a card in the life of
    // this store (one run of the program), its K72_PAD.SYS is copied into that card's folder below this
    // one, where the newest 20 copies are kept (see PadFileBackup). Empty, the default: no copies. A
    // copy that cannot be made is logged and does not stop the change.
    void SetBackupFolder(const std::filesystem::path& folder) { backupFolder_ = folder; }
    const std::filesystem::path& BackupFolder() const { return backupFolder_; }
    // The folder of the open card's copies; empty without a backup folder or an open card.
    std::filesystem::path CardBackupFolder() const;
    // For tests: called with the movie converter of every movie import before its job is added (to
    // set its work folder or free-space figure). Empty, the default: nothing.
    void SetMovieConverterHook(MovieConverterHook hook) { movieConverterHook_ = std::move(hook); }

    // --- Bank and number selection ---
    // Bank 0 … 5: reads that bank from the pad file (unless it is the one already in memory).
    void SelectBank(int index);
    // Number 0 … 11; no file access, the whole bank is in memory.
    void SelectNumber(int index);
    // The kind of pad 0 … 11 of the selected number; false without a valid selection or loaded bank.
    bool GetPadKind(int pad, PadKind& kind) const;
    // Drops from the pad every file that is no longer in the card folder and saves the bank if that
    // changed anything. The audio file is left alone.
    void RefreshPad(int pad);

    bool SelectionValid() const { return selectionValid_; }
    int Bank() const { return bank_; }
    int Number() const { return number_; }
    CPadFile& PadFile() { return padFile_; }
    const CPadFile& PadFile() const { return padFile_; }

    // --- The card ---
    // Opens the card whose folder and pad file are given (see FindCardPaths). False, with no card open
    // and nothing written, when the pad file is missing, of the wrong length, not a file, read-only or
    // in use; LastOpenResult says which. Before anything else, a save that a crash cut off is put back
    // (with a message); then the leftovers of runs that ended without cleaning up are removed: partial
    // copies in the card folder and in the folder of pad-file copies, and temporary folders of this
    // program whose process is gone. An unrecorded K72_ file is never removed.
    bool Open(const std::filesystem::path& cardFolder, const std::filesystem::path& padFilePath);
    // Open with the card folder and pad file found under a card's root (the folder holding DCIM).
    bool OpenCardRoot(const std::filesystem::path& root);
    // What a card root looks like to a reader, without opening or locking anything: not found, not a
    // folder, not a card, a pad file that is not a file or has the wrong length; Ok otherwise.
    static CardOpenResult ExamineCardRoot(const std::filesystem::path& root);
    // Why the last Open failed (Ok after a successful one); CardOpenMessage gives the user's text.
    const CardOpenResult& LastOpenResult() const { return lastOpen_; }
    void Close();
    bool IsCardOpen() const { return padFile_.IsOpen(); }
    // Finds the highest file number of the card's K72_????.AVI and K72_????.JPG files.
    void RescanFileNumbers();
    // "K72_%04d.%s" with the number after lastFileNumber; only meaningful below 9999.
    std::string NextFileName(std::string_view extension) const;
    // The number a new file gets: the one after lastFileNumber, or, from 9999 on, the lowest number
    // that no file on the card and no record of the pad file uses. None when all 9999 are taken.
    std::optional<std::uint32_t> NewFileNumber() const;

    const std::filesystem::path& CardFolder() const { return cardFolder_; }
    const std::filesystem::path& PadFilePath() const { return padFilePath_; }
    std::uint32_t LastFileNumber() const { return lastFileNumber_; }

    // The path of a file a pad names, in the card folder as the file system spells it; none when the
    // name is not a plain file name (names in the pad file are untrusted) or no card is open. A missing
    // file gives the path it would have.
    std::optional<std::filesystem::path> CardFilePath(std::string_view name) const;

    // What a name in the card folder is, looked at without following a link.
    struct CardFileState {
        std::filesystem::path path; // as the file system spells it
        bool exists = false;
        bool regular = false;  // a file, not a link, folder, FIFO, device or socket
        std::string typeWords; // "a folder", "a symbolic link", ...
    };
    // None for a name that is not a plain card file name or without an open card.
    std::optional<CardFileState> InspectCardFile(std::string_view name) const;

    // Deletes the named files from the card folder unless a record of the pad file (all six banks, as
    // it is on the card) names them (except the pad `except` of the selected number, -1 for none).
    // Each file kept because a pad uses it, and each file that could not be deleted, is told to the
    // user. The number of files that could not be deleted (kept files do not count).
    int DeleteUnusedCardFiles(const std::vector<std::string>& names, int except = -1);
    // Those of the last delete (DeletePad, DeleteUnusedCardFiles) that could not be deleted.
    const std::vector<std::string>& FilesNotDeleted() const { return filesNotDeleted_; }

    // --- Commands on the selected bank and number; each saves the bank before it returns ---
    // Converts a movie (kind PadKindMovie) or picture (PadKindStill) onto the card under the next file
    // number and makes the pad hold it. A file already in the card folder is recorded where it is.
    // Failures show their message (none after a cancel) and leave pad, numbering and card unchanged.
    bool ImportFile(const std::filesystem::path& source, int pad, PadKind kind);
    // Appends a picture to a still image pad (converted, or recorded in place when on the card).
    // The new picture count, or -1.
    int AddStillImage(const std::filesystem::path& source, int pad);
    // Appends several pictures to an empty or still image pad, in the order given, as AddStillImage
    // one after another would (byte for byte the same card files, under the same numbers), but
    // converting them on a pool of workers, one per core, and writing the pad file once at the end.
    // progress (may be empty) is called on this thread with the pictures finished and the total, a
    // few times a second; returning false cancels. A cancel (no message), a picture that fails (its
    // message) or a pad with too little room leave pad, numbering and card as they were. The new
    // picture count, or -1.
    int AddStillImages(const std::vector<std::filesystem::path>& sources, int pad,
                       const std::function<bool(std::size_t done, std::size_t total)>& progress = {});
    // The position in the last AddStillImages batch of the picture that failed to convert, if one did.
    std::optional<std::size_t> LastBatchFailure() const { return lastBatchFailure_; }
    // Takes the picture at position 0 … count-1 out of the list; the file stays on the card unless
    // deleteFile is true, and then goes only when no record of the pad file names it any more.
    bool RemoveStillImage(int position, int pad, bool deleteFile = false);
    // Moves the picture at position from to position to (0 … count-1), the ones between moving up or
    // down by one, with one save.
    bool MoveStillImage(int pad, int from, int to);
    // Exchanges two pictures of the list; both positions must be 0 … count-1.
    bool SwapStillImages(int pad, int i, int j);
    // Checks a WAV file, copies it into the card folder and records its upper-case 8.3 name on the
    // movie or still image pad. name is the WAV file's own name. A file of that name that any record
    // names, other than this pad's own sound, is never replaced: refused with the pad that uses it.
    bool SetAudio(const std::filesystem::path& source, int pad, const std::string& name);
    // Clears the pad; with deleteFiles, then deletes those of its files no other pad names
    // (FilesNotDeleted tells which could not be deleted). False when there is no such pad or the pad
    // file could not be written: the pad and its files are then as they were.
    bool DeletePad(int pad, bool deleteFiles);
    // Deletes from the card the files an earlier state of a pad named (its movie, or its pictures, and
    // its sound), once the pad holds something else: the files a replaced pad no longer uses. A file
    // that a record of the pad file still names is kept (see DeleteUnusedCardFiles).
    void DeleteReplacedFiles(const PadEntry& replaced);
    bool DeleteMovieFiles(int pad);
    bool DeleteStillFiles(int pad);
    // Copies the pad's files, under their card names, into folder.
    bool ExportMovie(int pad, const std::filesystem::path& folder);
    bool ExportStillImages(int pad, const std::filesystem::path& folder);

    // The result code of the last conversion that failed in ImportFile or AddStillImage (rc::Fail for
    // a failure that had none), for a window that says more than the store's message; 0 after a
    // success. Cleared when an import starts.
    ResultCode LastConversionResult() const { return lastConversionResult_; }
    // True when the last import stopped because the user cancelled its conversion.
    bool LastConversionCancelled() const { return lastConversionCancelled_; }

    // --- File primitives ---
    static bool FileExists(const std::filesystem::path& path);
    // Deletes a file at once; a missing file is not an error. Never removes a folder.
    static void DeleteFile(const std::filesystem::path& path);
    // Copies through the copy interface; false on failure, cancel or a declined overwrite.
    bool CopyFileShell(const std::filesystem::path& destination, const std::filesystem::path& source);
    // Copies source i to destination i in one operation; the two lists must have the same length.
    bool CopyFilesShell(const std::vector<std::filesystem::path>& sources,
                        const std::vector<std::filesystem::path>& destinations);

protected:
    // Writes the bank back after a change, first copying the pad file when this is the card's first
    // change in this store's life.
    bool SaveBank();
    // Saves a change of one pad whose entry was `before`. When the bank cannot be written the pad is
    // put back as it was (and written again, should part of the bank have reached the file), the user
    // is told, and the result is false: memory never holds a change the card does not.
    bool SaveChange(int pad, const PadEntry& before);
    void BackUpPadFileOnce();
    // Deletes the files an entry names (its movie, or its pictures, and its sound) that no record other
    // than pad `except` of the selected number names.
    void DeleteFilesOf(const PadEntry& entry, int except = -1);
    void ShowMessage(const std::string& text);
    // Keeps how a conversion ended (LastConversionResult, LastConversionCancelled) and tells the user
    // why it failed; nothing for a success or a cancel. The result's Ok().
    bool ReportConversion(const ConversionResult& result);
    // The entry of the selected number and pad when a selection is valid and its bank is in memory.
    PadEntry* SelectedEntry(int pad);
    // Deletes a file a pad names when no record names it any more (see DeleteUnusedCardFiles).
    void DeleteCardFile(const NameField& name);
    // Copies a file a pad names into folder under its card name, when it is there; none when it is
    // not, else the copy's result.
    std::optional<bool> ExportCardFile(const NameField& name, const std::filesystem::path& folder);
    // A source in the card folder may be recorded in place only as a regular file; tells the user why
    // not otherwise.
    bool UsableInPlace(const std::string& name);
    // The folder of a source on the card, compared as the file system sees it.
    bool IsInCardFolder(const std::filesystem::path& source) const;
    std::filesystem::path TemporaryFolder() const;
    // The message for a temporary folder that is full, or that cannot be used (errno).
    void ShowTemporaryFolderMessage(int errorNumber);
    // The pad text "A-1-6" of a record.
    static std::string PadText(int bank, int number, int pad);
    // Removes what earlier runs left behind (see Open).
    void RemoveLeftovers();
    // Who names the file: the first record of the whole pad file (other than the sound of pad
    // `exceptSound`, or the pad `exceptPad`, of the selected number) naming it; none when none does.
    std::optional<std::string> PadUsing(std::string_view name, int exceptSound = -1,
                                        int exceptPad = -1) const;
    std::optional<std::string> PadUsing(const std::vector<CPadFile::NamedFile>& names, std::string_view name,
                                        int exceptSound, int exceptPad) const;
    IFileCopy& FileCopy() { return fileCopy_ != nullptr ? *fileCopy_ : plainCopy_; }
    bool PadInSelection(int pad) const { return selectionValid_ && pad >= 0 && pad < padlayout::kPads; }

    bool selectionValid_ = false;
    int bank_ = -1;
    int number_ = -1;
    CPadFile padFile_;
    std::filesystem::path cardFolder_;
    std::filesystem::path padFilePath_;
    FileHandle cardFolderFd_; // the card folder, opened once: its files are reached relative to it
    std::uint32_t lastFileNumber_ = 0;
    std::optional<std::size_t> lastBatchFailure_;
    CardOpenResult lastOpen_;
    std::vector<std::string> filesNotDeleted_;

    IUserMessages* messages_ = nullptr;
    IFileCopy* fileCopy_ = nullptr;
    IConversionProgress* progress_ = nullptr;
    PlainFileCopy plainCopy_;
    Settings settings_;
    std::filesystem::path temporaryFolder_;
    std::filesystem::path backupFolder_;
    std::set<std::string> backedUpCards_; // pad files copied in this store's life
    MovieConverterHook movieConverterHook_;
    ResultCode lastConversionResult_ = 0;
    bool lastConversionCancelled_ = false;
};

} // namespace k72
