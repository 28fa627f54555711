// The error of the table writer and of the index-page builder the index rebuild shares with it.
#pragma once

#include <stdexcept>

namespace tableengine::writer {

// A schema, a value or a size the writer cannot lay out; the message says which and why.
class WriterError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tableengine::writer
