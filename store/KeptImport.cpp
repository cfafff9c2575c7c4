#include "store/KeptImport.h"

#include "store/CPadBankStore.h"
#include "store/SourceIdentity.h"
#include "store/TemporaryWorkspace.h"
#include "store/VolumeSerial.h"

namespace k72 {

CardMark KeptImport::MarkOf(const CPadBankStore& store) {
    return {VolumeSerialOf(store.CardFolder()), HashOfFile(store.PadFilePath())};
}

KeptImport::KeptImport(const ImportRequest& request, PreparedImport& prepared,
                       const ConvertedImport& converted, CardMark card)
    : request_(request), where_(prepared.where), converted_(converted),
      workspace_(std::move(prepared.workspace)), card_(std::move(card)) {
    request_.pad = where_.pad;
    for (const PreparedImport::Item& item : prepared.items) {
        files_.push_back(item.converted);
    }
}

KeptImport::~KeptImport() = default;

bool KeptImport::FitsCard(const CPadBankStore& store) const {
    // A volume without a serial (a folder on a network or memory file system) is told by its pad file.
    return store.IsCardOpen() && !store.IsReadOnly() && card_.padFileHash && MarkOf(store) == card_;
}

StoreResult KeptImport::Finish(CPadBankStore& store, PadImport& importer) {
    store.SelectBank(where_.bank);
    store.SelectNumber(where_.number);
    auto prepared = importer.Prepare(request_, nullptr);
    if (!prepared) {
        return StoreResult(std::move(prepared));
    }
    std::vector<PreparedImport::Item>& items = prepared.value.items;
    const auto changed = [] {
        return StoreFailed(StoreFailure::SourceUnusable,
                           "The files to import are no longer what was converted; import them again.");
    };
    if (items.size() != files_.size()) {
        return changed();
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].InPlace() != files_[i].empty()) {
            return changed();
        }
        if (items[i].InPlace()) {
            continue;
        }
        // Both folders lie in the same temporary folder, so the file is renamed, not copied.
        std::error_code ec;
        std::filesystem::rename(files_[i], items[i].converted, ec);
        if (ec) {
            return StoreFailed(StoreFailure::TemporaryFolder, "The converted file " + files_[i].string() +
                                                                  " cannot be used: " + ec.message() +
                                                                  ". Import the file again.");
        }
    }
    return importer.Commit(std::move(prepared.value), converted_);
}

std::string KeptImport::SourceText() const {
    if (request_.sources.size() == 1) {
        return request_.sources.front().filename().string();
    }
    return std::to_string(request_.sources.size()) + " pictures";
}

} // namespace k72
