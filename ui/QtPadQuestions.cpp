#include "ui/QtPadQuestions.h"

#include "ui/QtUserMessages.h"
#include "ui/WorkWithProgress.h"

#include <QMessageBox>

#include <QStringList>
#include <QWidget>

#include <atomic>

namespace k72 {
namespace {

QString Name(const NameField& field) {
    return QString::fromLatin1(NameText(field).c_str());
}

} // namespace

QtPadQuestions::QtPadQuestions(QWidget* owner, Ask ask) : owner_(owner), ask_(std::move(ask)) {}

QString QtPadQuestions::ContentText(const PadEntry& entry) {
    QString text;
    QString sound;
    if (entry.Kind() == PadKindMovie && entry.movie) {
        text = QStringLiteral("the movie ") + Name(entry.movie->fileName);
        sound = Name(entry.movie->audioFileName);
    } else if (entry.Kind() == PadKindStill && entry.stills) {
        const std::size_t count = entry.stills->UsableCount();
        QStringList names;
        for (std::size_t i = 0; i < count && i < 5; ++i) {
            names << Name(entry.stills->stillNames[i]);
        }
        if (count > 5) {
            names << QStringLiteral("…");
        }
        text = count == 1
                   ? QStringLiteral("the picture ") + names.value(0)
                   : QStringLiteral("%1 pictures (%2)").arg(count).arg(names.join(QStringLiteral(", ")));
        sound = Name(entry.stills->audioFileName);
    }
    if (!sound.isEmpty()) {
        text += QStringLiteral(" and the sound ") + sound;
    }
    return text;
}

StoreOutcome<AttachedSound> QtPadQuestions::AttachSound(PadCommands& commands, int pad, const QString& path,
                                                        QWidget* owner, Ask ask) {
    QtPadQuestions questions(owner, std::move(ask));
    return commands.AttachSound(pad, std::filesystem::path(path.toStdString()), &questions);
}

bool QtPadQuestions::AskToConvert(QWidget* owner, const QString& question) {
    return QMessageBox::question(owner, QString::fromLatin1(QtUserMessages::kCaption), question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

bool QtPadQuestions::ReplacePad(int pad, const PadEntry& current) {
    const bool several =
        current.Kind() == PadKindStill && current.stills && current.stills->UsableCount() > 1;
    return ask_(QStringLiteral("Pad %1 holds %2. Replace %3?")
                    .arg(pad + 1)
                    .arg(ContentText(current))
                    .arg(several ? QStringLiteral("them") : QStringLiteral("it")));
}

bool QtPadQuestions::DeleteReplacedFiles(int pad, const PadEntry& replaced) {
    return ask_(QStringLiteral("Pad %1 no longer uses %2.\nDelete the replaced files from the card?")
                    .arg(pad + 1)
                    .arg(ContentText(replaced)));
}

std::optional<bool> QtPadQuestions::DeleteFreedSound(int pad, const std::string& name) {
    return ask_(QStringLiteral("Pad %1 no longer uses the sound %2, and no other pad does.\n"
                               "Delete it from the card?")
                    .arg(pad + 1)
                    .arg(QString::fromLatin1(name.c_str())));
}

bool QtPadQuestions::ConvertSound(const std::string& question) {
    return ask_(QString::fromStdString(question));
}

SoundConversionRun QtPadQuestions::RunSoundConversion(const std::string& shownName,
                                                      const SoundConversionJob& job) {
    std::atomic<bool> cancel{false};
    std::atomic<int> permille{0};
    SoundConversionControl control;
    control.progress = [&permille](int value) { permille.store(value); };
    control.cancel = &cancel;
    ResultCode result = rc::Error; // read only once the work has ended
    ProgressWindow window;
    window.owner = owner_;
    window.objectName = QString::fromLatin1(kProgressName);
    window.label = QStringLiteral("Converting \"%1\" into the K-72's WAV form...")
                       .arg(QString::fromStdString(shownName));
    window.delayMs = kProgressDelayMs;
    // A short conversion runs under the wait cursor: what the user types or clicks meanwhile waits
    // until it is over. After a cancel the converter stops at its next packet.
    window.waitCursor = true;
    RunWithProgress(
        window, [&] { result = job(control); }, cancel,
        [&permille] {
            return ProgressState{permille.load(), {}};
        });
    return {result, cancel.load()};
}

} // namespace k72
