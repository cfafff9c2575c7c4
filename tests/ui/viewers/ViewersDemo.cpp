// Opens one of the viewers in a real window, for looking at them under a window manager and through the
// accessibility bus:
//   k72-viewers-demo preview FILE...       the preview dialog (prints the chosen fits on Convert)
//   k72-viewers-demo player MOVIE [WAV]    the player on a device movie
//   k72-viewers-demo slideshow WAV|- JPG... the player on a still image pad's pictures
//   k72-viewers-demo overview CARD         the card overview (prints the number clicked)
#include "settings/SettingsStorage.h"
#include "store/Settings.h"
#include "ui/CardOverviewWidget.h"
#include "ui/PlayerWidget.h"
#include "ui/PreviewDialog.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(
            stderr,
            "usage: %s preview FILE... | player MOVIE [WAV] | slideshow WAV|- JPG... | overview CARD\n",
            argv[0]);
        return 2;
    }
    const std::string what = argv[1];
    if (what == "preview") {
        k72::Settings settings;
        k72::LoadSettings(settings);
        std::vector<std::filesystem::path> files(argv + 2, argv + argc);
        std::vector<k72::FitMode> fits;
        if (!k72::PreviewDialog::Ask(nullptr, files, settings, fits)) {
            std::printf("cancelled\n");
            return 1;
        }
        for (std::size_t i = 0; i < files.size(); ++i) {
            std::printf("%s: %s\n", files[i].c_str(), k72::FitWord(fits[i]));
        }
        return 0;
    }
    if (what == "player" || what == "slideshow") {
        k72::PlayerWidget player;
        player.setWindowTitle(QStringLiteral("Player"));
        player.resize(660, 580);
        bool opened = false;
        if (what == "player") {
            opened = player.OpenMovie(argv[2],
                                      argc > 3 ? std::filesystem::path(argv[3]) : std::filesystem::path());
        } else {
            const std::filesystem::path sound =
                std::strcmp(argv[2], "-") == 0 ? std::filesystem::path() : argv[2];
            opened =
                player.OpenSlideshow(std::vector<std::filesystem::path>(argv + 3, argv + argc), 2.0, sound);
        }
        player.show();
        if (opened) {
            player.Play();
        }
        return application.exec();
    }
    if (what == "overview") {
        k72::CardOverviewWidget overview;
        overview.setWindowTitle(QStringLiteral("Card overview"));
        QObject::connect(&overview, &k72::CardOverviewWidget::NumberChosen, [](int bank, int number) {
            std::printf("chosen: bank %c number %d\n", 'A' + bank, number + 1);
            std::fflush(stdout);
        });
        overview.ShowCard(argv[2]);
        overview.show();
        return application.exec();
    }
    return 2;
}
