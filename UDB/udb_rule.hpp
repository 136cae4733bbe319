#pragma once
// Extension point for optional conversion rules that would override column types and value
// literals. Nothing installs rules today; the type mapping and column definitions ask the hook
// first so that rules can be added without touching them.

#include <memory>
#include <string>
#include <vector>

struct t_ftd;
class udb_field;

/// One conversion rule.
class udb_rule {
public:
    virtual ~udb_rule() = default;
    virtual bool accepts(const udb_field& value) const = 0;
    virtual bool accepts(const t_ftd& column) const = 0;
    /// The literal for a value this rule accepts.
    virtual std::u16string value_literal(const udb_field& value) const = 0;
    /// The destination column type for a column this rule accepts.
    virtual std::u16string column_type(const t_ftd& column) const = 0;
};

using udb_rule_list = std::vector<std::unique_ptr<udb_rule>>;

/// The process-wide rule list, absent until installed.
class udb_custom_conversion {
public:
    /// Replaces the rule list (an empty list counts as installed); for extensions and tests.
    static void install(udb_rule_list rules);
    /// Back to "no rule list".
    static void uninstall() noexcept;

    /// Whether some rule accepts the column / the value.
    static bool is_acceptable1(const t_ftd& column);
    static bool is_acceptable2(const udb_field& value);
    /// The column type from the first accepting rule; empty when none accepts.
    static std::u16string handle1(const t_ftd& column);
    /// The literal from the first accepting rule; empty when no list is installed. With a list
    /// and no accepting rule it is an internal assertion (udb_rule 88): ask is_acceptable2 first.
    static std::u16string handle2(const udb_field& value);
};
