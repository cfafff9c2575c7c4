#include "cli/CommandOutput.h"

#include "cli/CommandSupport.h"
#include "cli/JsonOutput.h"

#include <cstdio>
#include <vector>

namespace k72::cli::output {
namespace {

struct State {
    bool json = false;
    bool printed = false;
    std::string error;
    std::optional<ResultCode> code;
    std::vector<std::string> lines;
    std::vector<PadListing> pads;
};

State& Current() {
    static State state;
    return state;
}

void Print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

} // namespace

void SetJson(bool json) {
    Current().json = json;
}

bool Json() {
    return Current().json;
}

void NoteError(const std::string& text) {
    if (Current().error.empty()) {
        Current().error = text;
    }
}

void NoteCode(ResultCode code) {
    Current().code = code;
}

void NoteJsonPrinted() {
    Current().printed = true;
}

void Line(const std::string& text) {
    if (Current().json) {
        Current().lines.push_back(text);
    } else {
        PrintLine(text);
    }
}

void Pad(const PadAddress& address, const PadEntry* entry) {
    if (Current().json) {
        Current().pads.push_back(PadListing{address.Text(), entry != nullptr ? *entry : PadEntry{}, {}});
    } else {
        PrintLine(DescribePad(address, entry));
    }
}

std::string FailureObject(const std::string& error, std::optional<ResultCode> code) {
    return FailureJson(error.empty() ? "the command failed" : error,
                       code ? ResultCodeHex(*code) : std::string());
}

void Finish(int status) {
    State& state = Current();
    if (!state.json || state.printed) {
        return;
    }
    state.printed = true;
    Print(status == 0 ? SuccessJson(state.pads, state.lines) : FailureObject(state.error, state.code));
}

void Reset() {
    Current() = State{};
}

} // namespace k72::cli::output
