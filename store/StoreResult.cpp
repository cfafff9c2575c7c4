#include "store/StoreResult.h"

namespace k72 {

bool PadLocation::Valid() const {
    return bank >= 0 && bank < padlayout::kBanks && number >= 0 && number < padlayout::kNumbers && pad >= 0 &&
           pad < padlayout::kPads;
}

std::string PadLocation::Text() const {
    return std::string(1, static_cast<char>('A' + bank)) + "-" + std::to_string(number + 1) + "-" +
           std::to_string(pad + 1);
}

StoreResult StoreFailed(StoreFailure failure, std::string text, ResultCode code) {
    StoreResult result;
    result.failure = failure;
    result.text = std::move(text);
    result.code = code;
    return result;
}

void AddLine(std::string& text, const std::string& line) {
    if (line.empty()) {
        return;
    }
    text += (text.empty() ? "" : "\n") + line;
}

void Merge(StoreResult& result, StoreResult later) {
    if (result.Ok()) {
        result.failure = later.failure;
        result.code = later.code;
        result.source = later.source;
    }
    AddLine(result.text, later.text);
    if (later.change.PadChanged()) {
        if (!result.change.PadChanged()) {
            result.change.where = later.change.where;
            result.change.before = std::move(later.change.before);
        }
        result.change.after = std::move(later.change.after);
    }
    const auto append = [](auto& to, auto& from) {
        to.insert(to.end(), std::make_move_iterator(from.begin()), std::make_move_iterator(from.end()));
    };
    append(result.change.added, later.change.added);
    append(result.change.removed, later.change.removed);
    append(result.kept, later.kept);
    append(result.notDeleted, later.notDeleted);
    append(result.copied, later.copied);
}

} // namespace k72
