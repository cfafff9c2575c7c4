#pragma once
// The card overview as a window of the main window: the 6 banks × 12 numbers of the open card with
// their used pads and small pictures, and the card's totals. Choosing a number closes the window and
// says which one, so that the main window goes there.

#include <QDialog>

#include <filesystem>

namespace k72 {

class CardOverviewWidget;

class CardOverviewWindow : public QDialog {
    Q_OBJECT
public:
    CardOverviewWindow(const std::filesystem::path& cardRoot, QWidget* parent = nullptr);

    CardOverviewWidget* Overview() const { return overview_; }
    // The number chosen (bank 0 … 5, number 0 … 11); −1 while none is.
    int ChosenBank() const { return bank_; }
    int ChosenNumber() const { return number_; }

    static constexpr const char* kTitle = "Card Overview";

protected:
    void showEvent(QShowEvent* event) override;

private:
    CardOverviewWidget* overview_ = nullptr;
    int bank_ = -1;
    int number_ = -1;
};

} // namespace k72
