#include "ui/CDialogMovieInformation.h"

#include "engine/CConversionManager.h"
#include "engine/RunningTime.h"
#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "ui/CMovieInfoBox.h"
#include "ui/DesktopOpen.h"
#include "ui/DialogUnits.h"
#include "ui/MediaKinds.h"
#include "ui/PadHeader.h"
#include "ui/QtPadQuestions.h"
#include "ui/QtUserMessages.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include <system_error>

namespace k72 {
namespace {} // namespace

CDialogMovieInformation::CDialogMovieInformation(PadCommands& commands, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      commands_(commands), store_(commands.Store()) {
    setWindowTitle(QStringLiteral("Information"));
    setFont(FormFont());
    setFixedSize(DluSize(184, 84));

    bankLabel_ = MakeDialogLabel(this, QString(), 6, 3, 36, 8);
    padLabel_ = MakeDialogLabel(this, QString(), 45, 3, 25, 8);
    audioLabel_ = MakeDialogLabel(this, QStringLiteral("Audio:"), 87, 3, 22, 8);
    audioNameLabel_ = MakeDialogLabel(this, QString(), 110, 3, 70, 8);
    infoBox_ = new CMovieInfoBox(this);
    PlaceControl(infoBox_, 3, 14, 178, 45);
    audioButton_ = MakeFormButton(this, QStringLiteral("Audio"), 3, 67);
    previewButton_ = MakeFormButton(this, QStringLiteral("Preview"), 67, 67);
    closeButton_ = MakeFormButton(this, QStringLiteral("Close"), 131, 67);
    PlaceHeaderLabels(bankLabel_, padLabel_, audioLabel_, audioNameLabel_);

    connect(audioButton_, &QPushButton::clicked, this, &CDialogMovieInformation::OnAudio);
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

    audioDisplayName_ = audioName.empty() ? QString() : AudioDisplayName(store_, audioName);
    ShowHeader();
}

void CDialogMovieInformation::ShowHeader() {
    bankLabel_->setText(BankLabelText(bank_, number_));
    padLabel_->setText(PadLabelText(pad_));
    audioNameLabel_->setText(ShortenedName(audioDisplayName_, 20, 15));
    PlaceHeaderLabels(bankLabel_, padLabel_, audioLabel_, audioNameLabel_);
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

void CDialogMovieInformation::OnAudio() {
    const QString path = AskAudioFile();
    if (path.isEmpty()) {
        return;
    }
    // A sound the device cannot play as it is may be converted first, when the user agrees; the
    // conversion runs beside the window, with a progress window of its own when it takes long.
    const auto attached = QtPadQuestions::AttachSound(
        commands_, pad_, path, this, [this](const QString& question) { return AskConvertSound(question); });
    if (!attached.text.empty()) {
        ShowMessage(QString::fromStdString(attached.text));
    } else if (attached) {
        audioDisplayName_ = QString::fromStdString(attached.value.name);
        ShowHeader();
    }
}

void CDialogMovieInformation::OnPreview() {
    if (!moviePath_.empty()) {
        OpenWithDesktop(moviePath_);
    }
}

bool CDialogMovieInformation::AskConvertSound(const QString& question) {
    return QtPadQuestions::AskToConvert(this, question);
}

QString CDialogMovieInformation::AskAudioFile() {
    return QFileDialog::getOpenFileName(this, QString(), QString(), SoundFilters());
}

void CDialogMovieInformation::OpenWithDesktop(const std::filesystem::path& path) {
    OpenWithDesktopProgram(this, QString::fromStdString(path.string()), PreviewKind::Movie);
}

// The message has no owner window, as the store's own failures have none.
void CDialogMovieInformation::ShowMessage(const QString& text) {
    QtUserMessages::Show(nullptr, text);
}

} // namespace k72
