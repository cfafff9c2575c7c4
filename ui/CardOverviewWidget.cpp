#include "ui/CardOverviewWidget.h"

#include "engine/CardThumbnail.h"
#include "ui/PicturePane.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

namespace k72 {
namespace {

constexpr int kBanks = padlayout::kBanks;
constexpr int kNumbers = padlayout::kNumbers;
// A number's small pictures: up to four, 2 × 2, each 4:3.
constexpr int kThumbWidth = 40;
constexpr int kThumbHeight = 30;
constexpr int kMosaicPictures = 4;

QChar BankLetterOf(int bank) {
    return QChar::fromLatin1(static_cast<char>('A' + bank));
}

QString Size(std::uintmax_t bytes) {
    const double gib = static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0);
    if (gib >= 1.0) {
        return QStringLiteral("%1 GiB").arg(gib, 0, 'f', 1);
    }
    return QStringLiteral("%1 MiB").arg(static_cast<double>(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

// Up to four small pictures of the number's used pads, 2 × 2 on dark grey.
QImage MakeMosaic(const std::filesystem::path& folder, const NumberOverview& number) {
    QImage mosaic(2 * kThumbWidth + 1, 2 * kThumbHeight + 1, QImage::Format_RGB32);
    mosaic.fill(QColor(48, 48, 48));
    QPainter painter(&mosaic);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    int placed = 0;
    for (const PadGlance& pad : number.pads) {
        if (placed == kMosaicPictures) {
            break;
        }
        RgbImage picture;
        if (pad.file.empty() || !ReadCardThumbnail(folder / pad.file, kThumbWidth, kThumbHeight, picture)) {
            continue;
        }
        const QRect place((placed % 2) * (kThumbWidth + 1), (placed / 2) * (kThumbHeight + 1), kThumbWidth,
                          kThumbHeight);
        painter.drawImage(place, PicturePane::ToImage(picture));
        ++placed;
    }
    return mosaic;
}

} // namespace

CardOverviewWidget::CardOverviewWidget(QWidget* parent) : QWidget(parent) {
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    for (int number = 0; number < kNumbers; ++number) {
        auto* header = new QLabel(QString::number(number + 1), this);
        header->setAlignment(Qt::AlignCenter);
        grid->addWidget(header, 0, number + 1);
    }
    for (int bank = 0; bank < kBanks; ++bank) {
        auto* header = new QLabel(QStringLiteral("BANK:") + BankLetterOf(bank), this);
        grid->addWidget(header, bank + 1, 0);
        for (int number = 0; number < kNumbers; ++number) {
            auto* cell = new QToolButton(this);
            cell->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            cell->setIconSize(QSize(2 * kThumbWidth + 1, 2 * kThumbHeight + 1));
            cell->setAutoRaise(false);
            cell->setFocusPolicy(Qt::StrongFocus);
            // Every cell the same size, with or without pictures, so the grid stays even.
            cell->setFixedSize(2 * kThumbWidth + 13, 2 * kThumbHeight + 27);
            connect(cell, &QToolButton::clicked, this,
                    [this, bank, number] { emit NumberChosen(bank, number); });
            cells_[static_cast<std::size_t>(bank * kNumbers + number)] = cell;
            grid->addWidget(cell, bank + 1, number + 1);
        }
    }
    totals_ = new QLabel(this);
    totals_->setAccessibleName(QStringLiteral("Card totals"));
    totals_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(totals_);
    SetOverview(std::make_shared<CardOverview>());
}

CardOverviewWidget::~CardOverviewWidget() {
    alive_->store(false);
}

QToolButton* CardOverviewWidget::Cell(int bank, int number) const {
    if (bank < 0 || bank >= kBanks || number < 0 || number >= kNumbers) {
        return nullptr;
    }
    return cells_[static_cast<std::size_t>(bank * kNumbers + number)];
}

QString CardOverviewWidget::TotalsText(const CardTotals& totals) {
    QString text = QString::fromStdString(k72::TotalsText(totals));
    if (totals.freeBytes && totals.totalBytes) {
        text += QStringLiteral("; %1 free of %2").arg(Size(*totals.freeBytes), Size(*totals.totalBytes));
    }
    return text;
}

void CardOverviewWidget::ShowCard(const std::filesystem::path& root) {
    // The answer goes through the application object and finds the widget by its guard there, on the
    // window's thread: the widget may be gone by the time the card is read.
    const QPointer<CardOverviewWidget> self(this);
    QThreadPool::globalInstance()->start([self, root] {
        auto overview = std::make_shared<CardOverview>();
        const StoreResult read = overview->Read(root);
        const bool ok = read.Ok();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, overview, ok, reason = read.text] {
                if (self) {
                    self->SetOverview(overview);
                    if (!ok) {
                        self->totals_->setText(QString::fromStdString(reason));
                    }
                    emit self->Loaded(ok);
                }
            },
            Qt::QueuedConnection);
    });
}

void CardOverviewWidget::SetOverview(std::shared_ptr<const CardOverview> overview) {
    overview_ = std::move(overview);
    ++generation_;
    thumbnailsShown_ = 0;
    for (int bank = 0; bank < kBanks; ++bank) {
        for (int number = 0; number < kNumbers; ++number) {
            const NumberOverview& cell = overview_->At(bank, number);
            QToolButton* button = Cell(bank, number);
            button->setText(QStringLiteral("%1/12").arg(cell.used));
            // A blank until the small pictures come: light for an empty number, dark for a used one.
            QPixmap blank(button->iconSize());
            blank.fill(cell.used == 0 ? QColor(224, 224, 224) : QColor(48, 48, 48));
            button->setIcon(blank);
            const QString name = QStringLiteral("BANK:%1 number %2").arg(BankLetterOf(bank)).arg(number + 1);
            QString detail = QStringLiteral("%1 of 12 pads used").arg(cell.used);
            if (cell.used > 0) {
                detail += QStringLiteral(": ") + QString::fromStdString(NumberDetailText(cell));
            }
            button->setAccessibleName(name);
            button->setAccessibleDescription(detail);
            button->setToolTip(name + QStringLiteral(": ") + detail);
        }
    }
    totals_->setText(TotalsText(overview_->Totals()));
    LoadThumbnails();
}

void CardOverviewWidget::LoadThumbnails() {
    const QPointer<CardOverviewWidget> self(this);
    const int generation = generation_;
    const std::shared_ptr<const CardOverview> overview = overview_;
    const std::shared_ptr<std::atomic<bool>> alive = alive_;
    QThreadPool::globalInstance()->start([self, generation, overview, alive] {
        for (int bank = 0; bank < kBanks; ++bank) {
            for (int number = 0; number < kNumbers; ++number) {
                if (!alive->load()) {
                    return;
                }
                const NumberOverview& cell = overview->At(bank, number);
                if (cell.used == 0) {
                    continue;
                }
                const QImage mosaic = MakeMosaic(overview->CardFolder(), cell);
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [self, generation, bank, number, mosaic] {
                        if (self && self->generation_ == generation) {
                            self->ShowThumbnails(bank, number, mosaic);
                        }
                    },
                    Qt::QueuedConnection);
            }
        }
    });
}

void CardOverviewWidget::ShowThumbnails(int bank, int number, const QImage& mosaic) {
    if (QToolButton* button = Cell(bank, number)) {
        button->setIcon(QPixmap::fromImage(mosaic));
        ++thumbnailsShown_;
    }
}

} // namespace k72
