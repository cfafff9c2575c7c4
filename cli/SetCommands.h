#pragma once
// The commands that fill a whole set at once: fill (a number from files and folders), plan (the card
// told as a plan) and apply (the card made to match a plan). Conversions run in the background, as
// many at once as the machine carries, and each pad is saved as soon as its files are on the card.

#include "cli/CommandOptions.h"

#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace k72::cli {

struct FillOptions {
    std::string card;
    std::string start; // BANK-NUMBER or BANK-NUMBER-PAD
    std::vector<std::string> paths;
    SettingsOptions settings;
    bool dryRun = false;
    bool replace = false;
    unsigned jobs = 0; // 0: as many as the machine carries
    bool json = false;
};

struct PlanOptions {
    std::string card;
    std::string bank; // empty: every bank
    int number = 0;   // 1 … 12, 0: every number
    bool json = false;
};

struct ApplyOptions {
    std::string card;
    std::string plan;
    bool dryRun = false;
    unsigned jobs = 0;
    bool json = false;
};

struct SetCommandChoice {
    FillOptions fill;
    PlanOptions plan;
    ApplyOptions apply;
};

int RunFill(const FillOptions& options);
int RunPlan(const PlanOptions& options);
int RunApply(const ApplyOptions& options);

// Adds fill, plan and apply to the command line; the helpers are the command line's own for the card
// argument, the conversion settings and --json. run is set to the command chosen.
struct CommandLineHelpers {
    std::function<void(CLI::App*, std::string&)> addCard;
    std::function<void(CLI::App*, SettingsOptions&)> addSettings;
    std::function<void(CLI::App*, bool&)> addJson;
    std::function<void(CLI::App*, std::string&)> addBank; // --bank
};
void AddSetCommands(CLI::App& app, SetCommandChoice& choice, std::function<int()>& run,
                    const CommandLineHelpers& helpers);

} // namespace k72::cli
