// fill, plan and apply: a whole set of pads at once.
#include "cli/SetCommands.h"

#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/ExitStatus.h"
#include "cli/QueuedApply.h"
#include "store/ApplyRun.h"
#include "store/FillPlanner.h"
#include "store/PadLocationText.h"
#include "store/PlanReader.h"
#include "store/PlanWriter.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <optional>

namespace k72::cli {
namespace {

using Json = nlohmann::ordered_json;

// A path as the user reads it: relative to the current folder where it lies below it.
std::string Shown(const std::filesystem::path& path) {
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path(ec);
    if (ec || path.is_relative()) {
        return path.string();
    }
    const std::filesystem::path relative = path.lexically_proximate(here);
    const std::string text = relative.string();
    return text.rfind("..", 0) == 0 ? path.string() : text;
}

// The pads' outcomes by place, with the problems found before anything was converted among them.
std::map<std::string, ApplyPadOutcome> OutcomesByPad(const ApplyRun* run, const ApplySchedule& schedule) {
    std::map<std::string, ApplyPadOutcome> byPad;
    for (const PadProblem& problem : schedule.problems) {
        byPad[problem.where.Text()] = {problem.where, false, problem.text};
    }
    for (const PadLocation& where : schedule.unchanged) {
        byPad[where.Text()] = {where, true, {}};
    }
    if (run != nullptr) {
        for (const ApplyPadOutcome& outcome : run->Outcomes()) {
            byPad[outcome.where.Text()] = outcome;
        }
    }
    return byPad;
}

// One JSON object on standard output for the whole command.
void PrintJson(Json object) {
    std::fputs((object.dump(2) + "\n").c_str(), stdout);
    output::NoteJsonPrinted();
}

// The schedule of a plan (or of a fill) against the open card.
ApplySchedule ScheduleFor(CardSession& session, const CardPlan& plan, const Settings& defaults,
                          const SourceRecord& record) {
    SourceProbe probe;
    return ScheduleApply(plan, defaults, CardPadFiles(session.Store()), record,
                         ListCardFileStamps(session.Store().CardFolder()), probe);
}

// Runs the changes of the schedule in the background, each pad saved as it is ready.
void RunChanges(CardSession& session, SourceRecord& record, const ApplySchedule& schedule,
                bool deleteOldFiles, unsigned jobs, std::optional<ApplyRun>& run) {
    run.emplace(session.Store(), session.FileCopy(), session.Root(), record, schedule, deleteOldFiles);
    run->onPad = [&session](const ApplyPadOutcome& outcome) {
        if (!outcome.ok) {
            session.Messages().Error(outcome.where.Text() + ": " + outcome.text + "; the pad is as it was");
        }
    };
    QueuedApply(session.Store().TemporaryFolder(), jobs).Run(*run);
    if (const std::optional<std::string> problem = run->RecordProblem()) {
        session.Messages().Error(*problem);
    }
}

// How the pads of a run ended, for the exit status and the JSON's "error".
struct PadTally {
    bool failed = false;
    std::string firstError;
};

// The pad's state in its JSON item and its line: planned (a dry run), done, or failed with the reason.
void Tally(const std::map<std::string, ApplyPadOutcome>& outcomes, const PadLocation& where, bool dryRun,
           Json& item, std::string& line, PadTally& tally) {
    if (dryRun) {
        item["state"] = "planned";
        return;
    }
    const auto found = outcomes.find(where.Text());
    const bool ok = found != outcomes.end() && found->second.ok;
    item["state"] = ok ? "done" : "failed";
    if (!ok) {
        const std::string text = found != outcomes.end() ? found->second.text : "not saved";
        item["error"] = text;
        line += "  FAILED: " + text;
        tally.failed = true;
        if (tally.firstError.empty()) {
            tally.firstError = where.Text() + ": " + text;
        }
    }
}

std::string PlacementKind(const FillPlacement& placement) {
    std::string kind(FillKindWord(placement.kind));
    if (placement.parts > 1) {
        kind += " (" + std::to_string(placement.part) + " of " + std::to_string(placement.parts) + ")";
    }
    return kind;
}

// How a change of a pad reads: its first file and its kind.
std::string ChangeLine(const ApplySchedule& schedule, const PadUpdate& change) {
    std::string line = change.where.Text() + "  ";
    if (change.clear) {
        return line + "(emptied)";
    }
    const auto fileText = [&](const ScheduledFile& file) {
        return file.conversion ? Shown(schedule.conversions[*file.conversion].source) : file.cardName;
    };
    if (!change.media.empty()) {
        line += fileText(change.media.front());
        if (change.media.size() > 1) {
            line += " +" + std::to_string(change.media.size() - 1);
        }
    }
    line += change.kind == PadKindMovie ? "  movie" : "  pictures";
    if (change.sound) {
        line += "  sound " + fileText(*change.sound);
    }
    return line;
}

} // namespace

int RunFill(const FillOptions& options) {
    CardSession session;
    const std::optional<PadLocation> start = ParseFillStart(options.start);
    if (!start) {
        session.Messages().Error("'" + options.start + "' is not a number: write BANK-NUMBER[-PAD]");
        return kExitUsage;
    }
    const bool opened = options.dryRun ? session.OpenForReading(options.card) : session.Open(options.card);
    if (!opened || !session.Select({start->bank, start->number, start->pad})) {
        return kExitFailed;
    }
    const Settings settings = options.settings.Resolve();

    FillRequest request;
    request.paths.assign(options.paths.begin(), options.paths.end());
    request.startPad = start->pad;
    request.replace = options.replace;
    for (int pad = 0; pad < padlayout::kPads; ++pad) {
        request.occupied[static_cast<std::size_t>(pad)] = session.Store().PadKindOf(pad) != PadKindEmpty;
    }
    const FillPlan fill = PlanFill(request);

    Json ignored = Json::array();
    for (const FillIgnored& item : fill.ignored) {
        session.Messages().Error(item.path.string() + ": left aside, " +
                                 std::string(FillIgnoreText(item.reason)));
        ignored.push_back({{"path", item.path.string()}, {"reason", FillIgnoreText(item.reason)}});
    }
    Json leftOver = Json::array();
    for (const FillLeftOver& item : fill.leftOver) {
        session.Messages().Error(item.source.string() + ": did not fit, no free pad left on " +
                                 PadLocation{start->bank, start->number, 0}.Text().substr(0, 3));
        leftOver.push_back({{"source", item.source.string()}, {"kind", FillKindWord(item.kind)}});
    }

    std::optional<ApplyRun> run;
    ApplySchedule schedule;
    if (!options.dryRun && !fill.placements.empty()) {
        SourceRecord record = SourceRecord::Load(session.Root());
        const CardPlan plan = PlanOfFill(fill, start->bank, start->number);
        schedule = ScheduleFor(session, plan, settings, record);
        RunChanges(session, record, schedule, false, options.jobs, run);
    }
    const std::map<std::string, ApplyPadOutcome> outcomes = OutcomesByPad(run ? &*run : nullptr, schedule);

    PadTally tally;
    tally.failed = !fill.leftOver.empty();
    Json placements = Json::array();
    for (const FillPlacement& placement : fill.placements) {
        const PadLocation where{start->bank, start->number, placement.pad};
        std::string line = where.Text() + "  " + placement.source.string() + "  " + PlacementKind(placement);
        if (placement.sound) {
            line += "  sound " + placement.sound->string();
        }
        Json item = {{"pad", where.Text()},
                     {"source", placement.source.string()},
                     {"kind", FillKindWord(placement.kind)},
                     {"pictures", placement.pictures.size()},
                     {"sound", placement.sound ? Json(placement.sound->string()) : Json(nullptr)}};
        Tally(outcomes, where, options.dryRun, item, line, tally);
        placements.push_back(std::move(item));
        if (!options.json) {
            output::Line(line);
        }
    }
    for (const FillLeftOver& item : fill.leftOver) {
        if (!options.json) {
            output::Line("-  " + item.source.string() + "  " + std::string(FillKindWord(item.kind)) +
                         "  did not fit");
        }
    }
    if (options.json) {
        Json object = {{"ok", !tally.failed},
                       {"dryRun", options.dryRun},
                       {"placements", placements},
                       {"leftOver", leftOver},
                       {"ignored", ignored}};
        if (tally.failed) {
            object["error"] = tally.firstError.empty() ? std::to_string(fill.leftOver.size()) + " did not fit"
                                                       : tally.firstError;
        }
        PrintJson(std::move(object));
    }
    return tally.failed ? kExitFailed : kExitSuccess;
}

int RunPlan(const PlanOptions& options) {
    CardSession session;
    if (!session.OpenForReading(options.card)) {
        return kExitFailed;
    }
    const std::optional<int> bank =
        options.bank.empty() ? std::nullopt : std::optional<int>(ParseBankLetter(options.bank).value_or(-1));
    std::vector<PadFiles> pads;
    for (const PadFiles& pad : CardPadFiles(session.Store())) {
        if ((!bank || pad.where.bank == *bank) &&
            (options.number == 0 || pad.where.number == options.number - 1)) {
            pads.push_back(pad);
        }
    }
    const SourceRecord record = SourceRecord::Load(session.Root());
    const Settings settings = record.PlanSettings().value_or(SettingsOptions{}.Resolve());
    const CardPlan plan =
        DescribeCard(pads, record, ListCardFileStamps(session.Store().CardFolder()), settings);
    std::error_code ec;
    const std::string text = PlanText(plan, std::filesystem::current_path(ec));
    std::fputs(text.c_str(), stdout);
    if (!text.empty() && text.back() != '\n') {
        std::fputc('\n', stdout);
    }
    output::NoteJsonPrinted();
    return kExitSuccess;
}

int RunApply(const ApplyOptions& options) {
    CardSession session;
    const PlanReadResult read = ReadPlanFile(options.plan);
    if (!read.Ok()) {
        for (const std::string& error : read.errors) {
            session.Messages().Error(options.plan + ": " + error);
        }
        session.Messages().Error("nothing on the card was changed");
        return kExitFailed;
    }
    const bool opened = options.dryRun ? session.OpenForReading(options.card) : session.Open(options.card);
    if (!opened) {
        return kExitFailed;
    }
    SourceRecord record = SourceRecord::Load(session.Root());
    const ApplySchedule schedule = ScheduleFor(session, *read.plan, SettingsOptions{}.Resolve(), record);
    for (const PadProblem& problem : schedule.problems) {
        session.Messages().Error(problem.text + "; the pad is left as it is");
    }

    std::optional<ApplyRun> run;
    // A killed apply's deletions are finished even when no pad changes.
    if (!options.dryRun && (!schedule.NothingToDo() || !record.Deleting().empty())) {
        // The plan's settings go with every save of the record, so that plan tells the card with them.
        record.SetPlanSettings(schedule.planSettings);
        RunChanges(session, record, schedule, true, options.jobs, run);
    }
    const std::map<std::string, ApplyPadOutcome> outcomes = OutcomesByPad(run ? &*run : nullptr, schedule);

    PadTally tally;
    tally.failed = !schedule.problems.empty();
    tally.firstError = tally.failed ? schedule.problems.front().text : std::string();
    Json changes = Json::array();
    for (const PadUpdate& change : schedule.changes) {
        std::string line = ChangeLine(schedule, change);
        Json item = {{"pad", change.where.Text()}};
        Tally(outcomes, change.where, options.dryRun, item, line, tally);
        changes.push_back(std::move(item));
        if (!options.json) {
            output::Line(line);
        }
    }
    Json unchanged = Json::array();
    for (const PadLocation& where : schedule.unchanged) {
        unchanged.push_back(where.Text());
    }
    Json problems = Json::array();
    for (const PadProblem& problem : schedule.problems) {
        problems.push_back({{"pad", problem.where.Text()}, {"error", problem.text}});
    }
    if (options.json) {
        Json object = {{"ok", !tally.failed},
                       {"dryRun", options.dryRun},
                       {"changes", changes},
                       {"unchanged", unchanged},
                       {"conversions", schedule.conversions.size()},
                       {"converted", run ? run->ConversionsDone() : 0},
                       {"problems", problems}};
        if (tally.failed) {
            object["error"] = tally.firstError;
        }
        PrintJson(std::move(object));
    } else {
        output::Line(std::to_string(schedule.unchanged.size()) + " pads unchanged, " +
                     std::to_string(schedule.changes.size()) + " to change, " +
                     std::to_string(schedule.conversions.size()) + " conversions" +
                     (options.dryRun ? " (dry run: nothing changed)" : ""));
    }
    return tally.failed ? kExitFailed : kExitSuccess;
}

} // namespace k72::cli
