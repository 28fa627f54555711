#include "tableengine/TblField.h"

#include "tableengine/TblBlobStream.h"
#include "tableengine/TblTable.h"
#include "tableengine/cursor/DataCursor.h"
#include "tableengine/format/DataTypes.h"
#include "tableengine/format/EngineError.h"

#include <cstring>
#include <string_view>

namespace tableengine {

TTblField::TTblField(TTblTable& table, int fieldNum, std::string name, TFieldType type, uint16_t size, bool required,
                     const TFieldDefinition* definition, std::size_t recordLength)
    : FTable(table), FFieldNum(fieldNum), FName(std::move(name)), FType(type), FSize(size), FRequired(required),
      FDefinition(definition)
{
    // The same bounds the cursor's value decoding checks; a definition outside them keeps that path and its
    // error.
    if (definition == nullptr || definition->Offset >= recordLength ||
        std::size_t(definition->Offset) + 1 + definition->DataSize > recordLength)
        return;
    FBlankAt = definition->Offset;
    FValueSize = definition->DataSize;
    if (definition->DataType == dtString)
        FDirect = drString;
    else if (definition->DataType == dtInteger && FValueSize >= sizeof(int32_t) && type != ftMemo &&
             type != ftBlob && type != ftGraphic && type != ftFmtMemo)
        FDirect = drInteger;
}

Text TTblField::FieldName() const { return platform::AnsiToText(FName); }

bool TTblField::IsNull() const
{
    if (!FTable.HasRecord())
        return true;
    bool blank = true;
    FTable.Handle()->GetField(FFieldNum, FTable.ActiveBuffer().data(), blank);
    return blank;
}

int32_t TTblField::AsInteger() const
{
    if (FDirect == drInteger) {
        if (!FTable.HasRecord())
            return 0;
        const uint8_t* record = FTable.ActiveBuffer().data();
        int32_t value = 0;
        if (record[FBlankAt] != 0)
            std::memcpy(&value, record + FBlankAt + 1, sizeof value);
        return value;
    }
    if (FType == ftMemo || FType == ftBlob || FType == ftGraphic || FType == ftFmtMemo) {
        const auto text = AsString();
        const auto n = platform::TextToInt(text);
        if (text.empty())
            return 0;
        if (!n)
            throw EConvertError("'" + platform::TextToUtf8(text) + "' is not a valid integer value");
        return static_cast<int32_t>(*n);
    }
    if (!FTable.HasRecord())
        return 0;
    const TDataCursor& c = *FTable.Handle();
    const uint8_t* record = FTable.ActiveBuffer().data();
    return tableengine::AsInteger(FDefinition != nullptr ? c.GetFieldValue(*FDefinition, record)
                                                          : c.GetFieldValue(FFieldNum, record));
}

Text TTblField::AsString() const
{
    if (!FTable.HasRecord())
        return {};
    if (FDirect == drString) {
        // Up to the first zero byte, decoded with the ANSI code page, straight into the returned text.
        const uint8_t* record = FTable.ActiveBuffer().data();
        if (record[FBlankAt] == 0)
            return {};
        return platform::AnsiFieldToText(
            std::string_view(reinterpret_cast<const char*>(record + FBlankAt + 1), FValueSize));
    }
    TDataCursor& c = *FTable.Handle();
    const TFieldDefinition& d = FDefinition != nullptr ? *FDefinition : c.GetFieldDefinition(FFieldNum);
    if (d.DataType == dtBlob) {
        if (FType != ftMemo && FType != ftFmtMemo)
            return {};
        TTblBlobStream stream(FTable, FFieldNum);
        std::string bytes(static_cast<std::size_t>(stream.Size()), '\0');
        const std::size_t got = stream.Read(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size());
        bytes.resize(got);
        return platform::AnsiToText(bytes);
    }
    return tableengine::AsString(c.GetFieldValue(d, FTable.ActiveBuffer().data()));
}

} // namespace tableengine
