// Strict UTF-8 well-formedness, the gate every input file passes first.
#pragma once

#include <string_view>

namespace zorv::readers {

// True when the bytes are well-formed UTF-8 as a whole: no overlong forms,
// no encoded surrogates, nothing above U+10FFFF, no truncated sequence.
bool is_well_formed_utf8(std::string_view bytes) noexcept;

}  // namespace zorv::readers
