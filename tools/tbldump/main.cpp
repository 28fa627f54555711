// tbldump DIR TABLE [--index NAME] [--password P]: prints a table's visible field names, then one line per
// record in index order, fields separated by TAB, as UTF-8 with backslash, TAB, LF and CR escaped.
#include "tableengine/format/EngineError.h"
#include "tableengine/TblComp.h"

#include "platform/Text.h"

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

namespace {

std::string Escaped(const platform::Text& text)
{
    const std::string utf8 = platform::TextToUtf8(text);
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    return out;
}

int Usage()
{
    std::cerr << "usage: tbldump DIR TABLE [--index NAME] [--password P]\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace tableengine;
    std::string dir, table, index, password;
    bool havePassword = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--index" && i + 1 < argc)
            index = argv[++i];
        else if (arg == "--password" && i + 1 < argc) {
            password = argv[++i];
            havePassword = true;
        } else if (arg.rfind("--", 0) == 0)
            return Usage();
        else if (dir.empty())
            dir = arg;
        else if (table.empty())
            table = arg;
        else
            return Usage();
    }
    if (dir.empty() || table.empty())
        return Usage();

    try {
        TTblDatabase db;
        db.SetDatabaseName(u"tbldump");
        db.SetDirectory(platform::Utf8ToText(dir));
        if (havePassword)
            TTblSession::Default().AddPassword(platform::Utf8ToText(password));
        db.SetConnected(true);
        TTblTable t;
        t.SetDatabaseName(u"tbldump");
        t.SetTableName(platform::Utf8ToText(table));
        t.SetIndexName(platform::Utf8ToText(index));
        t.Open();
        std::string out;
        for (int i = 0; i < t.FieldCount(); ++i) {
            if (i > 0)
                out += '\t';
            out += Escaped(t.Fields(i).FieldName());
        }
        out += '\n';
        for (t.First(); !t.Eof(); t.Next()) {
            for (int i = 0; i < t.FieldCount(); ++i) {
                if (i > 0)
                    out += '\t';
                out += Escaped(t.Fields(i).AsString());
            }
            out += '\n';
            if (out.size() > (1u << 16)) {
                std::fwrite(out.data(), 1, out.size(), stdout);
                out.clear();
            }
        }
        std::fwrite(out.data(), 1, out.size(), stdout);
        t.Close();
        return std::fflush(stdout) == 0 ? 0 : 1;
    } catch (const ETblEngineError& e) {
        std::fflush(stdout);
        std::cerr << e.what() << '\n';
        return 1;
    } catch (const std::exception& e) {
        std::fflush(stdout);
        std::cerr << e.what() << '\n';
        return 1;
    }
}
