#include "ui/DriveList.h"

#include "ui/CardVolumes.h"
#include "ui/RememberedPlaces.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QPainter>
#include <QStorageInfo>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

#include <algorithm>

namespace k72 {
namespace {

bool ReadsOne(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(1) == "1";
}

// A volume on removable media: the kernel's flag of its disk, or a mount where desktops mount cards.
bool IsRemovable(const QStorageInfo& volume) {
    const QString root = volume.rootPath();
    if (root.startsWith(QStringLiteral("/media/")) || root.startsWith(QStringLiteral("/run/media/"))) {
        return true;
    }
    const QString device = QString::fromLocal8Bit(volume.device());
    if (!device.startsWith(QStringLiteral("/dev/"))) {
        return false;
    }
    const QString block = QStringLiteral("/sys/class/block/") + QFileInfo(device).fileName();
    const QString disk = QFileInfo(block).canonicalFilePath();
    return ReadsOne(block + QStringLiteral("/removable")) ||
           (!disk.isEmpty() && ReadsOne(QFileInfo(disk).path() + QStringLiteral("/removable")));
}

QIcon RemovableIcon() {
    return QIcon::fromTheme(QStringLiteral("drive-removable-media"),
                            QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon));
}

} // namespace

namespace {
MountedVolumeSource& VolumeSource() {
    static MountedVolumeSource source;
    return source;
}
} // namespace

void SetMountedVolumeSource(MountedVolumeSource source) {
    VolumeSource() = std::move(source);
}

std::vector<MountedVolume> MountedVolumes() {
    if (VolumeSource()) {
        return VolumeSource()();
    }
    std::vector<MountedVolume> volumes;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (volume.isValid() && volume.isReady()) {
            volumes.push_back(
                MountedVolume{volume.rootPath(), volume.name(), volume.bytesTotal(), IsRemovable(volume)});
        }
    }
    return volumes;
}

namespace {

// A folder by its own name, as file managers show it; its whole path is the entry's tooltip.
QString FolderName(const QString& root) {
    const QString name = QFileInfo(root).fileName();
    return name.isEmpty() ? QDir::toNativeSeparators(root) : name;
}

} // namespace

std::vector<DriveEntry> ListDrives(const QString& cardRoot) {
    std::vector<DriveEntry> entries;
    entries.push_back(DriveEntry{});
    if (!cardRoot.isEmpty()) {
        const QString root = QDir::cleanPath(QFileInfo(cardRoot).absoluteFilePath());
        entries.push_back(DriveEntry{root, FolderName(root), RemovableIcon(), LooksLikeCard(root)});
    }
    struct Volume {
        QString root;
        QString text;
        bool removable;
        bool card;
    };
    std::vector<Volume> volumes;
    for (const MountedVolume& volume : MountedVolumes()) {
        const bool card = LooksLikeCard(volume.root);
        // The system's own disks ("/", /boot, the mounts of containers) are no cards: only cards and
        // removable volumes are offered, named by their label and size.
        if (!card && !volume.removable) {
            continue;
        }
        volumes.push_back(Volume{volume.root, CardVolumeText(volume.label, volume.bytesTotal, volume.root),
                                 volume.removable, card});
    }
    // Cards first, then other removable volumes, then the rest.
    std::stable_sort(volumes.begin(), volumes.end(), [](const Volume& a, const Volume& b) {
        return std::make_pair(!a.card, !a.removable) < std::make_pair(!b.card, !b.removable);
    });
    const QFileIconProvider provider;
    for (const Volume& volume : volumes) {
        entries.push_back(DriveEntry{
            volume.root, volume.text,
            volume.removable || volume.card ? RemovableIcon() : provider.icon(QFileIconProvider::Drive),
            volume.card});
    }
    // The cards opened lately that are still there (a card folder copied to the disk, say).
    const QIcon recentIcon = QIcon::fromTheme(QStringLiteral("document-open-recent"),
                                              QApplication::style()->standardIcon(QStyle::SP_DirIcon));
    for (const QString& recent : remembered::RecentCards()) {
        const bool listed = std::any_of(entries.begin(), entries.end(),
                                        [&recent](const DriveEntry& entry) { return entry.root == recent; });
        if (!listed && LooksLikeCard(recent)) {
            entries.push_back(DriveEntry{recent, FolderName(recent), recentIcon, true, true});
        }
    }
    return entries;
}

void CDriveListBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    const int textWidth = field.width() - (option.currentIcon.isNull() ? 0 : option.iconSize.width() + 4);
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideLeft, std::max(0, textWidth));
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

int CDriveItemDelegate::RowHeight(const QFont& font) {
    const QFontMetrics metrics(font);
    return std::max(16, metrics.height() + metrics.leading());
}

QSize CDriveItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    const QString text = index.data(Qt::DisplayRole).toString();
    return QSize(22 + option.fontMetrics.horizontalAdvance(text) + 4, RowHeight(option.font));
}

void CDriveItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const {
    const QRect row = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(row, option.palette.brush(selected ? QPalette::Highlight : QPalette::Base));
    const QIcon icon = index.data(Qt::DecorationRole).value<QIcon>();
    if (!icon.isNull()) {
        icon.paint(painter, QRect(row.left() + 2, row.top() + (row.height() - 16) / 2, 16, 16));
    }
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(option.font);
    painter->drawText(QRect(row.left() + 22, row.top() + 1, row.width() - 22, row.height() - 1),
                      Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if (option.state & QStyle::State_HasFocus) {
        QStyleOptionFocusRect focus;
        focus.QStyleOption::operator=(option);
        focus.rect = row;
        focus.backgroundColor = option.palette.color(selected ? QPalette::Highlight : QPalette::Base);
        QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
        style->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, option.widget);
    }
    painter->restore();
}

} // namespace k72
