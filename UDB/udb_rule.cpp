#include "udb_rule.hpp"

#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "udb_sche.hpp"

#include <optional>

namespace {

constexpr int line_no_rule = 88; // quoted in problem reports; kept stable

// Absent (not merely empty) until someone installs a list: the two differ for handle2.
std::optional<udb_rule_list>& rules() {
    static std::optional<udb_rule_list> list;
    return list;
}

} // namespace

void udb_custom_conversion::install(udb_rule_list list) { rules() = std::move(list); }

void udb_custom_conversion::uninstall() noexcept { rules().reset(); }

bool udb_custom_conversion::is_acceptable1(const t_ftd& column) {
    tk_trace(1, "udb_custom_conversion::is_acceptable1");
    if (!rules()) return false;
    for (const auto& rule : *rules())
        if (rule->accepts(column)) return true;
    return false;
}

bool udb_custom_conversion::is_acceptable2(const udb_field& value) {
    tk_trace(1, "udb_custom_conversion::is_acceptable2");
    if (!rules()) return false;
    for (const auto& rule : *rules())
        if (rule->accepts(value)) return true;
    return false;
}

std::u16string udb_custom_conversion::handle1(const t_ftd& column) {
    tk_trace(1, "udb_custom_conversion::handle1");
    if (!rules()) return {};
    for (const auto& rule : *rules())
        if (rule->accepts(column)) return rule->column_type(column);
    return {};
}

std::u16string udb_custom_conversion::handle2(const udb_field& value) {
    tk_trace(1, "udb_custom_conversion::handle2");
    if (!rules()) return {};
    for (const auto& rule : *rules())
        if (rule->accepts(value)) return rule->value_literal(value);
    throw tk_mail_assertion("udb_rule", line_no_rule);
}
