#pragma once
// The preferences: frame-rate system, quality level and deinterlacing. The dialog shows the values it
// is given and reads its controls back only when closed with OK; storing them is the caller's.

#include "store/Settings.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QPushButton;
class QRadioButton;
class QSlider;

namespace k72 {

class CDialogPreference : public QDialog {
    Q_OBJECT
public:
    explicit CDialogPreference(QWidget* parent = nullptr);

    // Copies the three values in and shows them: PAL checked only for fps 1, the slider at the quality
    // (Middle for a value outside 0 … 4), the check box checked only for deinterlace 1.
    void SetSettings(const Settings& settings);
    // The three values: as given, or as read back from the controls when the dialog closed with OK.
    Settings GetSettings() const;

    // Shows the dialog modally with the given settings; on OK copies the new values into them and
    // returns true, on Cancel leaves them alone and returns false.
    static bool Edit(QWidget* parent, Settings& settings);

    QRadioButton* NtscButton() const { return ntscButton; }
    QRadioButton* PalButton() const { return palButton; }
    QSlider* QualitySlider() const { return qualitySlider; }
    QCheckBox* DeinterlaceBox() const { return deinterlaceBox; }
    QPushButton* OkButton() const { return okButton; }
    QPushButton* CancelButton() const { return cancelButton; }

public slots:
    void accept() override;

private:
    std::int32_t fps = 0;
    std::int32_t quality = 4;
    std::int32_t deinterlace = 1;

    QButtonGroup* frameRateGroup = nullptr;
    QRadioButton* ntscButton = nullptr;
    QRadioButton* palButton = nullptr;
    QSlider* qualitySlider = nullptr;
    QCheckBox* deinterlaceBox = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
};

} // namespace k72
