// A table T whose index file is missing, for the tests of its rebuild under the table write lock.
#pragma once

#include "tableengine/EngineEnv.h"
#include "tableengine/NavigationTestSupport.h"
#include "tableengine/TableFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace indexrebuild {

namespace w = tableengine::writer;

// Names c, a, b under a primary key on the name: ids 2, 3, 1 in key order, 1, 2, 3 once rebuilt.
class IndexRebuildLock : public ::testing::Test {
protected:
    void SetUp() override
    {
        w::WriterTable t;
        t.Fields = {navtest::Field("Name", w::DataTypes::String, 10)};
        for (const char* v : {"c", "a", "b"})
            t.Rows.push_back(navtest::Row({v}));
        w::WriterIndex pk;
        pk.Fields = {{"Name", false}};
        t.PrimaryKey = pk;
        w::WriteTableFiles(t, dir.Path, "T", false);
        keyedIndex = fixture::ReadFileBytes(Index());
        std::filesystem::remove(Index());
    }
    std::string Index() const { return dir.File("T.idx"); }
    std::set<std::string> TableFolderEntries() const
    {
        std::set<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.Path))
            names.insert(e.path().filename().string());
        return names;
    }

    fixture::TempDir dir;
    std::vector<uint8_t> keyedIndex;
};

} // namespace indexrebuild
