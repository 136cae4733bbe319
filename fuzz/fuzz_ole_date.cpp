// Date and time text in any shape: the parser must never crash, read out of bounds or leave
// undefined values, and whatever it accepts must print in the destination form.
#include "ole_date.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ole_date date(text);
    if (date.is_valid()) {
        const std::string printed = date.to_string();
        if (printed.size() < 10) __builtin_trap();
        date.drop_zero_time = false;
        (void)date.to_wstring();
    }
    (void)date.to_string();
    ole_date copy(date.time());
    (void)copy.to_string();
    const ole_variant v = ole_variant::from_string(text, VT_DATE);
    (void)v.to_string();
    return 0;
}
