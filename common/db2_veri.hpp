#pragma once
// Proof of a copy: one DB2 table or query compared with its MySQL table value by value, in the
// form the destination holds after the type mapping. Both sides of every cell go through the
// writers' own literal (append_fld_str) for the MySQL column, so an exact copy compares equal
// and any loss, cut, rounding or change of a value does not.
//
// Memory stays flat whatever the table's size: each side is read once as a stream and folded
// into per-bucket digests (a bucket per hash of the row's key, or of the whole row without a
// key); only the rows of buckets whose digests differ are read again and held, a bounded
// number at a time, to name what differs.

#include "sql_db.hpp"
#include "udb_db.hpp"

#include <cstdint>
#include <string>
#include <vector>

/// The outcome of one table.
struct db2_verdict {
    std::u16string name;        ///< the source table or query
    std::u16string destination; ///< its MySQL table
    std::int64_t source_rows = 0;
    std::int64_t destination_rows = 0;
    std::int64_t missing = 0;   ///< rows of DB2 that MySQL lacks
    std::int64_t extra = 0;     ///< rows of MySQL that DB2 lacks
    std::int64_t different = 0; ///< rows of both whose values differ
    bool keyed = false;         ///< rows were matched by a key (else by their whole values)
    std::string failure;        ///< why the table could not be compared; empty when it was
    std::vector<std::string> examples; ///< the first few differences, with key and column

    bool identical() const noexcept {
        return failure.empty() && missing == 0 && extra == 0 && different == 0 && source_rows == destination_rows;
    }
};

/// Compares tables of a DB2 source with a MySQL database. Both must outlive the verifier; the
/// MySQL database's connection is used for nothing else meanwhile.
class db2_verifier {
public:
    /// Differences named per table.
    static constexpr std::size_t max_examples = 5;

    /// `round_rows`: how many rows of differing buckets are held at once (per side).
    db2_verifier(udb_database& source, sql_database& destination, std::size_t round_rows = 200000);

    /// Compares item `name` (a table, or the SELECT `query` when not empty) with the MySQL
    /// table `destination`. Failures to read either side are the verdict's `failure`, never
    /// raised, so that the other tables are still compared.
    db2_verdict verify(const std::u16string& name, const std::u16string& query, const std::u16string& destination);

private:
    udb_database& source_;
    sql_database& destination_;
    std::size_t round_rows_;
};

/// Appends the comparison form of `cell` for the MySQL `column`: its literal as the writers make
/// it, with a DECIMAL's value written without exponent, superfluous zeros or the sign of zero
/// (the destination keeps the value, not DB2's spelling of it). A value the writers refuse
/// gets a form no value has, so it never compares equal.
void db2_append_compare_form(std::string& out, const udb_field& cell, const t_ftd& column);

/// The report lines of a verdict: "Table X: identical (N rows)" or the counts, then one line
/// per example.
std::vector<std::string> db2_verdict_lines(const db2_verdict& verdict);
