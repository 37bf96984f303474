// Raw bytes as a file for parse_thermoprop: any bytes give a table or an error.
#include "fuzz_support.hpp"
#include "readers/fix_table_readers.hpp"
#include "readers/utf8_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text = zorv::fuzz::as_text(data, size);
    if (!zorv::readers::is_well_formed_utf8(text)) return 0;  // the read fails before the reader runs
    const zorv::Result<zorv::ColumnTable> table = zorv::readers::parse_thermoprop_text(text, "fuzz.dat");
    if (table.ok()) zorv::fuzz::check_table(table.value());
    return 0;
}
