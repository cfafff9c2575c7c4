// A HEIC laid out as phones write it: the picture a grid of separately coded tiles. heif-enc writes
// only single pictures, so the test codes four tiles with it and puts their coded data into a grid
// file of its own, box by box.

#include "engine/StillImageConverter.h"
#include "tests/support/StillTestPictures.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace k72test;
using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

void PutType(Bytes& out, const char* type) {
    out.insert(out.end(), type, type + 4);
}

std::uint32_t Get32(const Bytes& in, std::size_t at) {
    return (std::uint32_t{in[at]} << 24) | (std::uint32_t{in[at + 1]} << 16) |
           (std::uint32_t{in[at + 2]} << 8) | std::uint32_t{in[at + 3]};
}

Bytes Box(const char* type, const Bytes& payload) {
    Bytes box;
    Put32(box, static_cast<std::uint32_t>(payload.size() + 8));
    PutType(box, type);
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

Bytes FullBox(const char* type, std::uint8_t version, std::uint32_t flags, const Bytes& payload) {
    Bytes body;
    Put32(body, (std::uint32_t{version} << 24) | flags);
    body.insert(body.end(), payload.begin(), payload.end());
    return Box(type, body);
}

// The first box of the given type anywhere in the file (boxes are found by their type's bytes; the
// files heif-enc writes hold each of these types once), whole.
Bytes FindBox(const Bytes& file, const char* type) {
    const auto at = std::search(file.begin(), file.end(), type, type + 4);
    EXPECT_NE(at, file.end()) << type;
    if (at == file.end() || at - file.begin() < 4) {
        return {};
    }
    const auto start = static_cast<std::size_t>(at - file.begin()) - 4;
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(start),
                 file.begin() + static_cast<std::ptrdiff_t>(start + Get32(file, start)));
}

struct CodedTile {
    Bytes hvcC; // the decoder configuration box, whole
    Bytes data; // the coded picture: the payload of the file's only mdat
};

CodedTile ReadTile(const std::filesystem::path& heic) {
    const Bytes file = ReadFileBytes(heic);
    CodedTile tile;
    tile.hvcC = FindBox(file, "hvcC");
    const Bytes mdat = FindBox(file, "mdat");
    if (mdat.size() > 8) {
        tile.data.assign(mdat.begin() + 8, mdat.end());
    }
    return tile;
}

// A HEIC whose primary picture (item 1) is a rows x columns grid of the tiles (items 2 ...), in
// reading order, of width x height in all.
Bytes GridHeic(const std::vector<CodedTile>& tiles, int rows, int columns, int tileWidth, int tileHeight,
               int width, int height) {
    const auto count = static_cast<std::uint32_t>(tiles.size());
    Bytes grid = {0, 0, static_cast<std::uint8_t>(rows - 1), static_cast<std::uint8_t>(columns - 1)};
    Put16(grid, static_cast<std::uint32_t>(width));
    Put16(grid, static_cast<std::uint32_t>(height));

    Bytes ftyp;
    PutType(ftyp, "heic");
    Put32(ftyp, 0);
    PutType(ftyp, "mif1");
    PutType(ftyp, "heic");

    Bytes hdlr(4, 0);
    PutType(hdlr, "pict");
    hdlr.insert(hdlr.end(), 13, 0); // reserved words and an empty name
    Bytes pitm;
    Put16(pitm, 1);
    Bytes iinf;
    Put16(iinf, count + 1);
    for (std::uint32_t item = 1; item <= count + 1; ++item) {
        Bytes infe;
        Put16(infe, item);
        Put16(infe, 0);
        PutType(infe, item == 1 ? "grid" : "hvc1");
        infe.push_back(0);
        const Bytes box = FullBox("infe", 2, item == 1 ? 0 : 1, infe); // tiles are hidden
        iinf.insert(iinf.end(), box.begin(), box.end());
    }
    Bytes dimg;
    Put16(dimg, 1);
    Put16(dimg, count);
    for (std::uint32_t item = 2; item <= count + 1; ++item) {
        Put16(dimg, item);
    }
    const Bytes iref = FullBox("iref", 0, 0, Box("dimg", dimg));
    // Properties: 1 .. count the tiles' configurations, count + 1 the tiles' size, count + 2 the grid's.
    Bytes ipco;
    for (const CodedTile& tile : tiles) {
        ipco.insert(ipco.end(), tile.hvcC.begin(), tile.hvcC.end());
    }
    for (const auto& [w, h] : {std::pair{tileWidth, tileHeight}, std::pair{width, height}}) {
        Bytes ispe;
        Put32(ispe, static_cast<std::uint32_t>(w));
        Put32(ispe, static_cast<std::uint32_t>(h));
        const Bytes box = FullBox("ispe", 0, 0, ispe);
        ipco.insert(ipco.end(), box.begin(), box.end());
    }
    Bytes ipma;
    Put32(ipma, count + 1);
    Put16(ipma, 1);
    ipma.push_back(1);
    ipma.push_back(static_cast<std::uint8_t>(count + 2));
    for (std::uint32_t item = 2; item <= count + 1; ++item) {
        Put16(ipma, item);
        ipma.push_back(2);
        ipma.push_back(static_cast<std::uint8_t>(0x80 | (item - 1))); // essential configuration
        ipma.push_back(static_cast<std::uint8_t>(count + 1));
    }
    Bytes iprp = Box("ipco", ipco);
    const Bytes ipmaBox = FullBox("ipma", 0, 0, ipma);
    iprp.insert(iprp.end(), ipmaBox.begin(), ipmaBox.end());
    iprp = Box("iprp", iprp);

    // The item locations point into the mdat that follows the meta box; their fields have fixed sizes,
    // so the meta box is built twice: once to learn its size, once with the offsets.
    const auto buildMeta = [&](std::uint32_t mdatPayload) {
        Bytes iloc = {0x44, 0x00}; // 4-byte offsets and lengths, no base offset
        Put16(iloc, count + 1);
        std::uint32_t offset = mdatPayload;
        for (std::uint32_t item = 1; item <= count + 1; ++item) {
            const std::size_t length = item == 1 ? grid.size() : tiles[item - 2].data.size();
            Put16(iloc, item);
            Put16(iloc, 0);
            Put16(iloc, 1);
            Put32(iloc, offset);
            Put32(iloc, static_cast<std::uint32_t>(length));
            offset += static_cast<std::uint32_t>(length);
        }
        Bytes meta = FullBox("hdlr", 0, 0, hdlr);
        for (const Bytes& box : {FullBox("pitm", 0, 0, pitm), FullBox("iinf", 0, 0, iinf), iref, iprp,
                                 FullBox("iloc", 0, 0, iloc)}) {
            meta.insert(meta.end(), box.begin(), box.end());
        }
        return FullBox("meta", 0, 0, meta);
    };
    const Bytes ftypBox = Box("ftyp", ftyp);
    const std::size_t metaSize = buildMeta(0).size();
    Bytes file = ftypBox;
    const Bytes meta = buildMeta(static_cast<std::uint32_t>(ftypBox.size() + metaSize + 8));
    file.insert(file.end(), meta.begin(), meta.end());
    Bytes mdat = grid;
    for (const CodedTile& tile : tiles) {
        mdat.insert(mdat.end(), tile.data.begin(), tile.data.end());
    }
    const Bytes mdatBox = Box("mdat", mdat);
    file.insert(file.end(), mdatBox.begin(), mdatBox.end());
    return file;
}

TEST(HeicGrid, TiledPictureConvertsLikeTheWholePicture) {
    if (!HaveProgram("heif-enc")) {
        GTEST_SKIP() << "heif-enc (libheif-examples) is needed for HEIC sources";
    }
    TempDir dir;
    // Large enough to be reduced, so that the tiles are decoded without the in-loop filters.
    constexpr int kTileWidth = 640;
    constexpr int kTileHeight = 480;
    WriteRgbPng(dir / "whole.png", SmoothPicture(2 * kTileWidth, 2 * kTileHeight));
    std::vector<CodedTile> tiles;
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 2; ++column) {
            const auto name = "tile" + std::to_string(row) + std::to_string(column);
            ASSERT_TRUE(MakeMedia(dir / (name + ".png"), "-i " + Quote(dir / "whole.png") +
                                                             " -vf crop=" + std::to_string(kTileWidth) + ":" +
                                                             std::to_string(kTileHeight) + ":" +
                                                             std::to_string(column * kTileWidth) + ":" +
                                                             std::to_string(row * kTileHeight)));
            const auto made = RunCommand("heif-enc -q 95 -o " + Quote(dir / (name + ".heic")) + " " +
                                         Quote(dir / (name + ".png")));
            ASSERT_EQ(made.exitCode, 0) << made.output;
            tiles.push_back(ReadTile(dir / (name + ".heic")));
            ASSERT_FALSE(tiles.back().hvcC.empty());
            ASSERT_FALSE(tiles.back().data.empty());
        }
    }
    WriteFileBytes(dir / "grid.heic",
                   GridHeic(tiles, 2, 2, kTileWidth, kTileHeight, 2 * kTileWidth - 40, 2 * kTileHeight - 30));
    // The grid's output size cuts the right and bottom tiles short, as phones' grids do.
    ASSERT_TRUE(MakeMedia(dir / "cut.png", "-i " + Quote(dir / "whole.png") +
                                               " -vf crop=" + std::to_string(2 * kTileWidth - 40) + ":" +
                                               std::to_string(2 * kTileHeight - 30) + ":0:0"));

    k72::StillImageConverter converter;
    ASSERT_EQ(converter.Convert((dir / "cut.png").string(), (dir / "fromPng.jpg").string()), 0);
    ASSERT_EQ(converter.Convert((dir / "grid.heic").string(), (dir / "fromGrid.jpg").string()), 0);
    const auto error = MeanError(DecodeJpegInProcess(dir / "fromGrid.jpg", 640, 480),
                                 DecodeJpegInProcess(dir / "fromPng.jpg", 640, 480));
    EXPECT_LT(*std::max_element(error.begin(), error.end()), 4.0);

    // A tile missing from the file (its item data cut off) is refused, not pasted as garbage.
    Bytes cut = ReadFileBytes(dir / "grid.heic");
    cut.resize(cut.size() - tiles.back().data.size() / 2);
    WriteFileBytes(dir / "cut.heic", cut);
    EXPECT_NE(converter.Convert((dir / "cut.heic").string(), (dir / "fromCut.jpg").string()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "fromCut.jpg"));
}

} // namespace
