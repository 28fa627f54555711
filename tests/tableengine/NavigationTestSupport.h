// Tables written by the table writer into a fresh folder, and an engine, session, directory and cursor
// opened on them, for the index, navigation and BLOB tests.
#pragma once

#include "tableengine/cursor/DataCursor.h"
#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataSession.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/EngineError.h"
#include "tablewriter/TableWriter.h"

#include "WriterFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace navtest {

namespace w = tableengine::writer;

using writertest::Field;

inline w::WriterRow Row(std::vector<std::string> values, bool deleted = false)
{
    w::WriterRow r;
    for (auto& v : values)
        r.Cells.push_back(v == "<null>" ? w::WriterCell::Blank() : w::WriterCell::Of(v));
    r.Deleted = deleted;
    return r;
}

// A folder of its own under the build tree, removed afterwards.
class TableFolder {
public:
    TableFolder()
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        FPath = std::filesystem::path(SONDRAL_BINARY_DIR) / "navtest" /
                (std::string(info->test_suite_name()) + "." + info->name());
        std::filesystem::remove_all(FPath);
        std::filesystem::create_directories(FPath);
    }
    ~TableFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    const std::filesystem::path& Path() const { return FPath; }
    void Write(const w::WriterTable& table, const std::string& name, bool overwrite = false) const
    {
        w::WriteTableFiles(table, FPath, name, overwrite);
    }

private:
    std::filesystem::path FPath;
};

// One engine, its default session and a directory on the folder.
class Engine {
public:
    explicit Engine(const std::filesystem::path& folder, bool strict = false)
    {
        FEngine.Initialize(tableengine::TEngineSettings{});
        FSession = &FEngine.StartDataSession("Default");
        FSession->StrictChangeDetection = strict;
        FDirectory = &FSession->OpenDataDirectory("Test", folder.string(), false);
    }
    ~Engine() { FSession->CloseDataDirectory(*FDirectory); }
    tableengine::TDataSession& Session() { return *FSession; }
    std::unique_ptr<tableengine::TDataCursor> Open(const std::string& table)
    {
        auto c = std::make_unique<tableengine::TDataCursor>(*FDirectory, table, false, false);
        c->OpenCursor();
        return c;
    }

private:
    tableengine::TDataEngine FEngine;
    tableengine::TDataSession* FSession = nullptr;
    tableengine::TDataDirectory* FDirectory = nullptr;
};

inline int32_t Int32At(const std::vector<uint8_t>& record, size_t at)
{
    int32_t v = 0;
    std::memcpy(&v, record.data() + at, 4);
    return v;
}

// Record IDs of every row delivered in one direction (GetNextRecord until 8706, or GetPriorRecord from the
// end until 8705).
inline std::vector<int32_t> WalkIDs(tableengine::TDataCursor& c, bool backward)
{
    std::vector<int32_t> ids;
    std::vector<uint8_t> buf(c.RecordLength);
    if (backward)
        c.SetToEnd();
    else
        c.SetToBegin();
    while ((backward ? c.GetPriorRecord(buf.data()) : c.GetNextRecord(buf.data())) == 0)
        ids.push_back(Int32At(buf, 5));
    return ids;
}

inline std::vector<int32_t> ForwardIDs(tableengine::TDataCursor& c) { return WalkIDs(c, false); }

inline std::vector<int32_t> BackwardIDs(tableengine::TDataCursor& c) { return WalkIDs(c, true); }

// The text of string field `num` of the cursor's current record.
inline std::string StringField(tableengine::TDataCursor& c, const std::vector<uint8_t>& record, int num)
{
    const auto& d = c.GetFieldDefinition(num);
    if (record[d.Offset] == 0)
        return "<null>";
    return std::string(reinterpret_cast<const char*>(record.data() + d.Offset + 1));
}

inline uint16_t EngineCode(const std::function<void()>& f)
{
    try {
        f();
    } catch (const tableengine::ETblEngineError& e) {
        return e.ErrorCode;
    }
    return 0;
}

} // namespace navtest
