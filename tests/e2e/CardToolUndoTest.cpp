// k72-card undo and redo: the last change taken back from the history the card keeps, with one JSON
// object for each run and the store's words when there is nothing to undo.
#include "tests/e2e/CardToolSupport.h"

namespace k72test {
namespace {

TEST_F(CardToolTest, UndoTakesBackTheLastChangeAndRedoMakesItAgain) {
    auto bytes = card.PadBytes();
    PutMoviePad(bytes, RecordAt(0, 0, 0), "K72_0001.AVI");
    WriteFileBytes(card.padFile, bytes);
    card.AddDeviceFile("K72_0001.AVI");
    const std::string cardRoot = Root();
    ASSERT_EQ(Run("delete " + cardRoot + " A-1-1 --delete-files").status, 0);
    const auto deleted = card.PadBytes();
    ASSERT_FALSE(std::filesystem::exists(card.folder / "K72_0001.AVI"));

    const CardRun undo = Run("undo " + cardRoot + " --json");
    EXPECT_EQ(undo.status, 0) << undo.err;
    const QJsonObject undone = Json(undo);
    EXPECT_TRUE(undone["ok"].toBool());
    EXPECT_EQ(Strings(undone["lines"]), std::vector<std::string>{"undone: delete of pad A-1-1"});
    EXPECT_EQ(undone["pads"].toArray().at(0).toObject()["file"].toString(), "K72_0001.AVI");
    EXPECT_EQ(card.PadBytes(), bytes);
    EXPECT_TRUE(std::filesystem::exists(card.folder / "K72_0001.AVI"));

    // Nothing more to undo: status 1, the reason on standard error, and with --json one object.
    const CardRun nothing = Run("undo " + cardRoot);
    EXPECT_EQ(nothing.status, 1);
    EXPECT_NE(nothing.err.find("There is nothing to undo on this card."), std::string::npos) << nothing.err;
    const CardRun nothingJson = Run("undo " + cardRoot + " --json");
    EXPECT_EQ(nothingJson.status, 1);
    EXPECT_EQ(Json(nothingJson)["error"].toString(), "There is nothing to undo on this card.");
    EXPECT_EQ(card.PadBytes(), bytes);

    const CardRun redo = Run("redo " + cardRoot);
    EXPECT_EQ(redo.status, 0) << redo.err;
    EXPECT_NE(redo.out.find("redone: delete of pad A-1-1"), std::string::npos) << redo.out;
    EXPECT_EQ(card.PadBytes(), deleted);
    EXPECT_FALSE(std::filesystem::exists(card.folder / "K72_0001.AVI"));
}

} // namespace
} // namespace k72test
