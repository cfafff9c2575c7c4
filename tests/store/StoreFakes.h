#pragma once
// Recording stand-ins for the faces: what they would show of the store's results, the questions they
// would be asked, and the copies they would make.

#include "store/CPadBankStore.h"
#include "store/IFileCopy.h"
#include "store/IPadQuestions.h"
#include "store/PlainFileCopy.h"
#include "store/StoreResult.h"
#include "tests/store/CardFixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
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

// Opens the test card with the store at bank A, number 1; conversions write into temporary when one is
// given (it is made).
inline void OpenCardAtA1(k72::CPadBankStore& store, const TestCard& card,
                         const std::filesystem::path& temporary = {}) {
    if (!temporary.empty()) {
        std::filesystem::create_directories(temporary);
        store.SetTemporaryFolder(temporary);
    }
    ASSERT_TRUE(store.Open(card.folder, card.padFile));
    store.SelectBank(0);
    store.SelectNumber(0);
}

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
    std::optional<bool> DeleteFreedSound(int pad, const std::string& name) override {
        asked.push_back("delete freed sound " + name + " of pad " + std::to_string(pad));
        return deleteFreedSound;
    }
    std::vector<std::string> asked;
    bool replace = true;
    bool deleteReplaced = false;
    bool convertSound = false;
    std::optional<bool> deleteFreedSound; // none: this face does not ask
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

// A card of the test, opened by a store at bank A, number 1, whose conversions write into a temporary
// folder of the test; the fixtures add the store's commands with the collaborators they need.
class OpenCardTest : public ::testing::Test {
protected:
    // Makes the card with the pad file's bytes and the files named (each holding its name) and opens it.
    void OpenCard(const std::vector<std::uint8_t>& padBytes, const std::vector<std::string>& files) {
        card = std::make_unique<TestCard>(dir.Path(), padBytes);
        for (const std::string& name : files) {
            card->AddFile(name, name);
        }
        ASSERT_NO_FATAL_FAILURE(OpenCardAtA1(store, *card, temporary));
    }
    bool TemporaryFolderEmpty() const { return std::filesystem::is_empty(temporary); }

    TempDir dir;
    std::filesystem::path temporary = dir / "tmp";
    std::unique_ptr<TestCard> card;
    RecordingMessages messages;
    k72::CPadBankStore store;
};

} // namespace k72test
