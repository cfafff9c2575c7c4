#include "ui/OriginalNames.h"

#include "store/CPadBankStore.h"
#include "store/CardLayout.h"
#include "store/PadFileBackup.h"

namespace k72 {

void OriginalNames::Read(const CPadBankStore& store) {
    if (store.CardFolder().empty()) {
        *this = OriginalNames();
        return;
    }
    const std::filesystem::path root = PadFileBackup::CardRoot(store.CardFolder());
    const auto path = FindEntryNoCase(root, SourceRecord::kFileName);
    const std::optional<FileStamp> stamp = path ? StampOfFile(*path) : std::nullopt;
    if (root == root_ && stamp == stamp_) {
        return;
    }
    root_ = root;
    stamp_ = stamp;
    record_ = stamp ? SourceRecord::Load(root) : SourceRecord();
}

QString OriginalNames::Of(const CPadBankStore& store, const std::string& cardName) const {
    if (record_.Entries().empty() || cardName.empty()) {
        return {};
    }
    const auto path = store.Files().PathOf(cardName);
    if (!path) {
        return {};
    }
    return QString::fromStdString(record_.OriginalName(cardName, StampCardFiles({*path})));
}

QString OriginalNames::WithCardName(const CPadBankStore& store, const std::string& cardName) const {
    const QString card = QString::fromLatin1(cardName.c_str());
    const QString original = Of(store, cardName);
    return original.isEmpty() ? card : QStringLiteral("%1 (%2)").arg(original, card);
}

} // namespace k72
