#pragma once
// Recording stand-ins for the faces: what they would show of the store's results, the questions they
// would be asked, and the copies they would make.

#include "store/CPadBankStore.h"
#include "store/IFileCopy.h"
#include "store/IPadQuestions.h"
#include "store/PlainFileCopy.h"
#include "store/StoreResult.h"

#include <string>
#include <vector>

namespace k72test {

// Keeps the text of each result handed through it, as a face would show it, and hands the result on.
class RecordingMessages {
public:
    template <class Result> Result operator()(Result result) {
        if (!result.text.empty()) {
            shown.push_back(result.text);
        }
        return result;
    }
    std::vector<std::string> shown;
};

// The pad's picture count after a result that added pictures to it, or -1 when it failed.
inline int PicturesAfter(const k72::StoreResult& result, const k72::CPadBankStore& store, int pad) {
    const k72::PadEntry* entry = store.Entry(pad);
    return result && entry != nullptr && entry->stills ? static_cast<int>(entry->stills->stillCount) : -1;
}

// Records every question and answers as told.
class RecordingQuestions : public k72::IPadQuestions {
public:
    bool ReplacePad(int pad, const k72::PadEntry& /*current*/) override {
        asked.push_back("replace pad " + std::to_string(pad));
        return replace;
    }
    bool DeleteReplacedFiles(int pad, const k72::PadEntry& /*replaced*/) override {
        asked.push_back("delete replaced files of pad " + std::to_string(pad));
        return deleteReplaced;
    }
    bool ConvertSound(const std::string& question) override {
        asked.push_back(question);
        return convertSound;
    }
    std::vector<std::string> asked;
    bool replace = true;
    bool deleteReplaced = false;
    bool convertSound = false;
};

// Records every copy operation; copies for real (without overwriting) unless told to fail or to only
// pretend.
class RecordingCopy : public k72::IFileCopy {
public:
    bool Copy(const std::vector<k72::FileCopyItem>& items) override {
        calls.push_back(items);
        if (fail) {
            return false;
        }
        return pretend || k72::PlainFileCopy(false).Copy(items);
    }
    std::vector<std::vector<k72::FileCopyItem>> calls;
    bool fail = false;
    bool pretend = false;
};

} // namespace k72test
