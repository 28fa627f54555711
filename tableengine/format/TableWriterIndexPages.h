// B-tree pages of one index, bulk-built from its keys in index order: packed leaf entries of each
// compression kind, node levels with lower-key counts, and the left/right chain of every level.
#pragma once

#include "tableengine/format/IndexHeader.h"
#include "tableengine/format/TableWriterBytes.h"

#include <cstdint>
#include <vector>

namespace tableengine::writer {

inline constexpr size_t kPageHeaderSize = PageHeaderSize;

// Key compression kinds of an index's leaf pages (the engine's TIndexCompression values).
namespace KeyCompression {
inline constexpr uint8_t None = icNone;
inline constexpr uint8_t DuplicateByte = icDuplicateByte;
inline constexpr uint8_t TrailingByte = icTrailingByte;
inline constexpr uint8_t Full = icFull;
} // namespace KeyCompression

struct IndexPageParams {
    int32_t PageSize = 4096;
    uint16_t KeySize = 0;
    bool Unique = true;
    uint8_t Compression = 0;
    bool NoKeyStatistics = false;
};

struct LeafEntry {
    Bytes Key;
    int32_t RecordNumber = 0;
};

// One leaf entry in its packed form; prev is the key before it on the same page (null for the first).
Bytes PackLeafEntry(const Bytes& key, const Bytes* prev, const IndexPageParams& params, int32_t recordNumber);

struct BuiltTree {
    std::vector<Bytes> Pages; // page firstPage, firstPage + 1, ...; each PageSize bytes
    int32_t Root = 0;         // 0 when there are no entries
};

// Pages numbered from firstPage: the leaves left to right, then each node level left to right; the root
// is the last page. Every page is filled as far as its capacity allows.
BuiltTree BuildTree(const std::vector<LeafEntry>& sorted, const IndexPageParams& params, int32_t firstPage);

} // namespace tableengine::writer
