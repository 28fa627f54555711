#include "tableengine/TblBlobStream.h"

#include "tableengine/TblNames.h"
#include "tableengine/TblTable.h"
#include "tableengine/cursor/DataCursor.h"

#include <algorithm>

namespace tableengine {

using namespace tbl;

TTblBlobStream::TTblBlobStream(TTblTable& table, int fieldNum) : FTable(table), FFieldNum(fieldNum)
{
    if (!table.Active() || !table.HasRecord())
        Fail("No current record");
    table.Handle()->OpenBlob(fieldNum, table.ActiveBuffer().data(), bomRead);
}

TTblBlobStream::~TTblBlobStream()
{
    try {
        if (FTable.Active())
            FTable.Handle()->FreeBlob(FFieldNum, FTable.ActiveBuffer().data());
    } catch (...) {
        // the handle is the stream's own; freeing it cannot meet another state
    }
}

std::size_t TTblBlobStream::Read(uint8_t* buffer, std::size_t count)
{
    const std::size_t got = FTable.Handle()->GetBlob(FFieldNum, FTable.ActiveBuffer().data(), count, buffer,
                                                     static_cast<std::size_t>(std::max<int64_t>(FPosition, 0)));
    FPosition += static_cast<int64_t>(got);
    return got;
}

int64_t TTblBlobStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case soBeginning: FPosition = offset; break;
    case soCurrent: FPosition += offset; break;
    case soEnd: FPosition = Size() + offset; break;
    }
    FPosition = std::max<int64_t>(FPosition, 0);
    return FPosition;
}

int64_t TTblBlobStream::Size() const
{
    return FTable.Handle()->GetBlobSize(FFieldNum, FTable.ActiveBuffer().data());
}

} // namespace tableengine
