#pragma once
// A card in a folder of its own and the program on it, for the tests that drive the whole main window:
// the test puts on the card what it needs, then opens the window.

#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "tests/support/TestSupport.h"

#include <QString>

namespace k72test {

struct CardWindow {
    TempDir dir;
    PadCard card{dir.Path()};
    k72::CConvertToolApp app;

    // The main window, as the program makes it when it starts with the card's folder given.
    k72::CMainFrame& Open() { return app.CreateMainWindow(QString::fromStdString(card.card.root.string())); }
};

} // namespace k72test
