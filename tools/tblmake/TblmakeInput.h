// Reading tblmake's schema file and rows file into a table for the writer.
#pragma once

#include "tablewriter/TableWriterSchema.h"

#include <istream>
#include <string>

namespace tblmake {

// Parses the schema (see the usage text); throws WriterError with the line number on a mistake.
void ReadSchema(std::istream& in, tableengine::writer::WriterTable& table);

// Appends the rows of a tab-separated rows file; throws WriterError with the line number on a mistake.
void ReadRows(std::istream& in, tableengine::writer::WriterTable& table);

extern const char* const kUsage;

} // namespace tblmake
