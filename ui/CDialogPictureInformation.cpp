#include "ui/CDialogPictureInformation.h"

#include "resources/Artwork.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CPictureListBox.h"
#include "ui/CThemeButton.h"
#include "ui/ChosenFit.h"
#include "ui/DesktopOpen.h"
#include "ui/DialogUnits.h"
#include "ui/MediaKinds.h"
#include "ui/PadHeader.h"
#include "ui/PlayerWidget.h"
#include "ui/PreviewDialog.h"
#include "ui/QtPadQuestions.h"
#include "ui/QtUserMessages.h"
#include "ui/ReadOnlyCard.h"
#include "ui/WindowPlacement.h"

#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QResizeEvent>
#include <QToolButton>
#include <QUrl>

#include <memory>
#include <system_error>

namespace k72 {
namespace {

QIcon Icon(const char* name) {
    return QIcon(artwork::ResourcePath(name));
}

// Space between the form and the player's column, and below the player.
constexpr int kPlayerGap = 8;
constexpr int kPlayerHeight = 300;

} // namespace

CDialogPictureInformation::CDialogPictureInformation(PadCommands& commands, QWidget* parent)
    : PadInformationDialog(commands, parent,
                           Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Still Image List"));
    setWindowIcon(QIcon(artwork::AppIconPath(16)));
    setFont(FormFont());
    formWidth_ = DluToPixelsX(232);
    resize(formWidth_ + kPlayerWidth + 2 * kPlayerGap, DluToPixelsY(274));

    bankLabel_ = MakeDialogLabel(this, QString(), 4, 3, 36, 8);
    padLabel_ = MakeDialogLabel(this, QString(), 46, 3, 25, 8);
    audioLabel_ = MakeDialogLabel(this, QStringLiteral("Audio:"), 79, 4, 22, 8);
    audioNameLabel_ = MakeDialogLabel(this, QString(), 122, 4, 107, 8);
    list_ = new CPictureListBox(this);
    PlaceControl(list_, 0, 14, 231, 166);
    upButton_ = MakeFormButton<CThemeButton>(this, QString::fromUtf8("\u25b2"), 0, 233);
    upButton_->setAccessibleName(QStringLiteral("Move up"));
    upButton_->setToolTip(QStringLiteral("Move up"));
    importButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Import"), 61, 233);
    deleteButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Delete"), 181, 233);
    downButton_ = MakeFormButton<CThemeButton>(this, QString::fromUtf8("\u25bc"), 0, 260);
    downButton_->setAccessibleName(QStringLiteral("Move down"));
    downButton_->setToolTip(QStringLiteral("Move down"));
    audioButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Audio"), 62, 260);
    removeSoundButton_ = MakeRemoveSoundButton(this);
    previewButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Open in Player"), 121, 258);
    // Wider than the form's buttons, for its longer text.
    PlaceControl(previewButton_, 121, 258, 56, 14);
    previewButton_->setToolTip(QStringLiteral("Show the selected picture with your computer's own viewer"));
    closeButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Close"), 182, 258);
    player_ = new PlayerWidget(this);

    connect(list_, &QListWidget::currentRowChanged, this, &CDialogPictureInformation::UpdateArrows);
    connect(list_, &QListWidget::currentRowChanged, this, &CDialogPictureInformation::ShowSelectedPicture);
    connect(list_, &QListWidget::itemDoubleClicked, this, &CDialogPictureInformation::OnPreview);
    connect(list_, &CPictureListBox::RowMoveRequested, this, &CDialogPictureInformation::DragMove);
    connect(list_, &CPictureListBox::UpRequested, this, &CDialogPictureInformation::OnUp);
    connect(list_, &CPictureListBox::DownRequested, this, &CDialogPictureInformation::OnDown);
    connect(list_, &CPictureListBox::DeleteRequested, this, &CDialogPictureInformation::OnDelete);
    connect(upButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnUp);
    connect(downButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnDown);
    connect(importButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnImport);
    connect(deleteButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnDelete);
    connect(audioButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnAudio);
    connect(removeSoundButton_, &QToolButton::clicked, this, &CDialogPictureInformation::OnRemoveSound);
    connect(previewButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnPreview);
    connect(closeButton_, &QPushButton::clicked, this, [this] { done(1); });
    setAcceptDrops(true);
}

void CDialogPictureInformation::dragEnterEvent(QDragEnterEvent* event) {
    if (DroppedPictures(event->mimeData()).isEmpty()) {
        event->ignore();
    } else {
        event->acceptProposedAction();
    }
}

void CDialogPictureInformation::dragMoveEvent(QDragMoveEvent* event) {
    if (DroppedPictures(event->mimeData()).isEmpty()) {
        event->ignore();
    } else {
        event->acceptProposedAction();
    }
}

void CDialogPictureInformation::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedPictures(event->mimeData());
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    AddPictures(paths);
}

void CDialogPictureInformation::AddPictures(const QStringList& paths) {
    if (paths.isEmpty()) {
        return;
    }
    // A full pad says so before anything is shown or converted.
    if (StillCount() >= static_cast<int>(padlayout::kMaxStills)) {
        ShowMessage(QString::fromLatin1(kTooManyStills), true);
        return;
    }
    std::vector<FitMode> fits(static_cast<std::size_t>(paths.size()), commands_.GetSettings().fit);
    if (commands_.GetSettings().previewBeforeConverting && !AskPreview(paths, fits)) {
        return;
    }
    // One after another, each shown as soon as it is on the pad, with the fit chosen for it; the store
    // says why a picture failed, and the rest are not tried.
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const ChosenFit fit(commands_, fits[static_cast<std::size_t>(i)]);
        const StoreResult added =
            commands_.Import({pad_, PadKindStill, {std::filesystem::path(paths[i].toStdString())}, true});
        if (!added) {
            if (!added.text.empty()) {
                ShowMessage(QString::fromStdString(added.text), added.failure == StoreFailure::StillLimit);
            }
            break;
        }
        // The import has entered the picture's own name into the card's record of sources.
        originals_.Read(store_);
        AddRow(StillName(StillCount() - 1));
    }
    OpenPlayer();
}

void CDialogPictureInformation::SetPad(int bankIndex, int numberIndex, int padIndex) {
    bank_ = bankIndex;
    number_ = numberIndex;
    pad_ = padIndex;
    Start();
}

const StillRecord* CDialogPictureInformation::Stills() const {
    const PadEntry* entry = store_.Entry(pad_);
    return (entry != nullptr && entry->stills) ? &*entry->stills : nullptr;
}

int CDialogPictureInformation::StillCount() const {
    const StillRecord* stills = Stills();
    return stills != nullptr ? static_cast<int>(stills->UsableCount()) : 0;
}

std::string CDialogPictureInformation::StillName(int index) const {
    const StillRecord* stills = Stills();
    if (stills == nullptr || index < 0 || index >= static_cast<int>(stills->UsableCount())) {
        return {};
    }
    return NameText(stills->stillNames[static_cast<std::size_t>(index)]);
}

void CDialogPictureInformation::Start() {
    upButton_->SetIcons(Icon(artwork::kArrowUp), Icon(artwork::kArrowUpDisabled));
    downButton_->SetIcons(Icon(artwork::kArrowDown), Icon(artwork::kArrowDownDisabled));
    list_->clear();
    originals_.Read(store_);
    const int count = StillCount();
    for (int i = 0; i < count; ++i) {
        AddRow(StillName(i));
    }
    const StillRecord* stills = Stills();
    const std::string audio = stills != nullptr ? NameText(stills->audioFileName) : std::string();
    audioDisplayName_ = audio.empty() ? QString() : AudioDisplayName(store_, audio);
    // A read-only card is looked at: its pictures play and open, and nothing changes them.
    readOnly_ = store_.IsReadOnly();
    for (QWidget* control :
         {static_cast<QWidget*>(importButton_), static_cast<QWidget*>(deleteButton_),
          static_cast<QWidget*>(audioButton_), static_cast<QWidget*>(removeSoundButton_)}) {
        EnableChange(control, true, readOnly_);
    }
    list_->setDragDropMode(readOnly_ ? QAbstractItemView::NoDragDrop : QAbstractItemView::InternalMove);
    setAcceptDrops(!readOnly_);
    UpdateArrows();
    OpenPlayer();
    if (!initialised_) {
        initialSize_ = size();
        initialListWidth_ = list_->width();
        // Only the height can change, and not below the first one.
        setMinimumSize(initialSize_);
        setMaximumWidth(initialSize_.width());
        initialised_ = true;
    }
    Relayout();
}

// Every still keeps a row, so that row i always stands for picture i of the pad: a picture whose file
// is missing or cannot be decoded gets a row without a thumbnail.
void CDialogPictureInformation::AddRow(const std::string& name, int index) {
    QImage picture;
    std::uint64_t fileSize = 0;
    if (const auto path = store_.Files().PathOf(name); path && !name.empty()) {
        std::error_code ec;
        const auto size = std::filesystem::file_size(*path, ec);
        if (!ec) {
            fileSize = static_cast<std::uint64_t>(size);
            QImageReader reader(QString::fromStdString(path->string()));
            reader.setAutoTransform(false);
            picture = reader.read();
        }
    }
    // The card name first, as the device knows it, then the name the picture had before.
    const QString original = originals_.Of(store_, name);
    list_->AddRow(QString::fromStdString(name) +
                      (original.isEmpty() ? QString() : QStringLiteral(" \u2014 ") + original),
                  picture, fileSize, index);
}

void CDialogPictureInformation::UpdateArrows() {
    const int n = StillCount();
    const int k = list_->currentRow();
    EnableChange(upButton_, n >= 2 && k >= 1, readOnly_);
    EnableChange(downButton_, n >= 2 && k >= 0 && k < n - 1, readOnly_);
}

void CDialogPictureInformation::Move(int from, int to) {
    const std::string name = StillName(from);
    const StoreResult swapped = commands_.SwapPictures(pad_, from, to);
    if (!swapped) {
        ShowResult(swapped);
        return;
    }
    std::unique_ptr<QListWidgetItem>(list_->takeItem(from)).reset();
    AddRow(name, to);
    list_->setCurrentRow(to);
    UpdateArrows();
    OpenPlayer();
    ShowSelectedPicture();
}

// A row dragged to another place: the pictures between move up or down by one.
void CDialogPictureInformation::DragMove(int from, int to) {
    const StoreResult moved = commands_.MovePicture(pad_, from, to);
    if (!moved) {
        ShowResult(moved);
        return;
    }
    // The row keeps its decoded picture.
    QListWidgetItem* item = list_->takeItem(from);
    list_->insertItem(to, item);
    list_->setCurrentRow(to);
    UpdateArrows();
    OpenPlayer();
    ShowSelectedPicture();
}

// The pad's pictures in their order, each shown for kSecondsPerPicture, with the pad's sound. A picture
// whose file is missing keeps its place (and shows nothing new), so that picture i is still row i.
void CDialogPictureInformation::OpenPlayer() {
    std::vector<std::filesystem::path> pictures;
    bool anyThere = false;
    for (int i = 0; i < StillCount(); ++i) {
        const std::string name = StillName(i);
        const auto path = store_.Files().PathOf(name);
        pictures.push_back(path.value_or(std::filesystem::path()));
        anyThere = anyThere || (path && CardFiles::Exists(*path));
    }
    if (!anyThere) {
        pictures.clear();
    }
    const StillRecord* stills = Stills();
    const std::string audio = stills != nullptr ? NameText(stills->audioFileName) : std::string();
    const auto sound = audio.empty() ? std::nullopt : store_.Files().PathOf(audio);
    player_->OpenSlideshow(pictures, kSecondsPerPicture, sound.value_or(std::filesystem::path()));
}

// The player shows the picture chosen in the list, unless it is playing.
void CDialogPictureInformation::ShowSelectedPicture() {
    const int row = list_->currentRow();
    if (row >= 0 && !player_->IsPlaying()) {
        player_->SeekTo(row * kSecondsPerPicture);
    }
}

void CDialogPictureInformation::OnUp() {
    const int k = list_->currentRow();
    if (readOnly_) {
        return; // the keys of the list, on a read-only card
    }
    if (k <= 0) {
        return;
    }
    Move(k, k - 1);
}

void CDialogPictureInformation::OnDown() {
    const int k = list_->currentRow();
    if (readOnly_) {
        return; // the keys of the list, on a read-only card
    }
    if (k < 0 || k + 1 >= StillCount()) {
        return;
    }
    Move(k, k + 1);
}

void CDialogPictureInformation::OnImport() {
    if (StillCount() >= static_cast<int>(padlayout::kMaxStills)) {
        ShowMessage(QString::fromLatin1(kTooManyStills), true);
        return;
    }
    // Several pictures may be picked at once; they are added in the order the dialog gives.
    AddPictures(AskImageFiles());
}

void CDialogPictureInformation::OnDelete() {
    const int k = list_->currentRow();
    if (readOnly_) {
        return; // the keys of the list, on a read-only card
    }
    if (k < 0) {
        return;
    }
    const std::string name = StillName(k);
    const int answer =
        AskDeleteFiles(QStringLiteral("Remove picture %1, %2, from pad %3?\n%4\n\nYes: its file is "
                                      "deleted from the card too.\nNo: the file stays on the card.")
                           .arg(k + 1)
                           .arg(QString::fromStdString(name))
                           .arg(pad_ + 1)
                           .arg(QString::fromLatin1(kDeleteQuestion)));
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        return;
    }
    // The store deletes the file (never the pad file, whatever a damaged list names) only when no pad
    // names it any more, and says so when it keeps it. A list left empty leaves an empty pad.
    const StoreResult removed = commands_.RemovePicture(pad_, k, answer == QMessageBox::Yes);
    ShowResult(removed);
    if (!removed.change.PadChanged()) {
        return;
    }
    std::unique_ptr<QListWidgetItem>(list_->takeItem(k)).reset();
    // Nothing is selected afterwards, so that neither the arrows nor the next Delete act on a
    // neighbour the user did not choose.
    list_->setCurrentRow(-1);
    list_->clearSelection();
    UpdateArrows();
    OpenPlayer();
}

void CDialogPictureInformation::OnAudio() {
    const QString path = AskAudioFile();
    if (path.isEmpty()) {
        return;
    }
    // A sound the device cannot play as it is may be converted first, when the user agrees; the
    // conversion runs beside the window, with a progress window of its own when it takes long.
    const auto attached = QtPadQuestions::AttachSound(
        commands_, pad_, path, this, [this](const QString& question) { return AskConvertSound(question); });
    ShowResult(attached);
    if (attached) {
        audioDisplayName_ = QString::fromStdString(attached.value.name);
        Relayout();
        OpenPlayer(); // with the new sound
    }
}

void CDialogPictureInformation::OnRemoveSound() {
    if (readOnly_) {
        return;
    }
    const int answer = AskDeleteFiles(RemoveSoundQuestion(audioDisplayName_, pad_));
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        return;
    }
    // The store deletes the file only when no pad names it any more, and says so when it keeps it.
    const StoreResult removed = commands_.RemoveSound(pad_, answer == QMessageBox::Yes);
    ShowResult(removed);
    if (removed.change.PadChanged()) {
        audioDisplayName_.clear();
        Relayout();
        OpenPlayer(); // the slideshow without a sound
    }
}

void CDialogPictureInformation::OnPreview() {
    const int k = list_->currentRow();
    if (k < 0) {
        return;
    }
    const std::string name = StillName(k);
    if (const auto path = store_.Files().PathOf(name); path && !name.empty()) {
        player_->Pause(); // one player at a time
        OpenWithDesktop(*path);
    }
}

void CDialogPictureInformation::Relayout() {
    bankLabel_->setText(BankLabelText(bank_, number_));
    padLabel_->setText(PadLabelText(pad_));
    audioNameLabel_->setText(ShortenedName(audioDisplayName_, 30, 25));
    PlaceHeaderLabels(bankLabel_, padLabel_, audioLabel_, audioNameLabel_, removeSoundButton_);

    // The form keeps its own width; the player's column lies right of it.
    const int W = formWidth_;
    const int H = height();
    list_->setGeometry(0, 25, initialListWidth_ > 0 ? initialListWidth_ : list_->width(), H - 80);
    const int w = upButton_->width();
    const int h = upButton_->height();
    const int wDown = downButton_->width();
    const int g = (W - 4 * w) / 3;
    upButton_->move(0, H - 55);
    importButton_->move(w + g, H - 55);
    deleteButton_->move(3 * (w + g), H - 55);
    const int secondRow = H - 45 + h;
    downButton_->move(0, secondRow);
    audioButton_->move(wDown + g, secondRow);
    previewButton_->move(2 * (wDown + g), secondRow);
    closeButton_->move(3 * (wDown + g), secondRow);
    player_->setGeometry(W + kPlayerGap, 25, kPlayerWidth, std::min(kPlayerHeight, H - 25 - kPlayerGap));
}

void CDialogPictureInformation::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!placed_) {
        placed_ = true;
        PlaceBesideMainWindow(this, parentWidget() != nullptr ? parentWidget()->window() : nullptr);
    }
}

void CDialogPictureInformation::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (initialised_) {
        Relayout();
    }
}

void CDialogPictureInformation::reject() {
    done(1);
}

// Nothing plays on once the window has closed.
void CDialogPictureInformation::done(int result) {
    player_->Pause();
    QDialog::done(result);
}

QStringList CDialogPictureInformation::AskImageFiles() {
    // The pictures we know, then all files (movies are no choice here).
    return QFileDialog::getOpenFileNames(this, QString(), QString(), PictureFilters(), nullptr,
                                         QFileDialog::HideNameFilterDetails);
}

bool CDialogPictureInformation::AskPreview(const QStringList& paths, std::vector<FitMode>& fits) {
    std::vector<std::filesystem::path> files;
    for (const QString& path : paths) {
        files.emplace_back(path.toStdString());
    }
    return PreviewDialog::Ask(this, files, commands_.GetSettings(), fits);
}

bool CDialogPictureInformation::AskConvertSound(const QString& question) {
    return QtPadQuestions::AskToConvert(this, question);
}

QString CDialogPictureInformation::AskAudioFile() {
    return QFileDialog::getOpenFileName(this, QString(), QString(), SoundFilters(), nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

int CDialogPictureInformation::AskDeleteFiles(const QString& text) {
    return QtUserMessages::AskYesNoCancel(this, text, QMessageBox::Cancel);
}

// The store's words have no owner window, as a message of the store never had.
void CDialogPictureInformation::ShowResult(const StoreResult& result) {
    if (!result.text.empty()) {
        ShowMessage(QString::fromStdString(result.text), false);
    }
}

void CDialogPictureInformation::ShowMessage(const QString& text, bool owned) {
    QtUserMessages::Show(owned ? this : nullptr, text);
}

void CDialogPictureInformation::OpenWithDesktop(const std::filesystem::path& path) {
    OpenWithDesktopProgram(this, QString::fromStdString(path.string()), PreviewKind::Picture);
}

} // namespace k72
