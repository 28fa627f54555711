// Every single byte of each file of a small table (20 rows, a secondary index, a memo field) overwritten in
// turn with 0x00, 0xFF and the byte xor 0x80; each time the table is opened, walked in every index in both
// directions and every field and memo of every row read. Each case ends with its rows or an engine error:
// no crash, no sanitizer report, no other exception, no walk longer than the table's record slots, and the
// whole sweep stays within a few tens of MB. The normal suite overwrites every 16th byte; with
// SONDRAL_BYTE_SWEEP=full (the labelled test "tableengine_byte_sweep" that CI runs) every byte.
#include "tableengine/NavigationTestSupport.h"

#include "tableengine/storage/DataFile.h"
#include "tableengine/format/FieldValues.h"
#include "tableengine/storage/IndexFile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string_view>
#include <fstream>
#include <iterator>

using namespace navtest;
using namespace tableengine;

namespace {

std::vector<uint8_t> Load(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Store(const std::filesystem::path& p, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

#if defined(__SANITIZE_ADDRESS__)
// Under AddressSanitizer the resident size says little (freed memory is held in quarantine, hundreds of MB
// for a sweep): the peak of the bytes the program holds is taken from the sanitizer's allocator instead, at
// every allocation.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                          void (*onFree)(const volatile void*));
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();

std::atomic<std::size_t> PeakAllocated{0};

void OnMalloc(const volatile void*, std::size_t)
{
    const std::size_t now = __sanitizer_get_current_allocated_bytes();
    std::size_t peak = PeakAllocated.load(std::memory_order_relaxed);
    while (now > peak && !PeakAllocated.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
    }
}

void OnFree(const volatile void*) {}

// Starts measuring from what is held now.
void ResetPeak()
{
    static const bool installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;
    (void)installed;
    PeakAllocated = __sanitizer_get_current_allocated_bytes();
}

long PeakKb() { return static_cast<long>(PeakAllocated.load() / 1024); }
#else
void ResetPeak() {}

long PeakKb()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}
#endif

// Every field of the record as text, every memo whole.
void ReadFields(TDataCursor& c, std::vector<uint8_t>& record)
{
    for (int f = 1; f <= c.FieldCount; ++f) {
        const TFieldDefinition& d = c.GetFieldDefinition(f);
        if (d.DataType == dtBlob) {
            bool blank = false;
            c.GetField(f, record.data(), blank, nullptr);
            if (blank)
                continue;
            const uint32_t size = c.OpenBlob(f, record.data());
            std::vector<uint8_t> content(size);
            c.GetBlob(f, record.data(), content.size(), content.data(), 0);
            c.FreeBlob(f, record.data());
            continue;
        }
        try {
            (void)AsString(c.GetFieldValue(f, record.data()));
        } catch (const EConvertError&) {
            // a damaged value with no text form: the field layer's own error
        }
    }
}

// Walks index `slot` both ways; the number of rows is bounded by the record slots of the data file.
void WalkIndex(TDataCursor& c, int slot, int32_t slots)
{
    std::vector<uint8_t> record(c.RecordLength);
    c.SetIndexPos(slot);
    c.SetToBegin();
    int32_t rows = 0;
    while (c.GetNextRecord(record.data()) == NavRecord) {
        ASSERT_LE(++rows, slots) << "forward walk in slot " << slot << " longer than the table";
        ReadFields(c, record);
    }
    c.SetToEnd();
    rows = 0;
    while (c.GetPriorRecord(record.data()) == NavRecord) {
        ASSERT_LE(++rows, slots) << "backward walk in slot " << slot << " longer than the table";
        ReadFields(c, record);
    }
}

// One case: rows or an engine error; any other exception fails the test.
void OpenAndWalk(const std::filesystem::path& folder)
{
    Engine engine(folder);
    try {
        auto c = engine.Open("T");
        const int32_t slots = std::max(c->DataTable->DataFile->NextEndingRecord() - 1, 0);
        const int indexes = std::min<int>(c->DataTable->IndexFile->GetIndexCount(), MaxSecondaryIndexes);
        for (int slot = 0; slot <= indexes; ++slot) {
            try {
                WalkIndex(*c, slot, slots);
            } catch (const ETblEngineError&) {
                // this index is damaged; the others are still walked
            }
        }
        c->CloseCursor();
    } catch (const ETblEngineError&) {
    }
}

} // namespace

TEST(ByteSweep, EveryByteOfEveryFileOverwrittenGivesRowsOrAnEngineError)
{
    TableFolder folder;
    w::WriterTable t;
    t.Fields = {Field("N", w::DataTypes::Integer), Field("Name", w::DataTypes::String, 12),
                Field("Note", w::DataTypes::Blob, 0, w::SubTypes::Memo)};
    t.IndexPageSize = 1024;
    t.BlobBlockSize = 64;
    w::WriterIndex byName;
    byName.Name = "ByName";
    byName.Fields = {{"Name", false}};
    t.SecondaryIndexes.push_back(byName);
    for (int i = 1; i <= 20; ++i)
        t.Rows.push_back(Row({std::to_string(i), "name" + std::to_string((i * 7) % 20),
                              i % 5 == 0 ? "<null>" : "note " + std::to_string(i) + std::string(size_t(i) * 5, 'n')}));
    folder.Write(t, "T");
    OpenAndWalk(folder.Path()); // the undamaged table, also to settle the process's memory
    ResetPeak();
    const long baseline = PeakKb();

    const char* mode = std::getenv("SONDRAL_BYTE_SWEEP");
    const std::size_t stride = mode != nullptr && std::string_view(mode) == "full" ? 1 : 16;
    std::size_t cases = 0;
    double slowest = 0;
    for (const char* ext : {".dat", ".idx", ".blb"}) {
        const auto path = folder.Path() / (std::string("T") + ext);
        const std::vector<uint8_t> original = Load(path);
        ASSERT_FALSE(original.empty()) << ext;
        std::vector<uint8_t> damaged = original;
        for (std::size_t at = 0; at < original.size(); at += stride) {
            const uint8_t b = original[at];
            for (const uint8_t v : {uint8_t{0x00}, uint8_t{0xFF}, static_cast<uint8_t>(b ^ 0x80)}) {
                if (v == b)
                    continue;
                damaged[at] = v;
                Store(path, damaged);
                const auto start = std::chrono::steady_clock::now();
                OpenAndWalk(folder.Path());
                slowest = std::max(slowest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
                ++cases;
                if (testing::Test::HasFatalFailure()) {
                    ADD_FAILURE() << ext << " byte " << at << " = " << int(v);
                    return;
                }
            }
            damaged[at] = b;
        }
        Store(path, original);
    }
    // A case that needs seconds is a hang in the making; a peak far above the undamaged walk is an
    // allocation sized by a damaged number.
    EXPECT_LT(slowest, 5.0);
    EXPECT_LT(PeakKb() - baseline, 64 * 1024);
    RecordProperty("cases", std::to_string(cases));
    std::printf("byte sweep (every %zu. byte): %zu cases, slowest %.3f s, peak +%ld KiB\n", stride, cases, slowest, PeakKb() - baseline);
}
