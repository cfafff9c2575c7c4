#pragma once
// The preferences: frame-rate system, quality level, deinterlacing and how pictures of another shape
// fill the screen. The dialog shows the values it is given and reads its controls back only when closed
// with OK; storing them is the caller's.

#include "store/Settings.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QPushButton;
class QRadioButton;
class QSlider;

namespace k72 {

class CDialogPreference : public QDialog {
    Q_OBJECT
public:
    explicit CDialogPreference(QWidget* parent = nullptr);

    // Copies the values in and shows them: PAL checked only for fps 1, the slider at the quality
    // (Middle for a value outside 0 … 4), the check box checked only for deinterlace 1, the fit.
    void SetSettings(const Settings& settings);
    // The values: as given, or as read back from the controls when the dialog closed with OK.
    Settings GetSettings() const;

    // Shows the dialog modally with the given settings; on OK copies the new values into them and
    // returns true, on Cancel leaves them alone and returns false.
    static bool Edit(QWidget* parent, Settings& settings);

    QRadioButton* NtscButton() const { return ntscButton; }
    QRadioButton* PalButton() const { return palButton; }
    QSlider* QualitySlider() const { return qualitySlider; }
    QCheckBox* DeinterlaceBox() const { return deinterlaceBox; }
    // Stretch, letterbox, crop, in that order (the item index is the FitMode value).
    QComboBox* FitList() const { return fitList; }
    QPushButton* OkButton() const { return okButton; }
    QPushButton* CancelButton() const { return cancelButton; }

public slots:
    void accept() override;

private:
    std::int32_t fps = 0;
    std::int32_t quality = 4;
    std::int32_t deinterlace = 1;
    FitMode fit = FitMode::Stretch;

    QButtonGroup* frameRateGroup = nullptr;
    QRadioButton* ntscButton = nullptr;
    QRadioButton* palButton = nullptr;
    QSlider* qualitySlider = nullptr;
    QCheckBox* deinterlaceBox = nullptr;
    QComboBox* fitList = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
};

} // namespace k72
