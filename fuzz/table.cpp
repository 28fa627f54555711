// A table opened from mutated files: the input holds the data file, then optionally the index file after
// a line "--idx--" and the BLOB file after a line "--blb--". The table is opened and walked in physical
// order and in every index, every field of every record read (values as text, BLOB contents whole);
// then it is read once more through the table component as the program reads its translations. The
// only acceptable outcomes are success and an ETblEngineError; anything else (a crash, a sanitizer
// report, a hang, another exception) is a finding. Half of the mutations are structure-aware (fuzz/
// TableMutator.h): one named header field, page link or BLOB link overwritten with a boundary value.
#include "TableMutator.h"

#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/storage/DataSession.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/format/EngineError.h"
#include "tableengine/format/FieldValues.h"
#include "tableengine/storage/IndexFile.h"
#include "tableengine/format/IndexHeader.h"
#include "tableengine/TblComp.h"

#include "platform/Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int32_t kMaxRecords = 512; // enough to reach past every cache block; keeps one run short

const std::string& Folder()
{
    static const std::string path = [] {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                                    : std::filesystem::temp_directory_path();
        std::string templ = (base / "sondral-fuzz-table-XXXXXX").string();
        if (!::mkdtemp(templ.data()))
            std::abort();
        return templ;
    }();
    return path;
}

// With SONDRAL_FUZZ_VERBOSE set, tells which walk ended with which engine error (for looking at seeds).
void Report(const tableengine::ETblEngineError& e, const char* walk = "open")
{
    if (std::getenv("SONDRAL_FUZZ_VERBOSE") != nullptr)
        std::fprintf(stderr, "%s: engine error %u: %s\n", walk, unsigned(e.ErrorCode), e.what());
}

void Put(const std::string& path, std::string_view bytes, bool present)
{
    ::unlink(path.c_str());
    if (!present)
        return;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        std::abort();
    ::close(fd);
}

// Reads every field of a record: the pseudo fields, every value as text, and the content of every BLOB
// field (BLOBs only for a record the cursor stands on, as the engine loads them for its current record).
// A value that has no text form (a corrupt date, time or BCD in a record) gives the field layer's
// EConvertError, the way the program sees such a value; that is accepted for the conversion alone.
void ReadEveryField(tableengine::TDataCursor& cursor, std::vector<uint8_t>& record, bool blobs)
{
    std::vector<int> fields = {-1, -2};
    for (int f = 1; f <= cursor.FieldCount; ++f)
        fields.push_back(f);
    for (const int f : fields) {
        const tableengine::TFieldDefinition& d = cursor.GetFieldDefinition(f);
        std::vector<uint8_t> value(std::size_t(d.DataSize) + 8, 0);
        tableengine::TFieldValue v;
        v.Definition = &d;
        v.Size = cursor.GetField(f, record.data(), v.Blank, value.data());
        v.Data = value.data();
        if (f > 0 && d.DataType == tableengine::dtBlob) {
            if (v.Blank || !blobs)
                continue;
            const uint32_t size = cursor.OpenBlob(f, record.data());
            std::vector<uint8_t> content(std::min<uint32_t>(size, 1u << 20));
            (void)cursor.GetBlob(f, record.data(), content.size(), content.data(), 0);
            cursor.FreeBlob(f, record.data());
            continue;
        }
        try {
            (void)tableengine::AsString(v);
        } catch (const tableengine::EConvertError&) {
        }
    }
}

// Physical order: every record slot read directly.
void WalkSlots(tableengine::TDataCursor& cursor)
{
    std::vector<uint8_t> record(cursor.RecordLength);
    const int32_t slots = cursor.DataTable->DataFile->NextEndingRecord() - 1;
    for (int32_t n = 1; n <= slots && n <= kMaxRecords; ++n) {
        cursor.ReadRecord(n, record.data(), 1, true);
        ReadEveryField(cursor, record, false);
    }
}

// Index order: forwards through the index in the slot, then a few records backwards from its end.
void WalkIndex(tableengine::TDataCursor& cursor, int slot)
{
    std::vector<uint8_t> record(cursor.RecordLength);
    cursor.SetIndexPos(slot);
    cursor.SetToBegin();
    for (int n = 0; n < kMaxRecords && cursor.GetNextRecord(record.data()) == tableengine::NavRecord; ++n)
        ReadEveryField(cursor, record, true);
    (void)cursor.GetRecordCount();
    cursor.SetToEnd();
    for (int n = 0; n < 8 && cursor.GetPriorRecord(record.data()) == tableengine::NavRecord; ++n)
        ReadEveryField(cursor, record, true);
}

void Walk(tableengine::TDataDirectory& directory)
{
    tableengine::TDataCursor cursor(directory, "T", false, true);
    cursor.OpenCursor();
    // Each walk on its own: an error in one index still lets the others be read.
    std::vector<std::pair<std::string, std::function<void()>>> walks = {{"slots", [&] { WalkSlots(cursor); }}};
    const int indexes = std::min<int>(cursor.DataTable->IndexFile->GetIndexCount(), tableengine::MaxSecondaryIndexes);
    for (int slot = 0; slot <= indexes; ++slot)
        walks.emplace_back("index " + std::to_string(slot), [&cursor, slot] { WalkIndex(cursor, slot); });
    walks.emplace_back("text index", [&] { WalkIndex(cursor, tableengine::TextIndexSlot); });
    for (const auto& [name, walk] : walks) {
        try {
            walk();
        } catch (const tableengine::ETblEngineError& e) {
            Report(e, name.c_str());
        }
    }
    cursor.CloseCursor();
}

// The way the program reads its translations: the table component in its primary index, every field
// (memos included) as text.
void WalkComponent(const std::string& folder)
{
    tableengine::TTblDatabase db;
    db.SetDatabaseName(u"Fuzz");
    db.SetDirectory(platform::Utf8ToText(folder));
    db.SetConnected(true);
    tableengine::TTblTable t;
    t.SetDatabaseName(u"Fuzz");
    t.SetTableName(u"T");
    try {
        t.Open();
        int n = 0;
        for (t.First(); !t.Eof() && n < kMaxRecords; t.Next(), ++n) {
            for (int i = 0; i < t.FieldCount(); ++i) {
                try {
                    (void)t.Fields(i).AsString();
                } catch (const tableengine::EConvertError&) {
                }
            }
        }
    } catch (const tableengine::ETblEngineError& e) {
        Report(e, "component");
    }
    t.Close();
    db.SetConnected(false);
}

} // namespace

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed)
{
    if (seed % 2 == 0) {
        tablefuzz::TableInput t =
            tablefuzz::TableInput::Split({reinterpret_cast<const char*>(data), size});
        tablefuzz::TableMutator mutator(seed);
        bool changed = false;
        for (unsigned n = 1 + (seed / 2) % 3, i = 0; i < n; ++i)
            changed = mutator.Mutate(t) || changed;
        const std::string out = t.Join();
        if (changed && out.size() <= maxSize) {
            std::memcpy(data, out.data(), out.size());
            return out.size();
        }
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const tablefuzz::TableInput in = tablefuzz::TableInput::Split({reinterpret_cast<const char*>(data), size});
    const std::string_view dat = in.Data;
    const std::string_view idx = in.Index;
    const std::string_view blb = in.Blob;

    const std::string& folder = Folder();
    Put(folder + "/T.dat", dat, true);
    Put(folder + "/T.idx", idx, in.HasIndex);
    Put(folder + "/T.blb", blb, in.HasBlob);

    tableengine::TDataEngine engine;
    engine.Initialize(tableengine::TEngineSettings{});
    tableengine::TDataSession& session = engine.StartDataSession("Default");
    session.AddPassword("Geheim");
    tableengine::TDataDirectory& directory = session.OpenDataDirectory("Fuzz", folder, false);
    try {
        Walk(directory);
    } catch (const tableengine::ETblEngineError& e) {
        Report(e); // corrupt input reported as an engine error: the acceptable outcome
    }
    session.CloseDataDirectory(directory);
    engine.StopDataSession(session);

    static const bool passwordAdded = (tableengine::TTblSession::Default().AddPassword(u"Geheim"), true);
    (void)passwordAdded;
    WalkComponent(folder);
    return 0;
}
