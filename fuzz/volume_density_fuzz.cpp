// Raw bytes as a volume or density file.
#include "fuzz_support.hpp"
#include "readers/utf8_check.hpp"
#include "readers/value_readers.hpp"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
    const std::string_view text = zorv::fuzz::as_text(data, size);
    if (!zorv::readers::is_well_formed_utf8(text)) return 0;
    const zorv::Result<double> value = zorv::readers::parse_volume_density_text(text, "fuzz.dat");
    zorv::fuzz::require(value.ok() || value.error().kind == zorv::ErrorKind::ValueError, "ValueError only");
    return 0;
}
