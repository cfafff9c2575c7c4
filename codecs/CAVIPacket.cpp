#include "codecs/CAVIPacket.h"

#include "base/ByteOrder.h"
#include "base/DiagnosticLog.h"
#include "codecs/CAviWriter.h"
#include "codecs/CWinFile.h"

#include <array>
#include <cstring>
#include <new>

namespace k72 {
namespace {

constexpr std::string_view kLogModule = "AVI chunk";

// The file offset of movi position 0: "LIST", its length and "movi" end there.
using avilayout::kMoviDataStart;

using byteorder::LoadLE32;
using byteorder::StoreLE32;

constexpr std::uint32_t FourCC(const char (&id)[5]) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(id[0])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(id[3])) << 24;
}

bool Fail(std::string_view message) {
    LogLine(kLogModule, message);
    return false;
}

} // namespace

std::unique_ptr<CAVIPacket> CAVIPacket::CreateAVIPacket(std::unique_ptr<std::uint8_t[]> block,
                                                        std::uint32_t length) {
    auto packet = std::make_unique<CAVIPacket>();
    packet->data = std::move(block);
    packet->dataLength = length;
    return packet;
}

void CAVIPacket::Parse(const std::uint8_t* entry) {
    ckid = LoadLE32(entry);
    indexFlags = LoadLE32(entry + 4);
    chunkOffset = LoadLE32(entry + 8);
    chunkLength = LoadLE32(entry + 12);
    dataLength = chunkLength;
    outFlags = indexFlags;
    position = chunkOffset - 4;
    isVideo = ((ckid >> 16) & 0xFF) == 'd' && (ckid >> 24) == 'c' ? 1 : 0;
}

bool CAVIPacket::ReadData(CWinFile& input) {
    // The chunk's header lies at position + 512 (that is 508 + its index offset).
    const std::uint64_t chunkStart = static_cast<std::uint64_t>(position) + kMoviDataStart;
    // A damaged index may claim more bytes than the file holds: refuse it before allocating anything.
    if (chunkStart + 8 + dataLength > input.GetLength()) {
        return Fail("the chunk runs past the end of the file");
    }
    // The chunk is read whole, header included, into a block with room for the padding that
    // WriteData adds, so that it goes out again in one write.
    const std::size_t wanted = 8 + std::size_t{dataLength};
    try {
        data = std::make_unique_for_overwrite<std::uint8_t[]>(wanted + kPaddingRoom);
    } catch (const std::bad_alloc&) {
        return Fail("out of memory for the chunk");
    }
    dataOffset_ = 8;
    std::size_t done = 0;
    while (done < wanted) {
        const std::size_t got = input.ReadAt(chunkStart + done, data.get() + done, wanted - done);
        if (got == 0) {
            break;
        }
        done += got;
    }
    const std::uint8_t* header = data.get();
    const char* failure = nullptr;
    if (done < 4) {
        failure = "the chunk header is cut short";
    } else if (isVideo != 0 ? !(header[2] == 'd' && header[3] == 'c')
                            : !(header[2] == 'w' && header[3] == 'b')) {
        failure = "the chunk is not of the stream its index entry names";
    } else if (done < 8) {
        failure = "the chunk length is cut short";
    } else if (LoadLE32(header + 4) != dataLength) {
        failure = "the chunk length differs from its index entry";
    } else if (done < wanted) {
        failure = "the chunk data is cut short";
    }
    if (failure != nullptr) {
        FreeData();
        return Fail(failure);
    }
    return true;
}

std::uint32_t CAVIPacket::WriteData(CWinFile& output, std::uint32_t at) {
    static const std::array<std::uint8_t, kPaddingRoom> zeros{};
    position = at;
    const std::uint32_t payload = dataLength;
    std::uint32_t padding = 0;
    if (isVideo != 0) {
        // 1 … 512, never 0: a chunk that already ends on a boundary still gets a whole block.
        padding = 512 - static_cast<std::uint32_t>((static_cast<std::uint64_t>(at) + 8 + payload) % 512);
    }
    dataLength = payload + padding;
    std::uint8_t header[8];
    std::memcpy(header, isVideo != 0 ? avilayout::kVideoChunkId : avilayout::kSoundChunkId, 4);
    StoreLE32(header + 4, dataLength);
    if (dataOffset_ == 8 && data) {
        // Read by ReadData: header, bytes and padding leave in one piece.
        std::uint8_t* chunk = data.get();
        std::memcpy(chunk, header, sizeof header);
        std::memset(chunk + 8 + payload, 0, padding);
        return output.Write(chunk, 8 + std::size_t{dataLength}) ? 8 + dataLength : 0;
    }
    if (!output.Write(header, sizeof header)) {
        return 0;
    }
    if (payload > 0 && !output.Write(data.get(), payload)) {
        return 0;
    }
    if (padding > 0 && !output.Write(zeros.data(), padding)) {
        return 0;
    }
    return 8 + dataLength;
}

void CAVIPacket::MakeOutputEntry(std::uint8_t* entry) {
    ckid = isVideo != 0 ? FourCC(avilayout::kVideoChunkId) : FourCC(avilayout::kSoundChunkId);
    indexFlags = outFlags;
    chunkOffset = position + 4;
    chunkLength = dataLength;
    StoreLE32(entry, ckid);
    StoreLE32(entry + 4, indexFlags);
    StoreLE32(entry + 8, chunkOffset);
    StoreLE32(entry + 12, chunkLength);
}

} // namespace k72
