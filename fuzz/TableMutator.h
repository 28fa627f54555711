// Structure-aware mutation of a table fuzz input (data file, "\n--idx--\n" and index file, "\n--blb--\n"
// and BLOB file): instead of random bytes it overwrites one named field of the format with a value that
// is likely to hit a boundary: a header field (record and page counts, record length, key size, root
// pages), a page link (page type, number of keys, left and right neighbour, a node's child, a leaf's
// record number) or a BLOB link (next and previous block, length, signature, total length).
#pragma once

#include "tableengine/format/BlobHeader.h"
#include "tableengine/format/DataHeader.h"
#include "tableengine/format/IndexHeader.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tablefuzz {

inline constexpr std::string_view IndexMark = "\n--idx--\n";
inline constexpr std::string_view BlobMark = "\n--blb--\n";

// The three files of one input; a file that is absent stays absent.
struct TableInput {
    std::string Data, Index, Blob;
    bool HasIndex = false, HasBlob = false;

    static TableInput Split(std::string_view in)
    {
        TableInput t;
        const size_t idxAt = in.find(IndexMark);
        const size_t blbAt = in.find(BlobMark, idxAt == std::string_view::npos ? 0 : idxAt + IndexMark.size());
        t.Data = std::string(in.substr(0, std::min(idxAt, blbAt)));
        if (idxAt != std::string_view::npos) {
            t.HasIndex = true;
            const size_t from = idxAt + IndexMark.size();
            t.Index = std::string(in.substr(from, (blbAt == std::string_view::npos ? in.size() : blbAt) - from));
        }
        if (blbAt != std::string_view::npos) {
            t.HasBlob = true;
            t.Blob = std::string(in.substr(blbAt + BlobMark.size()));
        }
        return t;
    }

    std::string Join() const
    {
        std::string out = Data;
        if (HasIndex)
            out.append(IndexMark).append(Index);
        if (HasBlob)
            out.append(BlobMark).append(Blob);
        return out;
    }
};

class TableMutator {
public:
    explicit TableMutator(unsigned seed) : FRandom(seed) {}

    // Overwrites one named field; false when the input has none of the kind chosen.
    bool Mutate(TableInput& t)
    {
        switch (Pick(3)) {
        case 0: return MutateDataHeader(t.Data);
        case 1: return t.HasIndex && MutateIndex(t.Index, t.Data);
        default: return t.HasBlob && MutateBlob(t.Blob, t.Data);
        }
    }

private:
    uint32_t Pick(uint32_t n) { return n == 0 ? 0 : std::uniform_int_distribution<uint32_t>(0, n - 1)(FRandom); }

    template <typename T> static T Get(const std::string& s, size_t at)
    {
        T v{};
        if (at + sizeof v <= s.size())
            std::memcpy(&v, s.data() + at, sizeof v);
        return v;
    }
    template <typename T> static bool Put(std::string& s, size_t at, T v)
    {
        if (at + sizeof v > s.size())
            return false;
        std::memcpy(s.data() + at, &v, sizeof v);
        return true;
    }

    // A value near a boundary or near the old one; `count` is the number of pages or blocks the file has,
    // so that links to real (but wrong) pages are frequent.
    int64_t Interesting(int64_t old, int64_t count)
    {
        switch (Pick(9)) {
        case 0: return 0;
        case 1: return 1;
        case 2: return -1;
        case 3: return old + 1;
        case 4: return old - 1;
        case 5: return count;
        case 6: return count + 1;
        case 7: return static_cast<int64_t>(Pick(static_cast<uint32_t>(std::max<int64_t>(count, 1)) + 2));
        default: {
            static constexpr int64_t extremes[] = {0x7F, 0xFF, 0x7FFF, 0xFFFF, 0x7FFFFFFF, -0x7FFFFFFF - 1,
                                                   0x10000, 0x100000};
            return extremes[Pick(std::size(extremes))];
        }
        }
    }

    template <typename T> bool Field(std::string& s, size_t at, int64_t count)
    {
        return Put<T>(s, at, static_cast<T>(Interesting(static_cast<int64_t>(Get<T>(s, at)), count)));
    }

    bool MutateDataHeader(std::string& dat)
    {
        using H = tableengine::TDataHeader;
        const int64_t records = Get<int32_t>(dat, offsetof(H, NextEndingRecord));
        switch (Pick(10)) {
        case 0: return Field<int32_t>(dat, offsetof(H, UpdateStamp), records);
        case 1: return Field<int32_t>(dat, offsetof(H, NextFreeRecord), records);
        case 2: return Field<int32_t>(dat, offsetof(H, NextEndingRecord), records);
        case 3: return Field<int32_t>(dat, offsetof(H, RecordCount), records);
        case 4: return Field<uint16_t>(dat, offsetof(H, RecordLength), records);
        case 5: return Field<uint16_t>(dat, offsetof(H, FieldCount), records);
        case 6: return Field<uint16_t>(dat, offsetof(H, BlobFieldCount), records);
        case 7: return Field<int32_t>(dat, offsetof(H, BlobBlockSize), records);
        case 8: return Field<int32_t>(dat, offsetof(H, IndexPageSize), records);
        default: {
            // A field definition's offset or size.
            const uint16_t fields = Get<uint16_t>(dat, offsetof(H, FieldCount));
            if (fields == 0)
                return false;
            const size_t def = tableengine::DataHeaderSize + size_t(Pick(fields)) * tableengine::FieldDefinitionSize;
            using F = tableengine::TFieldDefinition;
            return Pick(2) == 0 ? Field<uint16_t>(dat, def + offsetof(F, Offset), records)
                                : Field<uint16_t>(dat, def + offsetof(F, Length), records);
        }
        }
    }

    bool MutateIndex(std::string& idx, const std::string& dat)
    {
        using H = tableengine::TIndexHeader;
        using D = tableengine::TIndexDefinition;
        int32_t pageSize = Get<int32_t>(dat, offsetof(tableengine::TDataHeader, IndexPageSize));
        if (pageSize < 1024 || pageSize > 16384)
            pageSize = 1024;
        const size_t head = tableengine::IndexFileHeaderSize;
        const int64_t pages = idx.size() > head ? int64_t((idx.size() - head) / size_t(pageSize)) : 0;
        const uint8_t slots = Get<uint8_t>(idx, offsetof(H, IndexCount));
        const size_t slot = Pick(uint32_t(slots) + 1u);
        const size_t def = sizeof(H) + slot * sizeof(D);
        switch (Pick(pages > 0 ? 10 : 4)) {
        case 0: return Field<int32_t>(idx, offsetof(H, NextEndingPage), pages);
        case 1: return Field<int32_t>(idx, offsetof(H, RootPages) + slot * 4, pages);
        case 2: return Field<uint16_t>(idx, def + offsetof(D, KeySize), pages);
        case 3: return Field<uint8_t>(idx, Pick(2) == 0 ? def + offsetof(D, KeyCompressionType) : def + offsetof(D, NoKeyStatistics), 4);
        default: break;
        }
        // One page of the file: its header, or one of its entries' links.
        const size_t page = head + size_t(Pick(static_cast<uint32_t>(pages))) * size_t(pageSize);
        using P = tableengine::TPageHeader;
        switch (Pick(6)) {
        case 0: return Field<uint8_t>(idx, page + offsetof(P, PageType), 4);
        case 1: return Field<uint16_t>(idx, page + offsetof(P, NumberOfKeys), pageSize / 5);
        case 2: return Field<int32_t>(idx, page + offsetof(P, LeftNumber), pages);
        case 3: return Field<int32_t>(idx, page + offsetof(P, RightNumber), pages);
        default: {
            // A child page (node) or a record number (uncompressed leaf) of entry k, laid out with the key
            // size of the index in the slot chosen.
            const uint16_t keySize = Get<uint16_t>(idx, def + offsetof(D, KeySize));
            const uint8_t type = Get<uint8_t>(idx, page);
            const bool node = type == tableengine::ptRootNode || type == tableengine::ptNode;
            const size_t entry = size_t(keySize) + (node ? 8 : 4);
            const uint16_t keys = Get<uint16_t>(idx, page + offsetof(P, NumberOfKeys));
            if (entry == 0 || keys == 0)
                return false;
            const size_t at = page + sizeof(P) + size_t(Pick(keys)) * entry + keySize;
            if (at + 4 > page + size_t(pageSize))
                return false;
            return Field<int32_t>(idx, at, node ? pages : Get<int32_t>(dat, offsetof(tableengine::TDataHeader, NextEndingRecord)));
        }
        }
    }

    bool MutateBlob(std::string& blb, const std::string& dat)
    {
        using H = tableengine::TBlobHeader;
        using B = tableengine::TBlockHeader;
        int32_t blockSize = Get<int32_t>(dat, offsetof(tableengine::TDataHeader, BlobBlockSize));
        if (blockSize < 64 || blockSize > 65536)
            blockSize = 512;
        const size_t head = tableengine::BlobFileHeaderSize;
        const int64_t blocks = blb.size() > head ? int64_t((blb.size() - head) / size_t(blockSize)) : 0;
        if (blocks == 0 || Pick(5) == 0)
            return Pick(2) == 0 ? Field<int32_t>(blb, offsetof(H, NextEndingBlock), blocks)
                                : Field<int32_t>(blb, offsetof(H, NextFreeBlock), blocks);
        const size_t block = head + size_t(Pick(static_cast<uint32_t>(blocks))) * size_t(blockSize);
        switch (Pick(5)) {
        case 0: return Field<int32_t>(blb, block + offsetof(B, PrevNumber), blocks);
        case 1: return Field<int32_t>(blb, block + offsetof(B, NextNumber), blocks);
        case 2: return Field<uint16_t>(blb, block + offsetof(B, Length), blockSize);
        case 3: return Field<int32_t>(blb, block + offsetof(B, Signature), blocks);
        default: return Field<int32_t>(blb, block + offsetof(B, TotalLength), blocks * blockSize);
        }
    }

    std::minstd_rand FRandom;
};

} // namespace tablefuzz
