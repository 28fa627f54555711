#include "tablewriter/TableWriterBlobFile.h"

#include "tablewriter/TableWriterSchema.h"

#include <zlib.h>

#include <cstring>
#include <limits>

namespace tableengine::writer {

Bytes DeflateValue(std::string_view value, int level) {
    z_stream zs{};
    if (deflateInit2(&zs, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw WriterError("error compressing data");
    struct Ender {
        z_stream* s;
        ~Ender() { deflateEnd(s); }
    } ender{&zs};
    if (value.size() > std::numeric_limits<uInt>::max())
        throw WriterError("BLOB value too large");
    Bytes out(deflateBound(&zs, static_cast<uLong>(value.size())));
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(value.data()));
    zs.avail_in = static_cast<uInt>(value.size());
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (deflate(&zs, Z_FINISH) != Z_STREAM_END)
        throw WriterError("error compressing data");
    out.resize(zs.total_out);
    return out;
}

BlobFileBuilder::BlobFileBuilder(int32_t blockSize) : blockSize_(blockSize) {}

int32_t BlobFileBuilder::Store(std::string_view stored, int32_t signature) {
    if (stored.empty())
        return 0;
    if (stored.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw WriterError("BLOB value too large");
    const size_t room = static_cast<size_t>(blockSize_) - kBlockHeaderSize;
    const size_t count = (stored.size() + room - 1) / room;
    const auto first = static_cast<int32_t>(blocks_.size()) + 1;
    if (blocks_.size() + count > static_cast<size_t>(std::numeric_limits<int32_t>::max() - 1))
        throw WriterError("BLOB file too large");
    for (size_t i = 0; i < count; ++i) {
        const int32_t number = first + static_cast<int32_t>(i);
        Bytes block(static_cast<size_t>(blockSize_), 0);
        const size_t from = i * room;
        const size_t length = std::min(room, stored.size() - from);
        TBlockHeader h{};
        h.PrevNumber = i == 0 ? 0 : number - 1;
        h.NextNumber = i + 1 == count ? 0 : number + 1;
        h.Length = static_cast<uint16_t>(length);
        h.Signature = i == 0 ? signature : 0;
        h.TotalLength = i == 0 ? static_cast<int32_t>(stored.size()) : 0;
        std::memcpy(block.data(), &h, sizeof h);
        for (size_t k = 0; k < length; ++k)
            block[kBlockHeaderSize + k] = static_cast<uint8_t>(stored[from + k]);
        blocks_.push_back(std::move(block));
    }
    return first;
}

void BlobFileBuilder::Release(int32_t first) {
    int32_t number = first;
    while (number != 0) {
        Bytes& block = blocks_.at(static_cast<size_t>(number - 1));
        TBlockHeader h{};
        std::memcpy(&h, block.data(), sizeof h);
        const int32_t following = h.NextNumber;
        std::fill(block.begin(), block.end(), 0);
        h = TBlockHeader{};
        h.NextNumber = nextFree_;
        std::memcpy(block.data(), &h, sizeof h);
        nextFree_ = number;
        number = following;
    }
}

} // namespace tableengine::writer
