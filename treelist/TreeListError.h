// The error raised by the columned tree view for invalid column indexes.
#pragma once

#include <stdexcept>

namespace treelist {

class ETreeListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace treelist
