// The desktop program's file copy: the overwrite questions, the copy itself, and its cancel, which ends
// the whole command.
#include "UiTestSupport.h"
#include "ui/CopyWithProgress.h"
#include "ui/QtFileCopy.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace k72;
using namespace k72test;

namespace {

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t seed) {
    std::vector<std::uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
    }
    return bytes;
}

// Everything in a folder, so that no temporary copy is left behind unnoticed.
std::vector<std::string> Listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Answers the overwrite questions with a key (Escape, or Return for the default No) and the message
// after a cancel with OK.
ModalAnswerer AnsweringWithKey(Qt::Key key) {
    return ModalAnswerer([key](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr) {
            return false;
        }
        if (box->button(QMessageBox::Cancel) != nullptr) {
            QTest::keyClick(box, key);
        } else {
            box->button(QMessageBox::Ok)->click();
        }
        return true;
    });
}

// The command's copies run until the program is back in the event loop that started the command.
void EndCommand() {
    QTest::qWait(60);
}

} // namespace

TEST(CopyWithProgress, CopiesAndCounts) {
    TempDir dir;
    const auto data = Bytes(300000, 3);
    WriteFileBytes(dir / "a.bin", data);
    CopyProgress progress;
    ASSERT_TRUE(CopyFileWithProgress(dir / "a.bin", dir / "b.bin", progress, 4096));
    EXPECT_EQ(ReadFileBytes(dir / "b.bin"), data);
    EXPECT_EQ(progress.bytesDone.load(), data.size());
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"a.bin", "b.bin"}));
}

TEST(CopyWithProgress, FailureAndCancelLeaveTheDestinationAsItWas) {
    TempDir dir;
    WriteFileBytes(dir / "a.bin", Bytes(1000, 1));
    WriteFileBytes(dir / "old.bin", Bytes(10, 9));
    CopyProgress cancelled;
    cancelled.cancel = true;
    EXPECT_FALSE(CopyFileWithProgress(dir / "a.bin", dir / "old.bin", cancelled));
    EXPECT_EQ(ReadFileBytes(dir / "old.bin"), Bytes(10, 9));
    CopyProgress progress;
    EXPECT_FALSE(CopyFileWithProgress(dir / "missing.bin", dir / "old.bin", progress));
    EXPECT_FALSE(CopyFileWithProgress(dir.Path(), dir / "old.bin", progress)); // a folder is no file
    EXPECT_FALSE(CopyFileWithProgress(dir / "a.bin", dir / "no-such-folder" / "x.bin", progress));
    EXPECT_EQ(ReadFileBytes(dir / "old.bin"), Bytes(10, 9));
    EXPECT_EQ(Listing(dir.Path()), (std::vector<std::string>{"a.bin", "old.bin"}));
}

TEST(QtFileCopy, NewFilesAreCopiedWithoutAQuestion) {
    TempDir dir;
    WriteFileBytes(dir / "a.bin", Bytes(5000, 1));
    WriteFileBytes(dir / "b.bin", Bytes(7000, 2));
    std::filesystem::create_directory(dir / "out");
    QtFileCopy copy;
    ModalAnswerer answerer = ModalAnswerer::Clicking(QMessageBox::Cancel);
    EXPECT_TRUE(copy.Copy({{dir / "a.bin", dir / "out" / "A.BIN"}, {dir / "b.bin", dir / "out" / "B.BIN"}}));
    EXPECT_TRUE(answerer.texts.empty());
    EXPECT_EQ(ReadFileBytes(dir / "out" / "A.BIN"), Bytes(5000, 1));
    EXPECT_EQ(ReadFileBytes(dir / "out" / "B.BIN"), Bytes(7000, 2));
    EXPECT_TRUE(copy.Copy({}));
}

TEST(QtFileCopy, AsksBeforeReplacing) {
    TempDir dir;
    WriteFileBytes(dir / "a.bin", Bytes(5000, 1));
    WriteFileBytes(dir / "b.bin", Bytes(6000, 2));
    std::filesystem::create_directory(dir / "out");
    const auto old = Bytes(10, 9);
    QtFileCopy copy;
    {
        // No: that file stays and the copy reports false; the others are copied.
        WriteFileBytes(dir / "out" / "A.BIN", old);
        ModalAnswerer answerer = ModalAnswerer::Clicking(QMessageBox::No);
        EXPECT_FALSE(
            copy.Copy({{dir / "a.bin", dir / "out" / "A.BIN"}, {dir / "b.bin", dir / "out" / "B.BIN"}}));
        ASSERT_EQ(answerer.texts.size(), 1u);
        EXPECT_NE(answerer.texts[0].find("A.BIN"), std::string::npos);
        EXPECT_EQ(answerer.captions[0], "K-72 Image Converter");
        EXPECT_EQ(ReadFileBytes(dir / "out" / "A.BIN"), old);
        EXPECT_EQ(ReadFileBytes(dir / "out" / "B.BIN"), Bytes(6000, 2));
    }
    EndCommand();
    {
        // Escape: the questions come first, so nothing at all is copied, and the user is told so.
        std::filesystem::remove(dir / "out" / "B.BIN");
        ModalAnswerer answerer = AnsweringWithKey(Qt::Key_Escape);
        EXPECT_FALSE(
            copy.Copy({{dir / "b.bin", dir / "out" / "B.BIN"}, {dir / "a.bin", dir / "out" / "A.BIN"}}));
        ASSERT_EQ(answerer.texts.size(), 2u);
        EXPECT_EQ(answerer.texts[1], "Stopped: no file was copied.");
        EXPECT_FALSE(std::filesystem::exists(dir / "out" / "B.BIN"));
        EXPECT_EQ(ReadFileBytes(dir / "out" / "A.BIN"), old);
    }
    EndCommand();
    {
        // Yes to All: asked once, both replaced.
        WriteFileBytes(dir / "out" / "B.BIN", old);
        ModalAnswerer answerer = ModalAnswerer::Clicking(QMessageBox::YesToAll);
        EXPECT_TRUE(
            copy.Copy({{dir / "a.bin", dir / "out" / "A.BIN"}, {dir / "b.bin", dir / "out" / "B.BIN"}}));
        EXPECT_EQ(answerer.texts.size(), 1u);
        EXPECT_EQ(ReadFileBytes(dir / "out" / "A.BIN"), Bytes(5000, 1));
        EXPECT_EQ(ReadFileBytes(dir / "out" / "B.BIN"), Bytes(6000, 2));
    }
    EXPECT_EQ(Listing(dir / "out"), (std::vector<std::string>{"A.BIN", "B.BIN"}));
}

// An export copies its pictures, then its sound. Once the user stops it at a question (Escape or
// Cancel), the rest of it is neither asked nor copied, and the user learns what had been copied; the
// next command asks again.
TEST(QtFileCopy, StoppingAQuestionEndsTheWholeCommand) {
    TempDir dir;
    WriteFileBytes(dir / "a.bin", Bytes(5000, 1));
    WriteFileBytes(dir / "b.bin", Bytes(6000, 2));
    const auto out = dir / "out";
    std::filesystem::create_directory(out);
    const auto old = Bytes(10, 9);
    WriteFileBytes(out / "B.BIN", old);
    QtFileCopy copy;
    {
        ModalAnswerer answerer = AnsweringWithKey(Qt::Key_Escape);
        EXPECT_TRUE(copy.Copy({{dir / "a.bin", out / "A.BIN"}}));  // the pictures: new, no question
        EXPECT_FALSE(copy.Copy({{dir / "b.bin", out / "B.BIN"}})); // the sound: asked, Escape
        EXPECT_FALSE(copy.Copy({{dir / "b.bin", out / "C.BIN"}})); // anything more of the same command
        ASSERT_EQ(answerer.texts.size(), 2u);
        EXPECT_EQ(answerer.texts[1],
                  "Stopped: only these files were copied.\n\nTo " + out.string() + ":\nA.BIN");
        EXPECT_EQ(ReadFileBytes(out / "B.BIN"), old);
        EXPECT_FALSE(std::filesystem::exists(out / "C.BIN"));
    }
    EndCommand();
    ModalAnswerer no = AnsweringWithKey(Qt::Key_Return); // the question's default: No
    EXPECT_FALSE(copy.Copy({{dir / "b.bin", out / "B.BIN"}}));
    EXPECT_TRUE(copy.Copy({{dir / "b.bin", out / "C.BIN"}})); // No skips one file, the command goes on
    EXPECT_EQ(no.texts.size(), 1u);
    EXPECT_EQ(ReadFileBytes(out / "C.BIN"), Bytes(6000, 2));
}

// Cancel in the progress window stops a copy that is under way and leaves no part of it behind. The
// source is a pipe that the test feeds, so that the copy is certainly still running when the user
// cancels.
TEST(QtFileCopy, CancelInTheProgressWindowLeavesNothingBehind) {
    TempDir dir;
    const auto fifo = dir / "source";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directory(dir / "out");
    std::atomic<bool> cancelled{false};
    std::thread feeder([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        const auto chunk = Bytes(4096, 5);
        while (fd >= 0 && !cancelled.load()) {
            if (::write(fd, chunk.data(), chunk.size()) < 0) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (fd >= 0) {
            ::close(fd);
        }
    });
    QtFileCopy copy;
    copy.SetChunkSize(4096);
    copy.SetProgressDelay(0);
    ModalAnswerer answerer([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            box->button(QMessageBox::Ok)->click(); // what was copied before the cancel
            return true;
        }
        auto* progress = qobject_cast<QProgressDialog*>(modal);
        if (progress == nullptr || !progress->isVisible()) {
            return false;
        }
        const auto buttons = progress->findChildren<QPushButton*>();
        if (buttons.size() != 1) {
            return false;
        }
        buttons[0]->click();
        cancelled = true;
        return true;
    });
    // The window counts as modal only once it shows; its owner makes it window-modal.
    QWidget owner;
    owner.show();
    copy.SetOwner(&owner);
    const bool copied = copy.Copy({{fifo, dir / "out" / "K72_0001.AVI"}});
    cancelled = true;
    feeder.join();
    EXPECT_FALSE(copied);
    EXPECT_TRUE(Listing(dir / "out").empty());
    ASSERT_EQ(answerer.texts.size(), 1u);
    EXPECT_EQ(answerer.texts[0], "Stopped: no file was copied.");
}
