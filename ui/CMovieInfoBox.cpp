#include "ui/CMovieInfoBox.h"

#include "ui/DialogUnits.h"

#include <QAccessibleWidget>
#include <QPainter>

namespace k72 {
namespace {

// To a screen reader the box is what it looks like: text, read with the dialog's other texts.
QAccessibleInterface* InfoBoxFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("k72::CMovieInfoBox") && object != nullptr && object->isWidgetType()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
    }
    return nullptr;
}

} // namespace

CMovieInfoBox::CMovieInfoBox(QWidget* parent) : QWidget(parent) {
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(InfoBoxFactory);
        return true;
    }();
    (void)factoryInstalled;
    setFont(ListFont());
}

void CMovieInfoBox::SetMovie(const std::string& name, std::uint64_t size, const RunningTime& time) {
    movieName_ = QString::fromStdString(name).left(63);
    fileSize_ = size;
    minutes_ = time.minutes;
    seconds_ = time.seconds;
    frames_ = time.frames;
    frameRateText_ = QString::fromStdString(FrameRateText(time));
    originalName_.clear();
    Describe();
}

void CMovieInfoBox::SetOriginalName(const QString& name) {
    originalName_ = name;
    Describe();
}

QString CMovieInfoBox::OriginalText() const {
    return originalName_.isEmpty() ? QString() : QStringLiteral("from ") + originalName_;
}

// The box draws its texts itself; a screen reader reads them here.
void CMovieInfoBox::Describe() {
    setAccessibleName(originalName_.isEmpty() ? movieName_
                                              : movieName_ + QStringLiteral(", ") + OriginalText());
    setAccessibleDescription(SizeText() + QLatin1Char(' ') + frameRateText_);
    update();
}

QString CMovieInfoBox::SizeText() const {
    RunningTime time;
    time.minutes = minutes_;
    time.seconds = seconds_;
    time.frames = frames_;
    return QString::fromStdString(MovieSizeText(fileSize_, time));
}

void CMovieInfoBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect box = rect();
    painter.fillRect(box, Qt::white);
    painter.setPen(Qt::black);
    painter.setFont(font());
    const auto drawFrom = [&](int left, int top, const QString& text) {
        QRect area = box;
        area.setLeft(left);
        area.setTop(top);
        painter.drawText(area, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text);
    };
    drawFrom(15, 20, movieName_);
    drawFrom(15, 35, SizeText());
    drawFrom(120, 20, frameRateText_);
    if (!originalName_.isEmpty()) {
        // One line below the size, cut short with "…" where the box ends.
        const QRect line(15, 50, box.width() - 20, painter.fontMetrics().height());
        painter.drawText(line, Qt::AlignLeft | Qt::AlignTop,
                         painter.fontMetrics().elidedText(OriginalText(), Qt::ElideMiddle, line.width()));
    }
}

} // namespace k72
