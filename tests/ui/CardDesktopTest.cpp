// The card as the desktop program finds, checks and ejects it: cards recognised and named in the drive
// list, the watch on volumes, File → Check Card… with its repair, and File → Eject Card against a
// stand-in UDisks2 service on a private bus (never the machine's own).
#include "CardWindow.h"
#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "app/CardCheckWindow.h"
#include "app/CardCommands.h"
#include "app/CardWatcher.h"
#include "store/CPadFile.h"
#include "ui/CConvertToolView.h"
#include "ui/CPadView.h"
#include "ui/CardOverviewWidget.h"
#include "ui/CardOverviewWindow.h"
#include "ui/CardVolumes.h"
#include "ui/DriveList.h"
#include "ui/RememberedPlaces.h"

#include <QAction>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStorageInfo>
#include <QThread>
#include <QToolButton>
#include <algorithm>

#include <gtest/gtest.h>

using namespace k72;
using namespace k72test;

namespace {

// A D-Bus bus of the test's own: a dbus-daemon started for it and stopped with it.
class PrivateBus {
public:
    PrivateBus() {
        daemon.start(QStringLiteral("dbus-daemon"),
                     {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--nopidfile"),
                      QStringLiteral("--print-address=1")});
        if (daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000)) {
            address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
        }
    }
    ~PrivateBus() {
        QDBusConnection::disconnectFromBus(name);
        if (fake.state() != QProcess::NotRunning) {
            fake.kill();
            fake.waitForFinished(5000);
        }
        daemon.kill();
        daemon.waitForFinished(5000);
    }
    bool Ok() const { return !address.isEmpty(); }
    QDBusConnection Bus() { return QDBusConnection::connectToBus(address, name); }

    // Starts the stand-in UDisks2 with one file system mounted at mountPoint; true once it serves.
    bool StartFake(const QString& mountPoint, const QString& log, bool busy = false) {
        QStringList arguments{address, mountPoint, log};
        if (busy) {
            arguments << QStringLiteral("busy");
        }
        fake.start(QStringLiteral(K72_FAKE_UDISKS), arguments);
        if (!fake.waitForStarted(5000)) {
            return false;
        }
        QDBusConnection bus = Bus();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 10000) {
            if (bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.UDisks2"))) {
                return true;
            }
            QThread::msleep(20);
        }
        return false;
    }

private:
    QProcess daemon;
    QProcess fake;
    QString address;
    QString name = QStringLiteral("k72-test-bus");
};

class RecordingCards : public CardCommands {
public:
    using CardCommands::CardCommands;
    QStringList shown;

protected:
    void ShowMessage(const QString& text) override { shown << text; }
};

bool PadFileIsFree(const std::filesystem::path& padFile) {
    CPadFile other;
    return other.Open(padFile).Ok();
}

} // namespace

TEST(CardDesktop, CardsAreRecognisedAndNamedByLabelAndSize) {
    TempDir dir;
    PadCard card(dir.Path());
    EXPECT_TRUE(LooksLikeCard(QString::fromStdString(card.card.root.string())));
    // The names are found without regard to case, as on the card's FAT volume.
    std::filesystem::create_directories(dir / "lower/dcim/000kavlo");
    WriteFileBytes(dir / "lower/dcim/000kavlo/k72_pad.sys", {0});
    EXPECT_TRUE(LooksLikeCard(QString::fromStdString((dir / "lower").string())));
    EXPECT_FALSE(LooksLikeCard(QString::fromStdString(dir.Path().string())));
    EXPECT_FALSE(LooksLikeCard(QString()));

    EXPECT_EQ(CardVolumeText("K72CARD", 7948206080LL, "/media/u/K72CARD"), "K72CARD (7.9 GB)");
    EXPECT_EQ(CardVolumeText("", 2000000000LL, "/media/u/3A1F-0C2B"), "3A1F-0C2B (2.0 GB)");
    EXPECT_EQ(CardVolumeText("", 0, "/media/u/SD"), "SD (size unknown)");

    // The card named on the command line is listed by its folder's name and marked as a card; then the
    // cards and removable volumes by label and size; the system's disks not at all; then a recent card
    // that is still there.
    PadCard recent(dir / "recent");
    const QString recentRoot = QString::fromStdString(recent.card.root.string());
    remembered::RememberCard(recentRoot);
    SetMountedVolumeSource([] {
        return std::vector<MountedVolume>{{"/", "", 100, false},
                                          {"/mnt/containers/tools", "", 100, false},
                                          {"/media/u/STICK", "STICK", 2000000000LL, true}};
    });
    const auto entries = ListDrives(QString::fromStdString(card.card.root.string()));
    SetMountedVolumeSource({});
    QStringList texts;
    for (const DriveEntry& entry : entries) {
        texts << entry.text;
    }
    // Other tests running at the same time share the list of recent cards: theirs may stand beside ours.
    ASSERT_GE(entries.size(), 4u);
    EXPECT_EQ(texts.mid(0, 3), (QStringList{"", QString::fromStdString(card.card.root.filename().string()),
                                            "STICK (2.0 GB)"}));
    EXPECT_TRUE(entries[1].card);
    const auto recentEntry =
        std::find_if(entries.begin() + 3, entries.end(),
                     [&recentRoot](const DriveEntry& entry) { return entry.root == recentRoot; });
    ASSERT_NE(recentEntry, entries.end());
    EXPECT_EQ(recentEntry->text, QString::fromStdString(recent.card.root.filename().string()));
    EXPECT_TRUE(recentEntry->card);
}

TEST(CardDesktop, TheWatchReportsOnlyRealChangesAndPollsWithoutUDisks) {
    QStringList volumes{"/", "/home"};
    CardWatcher watcher(nullptr, [&] { return volumes; });
    QSignalSpy changed(&watcher, &CardWatcher::VolumesChanged);
    watcher.Rescan();
    EXPECT_EQ(changed.count(), 0);
    volumes << "/media/u/K72CARD";
    watcher.Rescan();
    EXPECT_EQ(changed.count(), 1);
    watcher.Rescan();
    EXPECT_EQ(changed.count(), 1);
    volumes = QStringList{"/home", "/"};
    watcher.Rescan();
    EXPECT_EQ(changed.count(), 2);

    PrivateBus bus;
    ASSERT_TRUE(bus.Ok());
    CardWatcher polling(nullptr, [&] { return volumes; });
    polling.Start(bus.Bus(), 50);
    EXPECT_FALSE(polling.FollowsUDisks());
    EXPECT_TRUE(polling.Polls());
    QSignalSpy polled(&polling, &CardWatcher::VolumesChanged);
    volumes << "/media/u/NEW";
    EXPECT_TRUE(polled.wait(2000));

    TempDir dir;
    ASSERT_TRUE(bus.StartFake("/media/u/K72CARD", QString::fromStdString((dir / "log").string())));
    CardWatcher following(nullptr, [&] { return volumes; });
    following.Start(bus.Bus());
    EXPECT_TRUE(following.FollowsUDisks());
    EXPECT_FALSE(following.Polls());
}

class EjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bus.Ok());
        root = QString::fromStdString(card.card.root.string());
        view = std::make_unique<CConvertToolView>(commands, root);
        view->InitialSetUp();
        ASSERT_TRUE(store.IsCardOpen());
        mountPoint = QStorageInfo(root).rootPath();
        log = QString::fromStdString((dir / "udisks.log").string());
    }
    std::string Log() const {
        return std::filesystem::exists(log.toStdString()) ? ReadFileText(log.toStdString()) : std::string();
    }

    TempDir dir;
    PadCard card{dir.Path()};
    PrivateBus bus;
    CPadBankStore store;
    PadCommands commands{store};
    std::unique_ptr<CConvertToolView> view;
    QString root;
    QString mountPoint;
    QString log;
};

TEST_F(EjectTest, EjectReleasesTheCardUnmountsAndPowersOffAndSaysItIsSafe) {
    ASSERT_TRUE(bus.StartFake(mountPoint, log));
    RecordingCards cards(store, *view, nullptr, bus.Bus());
    const EjectResult result = cards.Eject();
    EXPECT_TRUE(result.safe) << result.message.toStdString();
    ASSERT_EQ(cards.shown.size(), 1);
    EXPECT_EQ(cards.shown[0], UDisksCard::kSafe);
    EXPECT_EQ(Log(), "Unmount /org/freedesktop/UDisks2/block_devices/sdz1\n"
                     "PowerOff /org/freedesktop/UDisks2/drives/K72_Card_Reader\n");
    EXPECT_FALSE(store.IsCardOpen());
    EXPECT_TRUE(PadFileIsFree(card.card.padFile));
    EXPECT_TRUE(view->OpenCardRoot().isEmpty());
    EXPECT_FALSE(view->BankList()->isEnabled());
}

TEST_F(EjectTest, ABusyCardIsNotCalledSafe) {
    ASSERT_TRUE(bus.StartFake(mountPoint, log, true));
    RecordingCards cards(store, *view, nullptr, bus.Bus());
    const EjectResult result = cards.Eject();
    EXPECT_FALSE(result.safe);
    ASSERT_EQ(cards.shown.size(), 1);
    EXPECT_TRUE(cards.shown[0].contains("could not be ejected")) << cards.shown[0].toStdString();
    EXPECT_TRUE(cards.shown[0].contains("target is busy")) << cards.shown[0].toStdString();
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(PadFileIsFree(card.card.padFile)) << "the program lets go of the card in any case";
}

TEST_F(EjectTest, WithoutUDisksTheUserIsToldToUseTheFileManager) {
    RecordingCards cards(store, *view, nullptr, bus.Bus());
    const EjectResult result = cards.Eject();
    EXPECT_FALSE(result.safe);
    ASSERT_EQ(cards.shown.size(), 1);
    EXPECT_TRUE(cards.shown[0].contains("file manager")) << cards.shown[0].toStdString();
    EXPECT_TRUE(PadFileIsFree(card.card.padFile));

    // With no card open there is nothing to eject.
    cards.shown.clear();
    EXPECT_FALSE(cards.Eject().safe);
    EXPECT_EQ(cards.shown, QStringList{CardCommands::kNoCard});
}

// The drive list follows volumes: a card mounted while none is open is opened, one mounted while another
// is open is only listed, and a card taken out without Eject is let go.
TEST(CardDesktop, ACardThatAppearsIsOpenedWhenNoneIs) {
    TempDir dir;
    PadCard first(dir / "one");
    PadCard second(dir / "two");
    std::vector<MountedVolume> volumes{{"/", "", 100, false}};
    SetMountedVolumeSource([&] { return volumes; });
    struct Restore {
        ~Restore() { SetMountedVolumeSource({}); }
    } restore;

    PrivateBus bus;
    ASSERT_TRUE(bus.Ok());
    CPadBankStore store;
    PadCommands commands{store};
    CConvertToolView view(commands);
    view.InitialSetUp();
    RecordingCards cards(store, view, nullptr, bus.Bus());
    EXPECT_FALSE(store.IsCardOpen());

    // A card another window remembers meanwhile is listed, but it is no card that appeared: it may be in
    // use there, and opening it would only end in a message nobody asked for.
    PadCard lately(dir / "lately");
    const QString rememberedRoot = QString::fromStdString(lately.card.root.string());
    remembered::RememberCard(rememberedRoot);
    view.UpdateDrives();
    EXPECT_GE(view.DriveList()->findData(rememberedRoot), 1);
    EXPECT_FALSE(store.IsCardOpen());

    const QString firstRoot = QString::fromStdString(first.card.root.string());
    volumes.push_back({firstRoot, "K72CARD", 7948206080LL, true});
    cards.Watcher().Rescan();
    ASSERT_TRUE(store.IsCardOpen());
    EXPECT_EQ(view.OpenCardRoot(), firstRoot);
    EXPECT_EQ(view.DriveList()->currentText(), "K72CARD (7.9 GB)");
    EXPECT_EQ(view.DriveList()->itemData(1).toString(), firstRoot) << "cards come first";
    EXPECT_TRUE(view.BankList()->isEnabled());

    const QString secondRoot = QString::fromStdString(second.card.root.string());
    volumes.insert(volumes.begin(), MountedVolume{secondRoot, "OTHER", 1000000000LL, true});
    cards.Watcher().Rescan();
    EXPECT_EQ(view.OpenCardRoot(), firstRoot);
    EXPECT_GE(view.DriveList()->findData(secondRoot), 1);

    // Taken out without Eject: the folder is gone with the volume, and the status bar says so.
    QSignalSpy said(&view, &CConvertToolView::StatusMessage);
    std::filesystem::rename(first.card.root, dir / "pulled");
    volumes.erase(volumes.begin() + 2);
    cards.Watcher().Rescan();
    ASSERT_EQ(said.count(), 1);
    EXPECT_EQ(said.at(0).at(0).toString(),
              QStringLiteral("The card %1 is no longer available.").arg(firstRoot));
    EXPECT_TRUE(view.OpenCardRoot().isEmpty());
    EXPECT_FALSE(store.IsCardOpen());
    EXPECT_TRUE(PadFileIsFree(dir / "pulled/DCIM/000KAVLO/K72_PAD.SYS"));
    EXPECT_EQ(view.DriveList()->findData(firstRoot), -1);
}

TEST(CardDesktop, CheckCardListsTheProblemsAndRepairsThroughTheOpenStore) {
    TempDir dir;
    PadCard card(dir.Path());
    card.PutMovie(0, 0, 0, "K72_0001.AVI");
    card.PutStills(0, 0, 1, {"K72_0002.JPG", "K72_0003.JPG"});
    card.AddPicture("K72_0002.JPG", Qt::red, 64, 48);
    card.AddPicture("K72_0009.JPG", Qt::blue, 64, 48);
    CPadBankStore store;
    PadCommands commands{store};
    CConvertToolView view(commands, QString::fromStdString(card.card.root.string()));
    view.InitialSetUp();
    ASSERT_TRUE(store.IsCardOpen());

    CardCheckWindow window(store, view.OpenCardRoot());
    EXPECT_EQ(window.Problems()->count(), 3);
    EXPECT_TRUE(window.Summary()->text().contains("3 problems")) << window.Summary()->text().toStdString();
    EXPECT_TRUE(window.RepairButton()->isEnabled());
    QSignalSpy repaired(&window, &CardCheckWindow::Repaired);
    window.RepairButton()->click();
    EXPECT_EQ(repaired.count(), 1);
    EXPECT_EQ(window.Problems()->count(), 0);
    EXPECT_TRUE(window.Summary()->text().contains("sound"));
    EXPECT_FALSE(window.RepairButton()->isEnabled());
    EXPECT_TRUE(std::filesystem::exists(card.card.folder / "UNUSED" / "K72_0009.JPG"));
    // The store that holds the card saw the change: pad 1 is empty, pad 2 has one picture.
    ASSERT_NE(store.Entry(0), nullptr);
    EXPECT_EQ(store.PadKindOf(0), PadKindEmpty);
    const auto stills = store.Entry(1)->stills;
    ASSERT_TRUE(stills.has_value());
    EXPECT_EQ(stills->stillCount, 1u);
}

TEST(CardDesktop, TheFileMenuHasCheckAndEject) {
    CConvertToolApp app;
    CMainFrame& frame = app.CreateMainWindow(QString());
    QMenu* file = frame.menuBar()->actions().at(0)->menu();
    ASSERT_NE(file, nullptr);
    QStringList texts;
    for (QAction* action : file->actions()) {
        if (!action->isSeparator()) {
            texts << action->text();
        }
    }
    EXPECT_EQ(texts,
              (QStringList{QString::fromUtf8("Open Card Folder\u2026"), "Recent Cards",
                           QString::fromUtf8("Card Overview\u2026"),
                           QString::fromUtf8("Fill Number from Folder\u2026"),
                           QString::fromUtf8("Check Card\u2026"), "Eject Card", "Preference", "Exit"}));
    EXPECT_NE(frame.Cards(), nullptr);
}

// File → Card Overview… shows the open card's numbers; the one chosen is where the main window goes.
TEST(CardDesktop, TheCardOverviewGoesToTheChosenNumber) {
    CardWindow program;
    program.card.PutMovie(2, 4, 0, "K72_0001.AVI");
    program.card.card.AddFile("K72_0001.AVI");
    CMainFrame& frame = program.Open();
    EXPECT_FALSE(frame.OverviewAction()->isEnabled()) << "no card yet";
    frame.View()->InitialSetUp();
    ASSERT_TRUE(frame.OverviewAction()->isEnabled());
    QString usedText;
    ModalAnswerer choose([&usedText](QWidget* modal) {
        auto* window = qobject_cast<CardOverviewWindow*>(modal);
        if (window == nullptr) {
            return false;
        }
        // The card is read in the background; it may well be read already.
        QToolButton* cell = window->Overview()->Cell(2, 4);
        EXPECT_TRUE(QTest::qWaitFor([cell] { return cell->text() == "1/12"; }, 5000))
            << cell->text().toStdString();
        usedText = cell->text();
        window->Overview()->Cell(2, 4)->click();
        return true;
    });
    frame.OverviewAction()->trigger();
    EXPECT_TRUE(usedText.contains("1/12")) << usedText.toStdString();
    EXPECT_EQ(frame.View()->BankList()->currentText(), "BANK:C");
    EXPECT_EQ(frame.View()->NumberList()->currentText(), "5");
    EXPECT_EQ(frame.View()->PadView()->PadState(0), PadKindMovie);
}
