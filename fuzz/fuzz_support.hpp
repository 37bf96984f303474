// Shared helpers of the fuzz targets: stop at the first broken invariant.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/column_table.hpp"

namespace zorv::fuzz {

inline void require(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "broken invariant: %s\n", what);
        std::abort();
    }
}

inline std::string_view as_text(const unsigned char* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Names are never empty and every column has the same length.
inline void check_table(const ColumnTable& table) {
    for (const auto& [name, values] : table.columns) {
        require(!name.empty(), "column name is not empty");
        require(values.size() == table.columns.front().second.size(), "columns have equal length");
    }
}

}  // namespace zorv::fuzz
