// An index page in the cache: its bytes decoded by TPageEntries (whose file states the bounds kept), a page
// that fails to decode marked corrupt for its reader to raise 8965.
#include "tableengine/storage/Page.h"

#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/IndexFile.h"

#include <cstring>
#include <vector>

namespace tableengine {

TPage::TPage(TBufferedFile& file) : TBuffer(file) {}

void TPage::Copy(const TBuffer& other)
{
    TBuffer::Copy(other);
    if (const auto* page = dynamic_cast<const TPage*>(&other)) {
        FEntries = page->FEntries;
        FSlot = page->FSlot;
        FCorrupt = page->FCorrupt;
    }
}

void TPage::Initialize(int slot)
{
    TBuffer::Initialize(slot);
    FSlot = slot;
    FCorrupt = false;
    const auto& file = static_cast<const TIndexFile&>(*FBufferedFile);
    if (slot >= 0 && slot < IndexSlotCount)
        FEntries.Bind(&file.GetIndexDefinition(slot));
    else
        FEntries.Bind(nullptr);
}

void TPage::Read(const uint8_t* raw, std::size_t size)
{
    if (SkipRead())
        return;
    const auto& file = static_cast<const TIndexFile&>(*FBufferedFile);
    uint16_t code = 0;
    if (file.Password != nullptr) {
        std::vector<uint8_t> plain(raw, raw + size);
        file.Password->Decrypt(plain.data(), plain.size());
        code = FEntries.Decode(plain);
    } else {
        code = FEntries.Decode({raw, size});
    }
    FCorrupt = code != 0;
}

void TPage::Write(uint8_t* raw, std::size_t size) const
{
    FEntries.Encode({raw, size});
    const auto& file = static_cast<const TIndexFile&>(*FBufferedFile);
    if (file.Password != nullptr)
        file.Password->Encrypt(raw, size);
}

bool TPage::IsEqualTo(const TBuffer& other) const
{
    const auto* page = dynamic_cast<const TPage*>(&other);
    if (page == nullptr || page->FNumber != FNumber)
        return false;
    const std::size_t size = FBufferedFile->GetIOBlockSize();
    std::vector<uint8_t> a(size), b(size);
    FEntries.Encode(a);
    page->FEntries.Encode(b);
    return a == b;
}

} // namespace tableengine

namespace tableengine {


} // namespace tableengine
