#include "settings/SettingsStorage.h"

#include <QSettings>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <limits>

namespace k72 {
namespace {

const char* const kOrganisation = "KAVELO";
const char* const kApplication = "K-72 Image Converter";

// A stored value becomes a field only when it is a whole number that fits in 4 bytes, signed or
// unsigned (the registry's DWORD); anything else is ignored, as a value of the wrong size would be.
void ReadValue(const QSettings& store, const char* name, std::int32_t& field) {
    const QVariant value = store.value(QString::fromLatin1(name));
    if (!value.isValid()) {
        return;
    }
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < std::numeric_limits<std::int32_t>::min() ||
        number > static_cast<qlonglong>(std::numeric_limits<std::uint32_t>::max())) {
        return;
    }
    field = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
}

} // namespace

void LoadSettings(Settings& settings) {
    const QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    ReadValue(store, "fps", settings.fps);
    ReadValue(store, "quality", settings.quality);
    ReadValue(store, "deinterlace", settings.deinterlace);
    // Kept as its word. Without one, "auto", so that an upright phone movie is not squashed before the
    // user has found the setting; a word no version of ours wrote is the device tool's own way, stretching.
    const QVariant fit = store.value(QStringLiteral("fit"));
    settings.fit = !fit.isValid()
                       ? FitMode::Auto
                       : ParseFitWord(fit.toString().trimmed().toStdString()).value_or(FitMode::Stretch);
    std::int32_t preview = 1;
    ReadValue(store, "preview", preview);
    settings.previewBeforeConverting = preview != 0;
}

void SaveSettings(const Settings& settings) {
    QSettings store(QString::fromLatin1(kOrganisation), QString::fromLatin1(kApplication));
    store.setValue(QStringLiteral("fps"), settings.fps);
    store.setValue(QStringLiteral("quality"), settings.quality);
    store.setValue(QStringLiteral("deinterlace"), settings.deinterlace);
    store.setValue(QStringLiteral("fit"), QString::fromLatin1(FitWord(settings.fit)));
    store.setValue(QStringLiteral("preview"), settings.previewBeforeConverting ? 1 : 0);
    store.sync();
}

} // namespace k72
