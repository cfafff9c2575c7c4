#pragma once
// Before converting: each chosen file as the device will show it (640 x 480, the chosen fit, the
// quality; a movie at the moment the slider points to), with the fit chosen per file, then Convert or
// Cancel. Rendering runs on a thread of its own; the window stays responsive meanwhile.

#include "codecs/FitGeometry.h"
#include "store/Settings.h"

#include <QDialog>

#include <filesystem>
#include <memory>
#include <vector>

class QButtonGroup;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;

namespace k72 {

class PicturePane;
class PreviewWorker;
struct PreviewAnswer;

class PreviewDialog : public QDialog {
    Q_OBJECT
public:
    PreviewDialog(std::vector<std::filesystem::path> files, const Settings& settings,
                  QWidget* parent = nullptr);
    ~PreviewDialog() override;

    // The fit of each file, in the order given: the settings' fit unless the user chose another.
    const std::vector<FitMode>& Fits() const { return fits_; }

    // Shows the dialog modally; on Convert fills fits and returns true.
    static bool Ask(QWidget* parent, const std::vector<std::filesystem::path>& files,
                    const Settings& settings, std::vector<FitMode>& fits);

    QListWidget* FileList() const { return fileList_; }
    // Automatic, stretch, letterbox, crop.
    QRadioButton* FitButton(FitMode mode) const;
    QSlider* MomentSlider() const { return slider_; }
    PicturePane* Pane() const { return pane_; }
    QLabel* StatusLabel() const { return statusLabel_; }
    QPushButton* ConvertButton() const { return convertButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }
    // How many renders have been shown (for tests waiting for one).
    int RendersShown() const { return rendersShown_; }

protected:
    void showEvent(QShowEvent* event) override; // opens centred on the window it belongs to

private:
    void ShowFile(int row);
    void RequestRender();
    void Rendered(const PreviewAnswer& answer);
    void UpdateListText(int row);

    std::vector<std::filesystem::path> files_;
    Settings settings_;
    std::vector<FitMode> fits_;
    std::vector<double> moments_;   // per file: where the slider stood
    std::vector<double> durations_; // per file: a movie's running time once known
    std::unique_ptr<PreviewWorker> worker_;
    int requestId_ = 0;
    int rendersShown_ = 0;

    QListWidget* fileList_ = nullptr;
    PicturePane* pane_ = nullptr;
    QButtonGroup* fitGroup_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* momentLabel_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPushButton* convertButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace k72
