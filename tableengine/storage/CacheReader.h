// What a reader of the block cache tells the cache about itself: how far a miss may read ahead, and the
// navigation operation the read belongs to, whose read lock the first miss takes and the operation's end
// releases. The cursor is such a reader; the cache knows it only through this.
#pragma once

#include <cstdint>

namespace tableengine {

class TCacheReader {
public:
    TCacheReader() = default;
    virtual ~TCacheReader() = default;
    TCacheReader(const TCacheReader&) = delete;
    TCacheReader& operator=(const TCacheReader&) = delete;

    // True when no other process can change the table under this reader (opened exclusively, or on a file
    // marked read-only): the cache then takes no read lock and looks for no change.
    virtual bool WithoutChangeDetection() const = 0;

    // Records the data-file read of a miss may bring in (for the cursor: the run length of its leaf);
    // asked only on a miss with read-ahead.
    virtual int32_t RecordRun(int direction) = 0;

    int32_t FReadAheadRecords = 1; // records per data-file read the navigation asks for
    int32_t FReadAheadBlocks = 1;
    // Navigation operations in progress (nested scopes count once each), and whether a cache miss inside
    // them took the table read lock with change detection; that lock is held until the outermost scope ends,
    // so that one operation never mixes blocks from before and after another process's write.
    int FOperationDepth = 0;
    bool FOperationLocked = false;
};

} // namespace tableengine
