#pragma once
// One chunk of an AVI file on its way through the re-interleaver: where the input's idx1 says it lies,
// its bytes while they are being copied, and where it went in the output.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace k72 {

class CWinFile;

class CAVIPacket {
public:
    static constexpr std::uint32_t kIndexEntrySize = 16;

    CAVIPacket() = default;
    virtual ~CAVIPacket() = default;
    CAVIPacket(const CAVIPacket&) = delete;
    CAVIPacket& operator=(const CAVIPacket&) = delete;

    // An audio packet that owns the given block (the regrouped sound of one step).
    static std::unique_ptr<CAVIPacket> CreateAVIPacket(std::unique_ptr<std::uint8_t[]> block,
                                                       std::uint32_t length);

    // Fills the packet from one 16-byte idx1 entry (id, flags, offset from "movi", length).
    void Parse(const std::uint8_t* entry);

    // Reads the chunk the entry points at; false (with the reason in the diagnostic log) when the
    // chunk is not where and what the entry says.
    bool ReadData(CWinFile& input);

    // Writes the packet as a chunk at movi position P (bytes after "movi" and its 4-byte id, so that file
    // offset = 512 + P). Video chunks are padded so the next chunk starts on a 512-byte boundary.
    // Returns the bytes written (8 + dataLength), 0 on failure.
    std::uint32_t WriteData(CWinFile& output, std::uint32_t position);

    void FreeData() {
        data.reset();
        dataOffset_ = 0;
    }

    // The chunk's own bytes (without its header).
    const std::uint8_t* Bytes() const { return data.get() + dataOffset_; }

    // Turns the first four fields into the output's index entry for this chunk and returns its bytes.
    void MakeOutputEntry(std::uint8_t* entry);

    std::uint32_t ckid = 0;
    std::uint32_t indexFlags = 0;
    std::uint32_t chunkOffset = 0;
    std::uint32_t chunkLength = 0;
    std::unique_ptr<std::uint8_t[]> data; // see Bytes(): a block read by ReadData starts with the header
    std::uint32_t dataLength = 0;
    std::uint32_t outFlags = 0;
    std::uint32_t position = 0;
    std::uint32_t isVideo = 0;

private:
    static constexpr std::size_t kPaddingRoom = 512;
    std::uint32_t dataOffset_ = 0; // where the chunk's bytes start in data: 8 after ReadData, else 0
};

} // namespace k72
