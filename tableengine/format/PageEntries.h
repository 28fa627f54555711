// One index page held in memory with its entries expanded: every entry as the full key, the record
// number (leaf) or child page (node), the lower-key count (nodes) and its D and T compression bytes.
#pragma once

#include "tableengine/format/ByteOrder.h"
#include "tableengine/format/IndexHeader.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tableengine {

class TPageEntries {
public:
    // Binds the page to a definition (nullptr: no index, key size 0) and clears header and entries.
    void Bind(const TIndexDefinition* definition);

    // Expands a whole plain page image (IndexPageSize bytes). Returns 0, or 8965 when the header or an
    // entry does not fit the page's bytes or a D/T count is impossible for the key size; the page is then
    // left without keys.
    uint16_t Decode(std::span<const uint8_t> raw);
    // Packs the page into a whole page image (the exact inverse of Decode). Returns false when the packed
    // entries do not fit.
    bool Encode(std::span<uint8_t> raw) const;

    // Appends an entry, computing D, T and the compressed size as a writer keeps them.
    void AppendEntry(std::span<const uint8_t> key, int32_t number, int32_t lowerKeyCount = 0);
    void SetPageType(uint8_t type) { FHeader.PageType = type; }
    void SetLeftNumber(int32_t n) { FHeader.LeftNumber = n; }
    void SetRightNumber(int32_t n) { FHeader.RightNumber = n; }

    const TPageHeader& Header() const { return FHeader; }
    uint8_t GetPageType() const { return FHeader.PageType; }
    uint16_t GetNumberOfKeys() const { return FHeader.NumberOfKeys; }
    int32_t GetLeftNumber() const { return FHeader.LeftNumber; }
    int32_t GetRightNumber() const { return FHeader.RightNumber; }
    uint16_t GetCompressedSize() const { return FHeader.CompressedSize; }
    uint16_t GetKeySize() const { return FKeySize; }
    bool IsNode() const { return FHeader.PageType == ptRootNode || FHeader.PageType == ptNode; }
    bool IsLeaf() const { return FHeader.PageType == ptLeaf || FHeader.PageType == ptRootLeaf; }

    // k is 1-based; out-of-range entries give an empty key and 0.
    std::span<const uint8_t> GetKey(int k) const;
    int32_t GetRecordNumber(int k) const { return k < 1 || k > FEntryCount ? 0 : GetInt32(Slot(k) + FKeySize); }
    int32_t GetLowerKeyCount(int k) const;
    uint8_t GetDuplicateCount(int k) const;
    uint8_t GetTrailingCount(int k) const;
    int64_t GetTotalLowerKeyCount() const;
    int64_t GetPageKeyCount(int k) const;
    int GetMaximumKeys(size_t pageSize) const;
    bool PageDataOverflowed(size_t pageSize) const;
    std::span<const uint8_t> GetRawData() const { return FRawData; } // type-4 pages

private:
    size_t SlotSize() const { return size_t{FKeySize} + 10; }
    const uint8_t* Slot(int k) const { return FEntries.data() + static_cast<size_t>(k - 1) * SlotSize(); }
    uint8_t* Slot(int k) { return FEntries.data() + static_cast<size_t>(k - 1) * SlotSize(); }
    size_t PackedLeafSize(const uint8_t* slot) const;
    void Clear();

    TPageHeader FHeader{};
    uint16_t FKeySize = 0;
    bool FKeyUnique = false;
    uint8_t FKeyCompressionType = icNone;
    bool FNoKeyStatistics = false;
    std::vector<uint8_t> FEntries;
    int FEntryCount = 0; // entries in FEntries (its size over SlotSize, kept to spare a division per look-up)
    std::vector<uint8_t> FRawData;
};

} // namespace tableengine
