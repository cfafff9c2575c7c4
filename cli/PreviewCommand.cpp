// preview: a picture or a movie's picture at a moment, as the device will show it after conversion,
// written as a PNG. The source goes through the real converters into a private folder; only the PNG
// is written where the user said, and only when it is complete.
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/ExitStatus.h"
#include "cli/TerminalMessages.h"
#include "cli/ViewCommands.h"
#include "engine/PngWriter.h"
#include "engine/PreviewRenderer.h"
#include "store/PreviewSettingsOf.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>
#include <system_error>

namespace k72::cli {
namespace {

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string PreviewJson(const std::filesystem::path& destination, const PreviewResult& result,
                        const RgbImage& picture, FitMode fit) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), true);
    object.insert(QStringLiteral("output"), QString::fromStdString(destination.string()));
    const bool movie = result.kind == MediaKind::Movie;
    object.insert(QStringLiteral("kind"), movie ? QStringLiteral("movie") : QStringLiteral("picture"));
    object.insert(QStringLiteral("width"), static_cast<qint64>(picture.width));
    object.insert(QStringLiteral("height"), static_cast<qint64>(picture.height));
    object.insert(QStringLiteral("fit"), QString::fromLatin1(FitWord(fit)));
    if (movie) {
        object.insert(QStringLiteral("at"), result.shownAtSeconds);
        object.insert(QStringLiteral("duration"), result.durationSeconds);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace

int RunPreview(const PreviewOptions& options) {
    TerminalMessages messages;
    const std::filesystem::path source = options.source;
    const std::filesystem::path destination = options.destination;
    if (!CheckInputFile(messages, source)) {
        return kExitFailed;
    }
    std::error_code ec;
    if (!options.overwrite && std::filesystem::exists(std::filesystem::symlink_status(destination, ec))) {
        messages.Error(destination.string() + " exists; --overwrite replaces it");
        return kExitFailed;
    }

    const PreviewSettings settings = PreviewSettingsOf(options.settings.Resolve());
    PreviewRenderer renderer;
    RgbImage picture;
    const PreviewResult result = renderer.Render(source, settings, options.at, picture);
    if (Failed(result.code)) {
        messages.Error(source.string() + (result.kind == MediaKind::Unknown
                                              ? ": neither a picture nor a movie that can be read"
                                              : ": cannot be shown as the device would show it"));
        PrintResultCode(messages, result.code);
        return kExitFailed;
    }
    // Written beside the renderer's own files first, so that a failed write leaves the destination as
    // it was.
    const std::filesystem::path written = renderer.WorkFolder() / "preview.png";
    std::string reason;
    if (!WritePng(written, picture, &reason) ||
        !std::filesystem::copy_file(written, destination, std::filesystem::copy_options::overwrite_existing,
                                    ec)) {
        messages.Error("cannot write " + destination.string() + ": " + (ec ? ec.message() : reason));
        return kExitFailed;
    }

    if (options.json) {
        std::fputs(PreviewJson(destination, result, picture, settings.fit).c_str(), stdout);
        output::NoteJsonPrinted();
        return kExitSuccess;
    }
    std::string line = destination.string() + "  " + std::to_string(picture.width) + " x " +
                       std::to_string(picture.height) + ", " + FitWord(settings.fit);
    if (result.kind == MediaKind::Movie) {
        line += ", the picture at " + Seconds(result.shownAtSeconds) + " s of " +
                Seconds(result.durationSeconds) + " s";
    }
    output::Line(line);
    return kExitSuccess;
}

} // namespace k72::cli
