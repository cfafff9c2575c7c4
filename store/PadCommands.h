#pragma once
// What the user does to the pads of the open card, one operation per intent, the same for the desktop
// program and k72-card: import onto a pad, take a picture out or move it, attach a sound, delete a pad,
// export its files. Each checks what the faces would otherwise have to check themselves (the pad, the
// 100-picture limit, free space, numbering, what to do with a list that is emptied), asks through
// IPadQuestions where the user decides, saves with one journaled write and answers with a StoreResult
// that says what it changed. Pads are 0 … 11 of the store's selected number.
//
// Copies go through the injected IFileCopy (the desktop program shows their progress and asks before
// overwriting; without one, files are copied quietly and never overwritten), a movie conversion through
// IConversionProgress (without one it is waited for quietly).

#include "engine/StillBatch.h"
#include "store/CPadBankStore.h"
#include "store/CardConversion.h"
#include "store/IConversionProgress.h"
#include "store/IFileCopy.h"
#include "store/IPadQuestions.h"
#include "store/KeptImport.h"
#include "store/PadImport.h"
#include "store/PlainFileCopy.h"
#include "store/Settings.h"
#include "store/StoreResult.h"

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace k72 {

// A sound attached to a pad.
struct AttachedSound {
    std::string name;       // the name it has in the card folder (the pad records its 8.3 form)
    bool converted = false; // converted into the device's form first
};

class PadCommands {
public:
    // The collaborators may be null (the quiet defaults above); they and the store must outlive this.
    explicit PadCommands(CPadBankStore& store, IFileCopy* fileCopy = nullptr,
                         IConversionProgress* progress = nullptr);

    CPadBankStore& Store() { return store_; }
    const CPadBankStore& Store() const { return store_; }
    // The conversion settings an import uses (a copy; set again after the preferences change).
    void SetSettings(const Settings& settings) { settings_ = settings; }
    const Settings& GetSettings() const { return settings_; }
    // For tests: called with the movie converter of every movie import before its job is added.
    void SetMovieConverterHook(MovieConverterHook hook) { movieConverterHook_ = std::move(hook); }

    // --- Import ---
    // Converts a movie, or pictures, onto the pad under new file numbers (files already in the card folder
    // are recorded where they are). Replacing what the pad holds is asked first, and afterwards whether
    // to delete the files it no longer uses; adding pictures to a still image pad asks nothing. A
    // conversion that fails or is cancelled, or a copy that fails, leaves pad, numbering and card as
    // they were; source in the result names the file that failed. pictureProgress (may be empty) is
    // called on this thread while pictures convert; false cancels.
    StoreResult Import(const ImportRequest& request, IPadQuestions* questions = nullptr,
                       const StillBatchProgress& pictureProgress = {});
    // The same import in steps, for callers that convert several at once (see PadImport).
    PadImport Importer();
    // With KeepImportsOfAPulledCard (a program that stays running, as the desktop one does), an import
    // whose card was taken out while it converted is kept (NoCard, with a text that says so) until the
    // same card is open again: then FinishKeptImport puts it onto its pad. A later import kept the same
    // way takes its place; DropKeptImport lets it go. Without it such an import fails as a copy does.
    void KeepImportsOfAPulledCard(bool keep) { keepImports_ = keep; }
    const KeptImport* Kept() const { return kept_.get(); }
    bool KeptImportFitsCard() const { return kept_ && kept_->FitsCard(store_); }
    StoreResult FinishKeptImport();
    void DropKeptImport() { kept_.reset(); }

    // --- A still image pad's pictures ---
    // Takes the picture at position 0 … count-1 out of the list; a list left empty makes the pad an
    // empty pad. With deleteFile the file goes too, unless a record of the pad file still names it.
    StoreResult RemovePicture(int pad, int position, bool deleteFile = false);
    // Moves the picture at position from to position to, the ones between moving by one, with one save.
    StoreResult MovePicture(int pad, int from, int to);
    // Exchanges two pictures of the list.
    StoreResult SwapPictures(int pad, int i, int j);

    // --- Sound ---
    // Attaches a sound to a movie or still image pad. A WAV file the device plays is copied into the card
    // folder as it is; any other sound is converted into the device's WAV form first when questions
    // agree (ConvertSound; RunSoundConversion runs it). The pad records the copy's upper-case 8.3 name.
    // A file of that name that another pad names is never replaced (NameTaken). name: the name on the
    // card, the source's own (or, converted, an 8.3 name made from it) when empty. The sound the pad
    // had before, when no pad names it any more, is deleted when questions agree (DeleteFreedSound);
    // otherwise it stays and the result's text says so.
    StoreOutcome<AttachedSound> AttachSound(int pad, const std::filesystem::path& source,
                                            IPadQuestions* questions = nullptr, std::string name = {});
    // Takes the sound off a movie or still image pad (WrongKind for one without a sound). With
    // deleteFile the file goes too, unless a record of the pad file still names it.
    StoreResult RemoveSound(int pad, bool deleteFile = false);

    // --- The pad as a whole ---
    // Clears the pad; with deleteFiles, then deletes those of its files no other pad names. The result
    // names the files kept and those that could not be deleted (Incomplete). The card's file numbering
    // is looked at again afterwards, so that deleted numbers are used again.
    StoreResult DeletePad(int pad, bool deleteFiles);
    // Copies the pad's files into folder under their card names; files no longer on the card are
    // skipped and named in the text, ones that are not files are named (Incomplete), and an export
    // that copied nothing at all is Incomplete too. A copy that may not replace a file in
    // the folder (IFileCopy::MayReplace) stops the export before anything is copied. copied in the
    // result lists what was written.
    StoreResult ExportPad(int pad, const std::filesystem::path& folder);

private:
    // Pad 0 … 11 of the selected number.
    PadLocation Here(int pad) const;
    IFileCopy& FileCopy() { return fileCopy_ != nullptr ? *fileCopy_ : plainCopy_; }
    // False when destination holds other bytes than source and the copy may not replace it.
    bool MayCopy(const std::filesystem::path& source, const std::filesystem::path& destination);
    // The sound file `freed`, which pad no longer names: unless another pad names it, deleted when
    // questions agree, else kept with a line in the result's text.
    void ReleaseSound(int pad, const std::string& freed, IPadQuestions* questions, StoreResult& result,
                      const CardFiles::Remover& trash);
    // Copies the sound file into the card folder under name and records its 8.3 name on the pad.
    StoreResult SetSound(int pad, const std::filesystem::path& file, const std::string& name);
    struct SoundCopy;
    // The sound copied to destination, unless a record of another pad names a different file there.
    StoreOutcome<SoundCopy> CopySoundAs(const PadLocation& where, const std::filesystem::path& file,
                                        const std::filesystem::path& destination);
    // The sound copied under the 8.3 name with a numeric tail that FAT would give it.
    StoreOutcome<SoundCopy> CopySoundTailed(const std::filesystem::path& file, const std::string& name);
    // The names of a still image pad's pictures, when the positions are all on its list.
    StoreOutcome<std::vector<NameField>> Pictures(int pad, std::initializer_list<int> positions) const;
    // Gives the still image pad a new list of pictures, or makes it empty when the list is empty.
    StoreResult WritePictures(int pad, const std::vector<NameField>& names);

    CPadBankStore& store_;
    IFileCopy* fileCopy_;
    IConversionProgress* progress_;
    PlainFileCopy plainCopy_;
    Settings settings_;
    MovieConverterHook movieConverterHook_;
    bool keepImports_ = false;
    std::unique_ptr<KeptImport> kept_;
};

} // namespace k72
