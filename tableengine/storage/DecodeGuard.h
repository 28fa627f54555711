// Decoding a table's files never lets an exception of the library out of the engine: memory that runs out
// is the system's error (11016), and a size or position the library refuses (std::length_error,
// std::out_of_range) can only come from a damaged number, so it is the file's corrupt error (8962, 8965 or
// 8963). Every decoder sizes its allocations by numbers it has checked against what the file can hold; this
// guard keeps what still goes wrong (a machine short of memory) an engine error with the right code.
#pragma once

#include "tableengine/storage/BufferedFile.h"
#include "tableengine/format/EngineError.h"

#include <new>
#include <stdexcept>
#include <utility>

namespace tableengine {

template <typename Step> void DecodeGuarded(TBufferedFile& file, Step&& step)
{
    try {
        std::forward<Step>(step)();
    } catch (const std::bad_alloc&) {
        file.RaiseError(TBL_OSENOMEM);
    } catch (const std::length_error&) {
        file.RaiseBufferCorrupt();
    } catch (const std::out_of_range&) {
        file.RaiseBufferCorrupt();
    }
}

} // namespace tableengine
