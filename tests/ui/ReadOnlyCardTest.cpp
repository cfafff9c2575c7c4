// A card that cannot be written, as the desktop program opens it: to be looked at, played and exported,
// with every control that would change it disabled and saying why.
#include "ui/ReadOnlyCard.h"
#include "ScriptedView.h"
#include "UiTestSupport.h"
#include "app/CConvertToolApp.h"
#include "app/CMainFrame.h"
#include "app/CardCheckWindow.h"
#include "ui/CDialogMovieInformation.h"
#include "ui/CDialogPictureInformation.h"
#include "ui/CPadView.h"

#include <QAction>
#include <QPushButton>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace k72;
using namespace k72test;

namespace {

// Makes a file or folder unwritable for as long as it lives: by its mode for a user, immutable for root
// (whom modes do not stop).
class Unwritable {
public:
    explicit Unwritable(std::filesystem::path path) : path_(std::move(path)) {
        if (::geteuid() != 0) {
            std::filesystem::permissions(path_, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::remove);
            made_ = true;
        } else {
            made_ = RunCommand("chattr +i " + Quote(path_.string())).exitCode == 0;
        }
    }
    ~Unwritable() {
        if (::geteuid() != 0) {
            std::filesystem::permissions(path_, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add);
        } else {
            RunCommand("chattr -i " + Quote(path_.string()));
        }
    }
    Unwritable(const Unwritable&) = delete;
    Unwritable& operator=(const Unwritable&) = delete;
    bool Made() const { return made_; }

private:
    std::filesystem::path path_;
    bool made_ = false;
};

} // namespace

TEST(ReadOnlyCard, OpensForLookingWithEveryChangeDisabledAndSaid) {
    struct Case {
        const char* what;
        bool folder; // the card folder cannot be written, else the pad file
    };
    for (const Case& c : {Case{"a write-protected pad file", false}, Case{"a read-only card folder", true}}) {
        TempDir dir;
        PadCard card(dir.Path());
        card.PutMovieAndPicture();                         // A-1-6 a movie, A-1-1 a picture
        card.AddPicture("K72_0009.JPG", Qt::blue, 64, 48); // on no pad
        const auto before = card.card.PadBytes();
        const QString root = QString::fromStdString(card.card.root.string());
        const Unwritable locked(c.folder ? card.card.folder : card.card.padFile);
        if (!locked.Made()) {
            GTEST_SKIP() << "cannot make a read-only file here";
        }
        CPadBankStore store;
        PadCommands commands{store};
        ScriptedView view(commands, root);
        view.InitialSetUp();
        ASSERT_TRUE(store.IsCardOpen()) << c.what;
        EXPECT_TRUE(view.ReadOnly()) << c.what;
        EXPECT_TRUE(view.messages.empty()) << c.what << ": " << view.messages.front().toStdString();
        EXPECT_EQ(view.PadView()->PadState(5), PadKindMovie) << c.what;
        EXPECT_TRUE(view.CardStatusText().contains("(read-only)")) << view.CardStatusText().toStdString();
        EXPECT_TRUE(view.CardStatusToolTip().contains("(read-only)"));

        // Looking, playing and exporting stay; what would change the card is off and says why.
        Click(view, PadPoint(5).x(), PadPoint(5).y());
        EXPECT_EQ(view.SelectedPad(), 5);
        EXPECT_TRUE(view.ExportButton()->isEnabled()) << c.what;
        EXPECT_TRUE(view.InformationButton()->isEnabled()) << c.what;
        for (QPushButton* button : {view.ImportButton(), view.DeleteButton()}) {
            EXPECT_FALSE(button->isEnabled()) << c.what << ": " << button->text().toStdString();
            EXPECT_EQ(button->toolTip(), ReadOnlyToolTip()) << c.what;
        }
        EXPECT_FALSE(view.PadView()->acceptDrops());
        // The keys and menu commands that reach the form anyway do nothing.
        view.importAnswer = {QString::fromStdString((card.card.folder / "K72_0002.JPG").string())};
        view.deleteAnswer = QMessageBox::Yes;
        view.Import();
        view.Delete();
        view.DropFiles(1, view.importAnswer);
        EXPECT_TRUE(view.importFilters.empty());
        EXPECT_EQ(view.deleteQuestions, 0);
        EXPECT_EQ(view.PadView()->PadState(1), PadKindEmpty);

        CDialogPictureInformation pictures(commands);
        pictures.SetPad(0, 0, 0);
        EXPECT_EQ(pictures.List()->count(), 1);
        for (QWidget* control : std::initializer_list<QWidget*>{
                 pictures.ImportButton(), pictures.DeleteButton(), pictures.AudioButton()}) {
            EXPECT_FALSE(control->isEnabled()) << c.what;
            EXPECT_EQ(control->toolTip(), ReadOnlyToolTip());
        }
        EXPECT_TRUE(pictures.PreviewButton()->isEnabled());
        EXPECT_FALSE(pictures.acceptDrops());
        CDialogMovieInformation movie(commands);
        movie.SetPad(0, 0, 5);
        EXPECT_FALSE(movie.AudioButton()->isEnabled());
        EXPECT_EQ(movie.AudioButton()->toolTip(), ReadOnlyToolTip());

        // A check of a read-only card lists what it finds (an unused picture) and repairs nothing.
        CardCheckWindow check(store, root);
        EXPECT_GT(check.Problems()->count(), 0);
        EXPECT_FALSE(check.RepairButton()->isEnabled());
        EXPECT_EQ(check.RepairButton()->toolTip(), ReadOnlyToolTip());

        // Exporting copies the pad's files out.
        view.folderAnswer = QString::fromStdString((dir / "out").string());
        std::filesystem::create_directory(dir / "out");
        view.Export();
        EXPECT_TRUE(std::filesystem::exists(dir / "out" / "K72_0001.AVI")) << c.what;
        EXPECT_EQ(card.card.PadBytes(), before) << c.what;
    }
}

// The main window says so in its title, and its Pad menu's changing commands are off; a card that can
// be written again takes the program's own title back.
TEST(ReadOnlyCard, TheMainWindowSaysSo) {
    TempDir dir;
    PadCard card(dir.Path());
    card.PutMovieAndPicture();
    CConvertToolApp app;
    CMainFrame& frame = app.CreateMainWindow(QString::fromStdString(card.card.root.string()));
    {
        const Unwritable locked(card.card.padFile);
        if (!locked.Made()) {
            GTEST_SKIP() << "cannot make a read-only file here";
        }
        frame.View()->InitialSetUp();
        EXPECT_EQ(frame.windowTitle(), CMainFrame::kReadOnlyTitle);
        EXPECT_FALSE(frame.ImportAction()->isEnabled());
        EXPECT_FALSE(frame.DeleteAction()->isEnabled());
        EXPECT_EQ(frame.DeleteAction()->toolTip(), ReadOnlyToolTip());
        EXPECT_TRUE(frame.ExportAction()->isEnabled());
        EXPECT_TRUE(frame.CardStatus()->text().contains("(read-only)"));
        frame.View()->ReleaseCard();
    }
    frame.View()->OpenCard(QString::fromStdString(card.card.root.string()));
    EXPECT_FALSE(frame.View()->ReadOnly());
    EXPECT_EQ(frame.windowTitle(), CMainFrame::kTitle);
    EXPECT_TRUE(frame.ImportAction()->isEnabled());
    EXPECT_TRUE(frame.DeleteAction()->isEnabled());
}
