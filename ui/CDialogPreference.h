#pragma once
// The preferences: frame-rate system, quality level, deinterlacing, how pictures of another shape
// fill the screen, and whether a preview comes before converting. The dialog shows the values it is given and
// reads its controls back only when closed with OK; storing them is the caller's.

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

    QRadioButton* NtscButton() const { return ntscButton_; }
    QRadioButton* PalButton() const { return palButton_; }
    QSlider* QualitySlider() const { return qualitySlider_; }
    QCheckBox* DeinterlaceBox() const { return deinterlaceBox_; }
    // Stretch, letterbox, crop, automatic, in that order (the item index is the FitMode value).
    QComboBox* FitList() const { return fitList_; }
    QCheckBox* PreviewBox() const { return previewBox_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override; // opens centred on the window it belongs to

private:
    std::int32_t fps_ = 0;
    std::int32_t quality_ = 4;
    std::int32_t deinterlace_ = 1;
    FitMode fit_ = FitMode::Stretch;
    bool preview_ = true;

    QButtonGroup* frameRateGroup_ = nullptr;
    QRadioButton* ntscButton_ = nullptr;
    QRadioButton* palButton_ = nullptr;
    QSlider* qualitySlider_ = nullptr;
    QCheckBox* deinterlaceBox_ = nullptr;
    QComboBox* fitList_ = nullptr;
    QCheckBox* previewBox_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace k72
