#include "ui/DesktopOpen.h"

#include "ui/QtUserMessages.h"

#include <QDesktopServices>
#include <QDir>

namespace k72 {

QString NoPreviewProgramText(PreviewKind kind, const QString& path) {
    const QString what =
        kind == PreviewKind::Movie ? QStringLiteral("play this movie") : QStringLiteral("show this picture");
    const QString program =
        kind == PreviewKind::Movie ? QStringLiteral("a video player") : QStringLiteral("a picture viewer");
    return QStringLiteral("No program on this computer could ") + what + QStringLiteral(":\n") +
           QDir::toNativeSeparators(path) + QStringLiteral("\nInstall ") + program +
           QStringLiteral(", or open the file from your file manager.");
}

bool OpenWithDesktopProgram(QWidget* owner, const QString& path, PreviewKind kind,
                            const std::function<bool(const QUrl&)>& opener,
                            const std::function<void(const QString&)>& tell) {
    const QUrl url = QUrl::fromLocalFile(path);
    const bool opened = opener ? opener(url) : QDesktopServices::openUrl(url);
    if (opened) {
        return true;
    }
    const QString text = NoPreviewProgramText(kind, path);
    if (tell) {
        tell(text);
    } else {
        QtUserMessages::Show(owner, text);
    }
    return false;
}

} // namespace k72
