// Index pages decoded into fixed-size entry slots and encoded back. The rule every decoder of a table's files
// keeps, here for pages: nothing is read past the page's bytes; the expanded entries are allocated only
// after the page's number of keys is checked against what its bytes can hold at the smallest entry the key
// size allows; a page type other than the five known ones is index corruption (8965). Whether a page is
// the kind its reader expects (root, node, leaf) is checked by the reader (CursorNavigation).
#include "tableengine/format/PageEntries.h"

#include "tableengine/format/ByteOrder.h"


#include <algorithm>
#include <cstring>

namespace tableengine {
namespace {

constexpr uint16_t IndexCorrupt = 8965;

constexpr size_t MaxRunCount = 254; // D and T never exceed this

size_t CommonPrefix(const uint8_t* a, const uint8_t* b, size_t n)
{
    size_t i = 0;
    while (i < n && a[i] == b[i])
        ++i;
    return i;
}

size_t TrailingZeros(const uint8_t* p, size_t n)
{
    size_t i = 0;
    while (i < n && p[n - 1 - i] == 0)
        ++i;
    return i;
}

} // namespace

void TPageEntries::Clear()
{
    FHeader = TPageHeader{};
    FEntries.clear();
    FEntryCount = 0;
    FRawData.clear();
}

void TPageEntries::Bind(const TIndexDefinition* definition)
{
    Clear();
    if (definition) {
        FKeySize = definition->KeySize;
        FKeyUnique = definition->KeyUnique != 0;
        FKeyCompressionType = definition->KeyCompressionType;
        FNoKeyStatistics = definition->NoKeyStatistics != 0;
    } else {
        FKeySize = 0;
        FKeyUnique = false;
        FKeyCompressionType = icNone;
        FNoKeyStatistics = false;
    }
}

uint16_t TPageEntries::Decode(std::span<const uint8_t> raw)
{
    Clear();
    if (raw.size() < PageHeaderSize)
        return IndexCorrupt;
    TPageHeader header;
    std::memcpy(&header, raw.data(), PageHeaderSize);
    const uint8_t* p = raw.data() + PageHeaderSize;
    const uint8_t* const end = raw.data() + raw.size();
    const size_t available = raw.size() - PageHeaderSize;

    if (header.PageType == ptData) {
        FHeader = header;
        FRawData.assign(p, end);
        return 0;
    }
    if (header.PageType > ptRootLeaf)
        return IndexCorrupt;
    FHeader = header;
    const size_t count = header.NumberOfKeys;
    if (count == 0)
        return 0;

    const bool node = IsNode();
    const size_t K = FKeySize;
    const uint8_t kind = FKeyCompressionType;
    if (!node && kind > icFull)
        return IndexCorrupt;

    // Every entry takes at least this many bytes, so a count that cannot fit is refused before the
    // expanded entries (K + 10 bytes each) are allocated. A compressed entry leaves out at most 255 leading
    // and 255 trailing bytes of its key (one count byte each), so its stored size grows with the key: the
    // expansion stays within a small multiple of the page's own bytes.
    size_t minEntry = 0;
    if (node)
        minEntry = K + (FNoKeyStatistics ? 4 : 8);
    else if (kind == icNone)
        minEntry = K + 4;
    else if (kind == icFull)
        minEntry = K > 510 ? K + 6 - 510 : 6;
    else
        minEntry = K > 255 ? K + 5 - 255 : 5;
    auto fail = [this] {
        FHeader.NumberOfKeys = 0;
        FEntries.clear();
        FEntryCount = 0;
        return IndexCorrupt;
    };
    if (count > available / minEntry)
        return fail();
    // A key longer than the page can hold is a definition that does not belong to this page; the expanded
    // entries (KeySize + 10 bytes each) are bounded by what the page's bytes can describe.
    if (K == 0 || K + 4 > available)
        return fail();

    const size_t slotSize = SlotSize();
    FEntries.assign(count * slotSize, 0);
    FEntryCount = static_cast<int>(count);
    auto need = [&](size_t n) { return static_cast<size_t>(end - p) >= n; };

    for (size_t i = 0; i < count; ++i) {
        uint8_t* slot = FEntries.data() + i * slotSize;
        const uint8_t* prev = i == 0 ? nullptr : slot - slotSize;
        size_t D = 0;
        size_t T = 0;
        if (node) {
            const size_t size = K + (FNoKeyStatistics ? 4 : 8);
            if (!need(size))
                return fail();
            std::memcpy(slot, p, K + 4);
            if (!FNoKeyStatistics)
                std::memcpy(slot + K + 4, p + K + 4, 4);
            p += size;
            continue;
        }
        switch (kind) {
        case icNone:
            if (!need(K + 4))
                return fail();
            std::memcpy(slot, p, K + 4);
            p += K + 4;
            break;
        case icDuplicateByte: {
            if (!need(1))
                return fail();
            D = prev ? p[0] : 0;
            if (D > K || !need(1 + (K - D) + 4))
                return fail();
            if (D > 0)
                std::memcpy(slot, prev, D);
            std::memcpy(slot + D, p + 1, K - D + 4);
            p += 1 + (K - D) + 4;
            break;
        }
        case icTrailingByte: {
            if (!need(1))
                return fail();
            T = p[0];
            const size_t suffix = FKeyUnique ? 0 : 4;
            if (K < suffix || T > K - suffix)
                return fail();
            const size_t stored = K - T - suffix;
            if (!need(1 + stored + suffix + 4))
                return fail();
            std::memcpy(slot, p + 1, stored);
            // bytes stored .. stored + T stay zero
            std::memcpy(slot + K - suffix, p + 1 + stored, suffix + 4);
            p += 1 + stored + suffix + 4;
            break;
        }
        case icFull: {
            if (!need(2))
                return fail();
            D = prev ? p[0] : 0;
            T = p[1];
            if (D > K || T > K || D + T > K)
                return fail();
            const size_t suffix = (!FKeyUnique && K - D >= 5) ? 4 : 0;
            if (D + T + suffix > K)
                return fail();
            const size_t middle = K - D - T - suffix;
            if (!need(2 + middle + suffix + 4))
                return fail();
            if (D > 0)
                std::memcpy(slot, prev, D);
            std::memcpy(slot + D, p + 2, middle);
            std::memcpy(slot + K - suffix, p + 2 + middle, suffix + 4);
            p += 2 + middle + suffix + 4;
            break;
        }
        default:
            return fail();
        }
        slot[K + 8] = static_cast<uint8_t>(D);
        slot[K + 9] = static_cast<uint8_t>(T);
    }
    return 0;
}

size_t TPageEntries::PackedLeafSize(const uint8_t* slot) const
{
    const size_t K = FKeySize;
    const size_t D = slot[K + 8];
    const size_t T = slot[K + 9];
    switch (FKeyCompressionType) {
    case icDuplicateByte: return K - D + 5;
    case icTrailingByte: return K - T + 5;
    case icFull: return K - D - T + 6;
    default: return K + 4;
    }
}

bool TPageEntries::Encode(std::span<uint8_t> raw) const
{
    if (raw.size() < PageHeaderSize)
        return false;
    std::fill(raw.begin(), raw.end(), uint8_t{0});
    std::memcpy(raw.data(), &FHeader, PageHeaderSize);
    uint8_t* p = raw.data() + PageHeaderSize;
    uint8_t* const end = raw.data() + raw.size();
    if (FHeader.PageType == ptData) {
        std::memcpy(p, FRawData.data(), std::min(FRawData.size(), static_cast<size_t>(end - p)));
        return true;
    }
    const size_t K = FKeySize;
    const int count = FEntryCount;
    for (int k = 1; k <= count; ++k) {
        const uint8_t* slot = Slot(k);
        const size_t D = slot[K + 8];
        const size_t T = slot[K + 9];
        const size_t size = IsNode() ? K + (FNoKeyStatistics ? 4 : 8) : PackedLeafSize(slot);
        if (static_cast<size_t>(end - p) < size)
            return false;
        if (IsNode()) {
            std::memcpy(p, slot, size);
        } else {
            switch (FKeyCompressionType) {
            case icDuplicateByte:
                p[0] = static_cast<uint8_t>(D);
                std::memcpy(p + 1, slot + D, K - D + 4);
                break;
            case icTrailingByte: {
                const size_t suffix = FKeyUnique ? 0 : 4;
                const size_t stored = K - T - suffix;
                p[0] = static_cast<uint8_t>(T);
                std::memcpy(p + 1, slot, stored);
                std::memcpy(p + 1 + stored, slot + K - suffix, suffix + 4);
                break;
            }
            case icFull: {
                const size_t suffix = (!FKeyUnique && K - D >= 5) ? 4 : 0;
                const size_t middle = K - D - T - suffix;
                p[0] = static_cast<uint8_t>(D);
                p[1] = static_cast<uint8_t>(T);
                std::memcpy(p + 2, slot + D, middle);
                std::memcpy(p + 2 + middle, slot + K - suffix, suffix + 4);
                break;
            }
            default: std::memcpy(p, slot, K + 4); break;
            }
        }
        p += size;
    }
    return true;
}

void TPageEntries::AppendEntry(std::span<const uint8_t> key, int32_t number, int32_t lowerKeyCount)
{
    const size_t K = FKeySize;
    const size_t slotSize = SlotSize();
    const bool first = FEntries.empty();
    FEntries.resize(FEntries.size() + slotSize, 0);
    ++FEntryCount;
    uint8_t* slot = FEntries.data() + FEntries.size() - slotSize;
    std::memcpy(slot, key.data(), std::min(key.size(), K));
    PutInt32(slot + K, number);
    PutInt32(slot + K + 4, IsNode() ? lowerKeyCount : 0);
    size_t D = 0;
    size_t T = 0;
    if (!IsNode()) {
        const uint8_t* prev = first ? nullptr : slot - slotSize;
        if (prev && (FKeyCompressionType == icDuplicateByte || FKeyCompressionType == icFull))
            D = std::min(CommonPrefix(prev, slot, K), MaxRunCount);
        if (FKeyCompressionType == icTrailingByte) {
            const size_t span = FKeyUnique ? K : (K >= 5 ? K - 4 : 0);
            T = std::min(TrailingZeros(slot, span), MaxRunCount);
        } else if (FKeyCompressionType == icFull) {
            const bool suffix = !FKeyUnique && K - D >= 5;
            const size_t span = FKeyUnique ? K - D : (suffix ? K - D - 4 : 0);
            T = std::min(TrailingZeros(slot + D, span), MaxRunCount);
        }
    }
    slot[K + 8] = static_cast<uint8_t>(D);
    slot[K + 9] = static_cast<uint8_t>(T);
    ++FHeader.NumberOfKeys;
    if (!IsNode() && FKeyCompressionType != icNone)
        FHeader.CompressedSize = static_cast<uint16_t>(FHeader.CompressedSize + PackedLeafSize(slot));
}

std::span<const uint8_t> TPageEntries::GetKey(int k) const
{
    const int count = FEntryCount;
    if (k < 1 || k > count)
        return {};
    return {Slot(k), FKeySize};
}

int32_t TPageEntries::GetLowerKeyCount(int k) const
{
    if (!IsNode())
        return 1;
    if (GetKey(k).data() == nullptr)
        return 0;
    return GetInt32(Slot(k) + FKeySize + 4);
}

uint8_t TPageEntries::GetDuplicateCount(int k) const
{
    return GetKey(k).data() ? Slot(k)[FKeySize + 8] : 0;
}

uint8_t TPageEntries::GetTrailingCount(int k) const
{
    return GetKey(k).data() ? Slot(k)[FKeySize + 9] : 0;
}

int64_t TPageEntries::GetTotalLowerKeyCount() const
{
    const int count = FEntryCount;
    if (!IsNode())
        return count;
    int64_t sum = 0;
    for (int k = 1; k <= count; ++k)
        sum += GetLowerKeyCount(k);
    return sum;
}

int64_t TPageEntries::GetPageKeyCount(int k) const
{
    const int count = FEntryCount;
    const int last = std::min(k - 1, count);
    if (!IsNode())
        return std::max(last, 0);
    int64_t sum = 0;
    for (int i = 1; i <= last; ++i)
        sum += GetLowerKeyCount(i);
    return sum;
}

int TPageEntries::GetMaximumKeys(size_t pageSize) const
{
    if (pageSize <= PageHeaderSize)
        return 0;
    const size_t buffer = pageSize - PageHeaderSize;
    const size_t entry = IsNode() ? size_t{FKeySize} + (FNoKeyStatistics ? 4 : 8) : size_t{FKeySize} + 4;
    return static_cast<int>(buffer / entry);
}

bool TPageEntries::PageDataOverflowed(size_t pageSize) const
{
    if (!IsNode() && FKeyCompressionType != icNone)
        return pageSize <= PageHeaderSize || FHeader.CompressedSize > pageSize - PageHeaderSize;
    return FHeader.NumberOfKeys > GetMaximumKeys(pageSize);
}

} // namespace tableengine
