// An index page in the index file's block cache: the page's expanded entries, bound to the definition
// slot of the index it belongs to.
#pragma once

#include "tableengine/storage/BufferedFile.h"
#include "tableengine/format/PageEntries.h"

namespace tableengine {

class TPage : public TBuffer {
public:
    explicit TPage(TBufferedFile& file);

    TPageEntries FEntries;
    int FSlot = NoIndexSlot;
    // The page's bytes could not be expanded (entries beyond the page, impossible D/T counts); every use
    // of such a page raises 8965.
    bool FCorrupt = false;

    void Copy(const TBuffer& other) override;
    void Initialize(int slot) override;
    void Read(const uint8_t* raw, std::size_t size) override;
    void Write(uint8_t* raw, std::size_t size) const override;
    bool IsEqualTo(const TBuffer& other) const override;

    static constexpr int NoIndexSlot = 255;
};

} // namespace tableengine
