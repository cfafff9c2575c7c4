#include "ui/CDialogPreference.h"

#include "ui/DialogUnits.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
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
    setFixedSize(DluSize(242, 210));

    // The group boxes are only frames: the controls are their siblings, created after them so that
    // they lie on top, as in the form's template.
    MakeGroup(this, QStringLiteral("Frame rate"), 7, 7, 228, 33);
    ntscButton = new QRadioButton(QStringLiteral("NTSC (29.97fps)"), this);
    PlaceControl(ntscButton, 41, 20, 69, 10);
    palButton = new QRadioButton(QStringLiteral("PAL (25fps)"), this);
    PlaceControl(palButton, 142, 20, 53, 10);
    frameRateGroup = new QButtonGroup(this);
    frameRateGroup->addButton(ntscButton, kNtsc);
    frameRateGroup->addButton(palButton, kPal);

    MakeGroup(this, QStringLiteral("Quality"), 7, 48, 228, 63);
    qualitySlider = new QSlider(Qt::Horizontal, this);
    qualitySlider->setRange(0, 4);
    qualitySlider->setSingleStep(1);
    qualitySlider->setPageStep(1);
    qualitySlider->setTickInterval(1);
    qualitySlider->setTickPosition(QSlider::TicksBothSides);
    PlaceControl(qualitySlider, 10, 62, 221, 26);
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
    deinterlaceBox = new QCheckBox(QStringLiteral("Deinterlace source video"), this);
    PlaceControl(deinterlaceBox, 73, 131, 95, 10);

    MakeGroup(this, QStringLiteral("Other shapes than 4:3"), 7, 155, 228, 28);
    fitList = new QComboBox(this);
    // In FitMode order.
    fitList->addItem(QStringLiteral("Stretch to the whole screen"));
    fitList->addItem(QStringLiteral("Letterbox: whole picture on black"));
    fitList->addItem(QStringLiteral("Crop: fill the screen, cut the edges"));
    PlaceControl(fitList, 41, 166, 160, 12);

    okButton = new QPushButton(QStringLiteral("OK"), this);
    PlaceControl(okButton, 123, 189, 50, 14);
    okButton->setDefault(true);
    okButton->setAutoDefault(true);
    cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    PlaceControl(cancelButton, 185, 189, 50, 14);
    cancelButton->setAutoDefault(false);
    connect(okButton, &QPushButton::clicked, this, &CDialogPreference::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CDialogPreference::reject);

    // Tab order as the template lists the controls.
    setTabOrder(ntscButton, palButton);
    setTabOrder(palButton, qualitySlider);
    setTabOrder(qualitySlider, deinterlaceBox);
    setTabOrder(deinterlaceBox, fitList);
    setTabOrder(fitList, okButton);
    setTabOrder(okButton, cancelButton);

    SetSettings(Settings{});
}

void CDialogPreference::SetSettings(const Settings& settings) {
    fps = settings.fps;
    quality = settings.quality;
    deinterlace = settings.deinterlace;
    (fps == 1 ? palButton : ntscButton)->setChecked(true);
    qualitySlider->setValue(settings.QualitySliderPosition());
    deinterlaceBox->setChecked(deinterlace == 1);
    fit = settings.fit;
    fitList->setCurrentIndex(static_cast<int>(fit));
}

Settings CDialogPreference::GetSettings() const {
    Settings settings;
    settings.fps = fps;
    settings.quality = quality;
    settings.deinterlace = deinterlace;
    settings.fit = fit;
    return settings;
}

void CDialogPreference::accept() {
    fps = palButton->isChecked() ? 1 : 0;
    const int position = qualitySlider->value();
    quality = (position >= 0 && position <= 4) ? position : 2;
    deinterlace = deinterlaceBox->isChecked() ? 1 : 0;
    const int shape = fitList->currentIndex();
    fit = shape == static_cast<int>(FitMode::Letterbox) ? FitMode::Letterbox
          : shape == static_cast<int>(FitMode::Crop)    ? FitMode::Crop
                                                        : FitMode::Stretch;
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

} // namespace k72
