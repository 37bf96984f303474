// An ordered mapping from column name to values, as the table readers build it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/float_array.hpp"

namespace zorv {

// Columns in header order, all of equal length. A name may occur more than
// once; the Python dict built from it keeps the first position and the later
// values, exactly as assigning the pairs in order into a dict would.
struct ColumnTable {
    std::vector<std::pair<std::string, FloatArray>> columns;
};

}  // namespace zorv
