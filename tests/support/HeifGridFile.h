#pragma once
// Writes a HEIC laid out as phones write it: the primary picture a grid of separately coded HEVC
// tiles; or, rarer, one that lays pictures over a canvas of one colour. heif-enc writes only single pictures;
// the tiles are coded with it one by one and their coded data put into a grid file here, box by box. Used by
// the tests and the still benchmark.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace k72test::heifgrid {

using Bytes = std::vector<std::uint8_t>;

inline void Put16(Bytes& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

inline void Put32(Bytes& out, std::uint32_t value) {
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

inline void PutType(Bytes& out, const char* type) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(type[i]));
    }
}

inline std::uint32_t Get32(const Bytes& in, std::size_t at) {
    return (std::uint32_t{in[at]} << 24) | (std::uint32_t{in[at + 1]} << 16) |
           (std::uint32_t{in[at + 2]} << 8) | std::uint32_t{in[at + 3]};
}

inline Bytes Box(const char* type, const Bytes& payload) {
    Bytes box;
    Put32(box, static_cast<std::uint32_t>(payload.size() + 8));
    PutType(box, type);
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

inline Bytes FullBox(const char* type, std::uint8_t version, std::uint32_t flags, const Bytes& payload) {
    Bytes body;
    Put32(body, (std::uint32_t{version} << 24) | flags);
    body.insert(body.end(), payload.begin(), payload.end());
    return Box(type, body);
}

// The first box of the given type anywhere in the file (boxes are found by their type's bytes; the
// files heif-enc writes hold each of these types once), whole.
inline Bytes FindBox(const Bytes& file, const char* type) {
    const auto at = std::search(file.begin(), file.end(), type, type + 4);
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

// The coded tile in a single-picture HEIC as heif-enc writes it (one picture, nothing else in its mdat).
inline CodedTile ReadTile(const Bytes& file) {
    CodedTile tile;
    tile.hvcC = FindBox(file, "hvcC");
    const Bytes mdat = FindBox(file, "mdat");
    if (mdat.size() > 8) {
        tile.data.assign(mdat.begin() + 8, mdat.end());
    }
    return tile;
}

// A HEIC whose primary picture (item 1) is derived, of the given type ("grid" or "iovl") and item data,
// from the tiles (items 2 ...), each tileWidth x tileHeight, the whole width x height.
inline Bytes DerivedHeic(const char* type, const Bytes& derivation, const std::vector<CodedTile>& tiles,
                         int tileWidth, int tileHeight, int width, int height) {
    const auto count = static_cast<std::uint32_t>(tiles.size());

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
        PutType(infe, item == 1 ? type : "hvc1");
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
            const std::size_t length = item == 1 ? derivation.size() : tiles[item - 2].data.size();
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
    Bytes mdat = derivation;
    for (const CodedTile& tile : tiles) {
        mdat.insert(mdat.end(), tile.data.begin(), tile.data.end());
    }
    const Bytes mdatBox = Box("mdat", mdat);
    file.insert(file.end(), mdatBox.begin(), mdatBox.end());
    return file;
}

// A HEIC whose primary picture is a rows x columns grid of the tiles, in reading order.
inline Bytes GridHeic(const std::vector<CodedTile>& tiles, int rows, int columns, int tileWidth,
                      int tileHeight, int width, int height) {
    Bytes grid = {0, 0, static_cast<std::uint8_t>(rows - 1), static_cast<std::uint8_t>(columns - 1)};
    Put16(grid, static_cast<std::uint32_t>(width));
    Put16(grid, static_cast<std::uint32_t>(height));
    return DerivedHeic("grid", grid, tiles, tileWidth, tileHeight, width, height);
}

// A HEIC whose primary picture is a width x height canvas of one colour (16 bits a channel) with the
// tiles laid over it at the given offsets.
inline Bytes OverlayHeic(const std::vector<CodedTile>& tiles, const std::vector<std::pair<int, int>>& offsets,
                         int tileWidth, int tileHeight, int width, int height,
                         const std::uint16_t (&canvas)[4]) {
    Bytes overlay = {0, 0};
    for (const std::uint16_t channel : canvas) {
        Put16(overlay, channel);
    }
    Put16(overlay, static_cast<std::uint32_t>(width));
    Put16(overlay, static_cast<std::uint32_t>(height));
    for (const auto& [x, y] : offsets) {
        Put16(overlay, static_cast<std::uint32_t>(x) & 0xFFFF);
        Put16(overlay, static_cast<std::uint32_t>(y) & 0xFFFF);
    }
    return DerivedHeic("iovl", overlay, tiles, tileWidth, tileHeight, width, height);
}

} // namespace k72test::heifgrid
