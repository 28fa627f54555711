// A cursor's position in index order and its moves along the leaf chain. The rule every decoder of a
// table's files keeps, here for the tree and the chain read from the index: a descent is bounded by the
// tree's 64 levels and checks each page's kind (a root of a root type, every page below it of a non-root
// type, all with keys); a step along the chain checks that the neighbour is a leaf with keys that links
// back, and the sequence number keeps every walk within the table's record count, so a chain that loops
// or wanders into another index ends with 8965; restarts after changes are bounded; a leaf entry naming
// record 0 is 8962. No damage gives a silently shorter or longer table.
#include "tableengine/cursor/CursorNavigation.h"

#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/EngineError.h"
#include "tableengine/storage/IndexFile.h"
#include "tableengine/storage/Page.h"
#include "tableengine/format/TableWriterIndexPages.h"

#include <algorithm>
#include <cstring>

namespace tableengine {
namespace {

constexpr int MaxTreeLevels = 64;

// The collation and case rules of a table locale, for the key code.
class TTableKeyLocale : public TKeyLocale {
public:
    explicit TTableKeyLocale(std::shared_ptr<const platform::Locale> locale) : FLocale(std::move(locale)) {}
    int CompareStrings(std::string_view a, std::string_view b) const override { return FLocale->Compare(a, b); }
    void UpperCase(std::span<uint8_t> text) const override
    {
        FLocale->UpperInPlace(reinterpret_cast<char*>(text.data()), text.size());
    }

private:
    std::shared_ptr<const platform::Locale> FLocale;
};

// The entries of a page fetched from the index file.
const TPageEntries& Entries(const TBufferLease& page) { return static_cast<const TPage*>(page.get())->FEntries; }

} // namespace

TCursorNavigation::TNavigationScope::TNavigationScope(TCursorNavigation& nav) : FNav(nav)
{
    // The prelude may take the read lock and then fail while re-positioning; the destructor does not run for
    // a constructor that throws, so the lock is given back here.
    ++FNav.Cursor().FOperationDepth;
    try {
        FNav.NavigationPrelude(FLocked);
    } catch (...) {
        Unlock();
        throw;
    }
}

TCursorNavigation::TNavigationScope::~TNavigationScope() { Unlock(); }

void TCursorNavigation::TNavigationScope::Unlock()
{
    TDataCursor& c = FNav.Cursor();
    TDataTable& table = *c.DataTable;
    if (FLocked)
        table.ReadUnlockTable();
    FLocked = false;
    // The lock a cache miss took for this operation (default change detection) ends with the outermost one.
    if (--c.FOperationDepth == 0 && c.FOperationLocked) {
        c.FOperationLocked = false;
        table.ReadUnlockTable();
    }
}

TCursorNavigation::TCursorNavigation(TDataCursor& cursor) : FCursor(cursor) {}
TCursorNavigation::~TCursorNavigation() = default;

// ---- index selection

void TCursorNavigation::SetIndexPos(int slot)
{
    TDataCursor& c = Cursor();
    TDataTable& table = *c.DataTable;
    TIndexFile& index = *table.IndexFile;
    if (slot < 0 || slot >= IndexSlotCount || (slot > index.GetIndexCount() && slot != TextIndexSlot))
        table.RaiseError(TBL_INVALIDINDEXNAME);

    FIndexDefinition = index.GetIndexDefinition(slot);
    const TIndexDefinition& d = FIndexDefinition;
    FIndexName = ReadShortString(d.IndexName, sizeof d.IndexName, 60);
    FKeySize = d.KeySize;
    FKeyFieldCount = d.KeyFieldCount;
    FKeyDescending = d.KeyDescending != 0;
    FKeyUnique = d.KeyUnique != 0;
    FKeyCaseInsensitive = d.KeyCaseInsensitive != 0;
    FKeyCompressionType = d.KeyCompressionType;
    FNoKeyStatistics = d.NoKeyStatistics != 0;

    std::vector<TKeyFieldInfo> fields;
    for (size_t i = 0; i < std::min<size_t>(d.KeyFieldCount, MaxKeyFieldCount); ++i) {
        const uint16_t num = d.KeyFields[i];
        if (num == 0)
            break;
        TKeyFieldInfo info;
        info.FieldNum = num;
        info.Descending = d.KeyDescendingFields[i] != 0;
        if (num != RecordIDFieldNum && num != RecordHashFieldNum) {
            const TFieldDefinition& f = c.GetFieldDefinition(num);
            info.DataType = f.DataType;
            info.SubType = f.SubType;
            info.DataSize = f.DataSize;
            info.Offset = f.Offset;
        }
        fields.push_back(info);
    }
    FKeyLocale.reset();
    if (table.DataFile->LocaleID() != 0 && c.Locale)
        FKeyLocale = std::make_unique<TTableKeyLocale>(c.Locale);
    FKeyLayout = TKeyLayout(std::move(fields), FKeySize, FKeyUnique, FKeyCaseInsensitive, FKeyLocale.get(),
                            slot == TextIndexSlot);

    const bool first = FIndexPos == UnselectedIndexSlot;
    FIndexPos = static_cast<uint8_t>(slot);
    FCurrentPage.Bind(&FIndexDefinition);
    FCurrentPageNumber = 0;
    if (first) {
        RefreshRecordCount();
        return;
    }
    TNavigationScope scope(*this);
    RefreshRecordCount();
    RepositionCurrentRecord();
}

void TCursorNavigation::SetIndexName(const std::string& name)
{
    TDataCursor& c = Cursor();
    TIndexFile& index = *c.DataTable->IndexFile;
    auto same = [](std::string_view a, std::string_view b) {
        return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                   return DefaultUpperCase(static_cast<uint8_t>(x)) == DefaultUpperCase(static_cast<uint8_t>(y));
               });
    };
    if (FIndexPos < IndexSlotCount && same(name, FIndexName))
        return;
    for (int slot = 0; slot <= index.GetIndexCount() && slot <= MaxSecondaryIndexes; ++slot) {
        const TIndexDefinition& d = index.GetIndexDefinition(slot);
        if (same(ReadShortString(d.IndexName, sizeof d.IndexName, 60), name)) {
            SetIndexPos(slot);
            return;
        }
    }
    TErrorContext context = c.DataTable->ErrorContext();
    context.IndexName = name;
    index.DataEngine().RaiseError(TBL_INVALIDINDEXNAME, context);
}

void TCursorNavigation::InitializeNavigation()
{
    TDataCursor& c = Cursor();
    if (c.DataTable->IndexRebuildPending)
        RebuildPrimaryIndex();
    FIndexPos = UnselectedIndexSlot;
    SetIndexPos(0);
    FCurrentRecord.assign(c.RecordLength, 0);
    SetToBegin();
}

void TCursorNavigation::GetKeyValues(const uint8_t* record, uint8_t* key) const
{
    FKeyLayout.GetKeyValues({record, Cursor().RecordLength}, {key, FKeySize});
}

int TCursorNavigation::CompareKeys(const uint8_t* a, const uint8_t* b, std::size_t n) const
{
    return FKeyLayout.Compare(a, b, n);
}

// ---- prelude and counts

void TCursorNavigation::RefreshRecordCount()
{
    FBeginSequenceNumber = 1;
    FEndSequenceNumber = Cursor().DataTable->DataFile->RecordCount();
}

void TCursorNavigation::NavigationPrelude(bool& locked)
{
    TDataCursor& c = Cursor();
    locked = false;
    if (c.WithoutChangeDetection())
        return;
    TDataTable& table = *c.DataTable;
    bool changed = false;
    if (table.StrictChangeDetection()) {
        changed = table.ReadLockTable();
        locked = true;
        changed = changed || c.PerformChangeDetection();
    } else {
        changed = !FNoCursorChangeDetection && c.PerformChangeDetection();
    }
    if (changed)
        RefreshAfterChange();
}

void TCursorNavigation::RefreshAfterChange()
{
    Cursor().SynchLastUpdateStamps();
    RefreshRecordCount();
    RepositionCurrentRecord();
}

void TCursorNavigation::AfterChangeReport()
{
    Cursor().SynchLastUpdateStamps();
    RefreshRecordCount();
}

int32_t TCursorNavigation::GetRecordCount() const
{
    if (FBeginSequenceNumber <= 0 || FEndSequenceNumber <= 0)
        return 0;
    return FEndSequenceNumber - FBeginSequenceNumber + 1;
}

int32_t TCursorNavigation::GetRecordNumber() const
{
    if (GetRecordCount() == 0 || FSequenceNumber == 0)
        return 0;
    return FSequenceNumber - FBeginSequenceNumber + 1;
}

int32_t TCursorNavigation::GetPhysicalRecordNumber() const
{
    if (FIndexPos == NoIndexSlot)
        return FCurrentRecordNumber;
    if (FCurrentPageNumber == 0)
        return 0;
    return FCurrentPage.GetRecordNumber(FCurKeyCounter);
}

// ---- pages

TPage* TCursorNavigation::FetchPage(int32_t number)
{
    TIndexFile& index = *Cursor().DataTable->IndexFile;
    TBuffer* b = index.GetBuffer(&Cursor(), FIndexPos, rdNone, false, number);
    if (b == nullptr)
        return nullptr;
    auto* page = static_cast<TPage*>(b);
    if (page->FCorrupt) {
        index.PutBuffer(b);
        index.RaiseBufferCorrupt();
    }
    return page;
}

void TCursorNavigation::StoreLeaf(const TPageEntries& leaf, int32_t number, int32_t counter, int32_t sequence,
                                  bool arrived)
{
    if (arrived || number != FCurrentPageNumber || leaf.GetNumberOfKeys() != FCurrentPage.GetNumberOfKeys()) {
        FCurrentPage = leaf;
    }
    FCurrentPageNumber = number;
    FCurKeyCounter = counter;
    FSequenceNumber = sequence;
}

void TCursorNavigation::MakeEmpty()
{
    FSequenceNumber = 0;
    FBOF = true;
    FEOF = true;
    FCurrentPage.Bind(&FIndexDefinition);
    FCurrentPageNumber = 0;
    FCurKeyCounter = 0;
}

// Descends from the root to a leaf entry: the first, the last, or the one the key belongs at (nearest mode);
// false when a fetch gave a change report. The lower-key counts of the entries passed add up to the sequence
// number of the entry reached.
bool TCursorNavigation::Descend(TDescent to, std::span<const uint8_t> key)
{
    TIndexFile& index = *Cursor().DataTable->IndexFile;
    if (GetRecordCount() == 0) {
        MakeEmpty();
        return true;
    }
    const int32_t root = index.GetRootPageNumber(FIndexPos);
    if (root == 0) {
        MakeEmpty();
        return true;
    }
    TBufferLease page(index, FetchPage(root));
    if (!page)
        return false;
    CheckRootPage(Entries(page));
    int32_t number = root;
    int64_t sequence = 1;
    for (int level = 0;; ++level) {
        const TPageEntries& entries = Entries(page);
        if (level >= MaxTreeLevels)
            index.RaiseBufferCorrupt();
        const int entry = to == TDescent::First  ? 1
                          : to == TDescent::Last ? entries.GetNumberOfKeys()
                                                 : SearchPage(entries, key, FKeyLayout).Entry;
        sequence += entries.GetPageKeyCount(entry);
        if (!entries.IsNode()) {
            // At the last entry the counts add up to the table's record count: a different sum is a damaged
            // tree (a child link to another subtree, a count that was overwritten).
            if (to == TDescent::Last && !FNoKeyStatistics && sequence != FEndSequenceNumber)
                index.RaiseBufferCorrupt();
            StoreLeaf(entries, number, entry, static_cast<int32_t>(std::min<int64_t>(sequence, INT32_MAX)));
            break;
        }
        const int32_t child = entries.GetRecordNumber(entry);
        TBufferLease next(index, FetchPage(child));
        if (!next)
            return false;
        CheckChildPage(Entries(next));
        page = std::move(next);
        number = child;
    }
    FBOF = false;
    FEOF = false;
    return true;
}

void TCursorNavigation::DescendAfterChanges(TDescent to, std::span<const uint8_t> key)
{
    for (int restarts = 0; !Descend(to, key);) {
        Restarted(restarts);
        AfterChangeReport();
    }
}

void TCursorNavigation::CheckRootPage(const TPageEntries& page) const
{
    if ((page.GetPageType() != ptRootNode && page.GetPageType() != ptRootLeaf) || page.GetNumberOfKeys() == 0)
        Cursor().DataTable->IndexFile->RaiseBufferCorrupt();
}

void TCursorNavigation::CheckChildPage(const TPageEntries& page) const
{
    if ((page.GetPageType() != ptNode && page.GetPageType() != ptLeaf) || page.GetNumberOfKeys() == 0)
        Cursor().DataTable->IndexFile->RaiseBufferCorrupt();
}

void TCursorNavigation::Restarted(int& restarts)
{
    // The read lock is held from the first miss of an operation to its end, so another process's change is
    // reported at most once per operation; more restarts than that mean pages that contradict each other.
    if (++restarts > MaxRestarts)
        Cursor().DataTable->IndexFile->RaiseBufferCorrupt();
}

void TCursorNavigation::RefindCurrentKey()
{
    std::vector<uint8_t> key(FKeySize, 0);
    if (FCurrentRecord.size() >= Cursor().RecordLength && Cursor().RecordLength > 0)
        GetKeyValues(FCurrentRecord.data(), key.data());
    DescendAfterChanges(TDescent::Key, key);
}

// One move of n entries along the leaf chain; false when it must be restarted after a change. The chain is
// read from the file, so every step is checked: a neighbour must be a leaf that links back to the page it was
// reached from and holds keys, and the sequence number stays within the table's record count (which bounds
// any walk, also one around a cycle of pages that link to each other consistently). At the chain's ends the
// sequence number must be the first and the last one. Any other chain is a damaged index (8965).
bool TCursorNavigation::TryMoveBy(int n)
{
    TIndexFile& index = *Cursor().DataTable->IndexFile;
    if (GetRecordCount() == 0) {
        MakeEmpty();
        return true;
    }
    if (FCurrentPageNumber == 0) {
        // No leaf yet (the table was empty when the cursor last looked).
        return Descend(n > 0 ? TDescent::First : TDescent::Last);
    }
    TBufferLease page(index, FetchPage(FCurrentPageNumber));
    if (!page) {
        AfterChangeReport();
        RefindCurrentKey();
        return false;
    }
    if (Entries(page).GetNumberOfKeys() == 0 || !Entries(page).IsLeaf())
        index.RaiseBufferCorrupt();
    int32_t number = FCurrentPageNumber;
    int k = std::min<int>(FCurKeyCounter, Entries(page).GetNumberOfKeys());
    k = std::max(k, 1);
    int64_t sequence = FSequenceNumber;
    bool bof = FBOF;
    bool eof = FEOF;
    // Without key statistics the sequence number of a re-found key is only a lower estimate.
    const int64_t lowest = FNoKeyStatistics ? int64_t(FBeginSequenceNumber) - FEndSequenceNumber : FBeginSequenceNumber;
    const int64_t highest = FEndSequenceNumber;
    const int steps = n > 0 ? n : -n;
    for (int i = 0; i < steps; ++i) {
        const int count = Entries(page).GetNumberOfKeys();
        if (n > 0 && k < count) {
            ++k;
            ++sequence;
        } else if (n < 0 && k > 1) {
            --k;
            --sequence;
        } else {
            const int32_t neighbour = n > 0 ? Entries(page).GetRightNumber() : Entries(page).GetLeftNumber();
            if (neighbour == 0) {
                if (!FNoKeyStatistics && sequence != (n > 0 ? highest : lowest))
                    index.RaiseBufferCorrupt();
                eof = n > 0;
                bof = n < 0;
                break;
            }
            if (neighbour == number)
                index.RaiseBufferCorrupt();
            TBufferLease next(index, FetchPage(neighbour));
            if (!next) {
                next.Release();
                page.Release();
                AfterChangeReport();
                RefindCurrentKey();
                return false;
            }
            const TPageEntries& e = Entries(next);
            if (e.GetPageType() != ptLeaf || e.GetNumberOfKeys() == 0 ||
                (n > 0 ? e.GetLeftNumber() : e.GetRightNumber()) != number)
                index.RaiseBufferCorrupt();
            page = std::move(next);
            number = neighbour;
            k = n > 0 ? 1 : Entries(page).GetNumberOfKeys();
            sequence += n > 0 ? 1 : -1;
        }
        if (sequence < lowest || sequence > highest)
            index.RaiseBufferCorrupt();
        bof = false;
        eof = false;
    }
    // Arriving on another leaf copies it; a step within the leaf the cursor stands on keeps the copy.
    StoreLeaf(Entries(page), number, k, static_cast<int32_t>(sequence), false);
    FBOF = bof;
    FEOF = eof;
    return true;
}

void TCursorNavigation::MoveBy(int n)
{
    // A restart re-found the current record after another process's change.
    for (int restarts = 0; !TryMoveBy(n);)
        Restarted(restarts);
}

// ---- records

int32_t TCursorNavigation::RunLength(int direction) const
{
    const TDataFile& data = *Cursor().DataTable->DataFile;
    const auto limit = static_cast<int32_t>(std::max<uint32_t>(data.FReadAheadBuffers, 1));
    const int k = FCurKeyCounter;
    const int count = FCurrentPage.GetNumberOfKeys();
    if (k < 1 || k > count)
        return 1;
    // In 64 bits: a damaged entry may name the largest record number.
    const auto number = [&](int entry) { return int64_t{FCurrentPage.GetRecordNumber(entry)}; };
    const int step = direction == rdBackward ? -1 : 1;
    int32_t run = 1;
    for (int e = k; run < limit && e + step >= 1 && e + step <= count && number(e + step) == number(e) + step;
         e += step)
        ++run;
    return run;
}

int32_t TCursorNavigation::RecordRun(int direction)
{
    // Asked by the cache on a miss only, so a hit costs no look at the leaf.
    if (!FReadingCurrentRecord)
        return 1;
    TDataCursor& c = Cursor();
    const int32_t run = std::max(c.FReadAheadRecords, RunLength(direction));
    ++c.FTotalReadAheads;
    c.FTotalSizeReadAheads += run;
    return run;
}

void TCursorNavigation::RefreshCurrentRecord(int direction)
{
    TDataCursor& c = Cursor();
    TDataFile& data = *c.DataTable->DataFile;
    const int32_t number = GetPhysicalRecordNumber();
    // The copy is cleared unless a record is copied over it whole (also when the fetch below fails).
    struct Clear {
        std::vector<uint8_t>& record;
        std::size_t from = 0;
        ~Clear() { std::fill(record.begin() + static_cast<std::ptrdiff_t>(from), record.end(), uint8_t(0)); }
    } clear{FCurrentRecord};
    FCurrentRecord.resize(c.RecordLength);
    FCurrentRecordNumber = 0;
    if (number == 0) {
        // Standing on a leaf entry, the entry names record 0: a damaged leaf, not an empty table.
        if (FIndexPos != NoIndexSlot && FCurrentPageNumber != 0)
            data.RaiseBufferCorrupt();
        return;
    }
    const bool readAhead = direction != rdNone;
    // While the record is fetched, a miss reads the run of consecutive records on the leaf (RecordRun).
    struct Reading {
        bool& flag;
        explicit Reading(bool& f) : flag(f) { flag = true; }
        ~Reading() { flag = false; }
    } reading{FReadingCurrentRecord};
    TRecord* record = data.GetRecord(&c, direction, readAhead, number);
    if (record == nullptr) {
        AfterChangeReport();
        record = data.GetRecord(&c, direction, readAhead, number);
        if (record == nullptr)
            c.DataTable->RaiseError(TBL_KEYORRECDELETED);
    }
    TBufferLease hold(data, record);
    const std::size_t n = std::min<std::size_t>(record->FBuffer.size(), FCurrentRecord.size());
    std::memcpy(FCurrentRecord.data(), record->FBuffer.data(), n);
    clear.from = n;
    FCurrentRecordNumber = number;
}

bool TCursorNavigation::IsVisible() const
{
    const TDataCursor& c = Cursor();
    if (c.DataTable->DataFile->NextEndingRecord() <= 1)
        return false;
    if (FIndexPos == NoIndexSlot)
        return true;
    return FCurrentRecordNumber != 0 && FCurrentRecord[RecordStatusOffset] != RecordDeleted;
}

// Walks from an invisible record in the direction (forward for rdNone) to the next visible one; at that end
// without one, back to the nearest visible record behind, which is then delivered with the end flag set.
void TCursorNavigation::VerifyCurrentRecord(int direction)
{
    const bool backward = direction == rdBackward;
    const int ahead = backward ? -1 : 1;
    const int readAhead = backward ? rdBackward : rdForward;
    const int readBehind = backward ? rdForward : rdBackward;
    bool& atEnd = backward ? FBOF : FEOF;
    bool& atStart = backward ? FEOF : FBOF;
    while (!atEnd && !IsVisible()) {
        MoveBy(ahead);
        RefreshCurrentRecord(readAhead);
    }
    if (!atEnd || IsVisible())
        return;
    while (!atStart) {
        MoveBy(-ahead);
        RefreshCurrentRecord(readBehind);
        if (IsVisible()) {
            atStart = false;
            atEnd = true;
            return;
        }
    }
    FBOF = true;
    FEOF = true;
}

void TCursorNavigation::RepositionCurrentRecord()
{
    if (GetRecordCount() == 0) {
        MakeEmpty();
        RefreshCurrentRecord(rdNone);
        return;
    }
    const bool wasBOF = FBOF;
    const bool wasEOF = FEOF && !FBOF;
    RefindCurrentKey();
    if (wasBOF) {
        MoveBy(-1);
        if (!FBOF)
            MoveBy(1);
    } else if (wasEOF) {
        MoveBy(1);
        if (!FEOF)
            MoveBy(-1);
    }
    RefreshCurrentRecord(rdNone);
    VerifyCurrentRecord(rdNone);
}

// ---- the operations

// Stands before the first record (or after the last): on the edge record and one step beyond it.
void TCursorNavigation::SetToEdge(bool end)
{
    TNavigationScope scope(*this);
    const int inward = end ? rdBackward : rdForward;
    const int outward = end ? rdForward : rdBackward;
    DescendAfterChanges(end ? TDescent::Last : TDescent::First);
    RefreshCurrentRecord(inward);
    VerifyCurrentRecord(inward);
    MoveBy(end ? 1 : -1);
    RefreshCurrentRecord(outward);
    VerifyCurrentRecord(outward);
}

void TCursorNavigation::SetToBegin() { SetToEdge(false); }

void TCursorNavigation::SetToEnd() { SetToEdge(true); }

// The next (or prior) visible record into the buffer; from before the first (after the last) record the
// first (last) one. At the end the buffer is cleared and the answer is the end's code.
uint16_t TCursorNavigation::Step(bool backward, uint8_t* buffer)
{
    TNavigationScope scope(*this);
    const int direction = backward ? rdBackward : rdForward;
    if (backward ? FEOF : FBOF)
        DescendAfterChanges(backward ? TDescent::Last : TDescent::First);
    else
        MoveBy(backward ? -1 : 1);
    RefreshCurrentRecord(direction);
    VerifyCurrentRecord(direction);
    const std::size_t size = Cursor().RecordLength;
    if (backward ? FBOF : FEOF) {
        if (buffer != nullptr)
            std::memset(buffer, 0, size);
        return backward ? TBL_BOF : TBL_EOF;
    }
    if (buffer != nullptr)
        std::memcpy(buffer, FCurrentRecord.data(), std::min(size, FCurrentRecord.size()));
    return NavRecord;
}

uint16_t TCursorNavigation::GetNextRecord(uint8_t* buffer) { return Step(false, buffer); }

uint16_t TCursorNavigation::GetPriorRecord(uint8_t* buffer) { return Step(true, buffer); }

uint16_t TCursorNavigation::GetCurrentRecord(uint8_t* buffer, bool /*lockIt*/)
{
    TNavigationScope scope(*this);
    const std::size_t size = Cursor().RecordLength;
    uint16_t answer = NavRecord;
    if (FBOF && FEOF)
        answer = TBL_NOCURRREC;
    else if (FBOF)
        answer = TBL_BOF;
    else if (FEOF)
        answer = TBL_EOF;
    if (buffer != nullptr) {
        if (answer == NavRecord)
            std::memcpy(buffer, FCurrentRecord.data(), std::min(size, FCurrentRecord.size()));
        else
            std::memset(buffer, 0, size);
    }
    return answer;
}

// ---- a missing index

void TCursorNavigation::RebuildPrimaryIndex()
{
    TDataCursor& c = Cursor();
    TDataTable& table = *c.DataTable;
    TDataFile& data = *table.DataFile;
    TIndexFile& index = *table.IndexFile;
    // The table open took the write lock before it re-created the file; it is released here, whether the
    // rebuild succeeds or not.
    struct EndRebuild {
        TDataTable& table;
        ~EndRebuild() { table.EndIndexRebuild(); }
    } endRebuild{table};

    // Every slot that is not deleted, in physical order, keyed by its record ID.
    struct Entry {
        int32_t id;
        int32_t number;
    };
    std::vector<Entry> entries;
    const int32_t slots = data.NextEndingRecord() - 1;
    for (int32_t n = 1; n <= slots; ++n) {
        TRecord* record = data.GetRecord(&c, rdForward, true, n);
        if (record == nullptr)
            record = data.GetRecord(&c, rdForward, true, n);
        if (record == nullptr)
            table.RaiseError(TBL_KEYORRECDELETED);
        TBufferLease hold(data, record);
        if (record->Status() != RecordDeleted)
            entries.push_back({record->RecordID(), n});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });

    const TIndexDefinition primary = TIndexFile::AutoPrimaryIndex();
    writer::IndexPageParams params;
    params.PageSize = index.FPageSize;
    params.KeySize = primary.KeySize;
    params.Unique = true;
    params.Compression = primary.KeyCompressionType;
    params.NoKeyStatistics = primary.NoKeyStatistics != 0;
    std::vector<writer::LeafEntry> sorted;
    sorted.reserve(entries.size());
    for (const Entry& e : entries) {
        const auto u = static_cast<uint32_t>(e.id) ^ 0x80000000u;
        sorted.push_back({writer::Bytes{1, static_cast<uint8_t>(u >> 24), static_cast<uint8_t>(u >> 16),
                                        static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)},
                          e.number});
    }
    const writer::BuiltTree tree = writer::BuildTree(sorted, params, 1);
    index.FreeBuffers();
    for (size_t i = 0; i < tree.Pages.size(); ++i) {
        writer::Bytes page = tree.Pages[i];
        if (index.Password != nullptr)
            index.Password->Encrypt(page.data(), page.size());
        index.Write(IndexFileHeaderSize + i * page.size(), page.data(), page.size());
    }
    index.FHeader.RootPages[0] = tree.Root;
    index.FHeader.NextEndingPage = static_cast<int32_t>(tree.Pages.size()) + 1;
    index.FHeader.NextFreePage = 0;
    index.FIndexDefinitions[0] = primary;
    index.FHeader.IsDirty = 0;
    std::vector<uint8_t> head(IndexFileHeaderSize, 0);
    std::memcpy(head.data(), &index.FHeader, sizeof(TIndexHeader));
    std::memcpy(head.data() + sizeof(TIndexHeader), index.FIndexDefinitions.data(), IndexDefinitionAreaSize);
    if (index.Password != nullptr) {
        index.Password->Encrypt(head.data(), sizeof(TIndexHeader));
        index.Password->Encrypt(head.data() + sizeof(TIndexHeader), IndexDefinitionAreaSize);
    }
    index.Write(0, head.data(), head.size());
    index.Flush();
    table.InstallRebuiltIndex();
    index.FIndexesAreDirty = false;
    data.Header.RecordCount = static_cast<int32_t>(entries.size());
    c.SynchLastUpdateStamps();
}

} // namespace tableengine
