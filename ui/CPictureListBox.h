#pragma once
// The list of a still image pad's pictures: one 80-pixel row per picture with its position number in
// a yellow box, a thumbnail, and the file name with its size. Each row keeps its decoded picture for
// as long as it exists; thumbnails are scaled when the row is drawn. A row can be dragged to another
// place, Delete asks to remove the selected row, Ctrl+Up and Ctrl+Down move it; the list only asks
// for these (its owner changes the card first, then the rows).

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

    // Where a row dropped at a point of the viewport goes in: before the row whose upper half holds
    // the point, after the one whose lower half does, at the end below the last row (0 … count).
    int InsertionRowAt(const QPoint& point) const;
    // The place a row moved from `from` to before row `insertBefore` ends up at.
    static int MovedTo(int from, int insertBefore);

signals:
    void RowMoveRequested(int from, int to); // a row dragged to another place
    void UpRequested();                      // Ctrl+Up
    void DownRequested();                    // Ctrl+Down
    void DeleteRequested();                  // Delete

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

} // namespace k72
