#pragma once
// Names for objects written into DB2: tables, columns and indexes.

#include "udb_idx.hpp"
#include "udb_sche.hpp"
#include "udb_vali.hpp"

#include <cstdint>
#include <string>

/// DB2's rules for the names this system creates. Names are always written delimited, so the
/// rules are those of ordinary identifiers only to keep the names easy to use: a letter first,
/// then letters, digits, "#", "$" and "_". Tables, columns, indexes and constraints of DB2 LUW
/// all take 128 characters.
class db2_validator : public udb_validator {
public:
    static constexpr std::uint32_t max_name_length = 128;

    db2_validator();

    /// Not empty, within the limit, a letter first, only name characters, not restricted.
    bool is_acceptable(const std::u16string& name) const override;
    /// "A" before a name that does not start with a letter, cut to the limit, every other
    /// character made "_", then numbered by the base when still refused or taken.
    std::u16string get_safe_name(const std::u16string& name) const override;
};

/// Column names of one new table: every source column name is an existing name.
class db2_fn_validator : public db2_validator {
public:
    explicit db2_fn_validator(const udb_schema& source);
};

/// Index names: every index name of the list is an existing name.
class db2_in_validator : public db2_validator {
public:
    explicit db2_in_validator(const udb_indexes& indexes);
};
