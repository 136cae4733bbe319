// Text to a variant of every tag, then through every reader: only the documented exceptions
// may come out, and copies must survive their originals.
#include "ole_var.hpp"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {
constexpr std::uint16_t tags[] = {VT_EMPTY, VT_NULL, VT_I2,  VT_I4,  VT_R4,  VT_R8,   VT_CY,  VT_DATE,
                                  VT_BSTR,  VT_ERROR, VT_BOOL, VT_DECIMAL, VT_I1, VT_UI1, VT_UI2, VT_UI4,
                                  VT_I8,    VT_UI8, VT_INT, VT_UINT, VT_SAFEARRAY, VT_BLOB, VT_BYTES, 0xFFFF};
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint16_t tag = tags[data[0] % (sizeof tags / sizeof tags[0])];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    ole_variant v;
    try {
        v = ole_variant::from_string(text, tag);
    } catch (const ole_type_exception&) {
        return 0;
    } catch (const tk_exception&) {
        return 0; // text that does not convert from the process code page
    }
    const ole_variant copy(v);
    ole_variant assigned;
    assigned = copy;
    (void)assigned.to_string();
    (void)assigned.to_wstring();
    try { (void)v.to_long(); } catch (const tk_mail_assertion&) {}
    try { (void)v.to_double(); } catch (const tk_mail_assertion&) {}
    try { (void)v.to_bool(); } catch (const tk_mail_assertion&) {}
    const std::uint8_t* bytes = nullptr;
    try {
        const std::size_t n = v.get_bytes(bytes);
        std::uint32_t sum = 0;
        for (std::size_t k = 0; k < n; ++k) sum += bytes[k];
        (void)sum;
    } catch (const tk_mail_assertion&) {}
    if (v.vt() == VT_DECIMAL) {
        ole_decimal back;
        if (!ole_decimal::parse(v.decimal().to_string(), back) || !(back == v.decimal())) __builtin_trap();
    }
    if (v.vt() == VT_R8 && std::isfinite(v.r8())) {
        if (ole_variant::from_string(v.to_string(), VT_R8).r8() != v.r8()) __builtin_trap();
    }
    ole_guid_extractor guid(text);
    if (guid.found()) (void)guid.hex();
    return 0;
}
