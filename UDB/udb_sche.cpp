#include "udb_sche.hpp"

#include "tk_log.hpp"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

namespace {

// The source line numbers users quote in problem reports; kept stable on purpose.
constexpr int line_find_field = 312;
constexpr int line_find_field_const = 327;
constexpr int line_get_field_size = 342;
constexpr int line_get_field_type = 358;

bool is_numeric_destination(std::uint16_t vt) noexcept { return ole_type_of(vt).number_column; }

} // namespace

bool udb_name_equal(std::u16string_view a, std::u16string_view b) {
    if (a == b) return true;
    if (a.size() > INT32_MAX || b.size() > INT32_MAX) return false;
    UErrorCode status = U_ZERO_ERROR;
    const int result = u_strCaseCompare(a.data(), static_cast<int32_t>(a.size()), b.data(),
                                        static_cast<int32_t>(b.size()), U_FOLD_CASE_DEFAULT,
                                        &status);
    return U_SUCCESS(status) && result == 0;
}

bool udb_is_numeric_type(std::uint16_t vt) noexcept { return ole_type_of(vt).holds_number; }

bool udb_is_date_type(std::uint16_t vt) noexcept { return ole_type_of(vt).group == ole_type_group::date; }

bool udb_is_text_type(std::uint16_t vt) noexcept { return ole_type_of(vt).group == ole_type_group::text; }

bool udb_is_binary_type(std::uint16_t vt) noexcept { return ole_is_binary(vt); }

// ---------------------------------------------------------------------------------------------
// t_ftd

t_ftd::t_ftd(std::uint32_t size_, std::u16string name_, std::uint16_t vartype_, bool not_null,
             bool auto_increment, const ole_variant& default_value_, std::uint32_t reserved_)
    : size(size_), name(std::move(name_)), vartype(vartype_), b_auto_increment(auto_increment),
      b_not_null(not_null), default_value(default_value_), reserved(reserved_) {
    tk_trace(1, "t_ftd::ctor2");
    tk_wtrace(1, u"\tfield name='%s', vartype=%d, size=%d, b_not_null=%d, reserved=%d",
              name.c_str(), int(vartype), int(size), int(b_not_null), int(reserved));
}

t_ftd::t_ftd(const t_ftd& other) = default;
t_ftd& t_ftd::operator=(const t_ftd& other) = default;

bool t_ftd::operator==(const t_ftd& other) const {
    tk_trace(1, "t_ftd::operator ==");
    // Currency and decimal are both exact fractions.
    const auto exact = [](std::uint16_t vt) { return ole_type_of(vt).group == ole_type_group::exact; };
    if (exact(vartype) && exact(other.vartype)) return true;
    if (vartype != other.vartype) return false;
    if (vartype == VT_BSTR && size != other.size) return false;
    return true;
}

bool t_ftd::conform_to(const t_ftd& dest) const {
    tk_trace(1, "t_ftd::conform_to");
    if (*this == dest) return true;
    const std::uint16_t d = dest.vartype;
    if (is_numeric_destination(d)) return udb_is_numeric_type(vartype);
    if (udb_is_date_type(d)) return vartype == VT_DATE || (vartype == VT_BSTR && size == 19);
    if (udb_is_text_type(d)) {
        if (udb_is_text_type(vartype))
            return dest.size == 0 || size == unbounded || dest.size >= size;
        return !udb_is_binary_type(vartype);
    }
    if (udb_is_binary_type(d)) {
        if (udb_is_text_type(vartype) || udb_is_binary_type(vartype))
            return dest.size == 0 || dest.size >= size;
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// udb_schema

udb_schema::udb_schema(bool b_owner) : b_owner_(b_owner) {}

t_ftd& udb_schema::add(std::unique_ptr<t_ftd> column) {
    tk_verify(b_owner_ && column != nullptr, "udb_sche", __LINE__);
    t_ftd& ref = *column;
    columns_.reserve(columns_.size() + 1);
    owned_.push_back(std::move(column));
    columns_.push_back(&ref);
    return ref;
}

void udb_schema::add_ref(t_ftd& column) {
    tk_verify(!b_owner_, "udb_sche", __LINE__);
    columns_.push_back(&column);
}

udb_schema udb_schema::copy() const {
    udb_schema result(true);
    result.columns_.reserve(columns_.size());
    result.owned_.reserve(columns_.size());
    for (const t_ftd* column : columns_) result.add(std::make_unique<t_ftd>(*column));
    return result;
}

void udb_schema::clear() noexcept {
    columns_.clear();
    owned_.clear();
}

const t_ftd* udb_schema::lookup(const std::u16string& name) const noexcept {
    for (const t_ftd* column : columns_)
        if (udb_name_equal(column->name, name)) return column;
    return nullptr;
}

bool udb_schema::has_field(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::find_field(%s)", name.c_str());
    for (const t_ftd* column : columns_) {
        tk_wtrace(1, u"Processing %s", column->name.c_str());
        if (udb_name_equal(column->name, name)) return true;
    }
    return false;
}

t_ftd& udb_schema::find_field(const std::u16string& name) {
    tk_wtrace(1, u"udb_schema::find_field(%s)", name.c_str());
    const t_ftd* column = lookup(name);
    if (!column) throw tk_mail_assertion("udb_sche", line_find_field);
    return const_cast<t_ftd&>(*column); // every stored pointer is a non-const t_ftd*
}

const t_ftd& udb_schema::find_field(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::find_field(%s)", name.c_str());
    const t_ftd* column = lookup(name);
    if (!column) throw tk_mail_assertion("udb_sche", line_find_field_const);
    return *column;
}

std::uint32_t udb_schema::get_field_size(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::get_field_size(%s)", name.c_str());
    const t_ftd* column = lookup(name);
    if (!column) throw tk_mail_assertion("udb_sche", line_get_field_size);
    return column->size;
}

std::uint16_t udb_schema::get_field_type(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::get_field_type(%s)", name.c_str());
    const t_ftd* column = lookup(name);
    if (!column) throw tk_mail_assertion("udb_sche", line_get_field_type);
    return column->vartype;
}

bool udb_schema::conform_to(const udb_schema& dest) const {
    tk_trace(2, "udb_schema::conform_to");
    if (size() != dest.size()) {
        tk_trace(2, "Tables are not conformed: src_size=%d, dest_size=%d", int(size()),
                 int(dest.size()));
        return false;
    }
    for (std::size_t i = 0; i < size(); ++i) {
        const t_ftd& s = *columns_[i];
        const t_ftd& d = *dest.columns_[i];
        if (!s.conform_to(d)) {
            tk_trace(2, "Column #%d doesn't conform (src_vt=%u, src_size=%u, dest_vt=%u, dest_size=%u)",
                     int(i + 1), unsigned(s.vartype), unsigned(s.size), unsigned(d.vartype),
                     unsigned(d.size));
            return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// udb_field

udb_field::udb_field() { tk_trace(1, "udb_field::empty ctor"); }

udb_field::udb_field(std::u16string name_, std::uint32_t size_, const ole_variant& value,
                     bool not_null, bool auto_increment)
    : ole_variant(value), size(size_), name(std::move(name_)), b_not_null(not_null),
      b_auto_increment(auto_increment) {
    tk_trace(1, "udb_field::ctor #2");
    tk_wtrace(1, u"name=%s, size=%d", name.c_str(), int(size));
}

udb_field::udb_field(std::u16string name_, std::uint32_t size_, ole_variant&& value,
                     bool not_null, bool auto_increment)
    : ole_variant(std::move(value)), size(size_), name(std::move(name_)), b_not_null(not_null),
      b_auto_increment(auto_increment) {
    tk_trace(1, "udb_field::ctor #2");
    tk_wtrace(1, u"name=%s, size=%d", name.c_str(), int(size));
}

std::uint16_t udb_field::get_type() const {
    tk_trace(1, "ole_variant::get_type");
    return vt();
}

// ---------------------------------------------------------------------------------------------
// udb_record

udb_field& udb_record::add(std::unique_ptr<udb_field> field) {
    tk_verify(field != nullptr, "udb_sche", __LINE__);
    fields_.push_back(std::move(field));
    return *fields_.back();
}

bool udb_record::has_field(const std::u16string& name) const {
    tk_wtrace(1, u"udb_record::find_field(%s)", name.c_str());
    for (const auto& field : fields_) {
        tk_wtrace(1, u"Processing %s", field->name.c_str());
        if (udb_name_equal(field->name, name)) return true;
    }
    return false;
}

const udb_field& udb_record::find_field(const std::u16string& name) const {
    tk_wtrace(1, u"udb_schema::find_field(%s)", name.c_str());
    for (const auto& field : fields_)
        if (udb_name_equal(field->name, name)) return *field;
    static const udb_field empty;
    return empty;
}
