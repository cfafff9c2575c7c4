#include "ui/CDialogPreference.h"

#include "ui/DialogUnits.h"
#include "ui/WindowPlacement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>

#include <array>

namespace k72 {
namespace {

constexpr int kNtsc = 0;
constexpr int kPal = 1;

QGroupBox* MakeGroup(QWidget* parent, const QString& title, int x, int y, int width, int height) {
    auto* group = new QGroupBox(title, parent);
    PlaceControl(group, x, y, width, height);
    return group;
}

} // namespace

CDialogPreference::CDialogPreference(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Preference"));
    setFont(FormFont());
    setFixedSize(DluSize(242, 246));

    // The group boxes are only frames: the controls are their siblings, created after them so that
    // they lie on top, as in the form's template.
    MakeGroup(this, QStringLiteral("Frame rate"), 7, 7, 228, 33);
    ntscButton_ = new QRadioButton(QStringLiteral("NTSC (29.97fps)"), this);
    PlaceControl(ntscButton_, 41, 20, 69, 10);
    palButton_ = new QRadioButton(QStringLiteral("PAL (25fps)"), this);
    PlaceControl(palButton_, 142, 20, 53, 10);
    frameRateGroup_ = new QButtonGroup(this);
    frameRateGroup_->addButton(ntscButton_, kNtsc);
    frameRateGroup_->addButton(palButton_, kPal);

    MakeGroup(this, QStringLiteral("Quality"), 7, 48, 228, 63);
    qualitySlider_ = new QSlider(Qt::Horizontal, this);
    qualitySlider_->setRange(0, 4);
    qualitySlider_->setSingleStep(1);
    qualitySlider_->setPageStep(1);
    qualitySlider_->setTickInterval(1);
    qualitySlider_->setTickPosition(QSlider::TicksBothSides);
    PlaceControl(qualitySlider_, 10, 62, 221, 26);
    struct LevelLabel {
        const char* text;
        int x;
        int width;
    };
    constexpr std::array<LevelLabel, 5> levels = {LevelLabel{"Lowest", 10, 24}, LevelLabel{"Low", 64, 14},
                                                  LevelLabel{"Middle", 111, 21}, LevelLabel{"High", 165, 15},
                                                  LevelLabel{"Highest", 207, 25}};
    for (const LevelLabel& level : levels) {
        auto* label = new QLabel(QString::fromLatin1(level.text), this);
        PlaceLabel(label, level.x, 95, level.width, 8);
    }

    MakeGroup(this, QStringLiteral("Deinterlace"), 7, 119, 228, 28);
    deinterlaceBox_ = new QCheckBox(QStringLiteral("Deinterlace source video"), this);
    PlaceControl(deinterlaceBox_, 73, 131, 95, 10);

    MakeGroup(this, QStringLiteral("Other shapes than 4:3"), 7, 155, 228, 28);
    fitList_ = new QComboBox(this);
    // In FitMode order.
    fitList_->addItem(QStringLiteral("Stretch to the whole screen"));
    fitList_->addItem(QStringLiteral("Letterbox: whole picture on black"));
    fitList_->addItem(QStringLiteral("Crop: fill the screen, cut the edges"));
    fitList_->addItem(QStringLiteral("Automatic: stretch or letterbox"));
    fitList_->setItemData(static_cast<int>(FitMode::Auto),
                          QStringLiteral("Stretched when within 10 % of 4:3, letterboxed otherwise"),
                          Qt::ToolTipRole);
    fitList_->setAccessibleName(QStringLiteral("Other shapes than 4:3"));
    PlaceControl(fitList_, 41, 166, 160, 12);

    MakeGroup(this, QStringLiteral("Before converting"), 7, 191, 228, 28);
    previewBox_ = new QCheckBox(QStringLiteral("Show a preview before converting"), this);
    previewBox_->setToolTip(QStringLiteral("Each chosen file as the K-72 will show it, with its fit, before "
                                           "anything is converted"));
    PlaceControl(previewBox_, 41, 203, 120, 10);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(okButton_, 123, 225, 50, 14);
    okButton_->setDefault(true);
    okButton_->setAutoDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton_, 185, 225, 50, 14);
    cancelButton_->setAutoDefault(false);
    connect(okButton_, &QPushButton::clicked, this, &CDialogPreference::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &CDialogPreference::reject);

    // Tab order as the template lists the controls.
    setTabOrder(ntscButton_, palButton_);
    setTabOrder(palButton_, qualitySlider_);
    setTabOrder(qualitySlider_, deinterlaceBox_);
    setTabOrder(deinterlaceBox_, fitList_);
    setTabOrder(fitList_, previewBox_);
    setTabOrder(previewBox_, okButton_);
    setTabOrder(okButton_, cancelButton_);

    SetSettings(Settings{});
}

void CDialogPreference::SetSettings(const Settings& settings) {
    fps_ = settings.fps;
    quality_ = settings.quality;
    deinterlace_ = settings.deinterlace;
    (fps_ == 1 ? palButton_ : ntscButton_)->setChecked(true);
    qualitySlider_->setValue(settings.QualitySliderPosition());
    deinterlaceBox_->setChecked(deinterlace_ == 1);
    fit_ = settings.fit;
    fitList_->setCurrentIndex(static_cast<int>(fit_));
    preview_ = settings.previewBeforeConverting;
    previewBox_->setChecked(preview_);
}

Settings CDialogPreference::GetSettings() const {
    Settings settings;
    settings.fps = fps_;
    settings.quality = quality_;
    settings.deinterlace = deinterlace_;
    settings.fit = fit_;
    settings.previewBeforeConverting = preview_;
    return settings;
}

void CDialogPreference::accept() {
    fps_ = palButton_->isChecked() ? 1 : 0;
    const int position = qualitySlider_->value();
    quality_ = (position >= 0 && position <= 4) ? position : 2;
    deinterlace_ = deinterlaceBox_->isChecked() ? 1 : 0;
    const int shape = fitList_->currentIndex();
    fit_ = shape == static_cast<int>(FitMode::Letterbox) ? FitMode::Letterbox
           : shape == static_cast<int>(FitMode::Crop)    ? FitMode::Crop
           : shape == static_cast<int>(FitMode::Auto)    ? FitMode::Auto
                                                         : FitMode::Stretch;
    preview_ = previewBox_->isChecked();
    QDialog::accept();
}

bool CDialogPreference::Edit(QWidget* parent, Settings& settings) {
    CDialogPreference dialog(parent);
    dialog.SetSettings(settings);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    settings = dialog.GetSettings();
    return true;
}

void CDialogPreference::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        PlaceOnParent(this);
    }
}

} // namespace k72
