// Raw bytes as a file for parse_zorv_file: any bytes give a table or an error,
// and the table is named by the header a plain walk over every line finds.
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "readers/text_scan.hpp"
#include "readers/transport_reader.hpp"
#include "readers/utf8_check.hpp"

namespace {

using namespace zorv::readers;

// The names of the last line starting with "#Time" after white space, else of line 0.
std::vector<std::string> reference_names(std::string_view text) {
    const std::vector<std::string_view> lines = split_lines(text);
    std::string_view header = lines.front();
    for (const std::string_view line : lines) {
        if (trim_leading_white_space(line).starts_with("#Time")) header = line;
    }
    const std::string cleaned = clean_line(header);
    std::vector<std::string> names;
    for (const std::string_view token : split_tokens(cleaned)) names.emplace_back(token);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text = zorv::fuzz::as_text(data, size);
    if (!is_well_formed_utf8(text)) return 0;  // the read fails before the reader runs
    const zorv::Result<zorv::ColumnTable> table = parse_zorv_text(text, "fuzz.dat");
    if (!table.ok()) return 0;
    zorv::fuzz::check_table(table.value());
    const std::vector<std::string> names = reference_names(text);
    zorv::fuzz::require(names.size() == table.value().columns.size(), "as many columns as header names");
    for (std::size_t k = 0; k < names.size(); ++k) {
        zorv::fuzz::require(names[k] == table.value().columns[k].first, "columns named by the header");
    }
    return 0;
}
