// tblmake: builds a table in a folder from a schema file and a tab-separated rows file.
#include "TblmakeInput.h"

#include "platform/Text.h"
#include "tablewriter/TableWriter.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> args;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << tblmake::kUsage;
            return 0;
        }
        if (a == "--force") {
            force = true;
        } else if (a == "--codepage") {
            if (i + 1 >= argc || !platform::SetAnsiCodePage(argv[i + 1])) {
                std::cerr << "tblmake: --codepage needs a code page name ICU knows\n";
                return 2;
            }
            ++i;
        } else {
            args.push_back(a);
        }
    }
    if (args.size() < 3 || args.size() > 4) {
        std::cerr << tblmake::kUsage;
        return 2;
    }
    const std::filesystem::path folder = args[0];
    try {
        tableengine::writer::WriterTable table;
        {
            std::ifstream schema(args[2]);
            if (!schema)
                throw tableengine::writer::WriterError("cannot open schema file " + args[2]);
            tblmake::ReadSchema(schema, table);
        }
        if (args.size() == 4) {
            if (args[3] == "-") {
                tblmake::ReadRows(std::cin, table);
            } else {
                std::ifstream rows(args[3], std::ios::binary);
                if (!rows)
                    throw tableengine::writer::WriterError("cannot open rows file " + args[3]);
                tblmake::ReadRows(rows, table);
            }
        }
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (ec)
            throw tableengine::writer::WriterError("cannot create folder " + folder.string() + ": " + ec.message());
        tableengine::writer::WriteTableFiles(table, folder, args[1], force);
        size_t active = 0;
        for (const auto& row : table.Rows)
            active += row.Deleted ? 0 : 1;
        std::cout << "tblmake: " << args[1] << ": " << table.Fields.size() << " fields, " << active
                  << " records, " << (table.Rows.size() - active) << " deleted\n";
    } catch (const std::exception& e) {
        std::cerr << "tblmake: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
