#pragma once
// undo and redo: the last change made to a card's pads, by this tool or the desktop program, taken back
// or made again from the history the card keeps.

#include <string>

namespace k72::cli {

struct UndoOptions {
    std::string card;
    bool redo = false;
};

int RunUndo(const UndoOptions& options);

} // namespace k72::cli
