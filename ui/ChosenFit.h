#pragma once
// An import converts with the fit of the settings: while a ChosenFit lives, the fit chosen for the files
// in the preview; the user's own settings again afterwards.

#include "store/PadCommands.h"

namespace k72 {

class ChosenFit {
public:
    ChosenFit(PadCommands& commands, FitMode fit) : commands_(commands), saved_(commands.GetSettings()) {
        Settings chosen = saved_;
        chosen.fit = fit;
        commands_.SetSettings(chosen);
    }
    ~ChosenFit() { commands_.SetSettings(saved_); }
    ChosenFit(const ChosenFit&) = delete;
    ChosenFit& operator=(const ChosenFit&) = delete;

private:
    PadCommands& commands_;
    Settings saved_;
};

} // namespace k72
