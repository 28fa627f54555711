// The index file's header and index definitions. The rule every decoder of a table's files keeps, here for
// the index header: the header and the definition area have a fixed size; the page size, page numbers,
// key fields and KeySize are checked (8961) before any page is decoded with them, since the page decoder
// sizes its entries by KeySize.
#include "tableengine/storage/BaseFile.h"
#include "tableengine/storage/IndexFile.h"
#include "tableengine/storage/Page.h"

#include "tableengine/storage/DataEngine.h"
#include "tableengine/storage/DataFile.h"
#include "tableengine/format/DataPassword.h"
#include "tableengine/format/DataTypes.h"

#include "platform/Locale.h"

#include <algorithm>
#include <cstring>

namespace tableengine {

TIndexFile::TIndexFile(TDataEngine& engine, TDataTable* table) : TBufferedFile(engine, table) {}

TIndexFile::~TIndexFile() = default;

std::unique_ptr<TBuffer> TIndexFile::CreateBuffer() { return std::make_unique<TPage>(*this); }

void TIndexFile::RaiseBufferCorrupt() { RaiseError(TBL_INDEXCORRUPT); }

void TIndexFile::IncIOBlocksUsed()
{
    ++FHeader.NextEndingPage;
    FHeader.IsDirty = 1;
}

uint32_t TIndexFile::GetMaxBuffers()
{
    const TEngineSettings& s = DataEngine().Settings();
    return MaxBuffersFor(s.MaxTableIndexBufferSize, s.MaxTableIndexBufferCount, GetBufferSize(), 64);
}

TIndexDefinition TIndexFile::AutoPrimaryIndex()
{
    TIndexDefinition d{};
    d.KeySize = 5;
    d.KeyUnique = 1;
    d.KeyFieldCount = 1;
    d.KeyFields[0] = RecordIDFieldNum;
    return d;
}

TIndexDefinition TIndexFile::TextIndexDefinition()
{
    TIndexDefinition d{};
    WriteShortString(d.IndexName, sizeof d.IndexName, TextIndexName);
    d.KeySize = 68;
    d.KeyCompressionType = icFull;
    d.NoKeyStatistics = 1;
    return d;
}

void TIndexFile::ReadHeader() { FHeader = ReadFileHeader<TIndexHeader>(Password); }

void TIndexFile::OpenFile()
{
    TEngineFile::OpenFile();
    FHeader = TIndexHeader{};
    FIndexDefinitions = {};
    ReadHeader();
    CheckVersionAndSignature(FHeader.VersionNum, FHeader.FileSignature);
    if (FHeader.IndexCount > MaxSecondaryIndexes)
        RaiseError(TBL_HEADERCORRUPT);
    // The page size comes from the data header; a size outside the format's range would make every page
    // position meaningless.
    if (FPageSize < MinIndexPageSize || FPageSize > MaxIndexPageSize || FPageSize % 8 != 0)
        RaiseError(TBL_HEADERCORRUPT);
    std::vector<uint8_t> area(IndexDefinitionAreaSize);
    {
        std::lock_guard<std::recursive_mutex> guard(BaseFile->FileSection);
        ReadExact(sizeof(TIndexHeader), area.data(), area.size());
    }
    if (Password != nullptr)
        Password->Decrypt(area.data(), area.size());
    for (int slot = 0; slot < IndexSlotCount; ++slot) {
        if (slot <= FHeader.IndexCount || slot == TextIndexSlot)
            std::memcpy(&FIndexDefinitions[static_cast<std::size_t>(slot)],
                        area.data() + std::size_t(slot) * sizeof(TIndexDefinition), sizeof(TIndexDefinition));
    }
    FIndexesAreDirty = false;
    InitializeBuffers();
}

void TIndexFile::CreateDefault()
{
    TIndexHeader h{};
    h.VersionNum = DataVersionNum;
    h.FileSignature = DataEngine().SignatureDigest;
    h.NextEndingPage = 1;
    std::vector<uint8_t> bytes(IndexFileHeaderSize, 0);
    std::memcpy(bytes.data(), &h, sizeof h);
    const TIndexDefinition primary = AutoPrimaryIndex();
    const TIndexDefinition text = TextIndexDefinition();
    std::memcpy(bytes.data() + sizeof h, &primary, sizeof primary);
    std::memcpy(bytes.data() + sizeof h + std::size_t(TextIndexSlot) * sizeof(TIndexDefinition), &text, sizeof text);
    if (Password != nullptr) {
        Password->Encrypt(bytes.data(), sizeof h);
        Password->Encrypt(bytes.data() + sizeof h, IndexDefinitionAreaSize);
    }
    CreateFile();
    Write(0, bytes.data(), bytes.size());
    Flush();
    CloseFile();
}

const TIndexDefinition& TIndexFile::GetIndexDefinition(int slot) const
{
    return FIndexDefinitions[static_cast<std::size_t>(std::clamp(slot, 0, IndexSlotCount - 1))];
}

int32_t TIndexFile::GetRootPageNumber(int slot) const
{
    return slot >= 0 && slot < IndexSlotCount ? FHeader.RootPages[slot] : 0;
}

int32_t TIndexFile::GetDataRootPageNumber(int slot) const
{
    return slot >= 0 && slot < IndexSlotCount ? FHeader.DataRootPages[slot] : 0;
}

int32_t TIndexFile::GetNextFreePageNumber() const
{
    return FHeader.NextFreePage != 0 ? FHeader.NextFreePage : FHeader.NextEndingPage;
}

namespace {

std::string upperName(const TIndexDefinition& d)
{
    std::string n = ReadShortString(d.IndexName, sizeof d.IndexName, 60);
    const auto b = n.find_first_not_of(' ');
    const auto e = n.find_last_not_of(' ');
    n = b == std::string::npos ? std::string() : n.substr(b, e - b + 1);
    std::transform(n.begin(), n.end(), n.begin(), platform::UpperAnsiDefault);
    return n;
}

} // namespace

bool TIndexFile::IndexExists(const std::string& name) const
{
    std::string want = name;
    std::transform(want.begin(), want.end(), want.begin(), platform::UpperAnsiDefault);
    for (int slot = 0; slot <= FHeader.IndexCount; ++slot)
        if (upperName(FIndexDefinitions[static_cast<std::size_t>(slot)]) == want)
            return true;
    return upperName(FIndexDefinitions[TextIndexSlot]) == want;
}

void TIndexFile::CheckHeader()
{
    const int32_t ending = FHeader.NextEndingPage;
    const auto validPage = [ending](int32_t p) {
        return (ending == 1 && p == 0) || (ending > 1 && p >= 0 && p <= ending - 1);
    };
    if (ending < 1 || !validPage(FHeader.NextFreePage))
        RaiseError(TBL_HEADERCORRUPT);
    const auto fieldByNum = [this](uint16_t num) -> const TFieldDefinition* {
        if (FDataFile == nullptr)
            return nullptr;
        for (const TFieldDefinition& f : FDataFile->FieldDefinitions)
            if (f.FieldNum == num)
                return &f;
        return nullptr;
    };
    std::vector<std::string> names;
    for (int j = 0; j <= FHeader.IndexCount; ++j) {
        const TIndexDefinition& d = FIndexDefinitions[static_cast<std::size_t>(j)];
        const std::size_t nameLength = ShortStringLength(d.IndexName);
        if (j >= 1) {
            if (nameLength < 1 || nameLength > 60 || !ValidNameStart(static_cast<unsigned char>(d.IndexName[1])))
                RaiseError(TBL_HEADERCORRUPT);
            const std::string n = upperName(d);
            if (std::find(names.begin(), names.end(), n) != names.end())
                RaiseError(TBL_HEADERCORRUPT);
            names.push_back(n);
        } else if (nameLength != 0 || d.KeyUnique != 1 || d.KeyFields[0] == 0) {
            RaiseError(TBL_HEADERCORRUPT);
        }
        if (d.KeyFieldCount < 1 || d.KeyFieldCount > 128)
            RaiseError(TBL_HEADERCORRUPT);
        uint32_t sum = 0;
        bool ended = false;
        for (int k = 0; k < 128; ++k) {
            const uint16_t f = d.KeyFields[k];
            if (f == 0) {
                ended = true;
                continue;
            }
            if (ended)
                RaiseError(TBL_HEADERCORRUPT);
            if (f == RecordIDFieldNum) {
                sum += 5;
            } else if (f == RecordHashFieldNum) {
                sum += 17;
            } else {
                const TFieldDefinition* fd = fieldByNum(f);
                if (fd == nullptr || fd->DataType == dtBlob)
                    RaiseError(TBL_HEADERCORRUPT);
                uint32_t width = fd->DataSize;
                switch (fd->DataType) {
                case dtDate:
                case dtInteger:
                case dtTime: width = 4; break;
                case dtSmallInt:
                case dtBoolean:
                case dtWord: width = 2; break;
                case dtLargeInt:
                case dtFloat:
                case dtTimeStamp:
                case dtBCD: width = 8; break;
                default: break;
                }
                sum += width + 1;
            }
        }
        if (sum < 1 || sum > 4106 || sum > static_cast<uint32_t>(FPageSize - 13) / 3)
            RaiseError(TBL_HEADERCORRUPT);
        // The key is built from exactly these fields (and the record ID of a non-unique index); the page
        // decoder sizes its entries by KeySize, so it must be the one the fields give.
        if (d.KeySize != sum + (d.KeyUnique != 0 ? 0u : 4u))
            RaiseError(TBL_HEADERCORRUPT);
        if (!validPage(FHeader.RootPages[j]) || !validPage(FHeader.DataRootPages[j]))
            RaiseError(TBL_HEADERCORRUPT);
    }
    const TIndexDefinition& t = FIndexDefinitions[TextIndexSlot];
    if (t.KeyFieldCount > 128 || upperName(t) != "SYS TEXT" || t.KeySize != 68 || t.KeyCompressionType != icFull ||
        t.NoKeyStatistics != 1)
        RaiseError(TBL_HEADERCORRUPT);
    for (int k = 0; k < t.KeyFieldCount; ++k) {
        const TFieldDefinition* fd = fieldByNum(t.KeyFields[k]);
        if (fd == nullptr || !(fd->DataType == dtString || (fd->DataType == dtBlob && fd->SubType == stMemo)))
            RaiseError(TBL_HEADERCORRUPT);
    }
    if (!validPage(FHeader.RootPages[TextIndexSlot]) || !validPage(FHeader.DataRootPages[TextIndexSlot]))
        RaiseError(TBL_HEADERCORRUPT);
}

} // namespace tableengine
