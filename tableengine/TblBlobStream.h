// A stream over the BLOB of a field of a table's active record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tableengine {

class TTblTable;

// Reads the BLOB of a field of the table's active record; freed when destroyed.
class TTblBlobStream {
public:
    TTblBlobStream(TTblTable& table, int fieldNum);
    ~TTblBlobStream();
    TTblBlobStream(const TTblBlobStream&) = delete;
    TTblBlobStream& operator=(const TTblBlobStream&) = delete;

    std::size_t Read(uint8_t* buffer, std::size_t count);
    enum TSeekOrigin { soBeginning, soCurrent, soEnd };
    int64_t Seek(int64_t offset, TSeekOrigin origin);
    int64_t Size() const;

private:
    TTblTable& FTable;
    int FFieldNum;
    int64_t FPosition = 0;
};

} // namespace tableengine
