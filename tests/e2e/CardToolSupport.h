#pragma once
// Running the built k72-card on cards made by the tests: each run gets its own temporary folder and
// preferences folder, standard output and standard error apart, and the JSON it prints parsed.

#include "tests/store/CardFixture.h"
#include "tests/support/TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace k72test {

struct CardRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::filesystem::path CardTool() {
    return BinaryDir() / "k72-card";
}

// A card with an all-zero pad file (every pad empty), with a temporary folder, a preferences folder and a
// data folder of its own for the tool.
class CardToolTest : public ::testing::Test {
protected:
    CardToolTest()
        : card(dir.Path(), std::vector<std::uint8_t>(kPadFileBytes, 0)), temp(dir / "tmp"),
          config(dir / "config"), data(dir / "data") {
        std::filesystem::create_directories(temp);
        std::filesystem::create_directories(config);
    }

    // Runs k72-card with the arguments (quoted by the caller where needed).
    CardRun Run(const std::string& arguments) const {
        const auto errFile = dir / "stderr.txt";
        const std::string line = "{ TMPDIR=" + Quote(temp) + " XDG_CONFIG_HOME=" + Quote(config) +
                                 " XDG_DATA_HOME=" + Quote(data) + " " + Quote(CardTool()) + " " + arguments +
                                 " 2>" + Quote(errFile) + " </dev/null; }";
        const CommandResult result = RunCommand(line);
        CardRun run;
        run.status = result.exitCode;
        run.out = result.output;
        run.err = ReadFileText(errFile);
        return run;
    }

    std::string Root() const { return Quote(card.root); }

    // The JSON object a --json run printed; fails the test when it is not one.
    static QJsonObject Json(const CardRun& run) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out;
        EXPECT_TRUE(document.isObject()) << run.out;
        return document.object();
    }

    // The pads of show --json, by pad name.
    QJsonObject Pads(const std::string& options = "") const {
        const CardRun run = Run("show " + Root() + " --json " + options);
        EXPECT_EQ(run.status, 0) << run.err;
        QJsonObject pads;
        for (const auto& pad : Json(run)["pads"].toArray()) {
            pads.insert(pad.toObject()["pad"].toString(), pad);
        }
        return pads;
    }

    static std::vector<std::string> Strings(const QJsonValue& array) {
        std::vector<std::string> strings;
        for (const auto& value : array.toArray()) {
            strings.push_back(value.toString().toStdString());
        }
        return strings;
    }

    // The names in the card folder, the undo history's left out.
    std::vector<std::string> CardFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(card.folder)) {
            if (!IsUndoHistory(entry.path().filename().string())) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    bool TempIsEmpty() const { return std::filesystem::is_empty(temp); }

    // Stored preferences of the desktop program, as it writes them.
    void StorePreferences(int fps, int quality, int deinterlace) const {
        std::filesystem::create_directories(config / "KAVELO");
        std::ofstream out(config / "KAVELO" / "K-72 Image Converter.conf");
        out << "[General]\nfps=" << fps << "\nquality=" << quality << "\ndeinterlace=" << deinterlace << "\n";
    }

    // count small pictures p001.png, p002.png, ... in the test folder; the paths, quoted.
    std::vector<std::string> MakePictures(int count) const {
        MakeMedia(dir / "p%03d.png",
                  "-f lavfi -i testsrc2=size=32x24:rate=25 -frames:v " + std::to_string(count));
        std::vector<std::string> paths;
        for (int i = 1; i <= count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "p%03d.png", i);
            paths.push_back(Quote(dir / name));
        }
        return paths;
    }

    TempDir dir;
    TestCard card;
    std::filesystem::path temp;
    std::filesystem::path config;
    std::filesystem::path data; // the tool's data folder, where it keeps copies of the pad file
};

inline std::string Join(const std::vector<std::string>& parts) {
    std::string line;
    for (const auto& part : parts) {
        line += part + " ";
    }
    return line;
}

} // namespace k72test
