#pragma once
// Opening a movie or a picture with the desktop's own program for it (the Preview buttons). When the
// desktop has no program for it, or none could be started, the user is told so instead of nothing
// happening.

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace k72 {

enum class PreviewKind { Movie, Picture };

// The message when nothing can show the file.
QString NoPreviewProgramText(PreviewKind kind, const QString& path);

// Opens path with the desktop's program; false, after telling the user, when that fails. opener and
// tell are replaced by tests; by default QDesktopServices::openUrl and a message box.
bool OpenWithDesktopProgram(QWidget* owner, const QString& path, PreviewKind kind,
                            const std::function<bool(const QUrl&)>& opener = {},
                            const std::function<void(const QString&)>& tell = {});

} // namespace k72
