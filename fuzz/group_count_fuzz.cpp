// Raw bytes as a LAMMPS log; the first byte says how many of the next bytes
// form the group name.
#include <algorithm>

#include "fuzz_support.hpp"
#include "readers/utf8_check.hpp"
#include "readers/value_readers.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t name_size = std::min<std::size_t>(data[0] % 16, size - 1);
    const std::string_view name = zorv::fuzz::as_text(data + 1, name_size);
    const std::string_view text = zorv::fuzz::as_text(data + 1 + name_size, size - 1 - name_size);
    if (!zorv::readers::is_well_formed_utf8(text)) return 0;
    const auto count = zorv::readers::read_group_count_text(text, "fuzz.log", name);
    zorv::fuzz::require(count.ok() || count.error().kind == zorv::ErrorKind::ValueError, "ValueError only");
    return 0;
}
