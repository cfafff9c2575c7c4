#include "ui/CDialogPictureInformation.h"

#include "resources/Artwork.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CPictureListBox.h"
#include "ui/CThemeButton.h"
#include "ui/DesktopOpen.h"
#include "ui/DialogUnits.h"
#include "ui/MediaKinds.h"
#include "ui/PadHeader.h"
#include "ui/QtPadQuestions.h"
#include "ui/QtUserMessages.h"

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
#include <QUrl>

#include <memory>
#include <system_error>

namespace k72 {
namespace {

QIcon Icon(const char* name) {
    return QIcon(artwork::ResourcePath(name));
}

} // namespace

CDialogPictureInformation::CDialogPictureInformation(PadCommands& commands, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      commands_(commands), store_(commands.Store()) {
    setWindowTitle(QStringLiteral("Still Image List"));
    setWindowIcon(QIcon(artwork::AppIconPath(16)));
    setFont(FormFont());
    resize(DluSize(232, 274));

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
    previewButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Preview"), 121, 258);
    closeButton_ = MakeFormButton<QPushButton>(this, QStringLiteral("Close"), 182, 258);

    connect(list_, &QListWidget::currentRowChanged, this, &CDialogPictureInformation::UpdateArrows);
    connect(list_, &QListWidget::itemDoubleClicked, this, &CDialogPictureInformation::OnPreview);
    connect(upButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnUp);
    connect(downButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnDown);
    connect(importButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnImport);
    connect(deleteButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnDelete);
    connect(audioButton_, &QPushButton::clicked, this, &CDialogPictureInformation::OnAudio);
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
    // One after another, each shown as soon as it is on the pad; the store says why a picture failed,
    // and the rest are not tried.
    for (const QString& path : paths) {
        const StoreResult added =
            commands_.Import({pad_, PadKindStill, {std::filesystem::path(path.toStdString())}, true});
        if (!added) {
            if (!added.text.empty()) {
                ShowMessage(QString::fromStdString(added.text), added.failure == StoreFailure::StillLimit);
            }
            return;
        }
        AddRow(StillName(StillCount() - 1));
    }
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
    const int count = StillCount();
    for (int i = 0; i < count; ++i) {
        AddRow(StillName(i));
    }
    const StillRecord* stills = Stills();
    const std::string audio = stills != nullptr ? NameText(stills->audioFileName) : std::string();
    audioDisplayName_ = audio.empty() ? QString() : AudioDisplayName(store_, audio);
    upButton_->setEnabled(false);
    downButton_->setEnabled(false);
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
    list_->AddRow(QString::fromStdString(name), picture, fileSize, index);
}

void CDialogPictureInformation::UpdateArrows() {
    const int n = StillCount();
    const int k = list_->currentRow();
    upButton_->setEnabled(n >= 2 && k >= 1);
    downButton_->setEnabled(n >= 2 && k >= 0 && k < n - 1);
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
}

void CDialogPictureInformation::OnUp() {
    const int k = list_->currentRow();
    if (k <= 0) {
        return;
    }
    Move(k, k - 1);
}

void CDialogPictureInformation::OnDown() {
    const int k = list_->currentRow();
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
    }
}

void CDialogPictureInformation::OnPreview() {
    const int k = list_->currentRow();
    if (k < 0) {
        return;
    }
    const std::string name = StillName(k);
    if (const auto path = store_.Files().PathOf(name); path && !name.empty()) {
        OpenWithDesktop(*path);
    }
}

void CDialogPictureInformation::Relayout() {
    bankLabel_->setText(BankLabelText(bank_, number_));
    padLabel_->setText(PadLabelText(pad_));
    audioNameLabel_->setText(ShortenedName(audioDisplayName_, 30, 25));
    PlaceHeaderLabels(bankLabel_, padLabel_, audioLabel_, audioNameLabel_);

    const int W = width();
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

QStringList CDialogPictureInformation::AskImageFiles() {
    // The pictures we know, then all files (movies are no choice here).
    return QFileDialog::getOpenFileNames(this, QString(), QString(), PictureFilters());
}

bool CDialogPictureInformation::AskConvertSound(const QString& question) {
    return QtPadQuestions::AskToConvert(this, question);
}

QString CDialogPictureInformation::AskAudioFile() {
    return QFileDialog::getOpenFileName(this, QString(), QString(), SoundFilters());
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
