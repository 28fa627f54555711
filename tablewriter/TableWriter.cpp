#include "tablewriter/TableWriter.h"

#include "platform/Locale.h"
#include "tableengine/format/BlobHeader.h"
#include "tableengine/format/DataHeader.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/format/IndexHeader.h"
#include "tablewriter/TableWriterBlobFile.h"
#include "tableengine/format/TableWriterIndexPages.h"
#include "tablewriter/TableWriterKeys.h"
#include "tablewriter/TableWriterValues.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>

namespace tableengine::writer {
namespace {

constexpr size_t kIndexSlots = IndexSlotCount;
constexpr size_t kFirstFieldOffset = 25;
constexpr uint8_t kVersion = DataVersionNum;
constexpr size_t kMaxFields = MaxFieldCount;
constexpr size_t kMaxSecondaryIndexes = MaxSecondaryIndexes;
constexpr size_t kMaxKeyFields = 128;
constexpr int32_t kMaxRecordID = std::numeric_limits<int32_t>::max();

std::string TrimmedLower(std::string_view s) {
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return LowerAnsi(s);
}

void CheckName(std::string_view name, const char* what) {
    if (name.empty() || name.size() > 60 || !ValidNameStart(static_cast<unsigned char>(name.front())))
        throw WriterError(std::string(what) + " name '" + std::string(name) +
                          "' must be 1 to 60 characters starting with a letter or '_'");
}

// A field or index name that is valid and not yet among `names` (compared trimmed, letter case ignored).
void AddUniqueName(std::vector<std::string>& names, const std::string& name, const char* what) {
    CheckName(name, what);
    const std::string key = TrimmedLower(name);
    if (std::find(names.begin(), names.end(), key) != names.end())
        throw WriterError(std::string(what) + " name '" + name + "' is used twice");
    names.push_back(key);
}

void CheckShortText(const std::string& text, const std::string& what) {
    if (text.size() > 100)
        throw WriterError(what + " is longer than 100 characters");
}

int32_t RoundUp8(int32_t v) { return v <= 0 ? v : static_cast<int32_t>((static_cast<int64_t>(v) + 7) / 8 * 8); }

struct FieldLayout {
    uint16_t Offset = 0;
    uint16_t DataSize = 0;
};

struct IndexPlan {
    std::string Name;
    KeyLayout Layout;
    std::vector<uint16_t> FieldNums;
    std::vector<bool> DescendingFields;
    bool Descending = false;
    uint8_t Compression = 0;
    bool NoKeyStatistics = false;
};

double Now() {
    using namespace std::chrono;
    const double seconds = duration<double>(system_clock::now().time_since_epoch()).count();
    return 25569.0 + seconds / 86400.0;
}

template <size_t N>
void SetShortString(uint8_t (&dst)[N], std::string_view text) {
    const size_t n = std::min(text.size(), N - 1);
    dst[0] = static_cast<uint8_t>(n);
    std::memcpy(dst + 1, text.data(), n);
}

template <class T>
void AppendRecord(Bytes& out, const T& record) {
    const auto* p = reinterpret_cast<const uint8_t*>(&record);
    out.insert(out.end(), p, p + sizeof record);
}

template <class T>
Bytes RecordBytes(const T& record) {
    Bytes out;
    AppendRecord(out, record);
    return out;
}

TMD5Digest Md5(const uint8_t* data, size_t size) {
    return MD5Digest(std::string_view(reinterpret_cast<const char*>(data), size));
}

TFieldDefinition FieldDefinition(const WriterField& f, uint16_t num, const FieldLayout& layout) {
    TFieldDefinition d{};
    d.FieldNum = num;
    SetShortString(d.FieldName, f.Name);
    SetShortString(d.Description, f.Description);
    d.DataType = f.DataType;
    d.SubType = f.SubType;
    d.Length = f.Length;
    d.Decimals = f.Decimals;
    d.DataSize = layout.DataSize;
    d.DataDecimals = f.Decimals;
    d.Offset = layout.Offset;
    d.Required = f.Required ? 1 : 0;
    d.CharCase = f.CharCase;
    SetShortString(d.Minimum, f.Minimum);
    SetShortString(d.Maximum, f.Maximum);
    SetShortString(d.Default, f.Default);
    d.Compression = f.Compression;
    d.Hidden = f.Hidden ? 1 : 0;
    return d;
}

TIndexDefinition IndexDefinition(const IndexPlan& plan) {
    TIndexDefinition d{};
    SetShortString(d.IndexName, plan.Name);
    d.KeySize = plan.Layout.KeySize;
    d.KeyDescending = plan.Descending ? 1 : 0;
    d.KeyCaseInsensitive = plan.Layout.CaseInsensitive ? 1 : 0;
    d.KeyUnique = plan.Layout.Unique ? 1 : 0;
    d.KeyCompressionType = plan.Compression;
    d.KeyFieldCount = static_cast<uint8_t>(plan.FieldNums.size());
    for (size_t i = 0; i < plan.FieldNums.size(); ++i) {
        d.KeyDescendingFields[i] = plan.DescendingFields[i] ? 1 : 0;
        d.KeyFields[i] = plan.FieldNums[i];
    }
    d.NoKeyStatistics = plan.NoKeyStatistics ? 1 : 0;
    return d;
}

// The text-index slot every index file carries: "Sys Text" with no fields.
TIndexDefinition SysTextDefinition() {
    TIndexDefinition d{};
    SetShortString(d.IndexName, "Sys Text");
    d.KeySize = 68;
    d.KeyCompressionType = icFull;
    d.NoKeyStatistics = 1;
    return d;
}

// Adapts the platform's locale services to the writer's collation interface.
class PlatformCollation : public KeyCollation {
public:
    explicit PlatformCollation(std::shared_ptr<const platform::Locale> locale) : locale_(std::move(locale)) {}
    int Compare(std::string_view a, std::string_view b) const override { return locale_->Compare(a, b); }
    std::string Upper(std::string_view text) const override { return locale_->Upper(text); }
    std::string Lower(std::string_view) const override {
        throw WriterError("lower-case fields need the lower-casing of the table locale, which is not available");
    }

private:
    std::shared_ptr<const platform::Locale> locale_;
};

class Builder {
public:
    explicit Builder(const WriterTable& t) : t_(t) {}

    TableFiles Build() {
        CheckOptions();
        LayOutFields();
        PlanIndexes();
        if (t_.Password)
            password_ = std::make_unique<TDataPassword>(*t_.Password);
        BuildRecords();
        TableFiles files;
        files.Data = DataFile();
        files.Index = IndexFile();
        if (blobFieldCount_ > 0)
            files.Blob = BlobFile();
        return files;
    }

private:
    void CheckOptions() {
        pageSize_ = RoundUp8(t_.IndexPageSize);
        if (pageSize_ < MinIndexPageSize || pageSize_ > MaxIndexPageSize)
            throw WriterError("index page size " + std::to_string(t_.IndexPageSize) + " is outside 1024 to 16384");
        blockSize_ = RoundUp8(t_.BlobBlockSize);
        if (blockSize_ < MinBlobBlockSize || blockSize_ > MaxBlobBlockSize)
            throw WriterError("BLOB block size " + std::to_string(t_.BlobBlockSize) + " is outside 64 to 65536");
        CheckShortText(t_.Description, "the table description");
        if (t_.LocaleID != 0) {
            collation_ = t_.Collation;
            if (!collation_) {
                auto locale = platform::Locale::ForLCID(static_cast<uint32_t>(t_.LocaleID));
                if (!locale)
                    throw WriterError("locale " + std::to_string(t_.LocaleID) + " is not supported");
                collation_ = std::make_shared<PlatformCollation>(std::move(locale));
            }
            const auto collation = collation_;
            caseRules_.Upper = [collation](std::string_view s) { return collation->Upper(s); };
            caseRules_.Lower = [collation](std::string_view s) { return collation->Lower(s); };
        }
        signature_ = MD5Digest(t_.EngineSignature);
    }

    void LayOutFields() {
        if (t_.Fields.empty() || t_.Fields.size() > kMaxFields)
            throw WriterError("a table has 1 to 1024 fields");
        size_t offset = kFirstFieldOffset;
        std::vector<std::string> names;
        for (const WriterField& f : t_.Fields) {
            AddUniqueName(names, f.Name, "field");
            const bool sized = f.DataType == DataTypes::String || f.DataType == DataTypes::Bytes ||
                               f.DataType == DataTypes::VarBytes;
            if (sized) {
                const uint16_t max = f.SubType == SubTypes::WideString ? 256 : 512;
                if (f.Length < 1 || f.Length > max)
                    throw WriterError("field '" + f.Name + "' needs a length of 1 to " + std::to_string(max));
            } else if (f.Length != 0) {
                throw WriterError("field '" + f.Name + "' of this type takes no length");
            }
            if (f.Decimals != 0 && f.DataType != DataTypes::Bcd)
                throw WriterError("field '" + f.Name + "': only BCD fields have decimals");
            if (f.DataType == DataTypes::Bcd && f.Decimals > 63)
                throw WriterError("field '" + f.Name + "': at most 63 decimals");
            if (f.Compression > 9 || (f.Compression != 0 && f.DataType != DataTypes::Blob))
                throw WriterError("field '" + f.Name + "': compression 1 to 9 applies to BLOB fields only");
            if (f.CharCase > 2)
                throw WriterError("field '" + f.Name + "': letter case is 0, 1 or 2");
            CheckShortText(f.Description, "the description of field '" + f.Name + "'");
            for (const std::string* text : {&f.Minimum, &f.Maximum, &f.Default}) {
                CheckShortText(*text, "a limit or default of field '" + f.Name + "'");
                CheckTextForm(f, *text);
            }
            FieldLayout layout;
            layout.DataSize = FieldDataSize(f.DataType, f.SubType, f.Length);
            layout.Offset = static_cast<uint16_t>(std::min<size_t>(offset, 0xFFFF));
            offset += 1u + layout.DataSize;
            if (offset > 0xFFF8)
                throw WriterError("the record is longer than 65528 bytes");
            layouts_.push_back(layout);
            if (f.DataType == DataTypes::Blob)
                ++blobFieldCount_;
        }
        recordLength_ = static_cast<uint16_t>((offset + 7) / 8 * 8);
    }

    KeyPart PartFor(const WriterKeyField& kf) const {
        const std::string key = TrimmedLower(kf.Name);
        for (size_t i = 0; i < t_.Fields.size(); ++i) {
            if (TrimmedLower(t_.Fields[i].Name) != key)
                continue;
            const WriterField& f = t_.Fields[i];
            if (f.DataType == DataTypes::Blob)
                throw WriterError("BLOB field '" + f.Name + "' cannot be a key field");
            KeyPart p;
            p.FieldNum = static_cast<uint16_t>(i + 1);
            p.DataType = f.DataType;
            p.Offset = layouts_[i].Offset;
            p.DataSize = layouts_[i].DataSize;
            p.Width = KeyWidth(f.DataType, layouts_[i].DataSize);
            return p;
        }
        KeyPart p;
        if (key == "recordid") {
            p.FieldNum = kRecordIDFieldNum;
            p.DataType = DataTypes::Integer;
            p.Offset = 5;
            p.DataSize = 4;
            p.Width = 4;
        } else if (key == "recordhash") {
            p.FieldNum = kRecordHashFieldNum;
            p.DataType = DataTypes::Bytes;
            p.Offset = 9;
            p.DataSize = 16;
            p.Width = 16;
        } else {
            throw WriterError("index field '" + kf.Name + "' is not a field of the table");
        }
        return p;
    }

    IndexPlan Plan(const WriterIndex& ix, bool primary) const {
        if (ix.Fields.empty() || ix.Fields.size() > kMaxKeyFields)
            throw WriterError("an index has 1 to 128 key fields");
        if (ix.Compression > KeyCompression::Full)
            throw WriterError("unknown key compression");
        IndexPlan plan;
        plan.Name = primary ? std::string() : ix.Name;
        plan.Layout.Unique = primary || ix.Unique;
        plan.Layout.CaseInsensitive = ix.CaseInsensitive;
        plan.Descending = ix.Descending;
        plan.Compression = ix.Compression;
        plan.NoKeyStatistics = ix.NoKeyStatistics;
        size_t sum = 0;
        for (const WriterKeyField& kf : ix.Fields) {
            KeyPart p = PartFor(kf);
            p.Descending = kf.Descending || ix.Descending;
            sum += 1u + p.Width;
            plan.FieldNums.push_back(p.FieldNum);
            plan.DescendingFields.push_back(p.Descending);
            plan.Layout.Parts.push_back(p);
        }
        const size_t limit = std::min<size_t>(4106, (static_cast<size_t>(pageSize_) - PageHeaderSize) / 3);
        if (sum > limit)
            throw WriterError("key of index '" + plan.Name + "' is " + std::to_string(sum) +
                              " bytes; at most " + std::to_string(limit) + " fit this page size");
        FinishKeyLayout(plan.Layout);
        return plan;
    }

    void PlanIndexes() {
        if (t_.PrimaryKey) {
            indexes_.push_back(Plan(*t_.PrimaryKey, true));
        } else {
            IndexPlan autoPrimary;
            autoPrimary.Layout.Unique = true;
            KeyPart p;
            p.FieldNum = kRecordIDFieldNum;
            p.DataType = DataTypes::Integer;
            p.Offset = 5;
            p.DataSize = 4;
            p.Width = 4;
            autoPrimary.Layout.Parts.push_back(p);
            autoPrimary.FieldNums.push_back(kRecordIDFieldNum);
            autoPrimary.DescendingFields.push_back(false);
            FinishKeyLayout(autoPrimary.Layout);
            indexes_.push_back(autoPrimary);
        }
        if (t_.SecondaryIndexes.size() > kMaxSecondaryIndexes)
            throw WriterError("at most 30 secondary indexes");
        std::vector<std::string> names;
        for (const WriterIndex& ix : t_.SecondaryIndexes) {
            AddUniqueName(names, ix.Name, "index");
            indexes_.push_back(Plan(ix, false));
        }
    }

    void BuildRecords() {
        const size_t n = t_.Rows.size();
        if (n >= static_cast<size_t>(kMaxRecordID))
            throw WriterError("too many rows");
        blobs_.emplace(blockSize_);
        records_.assign(n, Bytes(recordLength_, 0));
        std::vector<std::vector<int32_t>> rowBlobs(n);
        for (size_t r = 0; r < n; ++r) {
            const WriterRow& row = t_.Rows[r];
            if (row.Cells.size() != t_.Fields.size())
                throw WriterError("row " + std::to_string(r + 1) + " has " + std::to_string(row.Cells.size()) +
                                  " values for " + std::to_string(t_.Fields.size()) + " fields");
            Bytes& rec = records_[r];
            const auto number = static_cast<int32_t>(r + 1);
            PutI32(rec, 1, number);
            PutI32(rec, 5, number); // record ids 1.. in row order
            for (size_t i = 0; i < t_.Fields.size(); ++i) {
                const WriterField& f = t_.Fields[i];
                WriterCell cell = row.Cells[i];
                uint8_t* slot = rec.data() + layouts_[i].Offset;
                try {
                    if (f.DataType == DataTypes::Integer && f.SubType == SubTypes::AutoInc) {
                        if (cell.Null) {
                            if (lastAutoInc_ == std::numeric_limits<int32_t>::max())
                                throw WriterError("auto-increment values exhausted");
                            cell = WriterCell::Of(std::to_string(lastAutoInc_ + 1));
                        }
                    }
                    bool present = false;
                    if (f.DataType == DataTypes::Blob) {
                        present = !cell.Null && !cell.Value.empty();
                        if (present) {
                            std::string stored = cell.Value;
                            if (f.Compression != 0) {
                                const Bytes packed = DeflateValue(cell.Value, f.Compression);
                                stored.assign(packed.begin(), packed.end());
                            }
                            lastBlobSignature_ = lastBlobSignature_ == kMaxRecordID ? 1 : lastBlobSignature_ + 1;
                            const int32_t first = blobs_->Store(stored, lastBlobSignature_);
                            slot[0] = 1;
                            Bytes ref(8, 0);
                            PutI32(ref, 0, first);
                            PutI32(ref, 4, lastBlobSignature_);
                            std::memcpy(slot + 1, ref.data(), 8);
                            rowBlobs[r].push_back(first);
                        }
                    } else {
                        present = EncodeFieldValue(f, cell, slot, layouts_[i].DataSize, caseRules_);
                        if (present && f.DataType == DataTypes::Integer && f.SubType == SubTypes::AutoInc)
                            lastAutoInc_ = std::max(lastAutoInc_, static_cast<int32_t>(GetLittleEndian(slot + 1, 4)));
                    }
                    if (!present && f.Required && !(f.DataType == DataTypes::Integer && f.SubType == SubTypes::AutoInc))
                        throw WriterError("a value is required");
                } catch (const WriterError& e) {
                    throw WriterError("row " + std::to_string(r + 1) + ", field '" + f.Name + "': " + e.what());
                }
            }
            HashRecord(rec);
        }
        // Deleted rows: pushed on the free list in row order, their BLOB chains released.
        for (size_t r = 0; r < n; ++r) {
            if (!t_.Rows[r].Deleted)
                continue;
            Bytes& rec = records_[r];
            PutU8(rec, 0, 1);
            PutI32(rec, 1, nextFreeRecord_);
            nextFreeRecord_ = static_cast<int32_t>(r + 1);
            for (const int32_t first : rowBlobs[r])
                blobs_->Release(first);
        }
        lastRecordID_ = static_cast<int32_t>(n);
    }

    void HashRecord(Bytes& rec) const {
        TMD5Digest d{};
        if (blobFieldCount_ == 0) {
            d = Md5(rec.data() + kFirstFieldOffset, rec.size() - kFirstFieldOffset);
        } else {
            Bytes copy(rec.size(), 0);
            for (size_t i = 0; i < t_.Fields.size(); ++i) {
                const WriterField& f = t_.Fields[i];
                if (f.DataType == DataTypes::Blob || f.Hidden)
                    continue;
                const size_t at = layouts_[i].Offset;
                std::copy_n(rec.begin() + static_cast<ptrdiff_t>(at), 1 + layouts_[i].DataSize,
                            copy.begin() + static_cast<ptrdiff_t>(at));
            }
            d = Md5(copy.data() + kFirstFieldOffset, copy.size() - kFirstFieldOffset);
        }
        std::memcpy(rec.data() + 9, &d, sizeof d);
    }

    void Encrypt(Bytes& buffer) const {
        if (password_)
            password_->Encrypt(buffer.data(), buffer.size());
    }

    Bytes DataFile() {
        const size_t n = records_.size();
        int32_t active = 0;
        for (const WriterRow& row : t_.Rows)
            active += row.Deleted ? 0 : 1;
        TDataHeader h{};
        h.UpdateStamp = t_.UpdateStamp;
        h.VersionNum = kVersion;
        h.FileSignature = signature_;
        h.NextFreeRecord = nextFreeRecord_;
        h.NextEndingRecord = static_cast<int32_t>(n + 1);
        h.LastRecordID = lastRecordID_;
        h.LastAutoIncID = lastAutoInc_;
        h.RecordCount = active;
        h.RecordLength = recordLength_;
        h.FieldCount = static_cast<uint16_t>(t_.Fields.size());
        h.BlobFieldCount = blobFieldCount_;
        h.BlobBlockSize = blockSize_;
        h.LastBlobSignature = lastBlobSignature_;
        h.IndexPageSize = pageSize_;
        h.LastUpdated = t_.LastUpdated ? *t_.LastUpdated : Now();
        SetShortString(h.Description, t_.Description);
        if (password_) {
            h.Encrypted = 1;
            h.Digest = password_->EncryptedDigest();
        }
        h.LocaleID = t_.LocaleID;
        h.UserMajorVersion = t_.UserMajorVersion;
        h.UserMinorVersion = t_.UserMinorVersion;

        Bytes defs;
        for (size_t i = 0; i < t_.Fields.size(); ++i)
            AppendRecord(defs, FieldDefinition(t_.Fields[i], static_cast<uint16_t>(i + 1), layouts_[i]));
        Encrypt(defs);
        Bytes out = RecordBytes(h);
        Append(out, defs);
        for (Bytes rec : records_) {
            Encrypt(rec);
            Append(out, rec);
        }
        return out;
    }

    Bytes IndexFile() {
        std::vector<Bytes> pages;
        TIndexHeader h{};
        for (size_t slot = 0; slot < indexes_.size(); ++slot) {
            const IndexPlan& plan = indexes_[slot];
            std::vector<LeafEntry> entries;
            for (size_t r = 0; r < records_.size(); ++r)
                if (!t_.Rows[r].Deleted)
                    entries.push_back(LeafEntry{BuildKey(plan.Layout, records_[r].data(), caseRules_),
                                                static_cast<int32_t>(r + 1)});
            const KeyCollation* collation = collation_.get();
            std::stable_sort(entries.begin(), entries.end(), [&](const LeafEntry& a, const LeafEntry& b) {
                return CompareKeys(plan.Layout, a.Key, b.Key, collation) < 0;
            });
            for (size_t i = 1; i < entries.size(); ++i)
                if (CompareKeys(plan.Layout, entries[i - 1].Key, entries[i].Key, collation) == 0)
                    throw WriterError((slot == 0 ? std::string("primary key") : "index '" + plan.Name + "'") +
                                      ": rows " + std::to_string(entries[i - 1].RecordNumber) + " and " +
                                      std::to_string(entries[i].RecordNumber) + " have the same key");
            IndexPageParams params;
            params.PageSize = pageSize_;
            params.KeySize = plan.Layout.KeySize;
            params.Unique = plan.Layout.Unique;
            params.Compression = plan.Compression;
            params.NoKeyStatistics = plan.NoKeyStatistics;
            BuiltTree tree = BuildTree(entries, params, static_cast<int32_t>(pages.size()) + 1);
            h.RootPages[slot] = tree.Root;
            for (Bytes& p : tree.Pages)
                pages.push_back(std::move(p));
        }
        h.UpdateStamp = t_.UpdateStamp;
        h.VersionNum = kVersion;
        h.FileSignature = signature_;
        h.NextFreePage = 0;
        h.NextEndingPage = static_cast<int32_t>(pages.size()) + 1;
        h.IndexCount = static_cast<uint8_t>(indexes_.size() - 1);
        Bytes defs;
        for (size_t slot = 0; slot < kIndexSlots; ++slot) {
            if (slot < indexes_.size())
                AppendRecord(defs, IndexDefinition(indexes_[slot]));
            else if (slot == TextIndexSlot)
                AppendRecord(defs, SysTextDefinition());
            else
                AppendRecord(defs, TIndexDefinition{});
        }
        Bytes out = RecordBytes(h);
        Encrypt(out);
        Encrypt(defs);
        Append(out, defs);
        for (Bytes& p : pages) {
            Encrypt(p);
            Append(out, p);
        }
        return out;
    }

    Bytes BlobFile() {
        TBlobHeader h{};
        h.UpdateStamp = t_.UpdateStamp;
        h.VersionNum = kVersion;
        h.FileSignature = signature_;
        h.NextFreeBlock = blobs_->NextFreeBlock();
        h.NextEndingBlock = blobs_->NextEndingBlock();
        Bytes out = RecordBytes(h);
        Encrypt(out);
        for (Bytes block : blobs_->Blocks()) {
            Encrypt(block);
            Append(out, block);
        }
        return out;
    }

    const WriterTable& t_;
    int32_t pageSize_ = 0;
    int32_t blockSize_ = 0;
    CaseRules caseRules_;
    std::shared_ptr<const KeyCollation> collation_; // null: byte order (LocaleID 0)
    TMD5Digest signature_{};
    std::unique_ptr<TDataPassword> password_;
    std::vector<FieldLayout> layouts_;
    uint16_t recordLength_ = 0;
    uint16_t blobFieldCount_ = 0;
    std::vector<IndexPlan> indexes_;
    std::vector<Bytes> records_;
    std::optional<BlobFileBuilder> blobs_;
    int32_t nextFreeRecord_ = 0;
    int32_t lastRecordID_ = 0;
    int32_t lastAutoInc_ = 0;
    int32_t lastBlobSignature_ = 0;
};

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        throw WriterError("cannot create " + path.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw WriterError("cannot write " + path.string());
}

} // namespace

TableFiles BuildTableFiles(const WriterTable& table) { return Builder(table).Build(); }

void WriteTableFiles(const WriterTable& table, const std::filesystem::path& folder, std::string_view tableName,
                     bool overwrite) {
    std::string name(tableName);
    while (!name.empty() && name.front() == ' ')
        name.erase(name.begin());
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (name.size() > 4 && LowerAnsi(name.substr(name.size() - 4)) == ".dat")
        name.resize(name.size() - 4);
    if (name.empty() || name.find('/') != std::string::npos || name.find('\\') != std::string::npos)
        throw WriterError("'" + std::string(tableName) + "' is not a table name");
    const TableFiles files = BuildTableFiles(table);
    const auto dat = folder / (name + ".dat");
    const auto idx = folder / (name + ".idx");
    const auto blb = folder / (name + ".blb");
    if (!overwrite)
        for (const auto& p : {dat, idx, blb})
            if (std::filesystem::exists(p))
                throw WriterError(p.string() + " exists already");
    WriteFile(dat, files.Data);
    WriteFile(idx, files.Index);
    if (!files.Blob.empty()) {
        WriteFile(blb, files.Blob);
    } else {
        std::error_code ec;
        std::filesystem::remove(blb, ec);
    }
}

} // namespace tableengine::writer
