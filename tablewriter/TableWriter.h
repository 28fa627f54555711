// Writes a whole new table (data, index and BLOB file) in one go from a schema and its rows.
#pragma once

#include "tableengine/format/TableWriterBytes.h"
#include "tablewriter/TableWriterSchema.h"

#include <filesystem>
#include <string_view>

namespace tableengine::writer {

struct TableFiles {
    Bytes Data;
    Bytes Index;
    Bytes Blob; // empty when the table has no BLOB fields
};

// Lays the table out in memory. Throws WriterError for a schema, option or value that cannot be written
// (bad names, sizes out of range, duplicate keys in a unique index, a missing required value, ...).
TableFiles BuildTableFiles(const WriterTable& table);

// Builds the table and writes <folder>/<name>.dat, .idx and, with BLOB fields, .blb. Existing files of
// that table are refused unless overwrite is set (then they are replaced, and a stale BLOB file removed).
void WriteTableFiles(const WriterTable& table, const std::filesystem::path& folder, std::string_view tableName,
                     bool overwrite);

} // namespace tableengine::writer
