// The data file: records, the header and the field definitions. The rule every decoder of a table's files
// keeps, here for the data header: FieldCount is bounded before the definitions are read and allocated;
// record length, field offsets, slots and RecordCount are checked against each other and the file's size
// (8961) before any record is read with them, also when another process's change made the header be read
// again; memory that still runs out is 11016, never a library exception (DecodeGuard.h).
#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/CacheReader.h"
#include "tableengine/storage/DataFile.h"

#include "tableengine/storage/DataDirectory.h"
#include "tableengine/storage/DataEngine.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/storage/DataTable.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/storage/DecodeGuard.h"
#include "tableengine/format/FieldValues.h"

#include "platform/Locale.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace tableengine {

// ---- TRecord

int32_t TRecord::ReadInt32(std::size_t at) const
{
    int32_t v = 0;
    if (at + 4 <= FBuffer.size())
        std::memcpy(&v, FBuffer.data() + at, 4);
    return v;
}

void TRecord::Read(const uint8_t* raw, std::size_t size)
{
    if (SkipRead())
        return;
    CopyIn(raw, size);
    const auto* file = static_cast<const TDataFile*>(FBufferedFile);
    if (file->Password != nullptr)
        file->Password->Decrypt(FBuffer.data(), FBuffer.size());
}

void TRecord::Write(uint8_t* raw, std::size_t size) const
{
    const std::size_t n = std::min(size, FBuffer.size());
    std::memcpy(raw, FBuffer.data(), n);
    const auto* file = static_cast<const TDataFile*>(FBufferedFile);
    if (file->Password != nullptr)
        file->Password->Encrypt(raw, n);
}

// ---- TDataFile

namespace {

TFieldDefinition pseudoField(uint16_t num, const char* name, uint8_t type, uint8_t subType, uint16_t length,
                             uint16_t dataSize, uint16_t offset)
{
    TFieldDefinition d{};
    d.FieldNum = num;
    WriteShortString(d.FieldName, sizeof d.FieldName, name);
    d.DataType = type;
    d.SubType = subType;
    d.Length = length;
    d.DataSize = dataSize;
    d.Offset = offset;
    return d;
}

} // namespace

TDataFile::TDataFile(TDataEngine& engine, TDataTable* table)
    : TBufferedFile(engine, table),
      RecordIDField(pseudoField(RecordIDFieldNum, "RecordID", dtInteger, 0, 0, 4, RecordIDOffset)),
      RecordHashField(pseudoField(RecordHashFieldNum, "RecordHash", dtBytes, stHash, 16, 16, RecordHashOffset))
{
}

TDataFile::~TDataFile() = default;

std::unique_ptr<TBuffer> TDataFile::CreateBuffer() { return std::make_unique<TRecord>(*this); }

void TDataFile::RaiseBufferCorrupt() { RaiseError(TBL_FILECORRUPT); }

void TDataFile::CheckMaximumFileSize()
{
    if (GetIOBlocksUsed() >= DataEngine().MaximumNumRecords)
        RaiseError(TBL_TABLEFULL);
    TBufferedFile::CheckMaximumFileSize();
}

void TDataFile::IncIOBlocksUsed()
{
    ++Header.NextEndingRecord;
    Header.IsDirty = 1;
}

uint32_t TDataFile::GetMaxBuffers()
{
    const TEngineSettings& s = DataEngine().Settings();
    return MaxBuffersFor(s.MaxTableDataBufferSize, s.MaxTableDataBufferCount, GetBufferSize(), 44);
}

uint32_t TDataFile::GetReadAheadBuffers() { return std::max<uint32_t>(1, static_cast<uint32_t>(FCapacity / 4)); }

uint32_t TDataFile::GetReadAheadCount(TCacheReader* cursor, int direction)
{
    if (cursor == nullptr)
        return 1;
    // The larger of the data set's hint and the run of consecutive records on the cursor's leaf.
    return static_cast<uint32_t>(std::max({cursor->FReadAheadRecords, cursor->RecordRun(direction), 1}));
}

std::string TDataFile::Description() const
{
    return ReadShortString(Header.Description, sizeof Header.Description, MaxDescriptionLength);
}

void TDataFile::ReadHeader() { Header = ReadFileHeader<TDataHeader>(nullptr); }

void TDataFile::OpenFile()
{
    TEngineFile::OpenFile();
    LoadHeaders();
}

void TDataFile::LoadHeaders()
{
    Header = TDataHeader{};
    FieldDefinitions.clear();
    ReadHeader();
    CheckVersionAndSignature(Header.VersionNum, Header.FileSignature);
    if (Header.FieldCount > MaxFieldCount)
        RaiseError(TBL_HEADERCORRUPT);
    Password = nullptr;
    if (Header.Encrypted != 0) {
        if (FDataTable == nullptr)
            RaiseError(TBL_NOTSUFFTABLERIGHTS);
        Password = &FDataTable->VerifyPassword(Header.Digest);
    }
    // FieldCount is bounded above, so the definitions take at most MaxFieldCount * 768 bytes.
    DecodeGuarded(*this, [this] { LoadFieldDefinitions(); });
    InitializeBuffers();
}

std::vector<uint8_t> TDataFile::ReadFieldArea(std::size_t count)
{
    std::vector<uint8_t> area(count * FieldDefinitionSize);
    if (!area.empty()) {
        std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
        ReadExact(DataHeaderSize, area.data(), area.size());
    }
    if (Password != nullptr)
        Password->Decrypt(area.data(), area.size());
    return area;
}

void TDataFile::CheckChangedHeader(const TDataHeader& before)
{
    const TDataHeader& h = Header;
    if (h.VersionNum != before.VersionNum || h.RecordLength != before.RecordLength ||
        h.FieldCount != before.FieldCount || h.BlobFieldCount != before.BlobFieldCount ||
        h.BlobBlockSize != before.BlobBlockSize || h.IndexPageSize != before.IndexPageSize ||
        h.Encrypted != before.Encrypted || h.Digest != before.Digest || h.LocaleID != before.LocaleID ||
        h.FileSignature != before.FileSignature)
        RaiseError(TBL_HEADERCORRUPT);
    std::vector<uint8_t> area;
    DecodeGuarded(*this, [&] { area = ReadFieldArea(Header.FieldCount); });
    if (area != FFieldArea)
        RaiseError(TBL_HEADERCORRUPT);
    CheckSlots();
}

void TDataFile::LoadFieldDefinitions()
{
    const std::size_t count = Header.FieldCount;
    std::vector<uint8_t> area = ReadFieldArea(count);
    FieldDefinitions.assign(count, TFieldDefinition{});
    for (std::size_t i = 0; i < count; ++i) {
        TFieldDefinition raw{};
        std::memcpy(&raw, area.data() + i * FieldDefinitionSize, FieldDefinitionSize);
        TFieldDefinition& d = FieldDefinitions[i];
        d.FieldNum = raw.FieldNum;
        WriteShortString(d.FieldName, sizeof d.FieldName,
                         ReadShortString(raw.FieldName, sizeof raw.FieldName, MaxFieldNameLength));
        // An over-long name stays detectable for the header check.
        if (ShortStringLength(raw.FieldName) > MaxFieldNameLength)
            d.FieldName[0] = raw.FieldName[0];
        WriteShortString(d.Description, sizeof d.Description,
                         ReadShortString(raw.Description, sizeof raw.Description, MaxDescriptionLength));
        d.DataType = raw.DataType;
        d.SubType = raw.SubType;
        d.Length = raw.Length;
        d.Decimals = raw.Decimals;
        d.DataSize = raw.DataSize;
        d.DataDecimals = raw.DataDecimals;
        d.Offset = raw.Offset;
        d.Required = raw.Required;
        d.CharCase = raw.CharCase;
        WriteShortString(d.Minimum, sizeof d.Minimum, ReadShortString(raw.Minimum, sizeof raw.Minimum, 100));
        WriteShortString(d.Maximum, sizeof d.Maximum, ReadShortString(raw.Maximum, sizeof raw.Maximum, 100));
        WriteShortString(d.Default, sizeof d.Default, ReadShortString(raw.Default, sizeof raw.Default, 100));
        d.Compression = raw.Compression;
        d.Hidden = raw.Hidden;
        d.FieldPos = static_cast<uint16_t>(i + 1);
    }
    FFieldArea = std::move(area);
    FieldsAreDirty = false;
}

std::shared_ptr<const platform::Locale> TDataFile::LoadLocale()
{
    auto locale = platform::Locale::ForLCID(static_cast<uint32_t>(Header.LocaleID));
    if (Header.LocaleID != 0 && !locale)
        RaiseError(TBL_CANNOTLOADLDDRV);
    return locale;
}

void TDataFile::CheckHeader()
{
    uint64_t running = RecordFieldsOffset;
    std::set<uint16_t> numbers;
    std::set<std::string> names;
    for (std::size_t i = 0; i < FieldDefinitions.size(); ++i) {
        TFieldDefinition& d = FieldDefinitions[i];
        d.DataSize = FieldDataSize(d.DataType, d.SubType, d.Length);
        d.DataDecimals = d.Decimals;
        const std::size_t nameLength = ShortStringLength(d.FieldName);
        if (nameLength < 1 || nameLength > MaxFieldNameLength || !ValidNameStart(d.FieldName[1]))
            RaiseError(TBL_HEADERCORRUPT);
        if (!numbers.insert(d.FieldNum).second)
            RaiseError(TBL_HEADERCORRUPT);
        std::string key = TrimBlanks(ReadShortString(d.FieldName, sizeof d.FieldName, MaxFieldNameLength));
        std::transform(key.begin(), key.end(), key.begin(), platform::UpperAnsiDefault);
        if (!names.insert(key).second)
            RaiseError(TBL_HEADERCORRUPT);
        if (d.DataType == dtUnknown)
            RaiseError(TBL_HEADERCORRUPT);
        if (HasLength(d.DataType)) {
            if (d.Length > (d.SubType == stWide ? MaxWideStringLength : MaxStringLength))
                RaiseError(TBL_HEADERCORRUPT);
        } else if (d.Length != 0) {
            RaiseError(TBL_HEADERCORRUPT);
        }
        for (const uint8_t* text : {d.Default, d.Minimum, d.Maximum}) {
            if (!IsValidValueText(d, ReadShortString(text, 101, 100)))
                RaiseError(TBL_HEADERCORRUPT);
        }
        if (d.Decimals != 0 && d.DataType != dtBCD)
            RaiseError(TBL_HEADERCORRUPT);
        if (d.Offset != running)
            RaiseError(TBL_HEADERCORRUPT);
        running += uint64_t(d.DataSize) + 1;
        if (d.FieldNum != i + 1)
            RaiseError(TBL_HEADERCORRUPT);
    }
    if (Header.RecordLength != RoundRecordLength(static_cast<uint32_t>(std::min<uint64_t>(running, 0xFFFFFFF0u))))
        RaiseError(TBL_HEADERCORRUPT);
    CheckSlots();
}

void TDataFile::CheckSlots()
{
    if (Header.RecordLength == 0)
        RaiseError(TBL_HEADERCORRUPT);
    const uint64_t size = Size();
    const uint64_t headerSize = GetHeaderSize();
    const uint64_t body = size > headerSize ? size - headerSize : 0;
    const uint64_t rl = Header.RecordLength;
    if (body % rl != 0)
        RaiseError(TBL_HEADERCORRUPT);
    const uint64_t slots = body / rl;
    if (Header.NextEndingRecord < 1 || uint64_t(Header.NextEndingRecord) != slots + 1)
        RaiseError(TBL_HEADERCORRUPT);
    if (Header.NextFreeRecord < 0 || uint64_t(Header.NextFreeRecord) > slots)
        RaiseError(TBL_HEADERCORRUPT);
    // Every record is in a slot; a larger count would let an index walk run past the records.
    if (Header.RecordCount < 0 || uint64_t(Header.RecordCount) > slots)
        RaiseError(TBL_HEADERCORRUPT);
}

const TFieldDefinition* TDataFile::GetFieldDefinitionByPos(int position) const
{
    if (position == -1)
        return &RecordIDField;
    if (position == -2)
        return &RecordHashField;
    if (position >= 1 && static_cast<std::size_t>(position) <= FieldDefinitions.size())
        return &FieldDefinitions[static_cast<std::size_t>(position - 1)];
    return nullptr;
}

TRecord* TDataFile::GetRecord(TCacheReader* cursor, int direction, bool readAhead, int32_t number)
{
    if (number <= 0)
        RaiseBufferCorrupt();
    TBuffer* b = GetBuffer(cursor, 0, direction, readAhead, number);
    if (b == nullptr)
        return nullptr;
    if (b->FNumber != number) {
        PutBuffer(b);
        RaiseBufferCorrupt();
    }
    return static_cast<TRecord*>(b);
}

} // namespace tableengine
