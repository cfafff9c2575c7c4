#pragma once
// The white box of the movie information: the movie's file name, its size and running time, and its
// frame rate, drawn in bold black.

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

    // The three texts as drawn.
    QString NameText() const { return movieName; }
    QString SizeText() const;
    QString RateText() const { return frameRateText; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString movieName;
    std::uint32_t minutes = 0;
    std::uint32_t seconds = 0;
    std::uint32_t frames = 0;
    std::uint64_t fileSize = 0;
    QString frameRateText = QStringLiteral("(30 fps)");
};

} // namespace k72
