#include "ui/CConvertToolView.h"

#include "codecs/FitGeometry.h"
#include "codecs/ResultCodes.h"
#include "engine/MediaKind.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "store/StoreMessages.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/CPadView.h"
#include "ui/CardVolumes.h"
#include "ui/DialogUnits.h"
#include "ui/DriveList.h"
#include "ui/MediaKinds.h"
#include "ui/PadGeometry.h"
#include "ui/PictureBatchWindow.h"
#include "ui/QtPadQuestions.h"
#include "ui/QtUserMessages.h"
#include "ui/RememberedPlaces.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace k72 {
namespace {

// Keeps a command from starting while another one runs (its dialogs let window events through).
class BusyScope {
public:
    explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyScope() { busy_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    bool& busy_;
};

QLabel* MakeLabel(QWidget* parent, const QString& text, int x, int y, int width, int height) {
    auto* label = new QLabel(text, parent);
    PlaceLabel(label, x, y, width, height);
    return label;
}

std::filesystem::path PathOf(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

QString FileName(const QString& path) {
    return QFileInfo(path).fileName();
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

// What the status bar adds to the store's "Failed to load the file." about a conversion that failed.
QString FailureLine(const StoreResult& result, const QString& file) {
    if (result.Cancelled()) {
        return QStringLiteral("Cancelled: %1 was not imported.").arg(file);
    }
    switch (result.code) {
    case rc::JpegDecodeFailed:
    case rc::JpegImageObjectFailed:
    case rc::JpegUnsupportedLayout:
    case rc::CannotOpenInput:
    case rc::StreamNotFound:
    case rc::UnknownFormat:
    case rc::AviInvalidHeader:
        return QStringLiteral("%1 could not be read: it is damaged, or not the kind of file its name says.")
            .arg(file);
    case rc::InputCodecUnsupported:
    case rc::UnknownCodec:
        return QStringLiteral("%1 is coded in a form this converter does not read.").arg(file);
    case 0:
        return {};
    default:
        return QStringLiteral("%1 was not imported.").arg(file);
    }
}

QString SizeText(qint64 bytes) {
    if (bytes >= 1024LL * 1024 * 1024) {
        return QStringLiteral("%1 GB").arg(static_cast<double>(bytes) / (1024.0 * 1024 * 1024), 0, 'f', 1);
    }
    return QStringLiteral("%1 MB").arg(bytes / (1024 * 1024));
}

} // namespace

CConvertToolView::CConvertToolView(PadCommands& commands, const QString& cardRoot, QWidget* parent)
    : QWidget(parent), commands_(commands), store_(commands.Store()), cardRoot_(cardRoot) {
    setFont(FormFont());
    setFixedSize(DluSize(185, 198));

    QLabel* driveLabel = MakeLabel(this, QStringLiteral("K-72 Drive :"), 7, 7, 39, 8);
    driveList_ = new CDriveListBox(this);
    driveLabel->setBuddy(driveList_);
    driveList_->setAccessibleName(QStringLiteral("K-72 Drive"));
    PlaceControl(driveList_, 7, 15, 57, 12);
    driveList_->setItemDelegate(new CDriveItemDelegate(driveList_));
    driveList_->setIconSize(QSize(16, 16));

    QLabel* bankLabel = MakeLabel(this, QStringLiteral("K-72 Bank Select :"), 88, 7, 59, 8);
    bankList_ = new QComboBox(this);
    bankLabel->setBuddy(bankList_);
    bankList_->setAccessibleName(QStringLiteral("K-72 Bank"));
    PlaceControl(bankList_, 88, 15, 44, 12);
    for (const char letter : {'A', 'B', 'C', 'D', 'E', 'F'}) {
        bankList_->addItem(QStringLiteral("BANK:") + QLatin1Char(letter));
    }
    auto* dash = new QLabel(QStringLiteral("-"), this);
    dash->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    PlaceLabel(dash, 136, 17, 8, 8);
    numberList_ = new QComboBox(this);
    numberList_->setAccessibleName(QStringLiteral("K-72 Bank number"));
    // The number has no label of its own on the form; screen readers name a list by its label.
    auto* numberLabel = new QLabel(QStringLiteral("K-72 Bank number"), this);
    numberLabel->setBuddy(numberList_);
    numberLabel->hide();
    PlaceControl(numberList_, 150, 15, 28, 12);
    for (int number = 1; number <= 12; ++number) {
        numberList_->addItem(QString::number(number));
    }
    bankList_->setCurrentIndex(-1);
    numberList_->setCurrentIndex(-1);

    padView_ = new CPadView(this);
    padView_->move(padgrid::kGridLeft, padgrid::kGridTop);

    importButton_ = MakeFormButton(this, QStringLiteral("Import"), 7, 156);
    informationButton_ = MakeFormButton(this, QStringLiteral("Information"), 67, 156);
    deleteButton_ = MakeFormButton(this, QStringLiteral("Delete"), 128, 156);
    exportButton_ = MakeFormButton(this, QStringLiteral("Export"), 7, 177);
    exitButton_ = MakeFormButton(this, QStringLiteral("Exit"), 128, 177);

    connect(driveList_, &QComboBox::activated, this, &CConvertToolView::OnDriveChosen);
    connect(bankList_, &QComboBox::activated, this, &CConvertToolView::OnBankChosen);
    connect(numberList_, &QComboBox::activated, this, &CConvertToolView::OnNumberChosen);
    connect(importButton_, &QPushButton::clicked, this, &CConvertToolView::Import);
    connect(exportButton_, &QPushButton::clicked, this, &CConvertToolView::Export);
    connect(informationButton_, &QPushButton::clicked, this, &CConvertToolView::Information);
    connect(deleteButton_, &QPushButton::clicked, this, &CConvertToolView::Delete);
    connect(exitButton_, &QPushButton::clicked, this, &CConvertToolView::ExitRequested);
    connect(padView_, &CPadView::PadChosen, this, &CConvertToolView::ChoosePad);
    connect(padView_, &CPadView::OpenRequested, this, &CConvertToolView::Information);
    connect(padView_, &CPadView::DeleteRequested, this, &CConvertToolView::Delete);
    connect(padView_, &CPadView::FilesDropped, this, &CConvertToolView::DropFiles);
    // The pads come right after the number in the keyboard's order.
    setTabOrder(numberList_, padView_);
    setTabOrder(padView_, importButton_);

    cardWatch_.setInterval(kCardCheckMilliseconds);
    connect(&cardWatch_, &QTimer::timeout, this, &CConvertToolView::CheckCard);
    UpdateButtons();
}

void CConvertToolView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    InitialSetUp();
}

void CConvertToolView::InitialSetUp() {
    if (setUpDone_) {
        return;
    }
    setUpDone_ = true;
    FillDriveList();
    driveList_->setCurrentIndex(0);
    bankList_->setEnabled(false);
    numberList_->setEnabled(false);
    padView_->move(padgrid::kGridLeft, padgrid::kGridTop);
    cardWatch_.start();
    // The card named on the command line is opened as if the user had chosen it.
    if (!cardRoot_.isEmpty() && driveList_->count() > 1) {
        driveList_->setCurrentIndex(1);
        OnDriveChosen(1);
    }
}

void CConvertToolView::FillDriveList() {
    driveList_->clear();
    int widest = 0;
    const QFontMetrics metrics(driveList_->font());
    for (const DriveEntry& entry : ListDrives(cardRoot_)) {
        driveList_->addItem(entry.icon, entry.text, entry.root);
        driveList_->setItemData(driveList_->count() - 1, entry.root, Qt::ToolTipRole);
        driveList_->setItemData(driveList_->count() - 1, entry.card, kCardRole);
        widest = std::max(widest, metrics.horizontalAdvance(entry.text));
    }
    // Card folders chosen with Open Card Folder… stay listed while they are there.
    for (const QString& folder : openedFolders_) {
        if (driveList_->findData(folder) < 0 && QFileInfo(folder).isDir()) {
            driveList_->addItem(style()->standardIcon(QStyle::SP_DirIcon), QDir::toNativeSeparators(folder),
                                folder);
            driveList_->setItemData(driveList_->count() - 1, folder, Qt::ToolTipRole);
            widest = std::max(widest, metrics.horizontalAdvance(folder));
        }
    }
    // The list opens wide enough for the longest path; the closed box keeps its place in the form.
    driveList_->view()->setMinimumWidth(std::max(driveList_->width(), 22 + widest + 24));
}

void CConvertToolView::UpdateDrives() {
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
    if (store_.IsCardOpen() || busy_) {
        return;
    }
    for (int i = 1; i < driveList_->count(); ++i) {
        const QString root = driveList_->itemData(i).toString();
        if (!before.contains(root) && driveList_->itemData(i, kCardRole).toBool()) {
            driveList_->setCurrentIndex(i);
            OnDriveChosen(i);
            return;
        }
    }
}

void CConvertToolView::ForgetCard() {
    gridReady_ = false;
    bankIndex_ = numberIndex_ = selectedPad_ = -1;
    store_.Close();
    padView_->Clear();
    contentCache_.Clear();
    openRoot_.clear();
    cardGone_ = false;
    bankList_->setEnabled(false);
    numberList_->setEnabled(false);
}

void CConvertToolView::ReleaseCard() {
    ForgetCard();
    driveList_->setCurrentIndex(0);
    UpdateButtons();
    emit CardChanged();
}

QString CConvertToolView::OpenCardRoot() const {
    return store_.IsCardOpen() ? driveList_->currentData().toString() : QString();
}

void CConvertToolView::RedrawPads() {
    if (store_.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::OnDriveChosen(int index) {
    const QString root = driveList_->itemData(index).toString();
    ForgetCard();
    driveList_->setToolTip(root);
    UpdateButtons();
    // The empty first entry names no folder: the card is looked for relative to the working folder, and
    // that normally fails like any other drive without the card.
    const auto opened = store_.OpenCardRoot(PathOf(root));
    if (!opened) {
        emit CardChanged();
        // The store says why: not the card at all, or a card that is in use elsewhere, read-only, ...
        ShowResult(opened);
        return;
    }
    // A save cut off earlier that was put back.
    ShowResult(opened);
    openRoot_ = root;
    if (!root.isEmpty()) {
        remembered::RememberCard(root);
    }
    bankList_->setEnabled(true);
    numberList_->setEnabled(true);
    bankList_->setCurrentIndex(0);
    numberList_->setCurrentIndex(0);
    OnBankChosen(0);
    OnNumberChosen(0);
    emit CardChanged();
}

void CConvertToolView::OpenCardFolder() {
    if (busy_) {
        return;
    }
    const QString folder = AskCardFolder();
    if (!folder.isEmpty()) {
        OpenCard(folder);
    }
}

void CConvertToolView::OpenCard(const QString& folder) {
    if (busy_ || folder.isEmpty()) {
        return;
    }
    const QString root = CardRootOf(folder);
    if (!openedFolders_.contains(root)) {
        openedFolders_ << root;
    }
    int index = driveList_->findData(root);
    if (index < 0) {
        driveList_->addItem(style()->standardIcon(QStyle::SP_DirIcon), QDir::toNativeSeparators(root), root);
        index = driveList_->count() - 1;
        driveList_->setItemData(index, root, Qt::ToolTipRole);
        const int width = 22 + QFontMetrics(driveList_->font()).horizontalAdvance(root) + 24;
        driveList_->view()->setMinimumWidth(std::max(driveList_->view()->minimumWidth(), width));
    }
    driveList_->setCurrentIndex(index);
    OnDriveChosen(index);
}

void CConvertToolView::CheckCard() {
    if (openRoot_.isEmpty() || busy_) {
        return;
    }
    if (!cardGone_) {
        if (!store_.CardStillThere()) {
            CardLost();
        }
        return;
    }
    // Gone: open it again as soon as it is back, where it was left.
    const auto opened = store_.OpenCardRoot(PathOf(openRoot_));
    if (!opened) {
        return;
    }
    ShowResult(opened);
    cardGone_ = false;
    const int bank = std::max(0, bankList_->currentIndex());
    const int number = std::max(0, numberList_->currentIndex());
    bankList_->setEnabled(true);
    numberList_->setEnabled(true);
    bankIndex_ = numberIndex_ = -1;
    OnBankChosen(bank);
    OnNumberChosen(number);
    emit StatusMessage(
        QStringLiteral("The card %1 is available again.").arg(QDir::toNativeSeparators(openRoot_)));
    emit CardChanged();
}

void CConvertToolView::CardLost() {
    cardGone_ = true;
    store_.Close();
    gridReady_ = false;
    selectedPad_ = -1;
    padView_->Clear();
    contentCache_.Clear();
    bankList_->setEnabled(false);
    numberList_->setEnabled(false);
    UpdateButtons();
    emit CardChanged();
    ShowMessage(QStringLiteral("The card %1 is no longer available.\nPut it back, or choose another drive or "
                               "card folder.")
                    .arg(QDir::toNativeSeparators(openRoot_)));
}

void CConvertToolView::OnBankChosen(int index) {
    bankIndex_ = index;
    if (index < 0 || index > 5 || index == store_.Bank()) {
        return;
    }
    store_.SelectBank(index);
    if (store_.SelectionValid()) {
        ShowBank();
    }
}

void CConvertToolView::OnNumberChosen(int index) {
    numberIndex_ = index;
    if (index < 0 || index > 11) {
        return;
    }
    store_.SelectNumber(index);
    if (store_.SelectionValid()) {
        ShowBank();
    }
}

PadKind CConvertToolView::KindOf(int pad) const {
    return store_.PadKindOf(pad);
}

void CConvertToolView::ShowBank() {
    std::array<int, 12> states{};
    for (int pad = 0; pad < padgrid::kPadCount; ++pad) {
        states[static_cast<std::size_t>(pad)] = KindOf(pad);
        const PadContent content = contentCache_.Describe(store_, pad);
        padView_->SetPadContent(pad, content.picture, content.description);
    }
    padView_->SetAllStates(states);
    gridReady_ = true;
    UpdateButtons();
}

// The pad as the store has it now, whatever a command did or failed to do.
void CConvertToolView::ShowPad(int pad) {
    padView_->SetPadState(pad, KindOf(pad));
    const PadContent content = contentCache_.Describe(store_, pad);
    padView_->SetPadContent(pad, content.picture, content.description);
    UpdateButtons();
    emit CardChanged();
}

void CConvertToolView::UpdateButtons() {
    const bool padChosen = gridReady_ && selectedPad_ >= 0;
    const bool holdsSomething = padChosen && KindOf(selectedPad_) != PadKindEmpty;
    importButton_->setEnabled(padChosen);
    exportButton_->setEnabled(holdsSomething);
    informationButton_->setEnabled(holdsSomething);
    deleteButton_->setEnabled(holdsSomething);
}

void CConvertToolView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SelectPadAt(event->position().toPoint());
    }
    QWidget::mousePressEvent(event);
}

void CConvertToolView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The press before it has already chosen the pad.
    if (event->button() == Qt::LeftButton) {
        PadInformation();
    }
}

void CConvertToolView::SelectPadAt(const QPoint& point) {
    if (!gridReady_ || busy_) {
        return;
    }
    const int pad = padgrid::HitTestPad(point.x(), point.y());
    ChoosePad(pad);
    if (pad >= 0) {
        padView_->setFocus(Qt::MouseFocusReason);
    }
}

void CConvertToolView::ChoosePad(int pad) {
    if (!gridReady_ || busy_) {
        return;
    }
    selectedPad_ = pad;
    padView_->SetSelection(pad);
    UpdateButtons();
}

bool CConvertToolView::CommandAllowed() const {
    return gridReady_ && !busy_ && selectedPad_ >= 0;
}

void CConvertToolView::PadInformation() {
    if (!CommandAllowed()) {
        return;
    }
    ShowPadInformation(selectedPad_);
}

void CConvertToolView::ShowPadInformation(int pad) {
    ShowResult(store_.RefreshPad(pad));
    const PadKind kind = KindOf(pad);
    // A list emptied in the window has left an empty pad already (the store's rule for an emptied list).
    if (kind == PadKindMovie) {
        ShowMovieInformation(pad);
    } else if (kind == PadKindStill) {
        ShowStillInformation(pad);
    }
    ShowPad(pad);
}

void CConvertToolView::Information() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy_);
    ShowPadInformation(selectedPad_);
}

void CConvertToolView::Import() {
    if (!CommandAllowed()) {
        return;
    }
    const int pad = selectedPad_;
    QStringList paths;
    {
        BusyScope scope(busy_);
        paths = AskImportFiles(ImportFilters(lastImportKind_));
    }
    if (paths.isEmpty()) {
        return;
    }
    remembered::SetImportFolder(QFileInfo(paths.constFirst()).absolutePath());
    QString movie;
    QStringList pictures;
    for (const QString& path : paths) {
        const PadKind kind = PadKindOfFile(path);
        if (kind == PadKindEmpty) {
            ShowMessage(
                QString::fromLatin1(messages::kLoadFailed) +
                QStringLiteral("\n\n\"%1\" is not a movie (AVI, MPG, MPEG, MOV, WMV, MP4, FLV, DV) or a "
                               "picture (JPG, JPEG, BMP, PNG).")
                    .arg(FileName(path)));
            return;
        }
        if (kind == PadKindMovie) {
            if (!movie.isEmpty() || paths.size() > 1) {
                ShowMessage(QStringLiteral(
                    "A pad holds one movie, or pictures; choose one movie, or only pictures."));
                return;
            }
            movie = path;
        } else {
            pictures << path;
        }
    }
    ImportOnto(pad, movie, pictures, QString(), false);
}

void CConvertToolView::DropFiles(int pad, const QStringList& paths) {
    if (!gridReady_ || busy_ || pad < 0 || pad >= padgrid::kPadCount || paths.isEmpty()) {
        return;
    }
    ChoosePad(pad);
    QStringList movies;
    QStringList pictures;
    QStringList sounds;
    for (const QString& path : paths) {
        if (IsSoundFile(path)) {
            sounds << path;
            continue;
        }
        switch (PadKindOfFile(path)) {
        case PadKindMovie:
            movies << path;
            break;
        case PadKindStill:
            pictures << path;
            break;
        default:
            ShowMessage(
                QString::fromLatin1(messages::kLoadFailed) +
                QStringLiteral("\n\n\"%1\" is not a movie, a picture or a sound.").arg(FileName(path)));
            return;
        }
    }
    if (movies.size() > 1) {
        ShowMessage(QStringLiteral(
            "Only one movie can go on a pad.\nDrop the movies one at a time, each on its own pad."));
        return;
    }
    if (!movies.isEmpty() && !pictures.isEmpty()) {
        ShowMessage(QStringLiteral(
            "A pad holds either one movie or pictures, not both.\nDrop them on separate pads."));
        return;
    }
    if (sounds.size() > 1) {
        ShowMessage(QStringLiteral("Only one sound can be attached to a pad."));
        return;
    }
    const QString sound = sounds.value(0);
    if (movies.isEmpty() && pictures.isEmpty() && KindOf(pad) == PadKindEmpty) {
        ShowMessage(
            QStringLiteral("Pad %1 is empty. A sound can only be attached to a pad that holds a movie or "
                           "pictures.")
                .arg(pad + 1));
        return;
    }
    ImportOnto(pad, movies.value(0), pictures, sound, true);
}

void CConvertToolView::ImportOnto(int pad, const QString& movie, const QStringList& pictures,
                                  const QString& sound, bool addPictures) {
    BusyScope scope(busy_);
    QtPadQuestions questions(this, [this](const QString& question) { return AskYesNo(question); });
    QString done;
    bool imported = true; // a sound alone
    if (!movie.isEmpty() || !pictures.isEmpty()) {
        const QStringList files = movie.isEmpty() ? pictures : QStringList{movie};
        ImportRequest request;
        request.pad = pad;
        request.kind = movie.isEmpty() ? PadKindStill : PadKindMovie;
        request.add = addPictures;
        for (const QString& file : files) {
            request.sources.push_back(PathOf(file));
        }
        // Several pictures are converted on every core, with a progress window and Cancel; they go onto
        // the pad all together or not at all.
        PictureBatchWindow batch(window(), pad, movie.isEmpty() ? static_cast<int>(files.size()) : 0);
        const StoreResult result = commands_.Import(request, &questions, batch.Progress());
        batch.Close();
        if (result.failure == StoreFailure::Declined) {
            return;
        }
        ShowResult(result);
        imported = result.Ok();
        if (imported) {
            lastImportKind_ = request.kind;
            done = files.size() == 1
                       ? QStringLiteral("Imported %1 onto pad %2.")
                             .arg(FileName(files.constFirst()))
                             .arg(pad + 1)
                       : QStringLiteral("Added %1 pictures to pad %2.").arg(files.size()).arg(pad + 1);
        } else if (result.Cancelled() && files.size() > 1) {
            done = QStringLiteral("Cancelled: none of the %1 pictures were added.").arg(files.size());
        } else {
            done =
                FailureLine(result, FileName(files.value(static_cast<qsizetype>(result.source.value_or(0)))));
        }
    }
    if (imported && !sound.isEmpty()) {
        // A sound the device cannot play as it is may be converted first, when the user agrees, as from
        // the information windows.
        const auto attached = commands_.AttachSound(pad, PathOf(sound), &questions);
        ShowResult(attached);
        if (attached) {
            done +=
                (done.isEmpty() ? QString() : QStringLiteral(" ")) +
                (attached.value.converted
                     ? QStringLiteral("Converted the sound %1 and attached it to pad %2 as %3.")
                           .arg(FileName(sound))
                           .arg(pad + 1)
                           .arg(QString::fromStdString(attached.value.name))
                     : QStringLiteral("Attached the sound %1 to pad %2.").arg(FileName(sound)).arg(pad + 1));
        }
    }
    ShowPad(pad);
    if (!done.isEmpty()) {
        emit StatusMessage(done);
    }
}

void CConvertToolView::Export() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy_);
    const int pad = selectedPad_;
    const PadKind kind = KindOf(pad);
    if (kind == PadKindEmpty) {
        return;
    }
    const QString folder = AskExportFolder();
    if (folder.isEmpty()) {
        return;
    }
    remembered::SetExportFolder(folder);
    const std::filesystem::path target = PathOf(folder);
    // A failed copy has said which file and why (the copy's own message).
    const StoreResult exported = commands_.ExportPad(pad, target);
    ShowResult(exported);
    if (exported) {
        emit StatusMessage(
            QStringLiteral("Exported pad %1 to %2.").arg(pad + 1).arg(QDir::toNativeSeparators(folder)));
    }
}

void CConvertToolView::Delete() {
    if (!CommandAllowed()) {
        return;
    }
    BusyScope scope(busy_);
    const int pad = selectedPad_;
    const PadEntry* entry = store_.Entry(pad);
    if (entry == nullptr || entry->Kind() == PadKindEmpty) {
        return;
    }
    const QString question =
        QStringLiteral("Delete pad %1, which holds %2?\n%3\n\nYes: the files are deleted from "
                       "the card too.\nNo: the files stay on the card.")
            .arg(pad + 1)
            .arg(QtPadQuestions::ContentText(*entry))
            .arg(QString::fromLatin1(kDeleteQuestion));
    const QMessageBox::StandardButton answer = AskDeleteFiles(question);
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        return;
    }
    // The grid shows what the card holds afterwards: a pad the card could not take the change for
    // stays as it was (the store has said why).
    const StoreResult deleted = commands_.DeletePad(pad, answer == QMessageBox::Yes);
    // The files kept because another pad uses them, or that could not be deleted, are named.
    ShowResult(deleted);
    if (deleted.change.PadChanged()) {
        emit StatusMessage(QStringLiteral("Deleted pad %1.").arg(pad + 1));
    }
    ShowPad(pad);
}

QString CConvertToolView::CardStatusText() const {
    if (openRoot_.isEmpty()) {
        return QStringLiteral("No card");
    }
    const QString card = QDir::toNativeSeparators(openRoot_);
    if (cardGone_ || !store_.IsCardOpen()) {
        return QStringLiteral("Card %1 is not available").arg(card);
    }
    const QStorageInfo volume(QString::fromStdString(store_.CardFolder().string()));
    const Settings& settings = commands_.GetSettings();
    static const char* const qualities[] = {"Lowest", "Low", "Middle", "High", "Highest"};
    // The card's folder name first: the line is narrow, its tooltip holds the whole path.
    const QString name = QFileInfo(openRoot_).fileName().isEmpty() ? card : QFileInfo(openRoot_).fileName();
    return QStringLiteral("%1: %2 free | %3, %4%5, %6")
        .arg(name)
        .arg(SizeText(volume.bytesAvailable()))
        .arg(settings.fps == 1 ? QStringLiteral("PAL 25 fps") : QStringLiteral("NTSC 29.97 fps"))
        .arg(QString::fromLatin1(qualities[settings.QualitySliderPosition()]))
        .arg(settings.deinterlace == 1 ? QStringLiteral(", deinterlace") : QString())
        .arg(QString::fromLatin1(FitWord(settings.fit)));
}

QString CConvertToolView::CardStatusToolTip() const {
    if (openRoot_.isEmpty() || cardGone_ || !store_.IsCardOpen()) {
        return CardStatusText();
    }
    return QStringLiteral("Card: %1\n%2")
        .arg(QDir::toNativeSeparators(openRoot_), CardStatusText().section(QStringLiteral(": "), 1));
}

QStringList CConvertToolView::AskImportFiles(const QStringList& filters) {
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::ReadOnly, false);
    dialog.setNameFilters(filters);
    const QString folder = remembered::ImportFolder();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        dialog.setDirectory(folder);
    }
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

QString CConvertToolView::AskExportFolder() {
    // Only real folders can be exported to.
    return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kExportFolderTitle),
                                             remembered::ExportFolder(), QFileDialog::ShowDirsOnly);
}

QString CConvertToolView::AskCardFolder() {
    return QFileDialog::getExistingDirectory(this, QString::fromLatin1(kCardFolderTitle),
                                             remembered::RecentCards().value(0), QFileDialog::ShowDirsOnly);
}

QMessageBox::StandardButton CConvertToolView::AskDeleteFiles(const QString& text) {
    return QtUserMessages::AskYesNoCancel(this, text, QMessageBox::Cancel);
}

bool CConvertToolView::AskYesNo(const QString& text) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(QtUserMessages::kCaption), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void CConvertToolView::ShowMessage(const QString& text) {
    QtUserMessages::Show(this, text);
}

void CConvertToolView::ShowResult(const StoreResult& result) {
    if (!result.text.empty()) {
        ShowMessage(QString::fromStdString(result.text));
    }
}

void CConvertToolView::ShowMovieInformation(int pad) {
    CDialogMovieInformation dialog(commands_, window());
    dialog.SetPad(bankIndex_, numberIndex_, pad);
    dialog.exec();
}

void CConvertToolView::ShowStillInformation(int pad) {
    CDialogPictureInformation dialog(commands_, window());
    dialog.SetPad(bankIndex_, numberIndex_, pad);
    dialog.exec();
}

} // namespace k72
