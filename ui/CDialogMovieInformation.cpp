#include "ui/CDialogMovieInformation.h"

#include "engine/CConversionManager.h"
#include "engine/RunningTime.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CMovieInfoBox.h"
#include "ui/DesktopOpen.h"
#include "ui/DialogUnits.h"
#include "ui/MediaKinds.h"
#include "ui/OriginalNames.h"
#include "ui/PadHeader.h"
#include "ui/PlayerWidget.h"
#include "ui/QtPadQuestions.h"
#include "ui/QtUserMessages.h"
#include "ui/ReadOnlyCard.h"
#include "ui/WindowPlacement.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QUrl>

#include <system_error>

namespace k72 {
namespace {} // namespace

CDialogMovieInformation::CDialogMovieInformation(PadCommands& commands, QWidget* parent)
    : PadInformationDialog(commands, parent,
                           Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Information"));
    setFont(FormFont());
    // The form as it always was, and the player below it.
    const QRect form(QPoint(0, 0), DluSize(184, 84));
    const QRect playerArea(DluToPixelsX(3), form.bottom() + 1, DluToPixelsX(178), kPlayerHeight);
    setFixedSize(form.width(), playerArea.bottom() + 1 + DluToPixelsY(3));

    bankLabel_ = MakeDialogLabel(this, QString(), 6, 3, 36, 8);
    padLabel_ = MakeDialogLabel(this, QString(), 45, 3, 25, 8);
    audioLabel_ = MakeDialogLabel(this, QStringLiteral("Audio:"), 87, 3, 22, 8);
    audioNameLabel_ = MakeDialogLabel(this, QString(), 110, 3, 70, 8);
    infoBox_ = new CMovieInfoBox(this);
    PlaceControl(infoBox_, 3, 14, 178, 45);
    removeSoundButton_ = MakeRemoveSoundButton(this);
    audioButton_ = MakeFormButton(this, QStringLiteral("Audio"), 3, 67);
    previewButton_ = MakeFormButton(this, QStringLiteral("Open in Player"), 64, 67);
    // Wider than the form's buttons, for its longer text.
    PlaceControl(previewButton_, 64, 67, 56, 14);
    previewButton_->setToolTip(QStringLiteral("Play the movie with your computer's own video player"));
    closeButton_ = MakeFormButton(this, QStringLiteral("Close"), 131, 67);
    player_ = new PlayerWidget(this);
    player_->setGeometry(playerArea);
    PlaceHeaderLabels(bankLabel_, padLabel_, audioLabel_, audioNameLabel_);

    connect(audioButton_, &QPushButton::clicked, this, &CDialogMovieInformation::OnAudio);
    connect(removeSoundButton_, &QToolButton::clicked, this, &CDialogMovieInformation::OnRemoveSound);
    connect(previewButton_, &QPushButton::clicked, this, &CDialogMovieInformation::OnPreview);
    connect(closeButton_, &QPushButton::clicked, this, [this] { done(1); });
}

void CDialogMovieInformation::SetPad(int bankIndex, int numberIndex, int padIndex) {
    bank_ = bankIndex;
    number_ = numberIndex;
    pad_ = padIndex;
    Start();
}

void CDialogMovieInformation::Start() {
    // A read-only card's movie plays and exports; its sound cannot be changed.
    EnableChange(audioButton_, true, store_.IsReadOnly());
    EnableChange(removeSoundButton_, true, store_.IsReadOnly());
    std::string movieName;
    std::string audioName;
    const PadEntry* entry = store_.Entry(pad_);
    if (entry != nullptr && entry->movie) {
        movieName = NameText(entry->movie->fileName);
        audioName = NameText(entry->movie->audioFileName);
    }
    moviePath_.clear();
    if (const auto path = store_.Files().PathOf(movieName); path && !movieName.empty()) {
        moviePath_ = *path;
    }

    std::error_code ec;
    const auto size = moviePath_.empty() ? 0 : std::filesystem::file_size(moviePath_, ec);
    const std::uint64_t fileSize = ec ? 0 : static_cast<std::uint64_t>(size);

    // The running time comes from the movie's own AVI headers.
    std::uint32_t frames = 0;
    double rate = 0.0;
    if (!moviePath_.empty()) {
        CConversionManager manager;
        if (Succeeded(manager.ProbeAvi(moviePath_.string()))) {
            frames = manager.ProbedFrames();
            rate = manager.ProbedFrameRate();
        }
    }
    infoBox_->SetMovie(movieName, fileSize, ComputeRunningTime(frames, rate));
    OriginalNames originals;
    originals.Read(store_);
    infoBox_->SetOriginalName(originals.Of(store_, movieName));

    audioDisplayName_ = audioName.empty() ? QString() : AudioDisplayName(store_, audioName);
    ShowHeader();
    OpenPlayer();
}

// The device plays the pad's WAV, as the pad records it now, instead of the movie's own sound.
void CDialogMovieInformation::OpenPlayer() {
    const PadEntry* entry = store_.Entry(pad_);
    const std::string audioName =
        (entry != nullptr && entry->movie) ? NameText(entry->movie->audioFileName) : "";
    const auto sound = audioName.empty() ? std::nullopt : store_.Files().PathOf(audioName);
    player_->OpenMovie(moviePath_, sound.value_or(std::filesystem::path()));
}

void CDialogMovieInformation::ShowHeader() {
    bankLabel_->setText(BankLabelText(bank_, number_));
    padLabel_->setText(PadLabelText(pad_));
    audioNameLabel_->setText(ShortenedName(audioDisplayName_, 20, 15));
    PlaceHeaderLabels(bankLabel_, padLabel_, audioLabel_, audioNameLabel_, removeSoundButton_);
}

void CDialogMovieInformation::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!placed_) {
        placed_ = true;
        PlaceBesideMainWindow(this, parentWidget() != nullptr ? parentWidget()->window() : nullptr);
    }
}

void CDialogMovieInformation::reject() {
    done(1);
}

// Nothing plays on once the window has closed.
void CDialogMovieInformation::done(int result) {
    player_->Pause();
    QDialog::done(result);
}

void CDialogMovieInformation::OnAudio() {
    const QString path = AskAudioFile();
    if (path.isEmpty()) {
        return;
    }
    // A sound the device cannot play as it is may be converted first, when the user agrees; the
    // conversion runs beside the window, with a progress window of its own when it takes long.
    const auto attached = QtPadQuestions::AttachSound(
        commands_, pad_, path, this, [this](const QString& question) { return AskConvertSound(question); });
    // A success may have words too: the sound it replaced, left on the card.
    if (!attached.text.empty()) {
        ShowMessage(QString::fromStdString(attached.text));
    }
    if (attached) {
        audioDisplayName_ = QString::fromStdString(attached.value.name);
        ShowHeader();
        OpenPlayer(); // with the new sound
    }
}

void CDialogMovieInformation::OnRemoveSound() {
    const int answer = AskRemoveSound(RemoveSoundQuestion(audioDisplayName_, pad_));
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        return;
    }
    // The store deletes the file only when no pad names it any more, and says so when it keeps it.
    const StoreResult removed = commands_.RemoveSound(pad_, answer == QMessageBox::Yes);
    if (!removed.text.empty()) {
        ShowMessage(QString::fromStdString(removed.text));
    }
    if (removed.change.PadChanged()) {
        audioDisplayName_.clear();
        ShowHeader();
        OpenPlayer(); // with the movie's own sound
    }
}

int CDialogMovieInformation::AskRemoveSound(const QString& question) {
    return QtUserMessages::AskYesNoCancel(this, question, QMessageBox::Cancel);
}

void CDialogMovieInformation::OnPreview() {
    if (!moviePath_.empty()) {
        player_->Pause(); // one player at a time
        OpenWithDesktop(moviePath_);
    }
}

bool CDialogMovieInformation::AskConvertSound(const QString& question) {
    return QtPadQuestions::AskToConvert(this, question);
}

QString CDialogMovieInformation::AskAudioFile() {
    return QFileDialog::getOpenFileName(this, QString(), QString(), SoundFilters(), nullptr,
                                        QFileDialog::HideNameFilterDetails);
}

void CDialogMovieInformation::OpenWithDesktop(const std::filesystem::path& path) {
    OpenWithDesktopProgram(this, QString::fromStdString(path.string()), PreviewKind::Movie);
}

// The message has no owner window, as the store's own failures have none.
void CDialogMovieInformation::ShowMessage(const QString& text) {
    QtUserMessages::Show(nullptr, text);
}

} // namespace k72
