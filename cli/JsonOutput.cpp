#include "cli/JsonOutput.h"

#include "store/SourceRecord.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <cstdio>

namespace k72::cli {
namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

QJsonValue NameOrNull(const NameField& name) {
    if (IsEmptyName(name)) {
        return QJsonValue(QJsonValue::Null);
    }
    return QJsonValue(Text(NameText(name)));
}

// The name the user knew a card file by, or null.
QJsonValue OriginalOrNull(const PadListing& listing, const NameField& name) {
    const auto found = listing.originals.find(CardNameKey(NameText(name)));
    if (found == listing.originals.end()) {
        return QJsonValue(QJsonValue::Null);
    }
    return QJsonValue(Text(found->second));
}

QJsonObject PadObject(const PadListing& listing) {
    QJsonObject pad;
    pad.insert(QStringLiteral("pad"), Text(listing.pad));
    const PadEntry& entry = listing.entry;
    switch (entry.Kind()) {
    case PadKindMovie: {
        pad.insert(QStringLiteral("kind"), QStringLiteral("movie"));
        const MovieRecord record = entry.movie.value_or(MovieRecord{});
        pad.insert(QStringLiteral("file"), Text(NameText(record.fileName)));
        pad.insert(QStringLiteral("original"), OriginalOrNull(listing, record.fileName));
        pad.insert(QStringLiteral("frameCount"), static_cast<qint64>(record.frameCount));
        pad.insert(QStringLiteral("audio"), NameOrNull(record.audioFileName));
        break;
    }
    case PadKindStill: {
        pad.insert(QStringLiteral("kind"), QStringLiteral("still"));
        const StillRecord record = entry.stills.value_or(StillRecord{});
        QJsonArray files;
        QJsonArray originals;
        for (std::size_t i = 0; i < record.UsableCount(); ++i) {
            files.append(Text(NameText(record.stillNames[i])));
            originals.append(OriginalOrNull(listing, record.stillNames[i]));
        }
        pad.insert(QStringLiteral("files"), files);
        pad.insert(QStringLiteral("originals"), originals);
        pad.insert(QStringLiteral("audio"), NameOrNull(record.audioFileName));
        break;
    }
    default:
        pad.insert(QStringLiteral("kind"), QStringLiteral("empty"));
        pad.insert(QStringLiteral("audio"), QJsonValue(QJsonValue::Null));
        break;
    }
    return pad;
}

std::string Serialise(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

} // namespace

std::string ResultCodeHex(ResultCode code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string ShowJson(const std::string& card, std::uint32_t lastFileNumber,
                     const std::vector<PadListing>& pads) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), true);
    object.insert(QStringLiteral("card"), Text(card));
    object.insert(QStringLiteral("lastFileNumber"), static_cast<qint64>(lastFileNumber));
    QJsonArray list;
    for (const PadListing& pad : pads) {
        list.append(PadObject(pad));
    }
    object.insert(QStringLiteral("pads"), list);
    return Serialise(object);
}

std::string AviProbeJson(std::uint32_t frames, double framesPerSecond) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), true);
    object.insert(QStringLiteral("kind"), QStringLiteral("avi"));
    object.insert(QStringLiteral("frames"), static_cast<qint64>(frames));
    object.insert(QStringLiteral("fps"), framesPerSecond);
    return Serialise(object);
}

std::string WavProbeJson(ResultCode code, const std::string& error) {
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QStringLiteral("wav"));
    object.insert(QStringLiteral("ok"), Succeeded(code));
    object.insert(QStringLiteral("code"), Text(ResultCodeHex(code)));
    if (Failed(code)) {
        object.insert(QStringLiteral("error"), Text(error));
    }
    return Serialise(object);
}

namespace {

QJsonObject ProblemObject(const CardProblem& problem) {
    QJsonObject object;
    object.insert(QStringLiteral("kind"), QString::fromLatin1(CardProblemKindName(problem.kind)));
    object.insert(QStringLiteral("pad"),
                  problem.bank < 0 ? QJsonValue(QJsonValue::Null) : QJsonValue(Text(problem.PadText())));
    object.insert(QStringLiteral("name"),
                  problem.name.empty() ? QJsonValue(QJsonValue::Null) : QJsonValue(Text(problem.name)));
    object.insert(QStringLiteral("text"), Text(problem.text));
    object.insert(QStringLiteral("repairable"), problem.repairable);
    return object;
}

QJsonArray ProblemArray(const std::vector<CardProblem>& problems) {
    QJsonArray array;
    for (const CardProblem& problem : problems) {
        array.append(ProblemObject(problem));
    }
    return array;
}

} // namespace

std::string CheckJson(const std::string& card, const std::vector<CardProblem>& problems,
                      const std::vector<CardProblem>& repaired, const std::string& error) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), error.empty());
    if (!error.empty()) {
        object.insert(QStringLiteral("error"), Text(error));
    }
    object.insert(QStringLiteral("card"), Text(card));
    object.insert(QStringLiteral("problems"), ProblemArray(problems));
    object.insert(QStringLiteral("repaired"), ProblemArray(repaired));
    return Serialise(object);
}

std::string SuccessJson(const std::vector<PadListing>& pads, const std::vector<std::string>& lines) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), true);
    QJsonArray padList;
    for (const PadListing& pad : pads) {
        padList.append(PadObject(pad));
    }
    object.insert(QStringLiteral("pads"), padList);
    QJsonArray lineList;
    for (const std::string& line : lines) {
        lineList.append(Text(line));
    }
    object.insert(QStringLiteral("lines"), lineList);
    return Serialise(object);
}

std::string FailureJson(const std::string& error, const std::string& codeHex) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), false);
    object.insert(QStringLiteral("error"), Text(error));
    if (!codeHex.empty()) {
        object.insert(QStringLiteral("code"), Text(codeHex));
    }
    return Serialise(object);
}

std::string TextJson(const std::string& key, const std::string& text) {
    QJsonObject object;
    object.insert(QStringLiteral("ok"), true);
    object.insert(QString::fromStdString(key), Text(text));
    return Serialise(object);
}

} // namespace k72::cli
