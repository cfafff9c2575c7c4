// check: what on a card the device would trip over, and with --repair the part of it that can be put
// right without losing anything: records naming files that are gone are cleared, and files no pad names
// are moved into DCIM/000KAVLO/UNUSED/. Without --repair nothing on the card changes.
#include "cli/CardSession.h"
#include "cli/CommandOutput.h"
#include "cli/CommandSupport.h"
#include "cli/Commands.h"
#include "cli/ExitStatus.h"
#include "cli/JsonOutput.h"
#include "store/CardCheck.h"
#include "store/CardLayout.h"

#include <cstdio>
#include <sstream>

namespace k72::cli {
namespace {

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string LineOf(const CardProblem& problem) {
    return problem.text + (problem.repairable ? "  (--repair)" : "");
}

} // namespace

int RunCheck(const CheckOptions& options) {
    CardSession session;
    TerminalMessages& messages = session.Messages();
    const std::filesystem::path root = options.card;
    CPadBankStore& store = session.Store();
    if (options.repair) {
        // The card is opened to change it before it is looked at: a save cut off earlier (by a repair
        // that was killed, too) is put back first, so that the list below is made of the card as it is.
        // A card that cannot be opened for its pad file is listed as it is, with nothing to repair.
        const auto opened = store.OpenCardRoot(root);
        const CardOpenFailure failure = opened.value.failure;
        if (!opened && (failure == CardOpenFailure::Locked || failure == CardOpenFailure::Busy ||
                        failure == CardOpenFailure::ReadOnly || failure == CardOpenFailure::IoError)) {
            messages.Error(opened.text);
            return kExitFailed;
        }
        if (opened) {
            session.Report(opened);
        }
    } else if (const auto looked = store.OpenCardRoot(root, CardAccess::Snapshot); looked) {
        // Only said: a command that only reads leaves a cut-off save as it is.
        session.Report(looked);
        store.Close();
    }
    // A folder that is no card at all is an error; a card whose pad file is wrong is a finding.
    auto checked = CardCheck::Run(root);
    if (!checked) {
        messages.Error(checked.text);
        return kExitFailed;
    }
    CardCheckReport report = std::move(checked.value);
    std::vector<CardProblem> repaired;
    if (options.repair && report.Repairable() > 0 && store.IsCardOpen()) {
        const StoreResult repair = CardCheck::Repair(store, report);
        store.Close();
        std::istringstream failures(repair.text);
        for (std::string line; std::getline(failures, line);) {
            messages.Error(line);
        }
        const CardCheckReport after = CardCheck::Run(root).value;
        for (const CardProblem& problem : report.problems) {
            bool left = false;
            for (const CardProblem& remaining : after.problems) {
                left = left || (remaining.kind == problem.kind && remaining.bank == problem.bank &&
                                remaining.number == problem.number && remaining.pad == problem.pad &&
                                remaining.name == problem.name);
            }
            if (problem.repairable && !left) {
                repaired.push_back(problem);
            }
        }
        report = after;
        if (!repair) {
            return kExitFailed;
        }
    }
    store.Close();

    const std::string card = CardText(options.card);
    const std::string error =
        report.Sound() ? std::string()
                       : "the card " + card + " has " + Count(report.problems.size(), "problem", "problems");
    if (options.json) {
        std::fputs(CheckJson(card, report.problems, repaired, error).c_str(), stdout);
        output::NoteJsonPrinted();
    } else {
        for (const CardProblem& problem : repaired) {
            PrintLine("repaired: " + problem.text);
        }
        if (report.Sound()) {
            PrintLine("card " + card + ": sound");
        } else {
            PrintLine("card " + card + ": " + Count(report.problems.size(), "problem", "problems") +
                      (report.Repairable() > 0
                           ? ", " + std::to_string(report.Repairable()) + " of them repaired by --repair"
                           : std::string()));
            for (const CardProblem& problem : report.problems) {
                PrintLine(LineOf(problem));
            }
        }
    }
    if (!report.Sound()) {
        messages.Error(error);
        return kExitFailed;
    }
    return kExitSuccess;
}

} // namespace k72::cli
