// Byte-level builder of small test tables: a data file laid out field by field, the default index file, and
// an empty BLOB file, optionally encrypted, plus helpers for directories and for corrupting files.
#pragma once

#include "tableengine/format/BlobHeader.h"
#include "tableengine/format/DataHeader.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/format/IndexHeader.h"

#include "platform/Paths.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace fixture {

using namespace tableengine;

struct FieldSpec {
    std::string Name;
    uint8_t DataType = dtInteger;
    uint8_t SubType = 0;
    uint16_t Length = 0;
    uint8_t Decimals = 0;
    bool Hidden = false;
};

inline std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class TableBuilder {
public:
    explicit TableBuilder(std::vector<FieldSpec> fields) : FFields(std::move(fields))
    {
        uint32_t offset = RecordFieldsOffset;
        for (std::size_t i = 0; i < FFields.size(); ++i) {
            const FieldSpec& f = FFields[i];
            TFieldDefinition d{};
            d.FieldNum = static_cast<uint16_t>(i + 1);
            WriteShortString(d.FieldName, sizeof d.FieldName, f.Name);
            d.DataType = f.DataType;
            d.SubType = f.SubType;
            d.Length = f.Length;
            d.Decimals = f.Decimals;
            d.DataDecimals = f.Decimals;
            d.DataSize = FieldDataSize(f.DataType, f.SubType, f.Length);
            d.Offset = static_cast<uint16_t>(offset);
            d.Hidden = f.Hidden ? 1 : 0;
            offset += d.DataSize + 1u;
            Definitions.push_back(d);
        }
        Header.VersionNum = DataVersionNum;
        Header.FileSignature = MD5Digest("TABLE_SIG");
        Header.RecordLength = static_cast<uint16_t>(RoundRecordLength(offset));
        Header.FieldCount = static_cast<uint16_t>(FFields.size());
        Header.IndexPageSize = 1024;
        Header.BlobBlockSize = 512;
        Header.NextEndingRecord = 1;
        for (const FieldSpec& f : FFields)
            if (f.DataType == dtBlob)
                ++Header.BlobFieldCount;
    }

    TDataHeader Header{};
    std::vector<TFieldDefinition> Definitions;
    std::vector<std::vector<uint8_t>> Records;
    std::string Password; // non-empty: encrypted

    uint16_t RecordLength() const { return Header.RecordLength; }

    // A new active record with the next number and id; returns its index.
    std::size_t AddRecord()
    {
        std::vector<uint8_t> r(Header.RecordLength, 0);
        const int32_t number = static_cast<int32_t>(Records.size() + 1);
        std::memcpy(r.data() + RecordNumberOffset, &number, 4);
        const int32_t id = ++Header.LastRecordID;
        std::memcpy(r.data() + RecordIDOffset, &id, 4);
        Records.push_back(r);
        ++Header.RecordCount;
        Header.NextEndingRecord = static_cast<int32_t>(Records.size() + 1);
        return Records.size() - 1;
    }

    void SetValue(std::size_t record, std::size_t field, const void* value, std::size_t size)
    {
        const TFieldDefinition& d = Definitions[field];
        uint8_t* slot = Records[record].data() + d.Offset;
        slot[0] = 1;
        std::memset(slot + 1, 0, d.DataSize);
        std::memcpy(slot + 1, value, std::min<std::size_t>(size, d.DataSize));
    }
    template <typename T> void Set(std::size_t record, std::size_t field, T v) { SetValue(record, field, &v, sizeof v); }
    void SetString(std::size_t record, std::size_t field, const std::string& s)
    {
        SetValue(record, field, s.data(), std::min<std::size_t>(s.size(), Definitions[field].DataSize - 1u));
    }

    std::vector<uint8_t> DataFileBytes() const
    {
        TDataHeader h = Header;
        std::unique_ptr<TDataPassword> pw;
        if (!Password.empty()) {
            pw = std::make_unique<TDataPassword>(Password);
            h.Encrypted = 1;
            h.Digest = pw->EncryptedDigest();
        }
        std::vector<uint8_t> out(sizeof h);
        std::memcpy(out.data(), &h, sizeof h);
        std::vector<uint8_t> defs(Definitions.size() * sizeof(TFieldDefinition));
        if (!defs.empty())
            std::memcpy(defs.data(), Definitions.data(), defs.size());
        if (pw)
            pw->Encrypt(defs.data(), defs.size());
        out.insert(out.end(), defs.begin(), defs.end());
        for (std::vector<uint8_t> r : Records) {
            const TMD5Digest hash = MD5Digest(std::string(reinterpret_cast<const char*>(r.data()) + RecordFieldsOffset,
                                                          r.size() - RecordFieldsOffset));
            std::memcpy(r.data() + RecordHashOffset, &hash, sizeof hash);
            if (pw)
                pw->Encrypt(r.data(), r.size());
            out.insert(out.end(), r.begin(), r.end());
        }
        return out;
    }

    std::vector<uint8_t> IndexFileBytes() const
    {
        TIndexHeader h{};
        h.VersionNum = DataVersionNum;
        h.FileSignature = Header.FileSignature;
        h.NextEndingPage = 1;
        std::vector<uint8_t> out(IndexFileHeaderSize, 0);
        std::memcpy(out.data(), &h, sizeof h);
        TIndexDefinition primary{};
        primary.KeySize = 5;
        primary.KeyUnique = 1;
        primary.KeyFieldCount = 1;
        primary.KeyFields[0] = 0xFFFF;
        TIndexDefinition text{};
        WriteShortString(text.IndexName, sizeof text.IndexName, "Sys Text");
        text.KeySize = 68;
        text.KeyCompressionType = icFull;
        text.NoKeyStatistics = 1;
        std::memcpy(out.data() + 512, &primary, sizeof primary);
        std::memcpy(out.data() + 512 + 31 * 768, &text, sizeof text);
        if (!Password.empty()) {
            TDataPassword pw(Password);
            pw.Encrypt(out.data(), 512);
            pw.Encrypt(out.data() + 512, IndexDefinitionAreaSize);
        }
        return out;
    }

    std::vector<uint8_t> BlobFileBytes() const
    {
        TBlobHeader h{};
        h.VersionNum = DataVersionNum;
        h.FileSignature = Header.FileSignature;
        h.NextEndingBlock = 1;
        std::vector<uint8_t> out(sizeof h);
        std::memcpy(out.data(), &h, sizeof h);
        return out;
    }

    // Writes name.dat and name.idx (and name.blb when the table has BLOB fields) into dir.
    void Write(const std::string& dir, const std::string& name, bool withIndex = true) const
    {
        WriteFileBytes(platform::JoinPath(dir, name + ".dat"), DataFileBytes());
        if (withIndex)
            WriteFileBytes(platform::JoinPath(dir, name + ".idx"), IndexFileBytes());
        if (Header.BlobFieldCount > 0)
            WriteFileBytes(platform::JoinPath(dir, name + ".blb"), BlobFileBytes());
    }

private:
    std::vector<FieldSpec> FFields;
};

// A table of n records with an integer field "Nr" (= record number * 10) and a string field "Text".
inline TableBuilder NumberedTable(int n)
{
    TableBuilder b({{"Nr", dtInteger}, {"Text", dtString, 0, 20}});
    for (int i = 1; i <= n; ++i) {
        const std::size_t r = b.AddRecord();
        b.Set<int32_t>(r, 0, i * 10);
        b.SetString(r, 1, "Row " + std::to_string(i));
    }
    return b;
}

// A fresh, empty directory below the temporary folder, removed with the object.
class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        Path = (std::filesystem::temp_directory_path() /
                ("sondral-engine-" + std::to_string(rd()) + "-" + std::to_string(rd())))
                   .string();
        std::filesystem::create_directories(Path);
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string File(const std::string& name) const { return platform::JoinPath(Path, name); }
    std::string Path;
};

} // namespace fixture
