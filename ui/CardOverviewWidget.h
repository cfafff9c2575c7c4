#pragma once
// The whole card at a glance: 6 banks × 12 numbers, each a button with how many of its 12 pads are used
// and small pictures of up to four of them; a click (or Enter) on one emits its bank and number. Below,
// the card's totals. The buttons are real controls, so the keyboard and a screen reader reach every
// number. The card is read and the small pictures are made off the window's thread.

#include "store/CardOverview.h"

#include <QWidget>

#include <array>
#include <atomic>
#include <filesystem>
#include <memory>

class QGridLayout;
class QLabel;
class QToolButton;

namespace k72 {

class CardOverviewWidget : public QWidget {
    Q_OBJECT
public:
    explicit CardOverviewWidget(QWidget* parent = nullptr);
    ~CardOverviewWidget() override;

    // Reads the card at root in the background and shows it when read (Loaded follows).
    void ShowCard(const std::filesystem::path& root);
    // Shows an overview already read; its small pictures follow in the background.
    void SetOverview(std::shared_ptr<const CardOverview> overview);

    QToolButton* Cell(int bank, int number) const;
    QLabel* TotalsLabel() const { return totals_; }
    // How many numbers have received their small pictures (for tests waiting for them).
    int ThumbnailsShown() const { return thumbnailsShown_; }

    // "12 movies (4.5 minutes), 30 pictures on 5 pads, 2 sounds; 1.2 GiB free of 7.4 GiB".
    static QString TotalsText(const CardTotals& totals);

signals:
    void NumberChosen(int bank, int number);
    void Loaded(bool ok);

private:
    void LoadThumbnails();
    void ShowThumbnails(int bank, int number, const QImage& mosaic);

    std::shared_ptr<const CardOverview> overview_;
    std::array<QToolButton*, padlayout::kBanks * padlayout::kNumbers> cells_{};
    QLabel* totals_ = nullptr;
    int generation_ = 0; // the overview the thumbnails in flight belong to
    int thumbnailsShown_ = 0;
    // Cleared when the widget goes: background work for it stops.
    std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

} // namespace k72
