// The pieces the writer tests build their tables from: a field, an index and a row of cells (a missing cell
// is a blank one), as the writer's schema takes them.
#pragma once

#include "tablewriter/TableWriter.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace writertest {

inline tableengine::writer::WriterField Field(std::string name, uint8_t type, uint16_t length = 0, uint8_t sub = 0,
                                              uint8_t decimals = 0)
{
    tableengine::writer::WriterField f;
    f.Name = std::move(name);
    f.DataType = type;
    f.Length = length;
    f.SubType = sub;
    f.Decimals = decimals;
    return f;
}

inline tableengine::writer::WriterIndex Index(std::string name, std::vector<tableengine::writer::WriterKeyField> fields,
                                              bool unique, uint8_t compression = 0)
{
    tableengine::writer::WriterIndex ix;
    ix.Name = std::move(name);
    ix.Fields = std::move(fields);
    ix.Unique = unique;
    ix.Compression = compression;
    return ix;
}

inline tableengine::writer::WriterRow Row(std::vector<std::optional<std::string>> cells, bool deleted = false)
{
    tableengine::writer::WriterRow r;
    for (auto& c : cells)
        r.Cells.push_back(c ? tableengine::writer::WriterCell::Of(*c) : tableengine::writer::WriterCell::Blank());
    r.Deleted = deleted;
    return r;
}

} // namespace writertest
