// A table opened from mutated files: the input holds the data file, then optionally the index file after
// a line "--idx--" and the BLOB file after a line "--blb--". The table is opened, every record read and
// every field (the pseudo fields too) converted to text. The only acceptable outcomes are success and
// an ETblEngineError; anything else (a crash, a sanitizer report, another exception) is a finding.
#include "tableengine/DataCursor.h"
#include "tableengine/DataDirectory.h"
#include "tableengine/DataEngine.h"
#include "tableengine/DataFile.h"
#include "tableengine/DataSession.h"
#include "tableengine/DataTable.h"
#include "tableengine/DataTypes.h"
#include "tableengine/EngineError.h"
#include "tableengine/FieldValues.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kIndexMark = "\n--idx--\n";
constexpr std::string_view kBlobMark = "\n--blb--\n";
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

void ReadEveryField(tableengine::TDataCursor& cursor, const uint8_t* record)
{
    std::vector<int> fields = {-1, -2};
    for (int f = 1; f <= cursor.FieldCount; ++f)
        fields.push_back(f);
    for (const int f : fields) {
        const tableengine::TFieldDefinition& d = cursor.GetFieldDefinition(f);
        std::vector<uint8_t> value(std::size_t(d.DataSize) + 8, 0);
        tableengine::TFieldValue v;
        v.Definition = &d;
        v.Size = cursor.GetField(f, record, v.Blank, value.data());
        v.Data = value.data();
        if (d.DataType == tableengine::dtBlob)
            continue; // a BLOB field's value area holds its block number; its content is read as a BLOB
        (void)tableengine::AsString(v);
    }
}

void Walk(tableengine::TDataDirectory& directory)
{
    tableengine::TDataCursor cursor(directory, "T", false, true);
    cursor.OpenCursor();
    std::vector<uint8_t> record(cursor.RecordLength);
    const int32_t slots = cursor.DataTable->DataFile == nullptr ? 0 : cursor.DataTable->DataFile->NextEndingRecord() - 1;
    for (int32_t n = 1; n <= slots && n <= kMaxRecords; ++n) {
        cursor.ReadRecord(n, record.data(), 1, true);
        ReadEveryField(cursor, record.data());
    }
    cursor.CloseCursor();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    const size_t idxAt = in.find(kIndexMark);
    const size_t blbAt = in.find(kBlobMark, idxAt == std::string_view::npos ? 0 : idxAt + kIndexMark.size());
    const std::string_view dat = in.substr(0, std::min(idxAt, blbAt));
    std::string_view idx;
    if (idxAt != std::string_view::npos)
        idx = in.substr(idxAt + kIndexMark.size(), (blbAt == std::string_view::npos ? in.size() : blbAt) - idxAt - kIndexMark.size());
    std::string_view blb;
    if (blbAt != std::string_view::npos)
        blb = in.substr(blbAt + kBlobMark.size());

    const std::string& folder = Folder();
    Put(folder + "/T.dat", dat, true);
    Put(folder + "/T.idx", idx, idxAt != std::string_view::npos);
    Put(folder + "/T.blb", blb, blbAt != std::string_view::npos);

    tableengine::TDataEngine engine;
    engine.Initialize(tableengine::TEngineSettings{});
    tableengine::TDataSession& session = engine.StartDataSession("Default");
    session.AddPassword("Geheim");
    tableengine::TDataDirectory& directory = session.OpenDataDirectory("Fuzz", folder, false);
    try {
        Walk(directory);
        if (std::getenv("SONDRAL_FUZZ_VERBOSE") != nullptr)
            std::fprintf(stderr, "table read\n");
    } catch (const tableengine::ETblEngineError& e) {
        // Corrupt input is reported as an engine error: the acceptable outcome.
        if (std::getenv("SONDRAL_FUZZ_VERBOSE") != nullptr)
            std::fprintf(stderr, "engine error %u: %s\n", unsigned(e.ErrorCode), e.what());
    }
    session.CloseDataDirectory(directory);
    engine.StopDataSession(session);
    return 0;
}
