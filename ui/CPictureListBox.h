#pragma once
// The list of a still image pad's pictures: one 80-pixel row per picture with its position number in
// a yellow box, a thumbnail, and the file name with its size. Each row keeps its decoded picture for
// as long as it exists; thumbnails are scaled when the row is drawn.

#include <QImage>
#include <QListWidget>
#include <QString>

#include <cstdint>

namespace k72 {

class CPictureListBox : public QListWidget {
    Q_OBJECT
public:
    explicit CPictureListBox(QWidget* parent = nullptr);

    static constexpr int kRowHeight = 80;

    // Adds a row with the file name as its text, at index (the end when index is −1 or past it).
    void AddRow(const QString& name, const QImage& picture, std::uint64_t fileSize, int index = -1);

    // What a row carries.
    static QImage PictureOf(const QListWidgetItem* item);
    static std::uint64_t FileSizeOf(const QListWidgetItem* item);

    // The row's two lines: the name, then "SIZE:%dKB" with the size in whole KiB.
    static QString RowText(const QString& name, std::uint64_t fileSize);
};

} // namespace k72
