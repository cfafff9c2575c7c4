#include "ui/CardController.h"

#include "store/CPadBankStore.h"
#include "ui/CardVolumes.h"
#include "ui/DriveList.h"
#include "ui/RememberedPlaces.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QListView>
#include <QStandardItemModel>
#include <QStyle>

#include <algorithm>
#include <filesystem>

#include <unistd.h>

namespace k72 {
namespace {

std::filesystem::path PathOf(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

// The root of a card from a folder the user chose: the root itself, or its DCIM or card folder.
QString CardRootOf(const QString& folder) {
    const QString clean = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QFileInfo info(clean);
    const QString name = info.fileName();
    if (name.compare(QStringLiteral("000KAVLO"), Qt::CaseInsensitive) == 0 &&
        QFileInfo(info.path()).fileName().compare(QStringLiteral("DCIM"), Qt::CaseInsensitive) == 0) {
        return QFileInfo(info.path()).path();
    }
    if (name.compare(QStringLiteral("DCIM"), Qt::CaseInsensitive) == 0) {
        return info.path();
    }
    return clean;
}

} // namespace

CardController::CardController(CPadBankStore& store, QComboBox* driveList, const QString& cardRoot,
                               QObject* parent)
    : QObject(parent), store_(store), driveList_(driveList), cardRoot_(cardRoot) {
    watch_.setInterval(kCardCheckMilliseconds);
    connect(&watch_, &QTimer::timeout, this, &CardController::CheckCard);
}

void CardController::Tell(const StoreResult& result) {
    if (!result.text.empty()) {
        emit Message(QString::fromStdString(result.text));
    }
}

bool CardController::ReadOnly() const {
    return store_.IsReadOnly();
}

// A card that cannot be written (a write-protected medium, a pad file or card folder that is read-only)
// is opened to be looked at instead of being refused.
StoreOutcome<CardOpenResult> CardController::OpenRoot(const QString& root) {
    auto opened = store_.OpenCardRoot(PathOf(root));
    bool cannotWrite = !opened && opened.value.failure == CardOpenFailure::ReadOnly;
    // A writable pad file in a folder that cannot take new files is no card to change either.
    if (opened && ::access(store_.CardFolder().c_str(), W_OK) != 0) {
        cannotWrite = true;
        store_.Close();
    }
    if (!cannotWrite) {
        return opened;
    }
    auto looked = store_.OpenCardRoot(PathOf(root), CardAccess::ReadOnly);
    if (looked) {
        emit StatusMessage(QStringLiteral("The card %1 is read-only: it can be looked at and exported.")
                               .arg(QDir::toNativeSeparators(root)));
        return looked;
    }
    return opened ? looked : opened;
}

void CardController::Start() {
    FillDriveList();
    driveList_->setCurrentIndex(0);
    watch_.start();
    // The card named on the command line is opened as if the user had chosen it.
    if (!cardRoot_.isEmpty() && driveList_->count() > 1) {
        driveList_->setCurrentIndex(1);
        ChooseDrive(1);
    }
}

void CardController::FillDriveList() {
    driveList_->clear();
    int widest = 0;
    const QFontMetrics metrics(driveList_->font());
    for (const DriveEntry& entry : ListDrives(cardRoot_)) {
        driveList_->addItem(entry.icon, entry.text, entry.root);
        driveList_->setItemData(driveList_->count() - 1, entry.root, Qt::ToolTipRole);
        driveList_->setItemData(driveList_->count() - 1, entry.card, kCardRole);
        driveList_->setItemData(driveList_->count() - 1, entry.recent, kRecentRole);
        widest = std::max(widest, metrics.horizontalAdvance(entry.text));
    }
    // Card folders chosen with Open Card Folder… stay listed while they are there.
    for (const QString& folder : openedFolders_) {
        if (driveList_->findData(folder) < 0 && QFileInfo(folder).isDir()) {
            driveList_->addItem(driveList_->style()->standardIcon(QStyle::SP_DirIcon),
                                QDir::toNativeSeparators(folder), folder);
            driveList_->setItemData(driveList_->count() - 1, folder, Qt::ToolTipRole);
            widest = std::max(widest, metrics.horizontalAdvance(folder));
        }
    }
    // The empty first entry stands for no card: it is there to be current, not to be chosen.
    if (auto* rows = qobject_cast<QStandardItemModel*>(driveList_->model());
        rows != nullptr && rows->rowCount() > 0) {
        rows->item(0)->setEnabled(false);
    }
    if (auto* view = qobject_cast<QListView*>(driveList_->view()); view != nullptr) {
        view->setRowHidden(0, true);
    }
    // The list opens wide enough for the longest path; the closed box keeps its place in the form.
    driveList_->view()->setMinimumWidth(std::max(driveList_->width(), 22 + widest + 24));
}

void CardController::UpdateDrives() {
    QStringList before;
    for (int i = 0; i < driveList_->count(); ++i) {
        before << driveList_->itemData(i).toString();
    }
    QString chosen = driveList_->currentData().toString();
    // A card taken out without Eject: its pad file is let go, as nothing can be written to it any more.
    if (store_.IsCardOpen() && !chosen.isEmpty() && !LooksLikeCard(chosen)) {
        ReleaseCard();
        emit StatusMessage(
            QStringLiteral("The card %1 is no longer available.").arg(QDir::toNativeSeparators(chosen)));
        chosen.clear();
    }
    FillDriveList();
    const int keep = driveList_->findData(chosen);
    driveList_->setCurrentIndex(keep >= 0 ? keep : 0);
    if (store_.IsCardOpen() || Busy()) {
        return;
    }
    for (int i = 1; i < driveList_->count(); ++i) {
        const QString root = driveList_->itemData(i).toString();
        // Only a card that was mounted is opened by itself: a recent card newly listed was remembered
        // by another window or program meanwhile, and may well be in use there.
        if (!before.contains(root) && driveList_->itemData(i, kCardRole).toBool() &&
            !driveList_->itemData(i, kRecentRole).toBool()) {
            driveList_->setCurrentIndex(i);
            ChooseDrive(i);
            return;
        }
    }
}

void CardController::Forget() {
    store_.Close();
    openRoot_.clear();
    cardGone_ = false;
    emit CardClosed(false);
}

void CardController::ReleaseCard() {
    Forget();
    driveList_->setCurrentIndex(0);
    emit CardChanged();
}

QString CardController::OpenCardRoot() const {
    return store_.IsCardOpen() ? driveList_->currentData().toString() : QString();
}

void CardController::ChooseDrive(int index) {
    const QString root = driveList_->itemData(index).toString();
    Forget();
    driveList_->setToolTip(root);
    // The empty first entry names no folder: the card is looked for relative to the working folder, and
    // that normally fails like any other drive without the card.
    const auto opened = OpenRoot(root);
    if (!opened) {
        emit CardChanged();
        // The store says why: not the card at all, or a card that is in use elsewhere, read-only, ...
        Tell(opened);
        return;
    }
    // A save cut off earlier that was put back.
    Tell(opened);
    openRoot_ = root;
    if (!root.isEmpty()) {
        remembered::RememberCard(root);
    }
    emit CardOpened(false);
    emit CardChanged();
}

void CardController::OpenCard(const QString& folder) {
    if (Busy() || folder.isEmpty()) {
        return;
    }
    const QString root = CardRootOf(folder);
    if (!openedFolders_.contains(root)) {
        openedFolders_ << root;
    }
    int index = driveList_->findData(root);
    if (index < 0) {
        driveList_->addItem(driveList_->style()->standardIcon(QStyle::SP_DirIcon),
                            QDir::toNativeSeparators(root), root);
        index = driveList_->count() - 1;
        driveList_->setItemData(index, root, Qt::ToolTipRole);
        const int width = 22 + QFontMetrics(driveList_->font()).horizontalAdvance(root) + 24;
        driveList_->view()->setMinimumWidth(std::max(driveList_->view()->minimumWidth(), width));
    }
    driveList_->setCurrentIndex(index);
    ChooseDrive(index);
}

void CardController::CheckCard() {
    if (openRoot_.isEmpty() || Busy()) {
        return;
    }
    if (!cardGone_) {
        if (!store_.CardStillThere()) {
            Lost(true);
        }
        return;
    }
    // Gone: open it again as soon as it is back, where it was left.
    const auto opened = OpenRoot(openRoot_);
    if (!opened) {
        return;
    }
    Tell(opened);
    cardGone_ = false;
    emit CardOpened(true);
    emit StatusMessage(
        QStringLiteral("The card %1 is available again.").arg(QDir::toNativeSeparators(openRoot_)));
    emit CardChanged();
}

void CardController::CardTakenOut() {
    if (!openRoot_.isEmpty() && !cardGone_) {
        Lost(false);
    }
}

void CardController::Lost(bool tell) {
    cardGone_ = true;
    store_.Close();
    emit CardClosed(true);
    emit CardChanged();
    if (!tell) {
        return;
    }
    emit Message(
        QStringLiteral("The card %1 is no longer available.\nPut it back, or choose another drive or "
                       "card folder.")
            .arg(QDir::toNativeSeparators(openRoot_)));
}

} // namespace k72
