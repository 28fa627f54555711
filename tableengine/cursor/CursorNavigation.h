// A cursor's walk over its active index: the position in the B-tree (leaf page, entry, sequence number,
// BOF, EOF), moving along the leaf chain, reading the record an entry points to with read-ahead in runs,
// skipping invisible records, and noticing another process's change and re-finding the current record.
// A part of the cursor (TDataCursor) it is made with: the operations run on the cursor's table and files,
// and the cursor is the reader the block cache serves.
#pragma once

#include "tableengine/format/IndexHeader.h"
#include "tableengine/format/IndexKey.h"
#include "tableengine/format/PageEntries.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace tableengine {

class TDataCursor;
class TPage;

// Navigation answers (0 = a record was delivered).
inline constexpr uint16_t NavRecord = 0;
inline constexpr uint8_t UnselectedIndexSlot = 128; // no index chosen yet (while opening)
inline constexpr uint8_t NoIndexSlot = 255;         // physical order
inline constexpr std::size_t MaxKeyFieldCount = 128;

class TCursorNavigation {
public:
    explicit TCursorNavigation(TDataCursor& cursor);
    ~TCursorNavigation();
    TCursorNavigation(const TCursorNavigation&) = delete;
    TCursorNavigation& operator=(const TCursorNavigation&) = delete;

    // Selects the index in slot 0..30 (or the text slot) and re-finds the current record in it.
    void SetIndexPos(int slot);
    // Selects the index with that name (letter case ignored; empty = the primary index); 10022 when none.
    void SetIndexName(const std::string& name);
    const std::string& IndexName() const { return FIndexName; }
    // The active index slot (UnselectedIndexSlot while opening).
    uint8_t IndexPos() const { return FIndexPos; }

    void SetToBegin();
    void SetToEnd();
    uint16_t GetNextRecord(uint8_t* buffer);
    uint16_t GetPriorRecord(uint8_t* buffer);
    uint16_t GetCurrentRecord(uint8_t* buffer, bool lockIt = false);
    int32_t GetRecordCount() const;
    int32_t GetRecordNumber() const;
    int32_t GetPhysicalRecordNumber() const;
    bool Bof() const { return FBOF; }
    bool Eof() const { return FEOF; }

    // After another process's change: the table's stamps taken over, the record count refreshed and the
    // current record re-found.
    void RefreshAfterChange();
    // The cursor's initial index and position, at the end of opening.
    void InitializeNavigation();
    // The keys of the active index, ordered; the same building rule the pages were written with.
    void GetKeyValues(const uint8_t* record, uint8_t* key) const;
    int CompareKeys(const uint8_t* a, const uint8_t* b, std::size_t n) const;
    // Records a data-file read brings in, asked by the cache on a miss: while the current record is being
    // read in index order, the larger of the data set's hint and the run of consecutive records on the
    // leaf (counted in the cursor's read-ahead statistics); otherwise 1.
    int32_t RecordRun(int direction);

    // The navigation prelude on construction, the read unlock on every way out; every operation that
    // reads pages, records or BLOB blocks runs inside one.
    class TNavigationScope {
    public:
        explicit TNavigationScope(TCursorNavigation& nav);
        ~TNavigationScope();
        TNavigationScope(const TNavigationScope&) = delete;
        TNavigationScope& operator=(const TNavigationScope&) = delete;

    private:
        void Unlock();
        TCursorNavigation& FNav;
        bool FLocked = false;
    };

private:
    TDataCursor& Cursor() { return FCursor; }
    const TDataCursor& Cursor() const { return FCursor; }

    void NavigationPrelude(bool& locked);
    void RefreshRecordCount();
    void AfterChangeReport();
    void RefreshCurrentRecord(int direction);
    void VerifyCurrentRecord(int direction);
    void RepositionCurrentRecord();
    // Rebuilds the automatic primary index from the record slots (a table whose index file had to be
    // created anew): the rows then come in record-ID order.
    void RebuildPrimaryIndex();
    void MakeEmpty();
    // Where a descent from the root goes: the first or the last leaf entry, or where a key belongs.
    enum class TDescent { First, Last, Key };
    bool Descend(TDescent to, std::span<const uint8_t> key = {});
    // Descends again after each change report (a bounded number of times).
    void DescendAfterChanges(TDescent to, std::span<const uint8_t> key = {});
    void SetToEdge(bool end);
    uint16_t Step(bool backward, uint8_t* buffer);
    void MoveBy(int n);
    bool TryMoveBy(int n);
    void RefindCurrentKey();
    bool IsVisible() const;
    // Entries from the current one on, in the direction and within the leaf, whose record numbers follow
    // each other by exactly one (the current one counts), at most the data file's read-ahead limit.
    int32_t RunLength(int direction) const;
    TPage* FetchPage(int32_t number);
    // A root must be of a root type, a page reached through a node entry of a non-root type; both need keys.
    void CheckRootPage(const TPageEntries& page) const;
    void CheckChildPage(const TPageEntries& page) const;
    // Counts one restart of a step or a descent; too many are index corruption.
    void Restarted(int& restarts);
    static constexpr int MaxRestarts = 8;
    // Stands on entry `counter` of the leaf. The leaf's entries are copied when the cursor arrives on it (or
    // when forced); a step within the same leaf keeps the copy.
    void StoreLeaf(const TPageEntries& leaf, int32_t number, int32_t counter, int32_t sequence, bool arrived = true);

    TDataCursor& FCursor;
    uint8_t FIndexPos = UnselectedIndexSlot;
    std::string FIndexName;
    TIndexDefinition FIndexDefinition{}; // copy of the active definition
    uint16_t FKeySize = 0;
    uint8_t FKeyFieldCount = 0;
    bool FKeyDescending = false;
    bool FKeyUnique = true;
    bool FKeyCaseInsensitive = false;
    uint8_t FKeyCompressionType = 0;
    bool FNoKeyStatistics = false;
    TKeyLayout FKeyLayout;

    TPageEntries FCurrentPage; // private copy of the leaf the cursor stands on
    int32_t FCurrentPageNumber = 0;
    int32_t FCurKeyCounter = 0;
    int32_t FSequenceNumber = 0;
    bool FBOF = true;
    bool FEOF = true;
    int32_t FBeginSequenceNumber = 0;
    int32_t FEndSequenceNumber = 0;
    std::vector<uint8_t> FCurrentRecord; // private copy of the current record slot
    int32_t FCurrentRecordNumber = 0;
    bool FNoCursorChangeDetection = false;
    // Set while RefreshCurrentRecord fetches the current record: a miss then reads the leaf's run.
    bool FReadingCurrentRecord = false;

    std::unique_ptr<TKeyLocale> FKeyLocale;
};

} // namespace tableengine
