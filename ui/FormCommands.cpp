#include "ui/FormCommands.h"

#include "codecs/ResultCodes.h"
#include "store/PadCommands.h"
#include "ui/CConvertToolView.h"
#include "ui/ChosenFit.h"
#include "ui/MediaKinds.h"
#include "ui/PadGridInput.h"
#include "ui/PictureBatchWindow.h"
#include "ui/QtPadQuestions.h"
#include "ui/RememberedPlaces.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>

namespace k72 {
namespace {

std::filesystem::path PathOf(const QString& text) {
    return std::filesystem::path(text.toStdString());
}

QString FileName(const QString& path) {
    return QFileInfo(path).fileName();
}

// What the status bar adds to the store's "Failed to load the file." about a conversion that failed.
QString FailureLine(const StoreResult& result, const QString& file) {
    if (result.Cancelled()) {
        return QStringLiteral("Cancelled: %1 was not imported.").arg(file);
    }
    switch (result.code) {
    case rc::JpegDecodeFailed:
    case rc::JpegImageObjectFailed:
    case rc::JpegUnsupportedLayout:
    case rc::CannotOpenInput:
    case rc::StreamNotFound:
    case rc::UnknownFormat:
    case rc::AviInvalidHeader:
        return QStringLiteral("%1 could not be read: it is damaged, or not the kind of file its name says.")
            .arg(file);
    case rc::InputCodecUnsupported:
    case rc::UnknownCodec:
        return QStringLiteral("%1 is coded in a form this converter does not read.").arg(file);
    case 0:
        return {};
    default:
        return QStringLiteral("%1 was not imported.").arg(file);
    }
}

// The status line of an import that put its files onto the pad, or of one that did not.
QString ImportLine(const StoreResult& result, const QStringList& files, int pad) {
    if (result) {
        return files.size() == 1
                   ? QStringLiteral("Imported %1 onto pad %2.").arg(FileName(files.constFirst())).arg(pad + 1)
                   : QStringLiteral("Added %1 pictures to pad %2.").arg(files.size()).arg(pad + 1);
    }
    if (result.Cancelled() && files.size() > 1) {
        return QStringLiteral("Cancelled: none of the %1 pictures were added.").arg(files.size());
    }
    return FailureLine(result, FileName(files.value(static_cast<qsizetype>(result.source.value_or(0)))));
}

} // namespace

void FormCommands::Import(int pad) {
    const QStringList paths = form_.AskImportFiles(ImportFilters(lastImportKind_));
    if (paths.isEmpty()) {
        return;
    }
    remembered::SetImportFolder(QFileInfo(paths.constFirst()).absolutePath());
    const PadFiles files = SortChosenFiles(paths);
    if (!files.problem.isEmpty()) {
        form_.ShowMessage(files.problem);
        return;
    }
    ImportOnto(pad, files, false);
}

void FormCommands::DropFiles(int pad, const QStringList& paths) {
    const PadFiles files = SortDroppedFiles(paths, pad, commands_.Store().PadKindOf(pad));
    if (!files.problem.isEmpty()) {
        form_.ShowMessage(files.problem);
        return;
    }
    ImportOnto(pad, files, true);
}

void FormCommands::ImportOnto(int pad, const PadFiles& files, bool add) {
    QtPadQuestions questions(&form_, [this](const QString& question) { return form_.AskYesNo(question); });
    QString done;
    bool imported = true; // a sound alone
    if (!files.movie.isEmpty() || !files.pictures.isEmpty()) {
        const QStringList sources = files.movie.isEmpty() ? files.pictures : QStringList{files.movie};
        const PadKind kind = files.movie.isEmpty() ? PadKindStill : PadKindMovie;
        // Each file as the device will show it first, when the preferences ask for that; Cancel there
        // converts nothing.
        std::vector<FitMode> fits(static_cast<std::size_t>(sources.size()), commands_.GetSettings().fit);
        if (commands_.GetSettings().previewBeforeConverting && !form_.AskPreview(sources, fits)) {
            emit form_.StatusMessage(QStringLiteral("Nothing was imported."));
            return;
        }
        const StoreResult result = ImportWithFits(pad, kind, sources, fits, add, questions);
        if (result.failure == StoreFailure::Declined) {
            return;
        }
        form_.ShowResult(result);
        if (result.failure == StoreFailure::NoCard && commands_.Kept() != nullptr) {
            // The card went during the conversion, which is kept for it: the message said so, and the
            // form waits for the card without a second one.
            form_.CardTakenOut();
            return;
        }
        imported = result.Ok();
        if (imported) {
            lastImportKind_ = kind;
        }
        done = ImportLine(result, sources, pad);
    }
    if (imported && !files.sound.isEmpty()) {
        // A sound the device cannot play as it is may be converted first, when the user agrees, as from
        // the information windows.
        const auto attached = commands_.AttachSound(pad, PathOf(files.sound), &questions);
        form_.ShowResult(attached);
        if (attached) {
            const QString name = FileName(files.sound);
            done += (done.isEmpty() ? QString() : QStringLiteral(" ")) +
                    (attached.value.converted
                         ? QStringLiteral("Converted the sound %1 and attached it to pad %2 as %3.")
                               .arg(name)
                               .arg(pad + 1)
                               .arg(QString::fromStdString(attached.value.name))
                         : QStringLiteral("Attached the sound %1 to pad %2.").arg(name).arg(pad + 1));
        }
    }
    form_.ShowPad(pad);
    if (!done.isEmpty()) {
        emit form_.StatusMessage(done);
    }
}

StoreResult FormCommands::ImportWithFits(int pad, PadKind kind, const QStringList& sources,
                                         const std::vector<FitMode>& fits, bool add,
                                         IPadQuestions& questions) {
    // The files that share a fit are converted together: several pictures on every core, with a
    // progress window and Cancel, onto the pad all together or not at all. Pictures given different fits
    // go on in runs of one fit, in their order; a run that fails ends the import.
    StoreResult result;
    for (qsizetype first = 0; first < sources.size();) {
        const FitMode fit = fits[static_cast<std::size_t>(first)];
        qsizetype end = first + 1;
        while (end < sources.size() && fits[static_cast<std::size_t>(end)] == fit) {
            ++end;
        }
        ImportRequest request;
        request.pad = pad;
        request.kind = kind;
        request.add = add || first > 0;
        for (qsizetype i = first; i < end; ++i) {
            request.sources.push_back(PathOf(sources[i]));
        }
        const ChosenFit chosen(commands_, fit);
        PictureBatchWindow batch(form_.window(), pad,
                                 kind == PadKindStill ? static_cast<int>(end - first) : 0);
        result = commands_.Import(request, &questions, batch.Progress());
        batch.Close();
        if (!result) {
            if (result.source) {
                result.source = *result.source + static_cast<std::size_t>(first);
            }
            return result;
        }
        first = end;
    }
    return result;
}

void FormCommands::Export(int pad) {
    if (commands_.Store().PadKindOf(pad) == PadKindEmpty) {
        return;
    }
    const QString folder = form_.AskExportFolder();
    if (folder.isEmpty()) {
        return;
    }
    remembered::SetExportFolder(folder);
    // A failed copy has said which file and why (the copy's own message).
    const StoreResult exported = commands_.ExportPad(pad, PathOf(folder));
    form_.ShowResult(exported);
    if (exported) {
        emit form_.StatusMessage(
            QStringLiteral("Exported pad %1 to %2.").arg(pad + 1).arg(QDir::toNativeSeparators(folder)));
    }
}

void FormCommands::Information(int pad) {
    CPadBankStore& store = commands_.Store();
    form_.ShowResult(store.RefreshPad(pad));
    // A list emptied in the window has left an empty pad already (the store's rule for an emptied list).
    const PadKind kind = store.PadKindOf(pad);
    if (kind == PadKindMovie) {
        form_.ShowMovieInformation(pad);
    } else if (kind == PadKindStill) {
        form_.ShowStillInformation(pad);
    }
    form_.ShowPad(pad);
}

void FormCommands::Delete(int pad) {
    const PadEntry* entry = commands_.Store().Entry(pad);
    if (entry == nullptr || entry->Kind() == PadKindEmpty) {
        return;
    }
    const QString question =
        QStringLiteral("Delete pad %1, which holds %2?\n%3\n\nYes: the files are deleted from "
                       "the card too.\nNo: the files stay on the card.")
            .arg(pad + 1)
            .arg(QtPadQuestions::ContentText(*entry))
            .arg(QString::fromLatin1(CConvertToolView::kDeleteQuestion));
    const QMessageBox::StandardButton answer = form_.AskDeleteFiles(question);
    if (answer != QMessageBox::Yes && answer != QMessageBox::No) {
        return;
    }
    // The grid shows what the card holds afterwards: a pad the card could not take the change for
    // stays as it was (the store has said why), and the files kept or not deleted are named.
    const StoreResult deleted = commands_.DeletePad(pad, answer == QMessageBox::Yes);
    form_.ShowResult(deleted);
    if (deleted.change.PadChanged()) {
        emit form_.StatusMessage(QStringLiteral("Deleted pad %1.").arg(pad + 1));
    }
    form_.ShowPad(pad);
}

} // namespace k72
