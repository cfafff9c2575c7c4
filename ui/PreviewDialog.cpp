#include "ui/PreviewDialog.h"

#include "store/PreviewSettingsOf.h"
#include "ui/PicturePane.h"
#include "ui/PreviewWorker.h"
#include "ui/WindowPlacement.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace k72 {
namespace {

struct FitChoice {
    FitMode mode;
    const char* text;
};
constexpr FitChoice kFitChoices[] = {
    {FitMode::Auto, "&Automatic"},
    {FitMode::Stretch, "&Stretch"},
    {FitMode::Letterbox, "&Letterbox"},
    {FitMode::Crop, "C&rop"},
};

QString FileName(const std::filesystem::path& file) {
    return QString::fromStdString(file.filename().string());
}

QString Seconds(double seconds) {
    return QStringLiteral("%1 s").arg(seconds, 0, 'f', 2);
}

} // namespace

PreviewDialog::PreviewDialog(std::vector<std::filesystem::path> files, const Settings& settings,
                             QWidget* parent)
    : QDialog(parent), files_(std::move(files)), settings_(settings), fits_(files_.size(), settings.fit),
      moments_(files_.size(), 0.0), durations_(files_.size(), 0.0),
      worker_(std::make_unique<PreviewWorker>()) {
    setWindowTitle(QStringLiteral("Preview"));

    fileList_ = new QListWidget(this);
    fileList_->setAccessibleName(QStringLiteral("Files"));
    fileList_->setMaximumWidth(260);
    for (std::size_t row = 0; row < files_.size(); ++row) {
        fileList_->addItem(FileName(files_[row]));
        UpdateListText(static_cast<int>(row));
    }

    pane_ = new PicturePane(this);
    pane_->setAccessibleName(QStringLiteral("As the device will show it"));
    pane_->setMinimumSize(320, 240);

    auto* fitBox = new QGroupBox(QStringLiteral("Fit of this file"), this);
    auto* fitLayout = new QHBoxLayout(fitBox);
    fitGroup_ = new QButtonGroup(this);
    for (const FitChoice& choice : kFitChoices) {
        auto* button = new QRadioButton(QString::fromLatin1(choice.text), fitBox);
        button->setAccessibleName(QString::fromLatin1(choice.text).remove(QLatin1Char('&')));
        fitGroup_->addButton(button, static_cast<int>(choice.mode));
        fitLayout->addWidget(button);
    }

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setAccessibleName(QStringLiteral("Moment of the movie"));
    slider_->setRange(0, 0);
    momentLabel_ = new QLabel(this);
    momentLabel_->setMinimumWidth(120);
    statusLabel_ = new QLabel(this);
    statusLabel_->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(this);
    convertButton_ = buttons->addButton(QStringLiteral("Convert"), QDialogButtonBox::AcceptRole);
    cancelButton_ = buttons->addButton(QDialogButtonBox::Cancel);
    convertButton_->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* momentRow = new QHBoxLayout;
    momentRow->addWidget(slider_, 1);
    momentRow->addWidget(momentLabel_);
    auto* right = new QVBoxLayout;
    right->addWidget(pane_, 1);
    right->addLayout(momentRow);
    right->addWidget(fitBox);
    right->addWidget(statusLabel_);
    auto* top = new QHBoxLayout;
    top->addWidget(fileList_);
    top->addLayout(right, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(buttons);

    connect(fileList_, &QListWidget::currentRowChanged, this, &PreviewDialog::ShowFile);
    connect(fitGroup_, &QButtonGroup::idClicked, this, [this](int id) {
        const int row = fileList_->currentRow();
        if (row < 0) {
            return;
        }
        fits_[static_cast<std::size_t>(row)] = static_cast<FitMode>(id);
        UpdateListText(row);
        RequestRender();
    });
    // While the slider is dragged the picture follows; renders that are overtaken are dropped.
    connect(slider_, &QSlider::valueChanged, this, [this](int value) {
        const int row = fileList_->currentRow();
        if (row < 0) {
            return;
        }
        moments_[static_cast<std::size_t>(row)] = value / 1000.0;
        momentLabel_->setText(Seconds(value / 1000.0) + QStringLiteral(" of ") +
                              Seconds(durations_[static_cast<std::size_t>(row)]));
        RequestRender();
    });
    connect(worker_.get(), &PreviewWorker::Rendered, this, &PreviewDialog::Rendered);

    resize(980, 640);
    if (!files_.empty()) {
        fileList_->setCurrentRow(0);
    } else {
        convertButton_->setEnabled(false);
    }
}

PreviewDialog::~PreviewDialog() = default;

QRadioButton* PreviewDialog::FitButton(FitMode mode) const {
    return qobject_cast<QRadioButton*>(fitGroup_->button(static_cast<int>(mode)));
}

bool PreviewDialog::Ask(QWidget* parent, const std::vector<std::filesystem::path>& files,
                        const Settings& settings, std::vector<FitMode>& fits) {
    PreviewDialog dialog(files, settings, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    fits = dialog.Fits();
    return true;
}

void PreviewDialog::UpdateListText(int row) {
    QListWidgetItem* item = fileList_->item(row);
    if (item == nullptr) {
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    item->setText(FileName(files_[index]) + QStringLiteral(" (") +
                  QString::fromLatin1(FitWord(fits_[index])) + QStringLiteral(")"));
}

void PreviewDialog::ShowFile(int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= files_.size()) {
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    if (QAbstractButton* button = fitGroup_->button(static_cast<int>(fits_[index]))) {
        button->setChecked(true);
    }
    {
        const QSignalBlocker quiet(slider_);
        slider_->setRange(0, static_cast<int>(std::lround(durations_[index] * 1000)));
        slider_->setValue(static_cast<int>(std::lround(moments_[index] * 1000)));
    }
    slider_->setEnabled(durations_[index] > 0);
    momentLabel_->clear();
    RequestRender();
}

void PreviewDialog::RequestRender() {
    const int row = fileList_->currentRow();
    if (row < 0) {
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    PreviewRequest request;
    request.id = ++requestId_;
    request.source = files_[index];
    request.settings = PreviewSettingsOf(settings_);
    request.settings.fit = fits_[index];
    request.atSeconds = moments_[index];
    statusLabel_->setText(QStringLiteral("Rendering ") + FileName(files_[index]) + QStringLiteral("…"));
    worker_->Request(request);
}

void PreviewDialog::Rendered(const PreviewAnswer& answer) {
    if (answer.id != requestId_) {
        return; // an older picture arrived late
    }
    const int row = fileList_->currentRow();
    if (row < 0) {
        return;
    }
    const auto index = static_cast<std::size_t>(row);
    ++rendersShown_;
    if (answer.picture.isNull()) {
        pane_->Clear();
        statusLabel_->setText(FileName(files_[index]) +
                              (answer.result.kind == MediaKind::Unknown
                                   ? QStringLiteral(" is neither a picture nor a movie the converter reads.")
                                   : QStringLiteral(" cannot be converted: the converter cannot read it.")));
        return;
    }
    pane_->SetPicture(answer.picture);
    if (answer.result.kind == MediaKind::Movie && answer.result.durationSeconds > 0 &&
        durations_[index] != answer.result.durationSeconds) {
        durations_[index] = answer.result.durationSeconds;
        const QSignalBlocker quiet(slider_);
        slider_->setRange(0, static_cast<int>(std::lround(durations_[index] * 1000)));
        slider_->setSingleStep(40);
        slider_->setPageStep(1000);
        slider_->setEnabled(true);
    }
    if (answer.result.kind == MediaKind::Movie) {
        momentLabel_->setText(Seconds(answer.result.shownAtSeconds) + QStringLiteral(" of ") +
                              Seconds(durations_[index]));
    }
    statusLabel_->setText(QStringLiteral("%1 as the device will show it (%2, rendered in %3 ms).")
                              .arg(FileName(files_[index]), QString::fromLatin1(FitWord(fits_[index])))
                              .arg(answer.milliseconds, 0, 'f', 0));
}

void PreviewDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        PlaceOnParent(this);
    }
}

} // namespace k72
