// overview: the whole card at a glance, as the desktop program's overview shows it: for each bank and
// number how many of its 12 pads are used, and the card's totals. Reads only, from a consistent copy of
// the pad file, so it works on a card the desktop program holds and on one mounted read-only.
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/ExitStatus.h"
#include "cli/PadAddress.h"
#include "cli/TerminalMessages.h"
#include "cli/ViewCommands.h"
#include "store/CardOverview.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <cstdio>

namespace k72::cli {
namespace {

QString KindWord(PadKind kind) {
    return kind == PadKindMovie ? QStringLiteral("movie") : QStringLiteral("still");
}

QJsonValue NameOrNull(const std::string& name) {
    return name.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(QString::fromStdString(name));
}

std::string OverviewJson(const std::string& card, const CardOverview& overview) {
    QJsonArray numbers;
    for (int bank = 0; bank < padlayout::kBanks; ++bank) {
        for (int number = 0; number < padlayout::kNumbers; ++number) {
            const NumberOverview& cell = overview.At(bank, number);
            QJsonObject object;
            object.insert(QStringLiteral("bank"), QString(QChar::fromLatin1(BankLetter(bank))));
            object.insert(QStringLiteral("number"), number + 1);
            object.insert(QStringLiteral("used"), cell.used);
            object.insert(QStringLiteral("movies"), cell.movies);
            object.insert(QStringLiteral("stills"), cell.stills);
            object.insert(QStringLiteral("sounds"), cell.sounds);
            QJsonArray pads;
            for (const PadGlance& glance : cell.pads) {
                QJsonObject pad;
                pad.insert(QStringLiteral("pad"),
                           QString::fromStdString(PadAddress{bank, number, glance.pad}.Text()));
                pad.insert(QStringLiteral("kind"), KindWord(glance.kind));
                pad.insert(QStringLiteral("file"), NameOrNull(glance.file));
                pad.insert(glance.kind == PadKindMovie ? QStringLiteral("frameCount")
                                                       : QStringLiteral("pictures"),
                           static_cast<qint64>(glance.count));
                pad.insert(QStringLiteral("audio"), NameOrNull(glance.sound));
                pads.append(pad);
            }
            object.insert(QStringLiteral("pads"), pads);
            numbers.append(object);
        }
    }
    const CardTotals& totals = overview.Totals();
    QJsonObject sums;
    sums.insert(QStringLiteral("usedPads"), totals.usedPads);
    sums.insert(QStringLiteral("movies"), totals.movies);
    sums.insert(QStringLiteral("stillPads"), totals.stillPads);
    sums.insert(QStringLiteral("pictures"), totals.pictures);
    sums.insert(QStringLiteral("sounds"), totals.sounds);
    sums.insert(QStringLiteral("minutes"), totals.movieMinutes);
    sums.insert(QStringLiteral("freeBytes"), totals.freeBytes
                                                 ? QJsonValue(static_cast<qint64>(*totals.freeBytes))
                                                 : QJsonValue(QJsonValue::Null));
    sums.insert(QStringLiteral("totalBytes"), totals.totalBytes
                                                  ? QJsonValue(static_cast<qint64>(*totals.totalBytes))
                                                  : QJsonValue(QJsonValue::Null));
    QJsonObject object;
    object.insert(QStringLiteral("ok"), true);
    object.insert(QStringLiteral("card"), QString::fromStdString(card));
    object.insert(QStringLiteral("numbers"), numbers);
    object.insert(QStringLiteral("totals"), sums);
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

// "1.2 GiB", or "512.0 MiB" below a gibibyte.
std::string SizeText(std::uintmax_t bytes) {
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    char text[32];
    if (mib >= 1024.0) {
        std::snprintf(text, sizeof text, "%.1f GiB", mib / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.1f MiB", mib);
    }
    return text;
}

} // namespace

int RunOverview(const OverviewOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    // Only said: a save cut off earlier is put back by a command that changes the card.
    if (const auto looked = session.Store().OpenCardRoot(options.card, CardAccess::Snapshot); looked) {
        session.Report(looked);
        session.Store().Close();
    }
    CardOverview overview;
    if (const StoreResult read = overview.Read(options.card); !read) {
        messages.Error(options.card + ": " + read.text);
        return kExitFailed;
    }
    const std::string card = CardText(options.card);
    if (options.json) {
        std::fputs(OverviewJson(card, overview).c_str(), stdout);
        output::NoteJsonPrinted();
        return kExitSuccess;
    }
    // A grid of the used pads: banks down, numbers across; "." for a number with none.
    output::Line("card " + card + ", used pads of each number:");
    std::string header = "     ";
    for (int number = 1; number <= padlayout::kNumbers; ++number) {
        char cell[8];
        std::snprintf(cell, sizeof cell, "%4d", number);
        header += cell;
    }
    output::Line(header);
    for (int bank = 0; bank < padlayout::kBanks; ++bank) {
        std::string row = std::string("  ") + BankLetter(bank) + "  ";
        for (int number = 0; number < padlayout::kNumbers; ++number) {
            const int used = overview.At(bank, number).used;
            const std::string value = used == 0 ? "." : std::to_string(used);
            row += std::string(4 - value.size(), ' ') + value;
        }
        output::Line(row);
    }
    const CardTotals& totals = overview.Totals();
    std::string sums = TotalsText(totals);
    if (totals.freeBytes && totals.totalBytes) {
        sums += "; " + SizeText(*totals.freeBytes) + " free of " + SizeText(*totals.totalBytes);
    }
    output::Line(sums);
    return kExitSuccess;
}

} // namespace k72::cli
