#include "ui/SoundForPad.h"

#include "codecs/ResultCodes.h"
#include "engine/CConversionManager.h"
#include "store/CPadBankStore.h"
#include "store/ShortName.h"

#include <QApplication>
#include <QFileInfo>

namespace k72 {

QString SoundForPad::Reason(int code) {
    switch (code) {
    case rc::PcmOpenFailed:
        return QStringLiteral("it cannot be opened");
    case rc::PcmBadRiff:
        return QStringLiteral("it is not a WAV file");
    case rc::PcmBadFmtSize:
        return QStringLiteral("its WAV header is damaged");
    case rc::PcmNotPcm:
        return QStringLiteral("its sound is compressed or stored as floating point");
    case rc::PcmBadChannels:
        return QStringLiteral("it is not stereo");
    case rc::PcmBadSampleRate:
        return QStringLiteral("its sample rate is not 44,100 Hz");
    case rc::PcmBadByteRate:
    case rc::PcmBadBlockAlign:
        return QStringLiteral("its WAV header does not match its sound");
    case rc::PcmBadBitsPerSample:
        return QStringLiteral("its samples are not 16 bits");
    case rc::PcmNoData:
        return QStringLiteral("it holds no complete sound data");
    default:
        return QStringLiteral("the K-72 cannot play it");
    }
}

SoundForPad::Outcome SoundForPad::Prepare(const QString& path,
                                          const std::function<bool(const QString& question)>& ask) {
    const std::filesystem::path source(path.toStdString());
    const ResultCode check = CConversionManager::CheckPcmFile(source.string());
    if (Succeeded(check)) {
        file_ = source;
        name_ = QFileInfo(path).fileName().toStdString();
        return Outcome::UseAsIs;
    }
    if (check == rc::PcmOpenFailed) {
        return Outcome::Failed;
    }
    const QString question =
        QStringLiteral("\"%1\" cannot be used as it is: %2.\n"
                       "The K-72 plays only WAV files of 16-bit PCM, 44,100 Hz, stereo.\n\n"
                       "Convert it into that form?")
            .arg(QFileInfo(path).fileName(), Reason(check));
    if (!ask(question)) {
        return Outcome::Declined;
    }
    folder_ = std::make_unique<QTemporaryDir>();
    if (!folder_->isValid()) {
        return Outcome::Failed;
    }
    name_ = ConvertedSoundName(source);
    file_ = std::filesystem::path(folder_->path().toStdString()) / name_;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ResultCode converted = CConversionManager::ConvertSound(source.string(), file_.string());
    QApplication::restoreOverrideCursor();
    return Succeeded(converted) ? Outcome::Converted : Outcome::Failed;
}

SoundForPad::Outcome SoundForPad::Attach(CPadBankStore& store, int pad, const QString& path,
                                         const std::function<bool(const QString& question)>& ask,
                                         std::string* name) {
    SoundForPad sound;
    const Outcome prepared = sound.Prepare(path, ask);
    if (prepared == Outcome::Declined || prepared == Outcome::Failed) {
        return prepared;
    }
    if (!store.SetAudio(sound.File(), pad, sound.Name())) {
        return Outcome::Failed;
    }
    *name = sound.Name();
    return prepared;
}

} // namespace k72
