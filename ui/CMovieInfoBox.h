#pragma once
// The white box of the movie information: the movie's file name, its size and running time, its
// frame rate and, where it is known, the name the movie had before it was converted, drawn in bold black, and
// given to screen readers as the box's name and description.

#include "engine/RunningTime.h"

#include <QString>
#include <QWidget>

#include <cstdint>
#include <string>

namespace k72 {

class CMovieInfoBox : public QWidget {
    Q_OBJECT
public:
    explicit CMovieInfoBox(QWidget* parent = nullptr);

    void SetMovie(const std::string& name, std::uint64_t size, const RunningTime& time);
    // The movie's name before it was converted ("Beach Day.mp4"); empty when it is not known.
    void SetOriginalName(const QString& name);

    // The three texts as drawn.
    QString NameText() const { return movieName_; }
    QString SizeText() const;
    QString RateText() const { return frameRateText_; }
    QString OriginalText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Describe();

    QString movieName_;
    QString originalName_;
    std::uint32_t minutes_ = 0;
    std::uint32_t seconds_ = 0;
    std::uint32_t frames_ = 0;
    std::uint64_t fileSize_ = 0;
    QString frameRateText_ = QStringLiteral("(30 fps)");
};

} // namespace k72
