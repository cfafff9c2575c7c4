#pragma once
// What a pad command asks the user while it runs, and how a sound conversion is waited for. The desktop
// program asks with its message boxes and converts beside its window with a progress window; k72-card
// answers from its command line; tests record the questions and script the answers. A command given no
// questions at all replaces what a pad holds, keeps the files it replaced and converts no sound.

#include "codecs/ResultCodes.h"
#include "codecs/SoundConverter.h"
#include "store/PadRecords.h"

#include <functional>
#include <optional>
#include <string>

namespace k72 {

// A sound conversion to be run: converts, reporting its progress and stopping through control.
using SoundConversionJob = std::function<ResultCode(const SoundConversionControl& control)>;

struct SoundConversionRun {
    ResultCode result = 0;
    bool cancelled = false; // the user stopped it; whatever it wrote is thrown away
};

class IPadQuestions {
public:
    virtual ~IPadQuestions() = default;

    // An import would replace what pad 0 … 11 of the selected number holds (current): true to go on.
    virtual bool ReplacePad(int pad, const PadEntry& current) = 0;
    // The import has replaced `replaced`: true to delete the files the pad no longer names (those no
    // other pad names either).
    virtual bool DeleteReplacedFiles(int pad, const PadEntry& replaced) = 0;
    // The sound file `name` that pad 0 … 11 no longer names, since it was given another sound, is named
    // by no other pad either: true to delete it from the card, false to keep it. None when this face
    // does not ask: the file stays, and the result's text says so.
    virtual std::optional<bool> DeleteFreedSound(int pad, const std::string& name) {
        static_cast<void>(pad);
        static_cast<void>(name);
        return std::nullopt;
    }
    // The sound cannot be played as it is; question says why and asks whether to convert it into the
    // device's form. True to convert.
    virtual bool ConvertSound(const std::string& question) = 0;
    // Runs job once and returns when it has ended; shownName is the sound's own file name. This one runs
    // it on the calling thread without progress.
    virtual SoundConversionRun RunSoundConversion(const std::string& shownName,
                                                  const SoundConversionJob& job) {
        static_cast<void>(shownName);
        return {job(SoundConversionControl{}), false};
    }
};

} // namespace k72
