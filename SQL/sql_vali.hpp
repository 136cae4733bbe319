#pragma once
// MySQL's name rules. Servers before 4.1.0 get names written bare, so the "old" validators
// refuse keywords and every character but letters, digits, "_" and "$"; from 4.1.0 every name
// is written between backquotes, so the "new" validators refuse only a little punctuation,
// edge blanks, and what no identifier may hold.

#include "udb_db.hpp"
#include "udb_vali.hpp"

#include <string>
#include <vector>

/// The keywords that old servers refuse as bare names (compared ignoring case).
const std::vector<std::u16string>& sql_old_keywords();

/// Old rules: at most 64 characters, no keyword, only letters and digits of any script, "_"
/// and "$", not only digits.
class sql_old_validator : public udb_validator {
public:
    sql_old_validator();
    bool is_acceptable(const std::u16string& name) const override;
    /// Other characters become "_", a name of digits only gets "_" for its first digit, then
    /// the base numbering.
    std::u16string get_safe_name(const std::u16string& name) const override;
};

/// Column names of one table; the table's columns (or the row's fields) are the existing names.
class sql_old_fn_validator : public sql_old_validator {
public:
    explicit sql_old_fn_validator(const udb_schema& schema);
    explicit sql_old_fn_validator(const udb_record& record);
};

/// Index names of one table; its indexes are the existing names.
class sql_old_in_validator : public sql_old_validator {
public:
    explicit sql_old_in_validator(const udb_indexes& indexes);
};

/// Table names; the tables to convert and the destination's tables are the existing names.
class sql_old_tn_validator : public sql_old_validator {
public:
    sql_old_tn_validator(const std::vector<std::u16string>& first, const std::vector<std::u16string>& second);
};

/// Database names: besides the old rules, not empty and not starting with a digit.
class sql_old_dn_validator : public sql_old_validator {
public:
    sql_old_dn_validator();
    bool is_acceptable(const std::u16string& name) const override;
};

/// New rules: 1 to 64 characters, no blank at either end, none of the illegal characters
/// (8 for columns and indexes, 16 for tables and databases), no control character (a dump's
/// comment line must not break), and no character outside the Basic Multilingual Plane, which
/// MySQL identifiers cannot hold.
class sql_new_validator : public udb_validator {
public:
    /// `all_illegal`: the 16-character list of table and database names.
    explicit sql_new_validator(bool all_illegal);
    bool is_acceptable(const std::u16string& name) const override;
    /// Trims edge blanks, replaces what no identifier can hold by "_", then the base rules.
    std::u16string get_safe_name(const std::u16string& name) const override;
};

/// Column names of one table (8 illegal characters); the columns or fields are the existing names.
class sql_new_fn_validator : public sql_new_validator {
public:
    explicit sql_new_fn_validator(const udb_schema& schema);
    explicit sql_new_fn_validator(const udb_record& record);
};

/// Index names of one table (8 illegal characters); its indexes are the existing names.
class sql_new_in_validator : public sql_new_validator {
public:
    explicit sql_new_in_validator(const udb_indexes& indexes);
};

/// Table names (16 illegal characters); both lists are the existing names.
class sql_new_tn_validator : public sql_new_validator {
public:
    sql_new_tn_validator(const std::vector<std::u16string>& first, const std::vector<std::u16string>& second);
};

/// Database names (16 illegal characters), without existing names.
class sql_new_dn_validator : public sql_new_validator {
public:
    sql_new_dn_validator();
};
