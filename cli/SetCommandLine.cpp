// The command line of fill, plan and apply.
#include "cli/SetCommands.h"

#include "store/PadLocationText.h"

#include <CLI/CLI.hpp>

namespace k72::cli {
namespace {

const CLI::Validator kFillStartValidator(
    [](std::string& text) -> std::string {
        return ParseFillStart(text) ? std::string()
                                    : "'" + text +
                                          "' is not a number: write BANK-NUMBER or BANK-NUMBER-PAD, e.g. A-1 "
                                          "or A-1-3";
    },
    "BANK-NUMBER[-PAD]", "number");

void AddJobs(CLI::App* command, unsigned& jobs) {
    command
        ->add_option("--jobs", jobs,
                     "convert at most N movies at once (default: as many as the cores and memory carry)")
        ->check(CLI::Range(1, 64))
        ->option_text("N");
}

std::string Example(const std::string& more, const std::string& example) {
    return more + "\n\nExample:\n  " + example + "\n";
}

} // namespace

void AddSetCommands(CLI::App& app, SetCommandChoice& c, std::function<int()>& run,
                    const CommandLineHelpers& helpers) {
    CLI::App* fill = app.add_subcommand("fill", "fill the pads of a number from files and folders");
    fill->footer(Example(
        "From the pad given (pad 1 when none is) on, the number's pads in order, skipping pads that\n"
        "hold something (unless --replace). Sources in name order: each movie and each picture file\n"
        "takes a pad, a folder of pictures becomes one still image pad (100 pictures a pad), a sound\n"
        "of the same base name goes with its movie, picture or folder. What does not fit is listed\n"
        "and not converted. Exit status 0 when everything was placed, 1 when something failed or\n"
        "did not fit.",
        "k72-card fill /media/sd A-1 clips/ stills/ --dry-run"));
    helpers.addCard(fill, c.fill.card);
    fill->add_option("BANK-NUMBER[-PAD]", c.fill.start, "the number, and the pad to start from")
        ->required()
        ->check(kFillStartValidator);
    fill->add_option("PATH", c.fill.paths, "movies, pictures, sounds and folders")->required();
    fill->add_flag("--dry-run", c.fill.dryRun, "print where each source would go; change nothing");
    fill->add_flag("--replace", c.fill.replace, "fill pads that hold something too (their files stay)");
    AddJobs(fill, c.fill.jobs);
    helpers.addSettings(fill, c.fill.settings);
    helpers.addJson(fill, c.fill.json);
    fill->callback([&c, &run] { run = [&c] { return RunFill(c.fill); }; });

    CLI::App* plan = app.add_subcommand("plan", "print the card, or a part of it, as a plan");
    plan->footer(Example("A pad whose sources are known names them (paths relative to the current\n"
                         "folder); a pad filled elsewhere names its card files, which apply keeps.",
                         "k72-card plan /media/sd --bank A > show.json"));
    helpers.addCard(plan, c.plan.card);
    helpers.addBank(plan, c.plan.bank);
    plan->add_option("--number", c.plan.number, "only this number of the bank, 1 ... 12")
        ->check(CLI::Range(1, 12))
        ->needs(plan->get_option("--bank"));
    helpers.addJson(plan, c.plan.json);
    plan->callback([&c, &run] { run = [&c] { return RunPlan(c.plan); }; });

    CLI::App* apply = app.add_subcommand("apply", "make the card match a plan");
    apply->footer(
        Example("Pads the plan names are made to hold what it says; null empties a pad (its files deleted\n"
                "unless another pad names them); pads it does not name are left alone. A pad whose sources\n"
                "and settings have not changed since they were converted is not converted again.",
                "k72-card apply /media/sd show.json"));
    helpers.addCard(apply, c.apply.card);
    apply->add_option("PLAN", c.apply.plan, "the plan, a JSON file")->required();
    apply->add_flag("--dry-run", c.apply.dryRun, "print what would change; change nothing");
    AddJobs(apply, c.apply.jobs);
    helpers.addJson(apply, c.apply.json);
    apply->callback([&c, &run] { run = [&c] { return RunApply(c.apply); }; });
}

} // namespace k72::cli
