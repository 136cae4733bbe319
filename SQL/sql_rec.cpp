#include "sql_rec.hpp"

#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <cstring>

namespace {

bool is_blob_type(int type) noexcept {
    return type == MYSQL_TYPE_TINY_BLOB || type == MYSQL_TYPE_MEDIUM_BLOB || type == MYSQL_TYPE_LONG_BLOB ||
           type == MYSQL_TYPE_BLOB;
}

// The character set number of byte strings (BINARY, VARBINARY, BLOB).
constexpr unsigned binary_charset = 63;

// Text kinds are read as UTF-8, the connection's character set; everything else (numbers,
// dates, byte strings) goes through the narrow form, which keeps every byte. A BINARY or
// VARBINARY value must not pass through UTF-8 decoding: its bytes above 0x7F would not survive.
bool is_unicode_value(const MYSQL_FIELD& field, const char* value) noexcept {
    if (!value) return false;
    if (field.type == MYSQL_TYPE_VAR_STRING || field.type == MYSQL_TYPE_STRING) {
        return field.charsetnr != binary_charset;
    }
    return is_blob_type(field.type) && (field.flags & BINARY_FLAG) == 0;
}

} // namespace

sql_field::sql_field(const std::u16string& name, int field_type, unsigned long length, unsigned flags,
                     const char16_t* data)
    : udb_field(name, std::uint32_t(length), get_variant(field_type, length, flags, data)) {
    if (!tk_log::skips(1)) {
        tk_wtrace(1, u"sql_field::ctor1(%s,%d,%d)", name.c_str(), field_type, int(length));
    }
}

sql_field::sql_field(const std::u16string& name, int field_type, unsigned long length, unsigned flags,
                     const char* data)
    : udb_field(name, std::uint32_t(length), get_variant(field_type, length, flags, data)) {
    if (!tk_log::skips(1)) {
        tk_wtrace(1, u"sql_field::ctor2(%s,%d,%d)", name.c_str(), field_type, int(length));
    }
}

std::uint16_t sql_field::get_type() const {
    tk_trace(1, "ole_variant::get_type");
    return vt();
}

sql_record::sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths, MYSQL_ROW row) {
    tk_trace(1, "sql_record::ctor (n_fields=%d)", int(n_fields));
    tk_verify(fields != nullptr, "sql_rec", __LINE__);
    reserve(n_fields);
    for (unsigned i = 0; i < n_fields; ++i) {
        const MYSQL_FIELD& field = fields[i];
        tk_trace(1, "field #%d has type %d", int(i), int(field.type));
        tk_trace(1, "BINARY FLAG=%d", int((field.flags & BINARY_FLAG) != 0));
        const char* value = row ? row[i] : nullptr;
        const std::u16string name = tk_from_utf8(std::string_view(field.name, field.name_length));
        if (is_unicode_value(field, value)) {
            tk_trace(1, "Extract as Unicode");
            // Text stops at its first zero byte, as the wide form of a C string would.
            const std::u16string text = tk_from_utf8(std::string_view(value, ::strnlen(value, lengths[i])));
            add(std::make_unique<sql_field>(name, int(field.type), (unsigned long)text.size(), field.flags,
                                            text.c_str()));
        } else {
            tk_trace(1, "Extract as ANSI");
            add(std::make_unique<sql_field>(name, int(field.type), value ? lengths[i] : 0UL, field.flags, value));
        }
    }
}
