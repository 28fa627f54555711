// A BLOB block in the BLOB file's block cache: its 18-byte header and its data bytes.
#pragma once

#include "tableengine/format/BlobHeader.h"
#include "tableengine/storage/BufferedFile.h"

namespace tableengine {

class TBlock : public TBuffer {
public:
    explicit TBlock(TBufferedFile& file);

    TBlockHeader FHeader{};

    uint16_t GetLength() const { return FHeader.Length; }
    int32_t GetTotalLength() const { return FHeader.TotalLength; }
    int32_t GetSignature() const { return FHeader.Signature; }
    int32_t GetPrevNumber() const { return FHeader.PrevNumber; }
    int32_t GetNextNumber() const { return FHeader.NextNumber; }
    // Copies min(length, Length) data bytes from offset; a length above the buffer size raises 10029.
    std::size_t GetBlockData(std::size_t offset, std::size_t length, uint8_t* destination) const;

    void Copy(const TBuffer& other) override;
    void Initialize(int slot) override;
    void Read(const uint8_t* raw, std::size_t size) override;
    void Write(uint8_t* raw, std::size_t size) const override;
};

} // namespace tableengine
