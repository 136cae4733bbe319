#pragma once
// The one value type of the engine: every cell, default value and literal travels as an
// ole_variant. Tags are the OLE Automation type codes, stored and compared as such everywhere.

#include "tk_excp.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

/// Type codes (VARTYPE numbering).
enum ole_vt : std::uint16_t {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_DECIMAL = 14,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_SAFEARRAY = 27,
    VT_LPSTR = 30,       ///< narrow text; in column descriptors only, never a cell's own tag
    VT_LPWSTR = 31,      ///< wide text; likewise
    VT_BLOB = 65,
    VT_BLOB_OBJECT = 70, ///< a binary object; likewise
    VT_ARRAY = 0x2000,
    VT_BYTES = VT_ARRAY | VT_UI1, ///< 8209: one-dimensional byte array
};

/// Calendar time in the platform's SYSTEMTIME field order, then the whole fraction of the
/// second: SYSTEMTIME's milliseconds are too coarse for database timestamps.
struct ole_systemtime {
    std::uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
    std::uint32_t microseconds = 0; ///< 0-999999; milliseconds is its first three digits
    friend bool operator==(const ole_systemtime&, const ole_systemtime&) = default;
};

/// Currency: a signed count of ten-thousandths (tag 6).
struct ole_currency {
    std::int64_t value = 0;
    friend bool operator==(const ole_currency&, const ole_currency&) = default;
};

/// Exact decimal (tag 14): a 128-bit magnitude, a scale of 0 to 38 and a sign. Wide enough that
/// every DB2 DECIMAL(31, s) and every decimal DECFLOAT payload stays exact.
struct ole_decimal {
    unsigned __int128 magnitude = 0;
    std::uint8_t scale = 0;
    bool negative = false;

    static constexpr int max_scale = 38;
    /// Parses "[-+]digits[.digits]" (point only, no exponent needed by callers but accepted;
    /// blanks around it allowed). The scale is the text's fraction digits; fraction digits beyond
    /// scale 38 or beyond 128 bits are rounded half to even. False when the text is no number
    /// or its integer part does not fit.
    static bool parse(std::string_view text, ole_decimal& out);
    /// Exact text: "-" when negative, digits, "." and exactly `scale` fraction digits.
    std::string to_string() const;
    /// to_string appended to `out`.
    void append_to(std::string& out) const;
    /// Nearest double.
    double to_double() const;
    friend bool operator==(const ole_decimal&, const ole_decimal&) = default;
};

/// The value type has no tag handling for an operation: "The operating type is not supported yet".
class ole_type_exception : public tk_exception {
public:
    ole_type_exception();
};

/// A tagged value. Construction does no allocation except for text and byte arrays, since a
/// variant is built and destroyed once per cell. Every constructor traces at level 1.
class ole_variant {
public:
    ole_variant() noexcept {}
    explicit ole_variant(bool value);
    explicit ole_variant(char value);
    explicit ole_variant(signed char value);
    explicit ole_variant(unsigned char value);
    explicit ole_variant(short value);
    explicit ole_variant(unsigned short value);
    explicit ole_variant(int value);
    explicit ole_variant(unsigned int value);
    explicit ole_variant(long value);               ///< tag 20 (64-bit)
    explicit ole_variant(long long value);          ///< tag 20
    explicit ole_variant(unsigned long value);      ///< tag 21
    explicit ole_variant(unsigned long long value); ///< tag 21
    explicit ole_variant(float value);
    explicit ole_variant(double value);
    explicit ole_variant(const ole_currency& value);
    explicit ole_variant(const ole_decimal& value);
    /// Wide text, null-terminated (tag 8); null gives an empty text.
    explicit ole_variant(const char16_t* text);
    /// Wide text that may hold NULs (tag 8); moved in, not copied.
    explicit ole_variant(std::u16string text);
    /// Narrow text in the process code page, through attach_string (tag 8).
    explicit ole_variant(const char* text);
    explicit ole_variant(const std::string& text);
    explicit ole_variant(const ole_systemtime& time);
    ole_variant(std::size_t count, const std::uint8_t* bytes); ///< tag 8209 via attach_binary
    explicit ole_variant(const std::vector<std::uint8_t>& bytes);
    /// Byte array moved in (tag 8209); the per-row path of binary columns.
    explicit ole_variant(std::vector<std::uint8_t>&& bytes);

    ole_variant(const ole_variant& other);
    ole_variant(ole_variant&& other) noexcept;
    ole_variant& operator=(const ole_variant& other);
    ole_variant& operator=(ole_variant&& other) noexcept;
    virtual ~ole_variant();

    /// Narrow text form (the literal body destinations write); see the tag table.
    virtual std::string to_string() const;
    /// Appends to_string() of an integer, a finite float or a decimal and returns true; any
    /// other value appends nothing and returns false. For statement writers, which then need no
    /// text on the side and no check that the text is a number.
    bool append_number(std::string& out) const;
    /// Wide text form: the text itself for tag 8, else to_string() widened.
    virtual std::u16string to_wstring() const;

    /// A variant of the wanted tag built from text. Empty text gives tag 0 (tag 8: empty text).
    static ole_variant from_string(std::string_view text, std::uint16_t type);
    static ole_variant from_wstring(std::u16string_view text, std::uint16_t type);

    std::int32_t to_long() const;
    double to_double() const;
    bool to_bool() const;
    /// Byte count of a byte array and its first byte in `data` (tags 0/1: 0 bytes).
    std::size_t get_bytes(const std::uint8_t*& data) const;

    void allocate_safe_array(std::size_t size);
    void attach_binary(std::size_t count, const std::uint8_t* bytes);
    void attach_binary(const std::vector<std::uint8_t>& bytes);
    void attach_string(std::string_view text);

    std::uint16_t vt() const noexcept { return vt_; }
    bool is_empty_or_null() const noexcept { return vt_ == VT_EMPTY || vt_ == VT_NULL; }
    /// Calendar slot; all zero unless the tag is 7.
    ole_systemtime get_time() const noexcept { return vt_ == VT_DATE ? time_ : ole_systemtime{}; }

    // Payload readers for writers that format a tag directly; each is meaningful only for its tag.
    std::int16_t i2() const noexcept { return v_.i2; }
    std::int32_t i4() const noexcept { return v_.i4; }
    float r4() const noexcept { return v_.r4; }
    double r8() const noexcept { return v_.r8; }
    std::int8_t i1() const noexcept { return v_.i1; }
    std::uint8_t ui1() const noexcept { return v_.ui1; }
    std::uint16_t ui2() const noexcept { return v_.ui2; }
    std::uint32_t ui4() const noexcept { return v_.ui4; }
    std::int16_t boolean() const noexcept { return v_.boolean; }
    std::int64_t i8() const noexcept { return i8_; }
    std::uint64_t ui8() const noexcept { return ui8_; }
    ole_currency currency() const noexcept { return ole_currency{v_.cy}; }
    const ole_decimal& decimal() const noexcept { return dec_; }
    /// Text of tag 8 (empty for other tags).
    const std::u16string& text() const noexcept { return text_; }
    const std::vector<std::uint8_t>& bytes() const noexcept { return bytes_; }

    /// Element count of a one-dimensional array: upper - lower + 1, or 0 when upper < lower.
    static std::size_t get_safe_array_size(long lower, long upper);

private:
    void clear() noexcept;
    /// A tag 22/23 value: the generic change of type is the only producer.
    static ole_variant make_int(std::uint16_t type, std::uint32_t value);
    /// The generic change of type of `text` to `type`, into the empty variant `v`.
    static bool change_text_type(ole_variant& v, std::string_view text, std::uint16_t type);

    std::int64_t i8_ = 0;        // tag 20
    std::uint64_t ui8_ = 0;      // tag 21
    ole_systemtime time_{};      // tag 7
    std::uint16_t vt_ = VT_EMPTY;
    union payload {
        std::int16_t i2;
        std::int32_t i4;
        float r4;
        double r8;
        std::int64_t cy;
        std::int16_t boolean;
        std::int8_t i1;
        std::uint8_t ui1;
        std::uint16_t ui2;
        std::uint32_t ui4;
    } v_{};
    ole_decimal dec_{};                // tag 14
    std::u16string text_;              // tag 8
    std::vector<std::uint8_t> bytes_;  // tag 8209 (and 27 before a copy)
};

/// Finds a GUID inside a text (the braced form after the first "guid" or "GUID").
class ole_guid_extractor {
public:
    explicit ole_guid_extractor(std::string_view text);
    explicit ole_guid_extractor(std::u16string_view text);
    bool found() const noexcept { return found_; }
    /// The 38-character braced form.
    const std::string& braced() const noexcept { return braced_; }
    /// The 32 hexadecimal digits without braces and dashes.
    std::string hex() const;
    std::u16string whex() const;

private:
    void extract(std::string_view text);
    bool found_ = false;
    std::string braced_;
};

/// Process-wide boolean style: 1 spells true as "-1", anything else as "1". Both programs run
/// without a style object, which is style 0.
int ole_bool_style() noexcept;
void ole_set_bool_style(int style) noexcept;
