#pragma once
// The entries of the main form's drive list: an empty first entry, the card folder named on the
// command line, and every mounted volume, removable ones first, each with its icon; and the drawing
// of the list's rows (icon at 2 px, text at 22 px, one line each).

#include <QComboBox>
#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>

#include <functional>
#include <vector>

namespace k72 {

struct DriveEntry {
    QString root; // the folder that would hold DCIM; empty for the first entry
    QString text; // what the list shows
    QIcon icon;
    bool card = false;   // the volume holds DCIM/000KAVLO/K72_PAD.SYS
    bool recent = false; // listed because it was opened lately, not because it is mounted
};

// The item data role of the drive list that says whether an entry looks like a K-72 card.
inline constexpr int kCardRole = Qt::UserRole + 1;
// The role that says an entry is a recent card rather than a mounted volume.
inline constexpr int kRecentRole = Qt::UserRole + 2;

// A mounted volume as the drive list sees it.
struct MountedVolume {
    QString root;
    QString label;
    qint64 bytesTotal = 0;
    bool removable = false;
};
// The mounted volumes: QStorageInfo's, or those of a source set by tests (an empty source restores
// QStorageInfo's).
std::vector<MountedVolume> MountedVolumes();
using MountedVolumeSource = std::function<std::vector<MountedVolume>()>;
void SetMountedVolumeSource(MountedVolumeSource source);

// The list as it is filled when the main form is first shown and whenever volumes come and go. cardRoot
// is listed right after the empty entry (which stands for no card and is not offered) when it is given
// (it need not be a mount point), by its folder name. Then the mounted volumes that look like a K-72
// card, then other removable volumes, named by their label and size (see CardVolumes.h); the system's
// own disks are not listed. Last the recent cards that are still there and not listed yet.
std::vector<DriveEntry> ListDrives(const QString& cardRoot);

class CDriveItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // The row height: the font's height and leading, at least 16 pixels.
    static int RowHeight(const QFont& font);
};

// The drop-down box itself: folder paths are longer than the box is wide, so the closed box shows the
// end of the path (the card's own folder) after an ellipsis; the open list shows it whole.
class CDriveListBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace k72
