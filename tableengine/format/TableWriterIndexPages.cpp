#include "tableengine/format/TableWriterIndexPages.h"

#include "tableengine/format/WriterError.h"

#include <algorithm>
#include <cstring>

namespace tableengine::writer {
namespace {

constexpr size_t kMaxRun = 254;

size_t CommonPrefix(const Bytes& a, const Bytes& b) {
    size_t n = 0;
    while (n < a.size() && n < b.size() && a[n] == b[n])
        ++n;
    return std::min(n, kMaxRun);
}

// Zero bytes at the end of key[from, to).
size_t TrailingZeros(const Bytes& key, size_t from, size_t to) {
    size_t n = 0;
    while (to > from + n && key[to - 1 - n] == 0)
        ++n;
    return std::min(n, kMaxRun);
}

void AppendRange(Bytes& out, const Bytes& key, size_t from, size_t to) {
    if (to > from)
        out.insert(out.end(), key.begin() + static_cast<ptrdiff_t>(from), key.begin() + static_cast<ptrdiff_t>(to));
}

void AppendI32(Bytes& out, int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

struct Child {
    Bytes FirstKey;
    int32_t Page = 0;
    int32_t Count = 0; // leaf keys in the subtree
};

Bytes PageHeader(uint8_t type, size_t keys, int32_t left, int32_t right, size_t compressedSize) {
    TPageHeader h{};
    h.PageType = type;
    h.NumberOfKeys = static_cast<uint16_t>(keys);
    h.LeftNumber = left;
    h.RightNumber = right;
    h.CompressedSize = static_cast<uint16_t>(compressedSize);
    Bytes out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    return out;
}

} // namespace

Bytes PackLeafEntry(const Bytes& key, const Bytes* prev, const IndexPageParams& params, int32_t recordNumber) {
    const size_t ks = params.KeySize;
    Bytes out;
    switch (params.Compression) {
    case KeyCompression::None:
        AppendRange(out, key, 0, ks);
        break;
    case KeyCompression::DuplicateByte: {
        const size_t d = prev ? CommonPrefix(*prev, key) : 0;
        out.push_back(static_cast<uint8_t>(d));
        AppendRange(out, key, d, ks);
        break;
    }
    case KeyCompression::TrailingByte:
        if (params.Unique) {
            const size_t t = TrailingZeros(key, 0, ks);
            out.push_back(static_cast<uint8_t>(t));
            AppendRange(out, key, 0, ks - t);
        } else {
            const size_t t = ks < 5 ? 0 : TrailingZeros(key, 0, ks - 4);
            out.push_back(static_cast<uint8_t>(t));
            AppendRange(out, key, 0, ks - 4 - t);
            AppendRange(out, key, ks - 4, ks);
        }
        break;
    case KeyCompression::Full: {
        const size_t d = prev ? CommonPrefix(*prev, key) : 0;
        if (params.Unique || ks - d < 5) {
            const size_t t = params.Unique ? TrailingZeros(key, d, ks) : 0;
            out.push_back(static_cast<uint8_t>(d));
            out.push_back(static_cast<uint8_t>(t));
            AppendRange(out, key, d, ks - t);
        } else {
            const size_t t = TrailingZeros(key, d, ks - 4);
            out.push_back(static_cast<uint8_t>(d));
            out.push_back(static_cast<uint8_t>(t));
            AppendRange(out, key, d, ks - 4 - t);
            AppendRange(out, key, ks - 4, ks);
        }
        break;
    }
    default:
        throw WriterError("unknown key compression " + std::to_string(params.Compression));
    }
    AppendI32(out, recordNumber);
    return out;
}

BuiltTree BuildTree(const std::vector<LeafEntry>& sorted, const IndexPageParams& params, int32_t firstPage) {
    BuiltTree tree;
    if (sorted.empty())
        return tree;
    const size_t room = static_cast<size_t>(params.PageSize) - kPageHeaderSize;
    const size_t pageSize = static_cast<size_t>(params.PageSize);

    // Group the leaf entries into pages.
    struct LeafPage {
        size_t First = 0, Count = 0;
        Bytes Body;
    };
    std::vector<LeafPage> leaves;
    for (size_t i = 0; i < sorted.size(); ++i) {
        const Bytes* prev = (!leaves.empty() && leaves.back().Count > 0) ? &sorted[i - 1].Key : nullptr;
        Bytes packed = PackLeafEntry(sorted[i].Key, prev, params, sorted[i].RecordNumber);
        if (leaves.empty() || leaves.back().Body.size() + packed.size() > room || leaves.back().Count == 0xFFFF) {
            leaves.push_back(LeafPage{i, 0, {}});
            packed = PackLeafEntry(sorted[i].Key, nullptr, params, sorted[i].RecordNumber);
            if (packed.size() > room)
                throw WriterError("a key does not fit an index page");
        }
        Append(leaves.back().Body, packed);
        ++leaves.back().Count;
    }

    int32_t next = firstPage;
    std::vector<Child> level;
    const bool single = leaves.size() == 1;
    for (size_t p = 0; p < leaves.size(); ++p) {
        const int32_t number = next + static_cast<int32_t>(p);
        const int32_t left = p == 0 ? 0 : number - 1;
        const int32_t right = p + 1 == leaves.size() ? 0 : number + 1;
        const size_t compressed = params.Compression == KeyCompression::None ? 0 : leaves[p].Body.size();
        Bytes page = PageHeader(single ? ptRootLeaf : ptLeaf, leaves[p].Count, left, right,
                                compressed);
        Append(page, leaves[p].Body);
        page.resize(pageSize, 0);
        tree.Pages.push_back(std::move(page));
        level.push_back(Child{sorted[leaves[p].First].Key, number, static_cast<int32_t>(leaves[p].Count)});
    }
    next += static_cast<int32_t>(leaves.size());

    const size_t nodeEntry = params.KeySize + (params.NoKeyStatistics ? 4u : 8u);
    const size_t perNode = room / nodeEntry;
    if (level.size() > 1 && perNode < 2)
        throw WriterError("index page too small for two node entries");
    int levels = 1;
    while (level.size() > 1) {
        if (++levels > 64)
            throw WriterError("index tree deeper than 64 levels");
        const size_t pages = (level.size() + perNode - 1) / perNode;
        std::vector<Child> upper;
        for (size_t p = 0; p < pages; ++p) {
            const int32_t number = next + static_cast<int32_t>(p);
            const size_t from = p * perNode;
            const size_t to = std::min(level.size(), from + perNode);
            Bytes page = PageHeader(pages == 1 ? ptRootNode : ptNode, to - from,
                                    p == 0 ? 0 : number - 1, p + 1 == pages ? 0 : number + 1, 0);
            int64_t count = 0;
            for (size_t c = from; c < to; ++c) {
                Append(page, level[c].FirstKey);
                AppendI32(page, level[c].Page);
                if (!params.NoKeyStatistics)
                    AppendI32(page, level[c].Count);
                count += level[c].Count;
            }
            page.resize(pageSize, 0);
            tree.Pages.push_back(std::move(page));
            upper.push_back(Child{level[from].FirstKey, number, static_cast<int32_t>(count)});
        }
        next += static_cast<int32_t>(pages);
        level = std::move(upper);
    }
    tree.Root = level.front().Page;
    return tree;
}

} // namespace tableengine::writer
