#pragma once
// Helpers of the widget tests: rendering a widget and reading its pixels, answering the modal windows
// a command opens, and cards with movie and still image pads.

#include "store/CPadBankStore.h"
#include "store/PadCommands.h"
#include "store/SourceRecord.h"
#include "tests/store/CardFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColor>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QRect>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace k72test {

// The widget as it paints itself, at one image pixel per widget pixel.
inline QImage Render(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// "(r,g,b)" of a pixel, so that a failing comparison says what it saw.
inline std::string Rgb(const QColor& colour) {
    return "(" + std::to_string(colour.red()) + "," + std::to_string(colour.green()) + "," +
           std::to_string(colour.blue()) + ")";
}
inline std::string PixelAt(const QImage& image, int x, int y) {
    return Rgb(image.pixelColor(x, y));
}

// Answers every modal window that opens while it lives: answer gets the window and returns true when
// it has dealt with it. Message boxes are recorded with their texts.
class ModalAnswerer {
public:
    explicit ModalAnswerer(std::function<bool(QWidget*)> answer) : answer_(std::move(answer)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // A window already dealt with carries a mark: a new window may well be made at the address
            // of one that has gone.
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal->property(kAnswered).toBool()) {
                return;
            }
            if (const auto* box = qobject_cast<QMessageBox*>(modal)) {
                texts.push_back(box->text().toStdString());
                captions.push_back(box->windowTitle().toStdString());
            }
            const QPointer<QWidget> window(modal);
            if (answer_(modal) && window != nullptr) {
                window->setProperty(kAnswered, true);
            }
        });
        timer_.start();
    }
    // Clicks the given button of every message box.
    static ModalAnswerer Clicking(QMessageBox::StandardButton button) {
        return ModalAnswerer([button](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr || box->button(button) == nullptr) {
                return false;
            }
            box->button(button)->click();
            return true;
        });
    }

    // Presses Enter in every message box, checking first that its default is the button given.
    static ModalAnswerer PressingEnter(QMessageBox::StandardButton expectedDefault) {
        return ModalAnswerer([expectedDefault](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box == nullptr) {
                return false;
            }
            EXPECT_EQ(box->defaultButton(), box->button(expectedDefault));
            QTest::keyClick(box, Qt::Key_Return);
            return true;
        });
    }

    std::vector<std::string> texts;
    std::vector<std::string> captions;

private:
    static constexpr const char* kAnswered = "k72AnsweredByTest";
    std::function<bool(QWidget*)> answer_;
    QTimer timer_;
};

// A card with an empty pad file under a test folder, and pads put on it through the store itself.
struct PadCard {
    TestCard card;
    explicit PadCard(const std::filesystem::path& base)
        : card(base, std::vector<std::uint8_t>(kPadFileBytes, 0)) {}

    // Records a movie pad (bank, number, pad) naming file (and a sound file).
    void PutMovie(int bank, int number, int pad, const std::string& file, const std::string& audio = {},
                  std::uint32_t frames = 0) const {
        Edit(bank, number, [&](k72::CPadFile& padFile) {
            k72::MovieRecord record;
            k72::SetNameText(record.fileName, file);
            k72::SetNameText(record.audioFileName, audio);
            record.frameCount = frames;
            padFile.SetMovieRecord(number, pad, record);
        });
    }
    // Records a still image pad with the given pictures.
    void PutStills(int bank, int number, int pad, const std::vector<std::string>& files,
                   const std::string& audio = {}) const {
        Edit(bank, number, [&](k72::CPadFile& padFile) {
            k72::StillRecord record;
            for (std::size_t i = 0; i < files.size(); ++i) {
                k72::SetNameText(record.stillNames[i], files[i]);
            }
            record.stillCount = static_cast<std::uint32_t>(files.size());
            k72::SetNameText(record.audioFileName, audio);
            padFile.SetStillRecord(number, pad, record);
        });
    }
    // Notes in the card's record of sources that its file `cardName`, as it is now, was converted from
    // a file named `original`.
    void RecordOriginalName(const std::string& cardName, const std::string& original) const {
        k72::SourceRecord record = k72::SourceRecord::Load(card.root);
        k72::SourceEntry entry;
        entry.originalName = original;
        entry.cardFile = k72::StampOfFile(card.folder / cardName).value();
        record.Put(cardName, entry);
        ASSERT_TRUE(record.Save(card.root));
    }
    // The pads of the main form's tests: A-1-6 the movie K72_0001.AVI, A-1-1 the red picture
    // K72_0002.JPG, both on the card.
    void PutMovieAndPicture() const {
        PutMovie(0, 0, 5, "K72_0001.AVI");
        card.AddFile("K72_0001.AVI");
        PutStills(0, 0, 0, {"K72_0002.JPG"});
        AddPicture("K72_0002.JPG", Qt::red);
    }
    // A picture file in the card folder, filled with one colour.
    void AddPicture(const std::string& name, const QColor& colour, int width = 640, int height = 480) const {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(colour);
        image.save(QString::fromStdString((card.folder / name).string()), "JPG");
    }

private:
    void Edit(int bank, int /*number*/, const std::function<void(k72::CPadFile&)>& change) const {
        k72::CPadFile padFile;
        ASSERT_TRUE(padFile.Open(card.padFile));
        ASSERT_TRUE(padFile.LoadBank(bank));
        change(padFile);
        ASSERT_TRUE(padFile.SaveBank());
        padFile.Close();
    }
};

// A card of its own, with the store and its commands as the program holds them.
class CardWithCommands : public ::testing::Test {
protected:
    QString Root() const { return QString::fromStdString(card.card.root.string()); }

    TempDir dir;
    PadCard card{dir.Path()};
    k72::CPadBankStore store;
    k72::PadCommands commands{store};
};

} // namespace k72test
