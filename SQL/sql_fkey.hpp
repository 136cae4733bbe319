#pragma once
// Which of the source's foreign keys a MySQL destination (a server or a dump file) writes, and
// under which names. DB2 scopes a constraint name to its table and allows 128 characters;
// MySQL wants it unique in the database and at most 64 characters long. A key can only be
// written when both of its tables were created by this run: a key towards any other table
// (another schema, not selected, failed, kept from an earlier run) would dangle or would bind
// rows the run never compared.

#include "sql_engi.hpp"
#include "udb_db.hpp"

#include <functional>
#include <memory>
#include <string>
#include <vector>

/// A foreign key in destination names, ready to be written.
struct sql_fk_definition {
    std::u16string name;        ///< constraint name: acceptable and unique in the database
    std::u16string child;       ///< destination table names
    std::u16string parent;
    udb_names child_fields;     ///< destination column names, paired by position
    udb_names parent_fields;
    std::u16string rule_clause; ///< as the source gave it
    const udb_foreign_key* source = nullptr; ///< the key it was made from (owned by the caller's list)
};

/// What became of a table in this run, as far as the destination knows.
enum class sql_fk_table {
    absent,  ///< not in the destination
    kept,    ///< exists from before and was kept as it is (skipped or merged into)
    created, ///< created by this run
};

/// The keys of `keys` that the destination writes, in list order, in destination names.
/// `names` holds the destination's table mappings (renamed tables only) and column maps;
/// `state` tells what became of a destination table. `validator` checks constraint names (the
/// session's index-name rules); `taken` are constraint names the database already uses for
/// tables this run did not create. A key whose child table was kept is left alone (traced: it
/// was written by the run that created the table); any other key that cannot be written is
/// reported once through the error handler, as a failure of that key (level 0), and counted
/// in `*skipped` when it is given.
std::vector<sql_fk_definition> sql_plan_foreign_keys(const udb_relationships& keys, const udb_names_map& names,
                                                     const std::function<sql_fk_table(const std::u16string&)>& state,
                                                     udb_validator& validator,
                                                     const std::vector<std::u16string>& taken,
                                                     int* skipped = nullptr);

/// "ALTER TABLE child ADD CONSTRAINT name FOREIGN KEY(columns) REFERENCES parent(columns)"
/// with the rule clause after it, every name quoted for `engine`'s server; no terminator.
std::u16string sql_fk_statement(const sql_fk_definition& key, const sql_engine& engine);
