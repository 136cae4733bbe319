#include "db2_veri.hpp"

#include "sql_engi.hpp"
#include "sql_util.hpp"
#include "tk_excp.hpp"
#include "tk_log.hpp"
#include "tk_utils.hpp"

#include <algorithm>
#include <cstring>
#include <unordered_map>

namespace {

// A form no literal has: a value the writers refuse never equals what the destination holds.
constexpr std::string_view refused_form = "\x01refused";

// The plain decimal form of a number literal: no exponent, no leading or trailing zeros, no
// sign on zero. False (nothing appended) for text that is no plain number.
bool append_plain_number(std::string& out, std::string_view t) {
    std::size_t i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
    const std::size_t digits_from = i;
    long point = -1, count = 0;
    for (; i < t.size(); ++i) {
        if (t[i] >= '0' && t[i] <= '9') ++count;
        else if (t[i] == '.' && point < 0) point = count;
        else break;
    }
    const std::size_t digits_end = i;
    if (count == 0) return false;
    if (point < 0) point = count;
    long exponent = 0;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool exp_negative = false;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) exp_negative = t[i++] == '-';
        const std::size_t exp_from = i;
        for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) exponent = std::min(exponent * 10 + (t[i] - '0'), 100000L);
        if (i == exp_from) return false;
        if (exp_negative) exponent = -exponent;
    }
    if (i != t.size()) return false;
    // The significant digits, without the point; `point` digits stand before it.
    std::string_view raw = t.substr(digits_from, digits_end - digits_from);
    std::size_t first = 0, last = raw.size();
    long position = 0; // digits seen before `first`
    while (first < last && (raw[first] == '0' || raw[first] == '.')) position += raw[first++] == '0';
    while (last > first && (raw[last - 1] == '0' || raw[last - 1] == '.')) --last;
    if (first == last) {
        out += '0';
        return true;
    }
    point += exponent - position;
    if (negative) out += '-';
    long emitted = 0;
    if (point <= 0) {
        out += "0.";
        out.append(std::size_t(-point), '0');
    }
    for (std::size_t k = first; k < last; ++k) {
        if (raw[k] == '.') continue;
        if (emitted == point && point > 0) out += '.';
        out += raw[k];
        ++emitted;
    }
    if (emitted < point) out.append(std::size_t(point - emitted), '0');
    return true;
}

// Row hashing: 64-bit words folded by multiply and shift, then a full avalanche; two seeds give
// the two independent lanes of a row's digest, a third the bucket.
constexpr std::uint64_t seed_bucket = 0x243F6A8885A308D3ULL;
constexpr std::uint64_t seed_lane1 = 0x13198A2E03707344ULL;
constexpr std::uint64_t seed_lane2 = 0xA4093822299F31D0ULL;

std::uint64_t avalanche(std::uint64_t h) noexcept {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
}

std::uint64_t hash_bytes(std::string_view s, std::uint64_t seed) noexcept {
    std::uint64_t h = seed ^ (s.size() * 0x9E3779B97F4A7C15ULL);
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
        h ^= h >> 29;
    }
    std::uint64_t w = 0;
    std::memcpy(&w, s.data() + i, s.size() - i);
    return avalanche(h ^ w ^ (std::uint64_t(s.size() - i) << 56));
}

// One row in comparison form: every column's form behind its 4-byte length, in the MySQL
// table's column order, and the key columns' forms likewise. Reused row after row.
struct row_form {
    std::string row;
    std::string key;

    void clear() noexcept {
        row.clear();
        key.clear();
    }
    void add(const udb_field& cell, const t_ftd& column, bool in_key) {
        const std::size_t at = row.size();
        row.append(4, '\0');
        db2_append_compare_form(row, cell, column);
        const std::uint32_t length = std::uint32_t(row.size() - at - 4);
        std::memcpy(row.data() + at, &length, 4);
        if (in_key) key.append(row, at, row.size() - at);
    }
};

// The column forms of a row_form's text.
std::vector<std::string_view> split_forms(std::string_view text) {
    std::vector<std::string_view> parts;
    while (text.size() >= 4) {
        std::uint32_t length;
        std::memcpy(&length, text.data(), 4);
        parts.push_back(text.substr(4, length));
        text.remove_prefix(4 + length);
    }
    return parts;
}

// A form as a report shows it: printable, and cut to a readable length.
std::string shown(std::string_view form) {
    if (form == refused_form) return "(refused by the writers)";
    std::string out;
    for (unsigned char c : form.substr(0, 60)) {
        if (c < 0x20) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += char(c);
        }
    }
    if (form.size() > 60) out += "...";
    return out;
}

// Digest of the rows that fall into one bucket.
struct bucket {
    std::uint64_t lane1 = 0, lane2 = 0;
    std::uint32_t rows = 0;
    bool operator==(const bucket&) const = default;
};

// Rows of a table without a key held to be paired as changed rows: pairing is quadratic, and a
// report has use for few.
constexpr std::size_t pair_limit = 1000;

// What a pass that names differences does with a bucket's rows.
constexpr std::uint8_t not_in_round = 0;
constexpr std::uint8_t compared = 1;    // held and matched with the other side's
constexpr std::uint8_t all_missing = 2; // the destination has none of the bucket's rows
constexpr std::uint8_t all_extra = 3;   // the source has none of them

// Everything the passes over one table share.
struct table_plan {
    udb_schema columns{true};              // the MySQL table's, as its writer sees them
    std::vector<std::size_t> source_field; // per MySQL column, its field in the source record
    std::vector<bool> in_key;              // per MySQL column
    std::vector<std::size_t> key_columns;  // MySQL columns of the key, in key order
    std::string select;                    // the MySQL side's SELECT, UTF-8
    std::size_t bucket_mask = 0;

    std::size_t bucket_of(const row_form& r) const noexcept {
        return std::size_t(hash_bytes(key_columns.empty() ? r.row : r.key, seed_bucket)) & bucket_mask;
    }

    // "K=1, L='x'" for a key, or the first columns of a row without one.
    std::string identify(std::string_view row) const {
        const std::vector<std::string_view> parts = split_forms(row);
        std::string out;
        const auto name_value = [&](std::size_t c) {
            if (!out.empty()) out += ", ";
            out += tk_to_utf8(columns[c].name) + "=" + shown(parts[c]);
        };
        if (!key_columns.empty()) {
            for (std::size_t c : key_columns) name_value(c);
            return out;
        }
        for (std::size_t c = 0; c < parts.size() && c < 3; ++c) name_value(c);
        if (parts.size() > 3) out += ", ...";
        return "(" + out + ")";
    }

    // The first column in which two rows differ with both forms, then the other differing
    // columns by name; `count` receives how many columns differ.
    std::string first_difference(std::string_view source_row, std::string_view destination_row, int* count) const {
        const std::vector<std::string_view> a = split_forms(source_row), b = split_forms(destination_row);
        std::string out;
        int differing = 0;
        for (std::size_t c = 0; c < a.size() && c < b.size(); ++c) {
            if (a[c] == b[c]) continue;
            const std::string name = tk_to_utf8(columns[c].name);
            if (differing++ == 0) out = "column " + name + ": DB2 " + shown(a[c]) + ", MySQL " + shown(b[c]);
            else out += (differing == 2 ? "; also " : ", ") + name;
        }
        if (count) *count = differing;
        return out;
    }
};

void add_example(db2_verdict& v, std::string text) {
    if (v.examples.size() < db2_verifier::max_examples) v.examples.push_back(std::move(text));
}

class table_check {
public:
    table_check(udb_database& source, sql_database& destination, std::size_t round_rows, db2_verdict& verdict,
                const std::u16string& query)
        : source_(source), destination_(destination), round_rows_(round_rows), v_(verdict), query_(query) {}

    void run() {
        std::unique_ptr<udb_recordset> reader = open_source();
        plan(*reader);
        std::vector<bucket> source_buckets(plan_.bucket_mask + 1), destination_buckets(plan_.bucket_mask + 1);
        const auto fold = [this](std::vector<bucket>& buckets, std::int64_t& rows) {
            return [this, b = &buckets, n = &rows](const row_form& r) {
                bucket& into = (*b)[plan_.bucket_of(r)];
                into.lane1 += hash_bytes(r.row, seed_lane1);
                into.lane2 += hash_bytes(r.row, seed_lane2);
                ++into.rows;
                ++*n;
            };
        };
        read_source(*reader, fold(source_buckets, v_.source_rows));
        reader.reset();
        read_destination(fold(destination_buckets, v_.destination_rows));

        std::vector<std::size_t> differing;
        for (std::size_t i = 0; i < source_buckets.size(); ++i)
            if (!(source_buckets[i] == destination_buckets[i])) differing.push_back(i);
        tk_trace(2, "db2_verifier: %d bucket(s) differ", int(differing.size()));
        // A bucket that one side lacks entirely needs no rows held: its rows are all missing (or
        // all extra), counted on the way. The other buckets go in rounds whose rows fit the
        // budget; a bucket larger than it goes alone. The first round takes the one-sided ones.
        std::vector<std::uint8_t> round(source_buckets.size(), not_in_round);
        std::size_t next = 0;
        bool first = true;
        while (next < differing.size() || first) {
            std::fill(round.begin(), round.end(), not_in_round);
            if (first) {
                for (std::size_t b : differing) {
                    if (destination_buckets[b].rows == 0) round[b] = all_missing;
                    else if (source_buckets[b].rows == 0) round[b] = all_extra;
                }
                first = false;
            }
            std::size_t held = 0;
            for (; next < differing.size(); ++next) {
                const std::size_t b = differing[next];
                if (round[b] != not_in_round) continue;
                if (source_buckets[b].rows == 0 || destination_buckets[b].rows == 0) continue;
                const std::size_t rows = std::max(source_buckets[b].rows, destination_buckets[b].rows);
                if (held > 0 && held + rows > round_rows_) break;
                held += rows;
                round[b] = compared;
            }
            name_differences(round);
        }
    }

private:
    std::unique_ptr<udb_recordset> open_source() {
        std::unique_ptr<udb_recordset> reader =
            query_.empty() ? source_.get_table(v_.name, 1) : source_.get_query(v_.name, query_, 1);
        if (!reader) throw tk_exception("The source database cannot run custom queries.", tk_level_item);
        return reader;
    }

    void plan(const udb_recordset& reader) {
        if (!destination_.is_table_exist(v_.destination))
            throw tk_exception("The MySQL database has no table " + tk_to_utf8(v_.destination), tk_level_item);
        {
            std::unique_ptr<udb_recordset> table = destination_.get_table(v_.destination, 1);
            plan_.columns = table->schema().copy();
        }
        const udb_schema& source = reader.schema();
        // The source's field names as the table's columns were named from them (the writer's
        // own mapping: a name taken restricts the names after it).
        std::unique_ptr<udb_validator> validator = destination_.engine().create_fn_validator(source);
        std::vector<std::u16string> mapped;
        for (const t_ftd* column : source) {
            std::u16string out = column->name;
            if (!validator->is_acceptable(out)) {
                out = validator->get_safe_name(out);
                validator->add_existing_name(out);
            }
            validator->restricted_names().push_back(out);
            mapped.push_back(std::move(out));
        }
        std::vector<bool> used(source.size(), false);
        for (const t_ftd* column : plan_.columns) {
            std::size_t f = 0;
            while (f < mapped.size() && mapped[f] != column->name) ++f;
            if (f == mapped.size())
                for (f = 0; f < mapped.size() && !udb_name_equal(mapped[f], column->name); ++f) {}
            if (f == mapped.size() || used[f])
                throw tk_exception("Column " + tk_to_utf8(column->name) + " of the MySQL table has no source column",
                                   tk_level_item);
            used[f] = true;
            plan_.source_field.push_back(f);
        }
        for (std::size_t f = 0; f < used.size(); ++f)
            if (!used[f])
                throw tk_exception("Column " + tk_to_utf8(source[f].name) + " of the source is not in the MySQL table",
                                   tk_level_item);

        // Rows are matched by the source's key when every column of it rejects NULL (a unique
        // index over NULLs does not tell rows apart).
        plan_.in_key.assign(plan_.columns.size(), false);
        if (reader.primary_key_index() >= 0) {
            const udb_index& key = reader.indexes()[std::size_t(reader.primary_key_index())];
            std::vector<std::size_t> columns;
            for (const std::u16string& field : key.fields) {
                std::size_t c = 0;
                while (c < plan_.columns.size() && source[plan_.source_field[c]].name != field) ++c;
                if (c == plan_.columns.size() || !source[plan_.source_field[c]].b_not_null) {
                    columns.clear();
                    break;
                }
                columns.push_back(c);
            }
            for (std::size_t c : columns) plan_.in_key[c] = true;
            plan_.key_columns = std::move(columns);
        }
        v_.keyed = !plan_.key_columns.empty();

        // FLOAT values are read as the DOUBLE they widen to exactly; the server's own text of a
        // FLOAT keeps only six digits.
        const std::uint32_t version = destination_.server_version();
        plan_.select = "SELECT ";
        for (std::size_t c = 0; c < plan_.columns.size(); ++c) {
            if (c) plan_.select += ", ";
            const bool widen = plan_.columns[c].vartype == VT_R4;
            if (widen) plan_.select += "(";
            sql_append_quoted_name(plan_.select, plan_.columns[c].name, version);
            if (widen) plan_.select += " + 0e0)";
        }
        plan_.select += " FROM ";
        sql_append_quoted_name(plan_.select, v_.destination, version);

        // About sixteen rows a bucket, so that a difference is looked for among few rows.
        const std::size_t rows = std::size_t(std::max(reader.record_count(), 0));
        std::size_t buckets = 256;
        while (buckets < (std::size_t(1) << 16) && buckets * 16 < rows) buckets <<= 1;
        plan_.bucket_mask = buckets - 1;
    }

    template <class Visit> void read_source(udb_recordset& reader, Visit&& visit) {
        row_form r;
        reader.reset();
        while (!reader.is_eof()) {
            const udb_record* record = reader.get_item();
            tk_verify(record != nullptr, "db2_veri", __LINE__);
            r.clear();
            for (std::size_t c = 0; c < plan_.columns.size(); ++c)
                r.add((*record)[plan_.source_field[c]], plan_.columns[c], plan_.in_key[c]);
            visit(r);
            reader.next();
        }
    }

    template <class Visit> void read_destination(Visit&& visit) {
        sql_connection& connection = destination_.connection();
        if (!connection.query(plan_.select)) throw sql_exception(connection);
        sql_result result(mysql_use_result(connection.handle()));
        if (!result) throw sql_exception(connection);
        const unsigned n = mysql_num_fields(result.get());
        tk_verify(n == plan_.columns.size(), "db2_veri", __LINE__);
        const MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
        std::vector<udb_field> cells(n);
        row_form r;
        while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
            const unsigned long* lengths = mysql_fetch_lengths(result.get());
            r.clear();
            for (unsigned c = 0; c < n; ++c) {
                const MYSQL_FIELD& field = fields[c];
                if (!row[c]) {
                    cells[c].set_value(ole_variant());
                } else if (field.type == MYSQL_TYPE_NEWDECIMAL || field.type == MYSQL_TYPE_DECIMAL) {
                    // As text: a DECIMAL(65,30) has more digits than the decimal variant holds.
                    cells[c].set_value(ole_variant(tk_from_utf8(std::string_view(row[c], lengths[c]))));
                } else if (plan_.columns[c].vartype == VT_R4) {
                    cells[c].set_value(ole_variant(float(std::strtod(row[c], nullptr))));
                } else {
                    cells[c].set_value(get_variant(int(field.type), lengths[c], field.flags, row[c]));
                }
                r.add(cells[c], plan_.columns[c], plan_.in_key[c]);
            }
            visit(r);
        }
        if (connection.error_number() != 0) throw sql_exception(connection);
    }

    // Reads both sides again for the rows of the buckets in `round` and names what differs.
    void name_differences(const std::vector<std::uint8_t>& round) {
        const auto has = [&](std::uint8_t what) { return std::find(round.begin(), round.end(), what) != round.end(); };
        const bool any_compared = has(compared);
        if (!any_compared && !has(all_missing) && !has(all_extra)) return;
        std::unordered_map<std::string, std::string> keyed_rows;
        std::unordered_map<std::string, std::int64_t> unkeyed_rows;
        std::vector<std::string> unkeyed_missing;
        const bool keyed = !plan_.key_columns.empty();
        if (any_compared || has(all_missing)) {
            std::unique_ptr<udb_recordset> reader = open_source();
            read_source(*reader, [&](const row_form& r) {
                const std::uint8_t what = round[plan_.bucket_of(r)];
                if (what == all_missing && !keyed && unkeyed_missing.size() < pair_limit) {
                    // Kept to be paired with a row of MySQL: a changed row moves to another bucket.
                    unkeyed_missing.push_back(r.row);
                } else if (what == all_missing) {
                    ++v_.missing;
                    add_example(v_, "missing row " + plan_.identify(r.row));
                } else if (what == compared && !keyed) {
                    ++unkeyed_rows[r.row];
                } else if (what == compared && !keyed_rows.emplace(r.key, r.row).second) {
                    ++v_.missing;
                    add_example(v_, "duplicate key in DB2 " + plan_.identify(r.row));
                }
            });
        }
        if (!keyed) return name_unkeyed_differences(round, unkeyed_rows, std::move(unkeyed_missing));
        if (any_compared || has(all_extra)) {
            read_destination([&](const row_form& r) {
                const std::uint8_t what = round[plan_.bucket_of(r)];
                if (what != compared && what != all_extra) return;
                const auto found = what == compared ? keyed_rows.find(r.key) : keyed_rows.end();
                if (found == keyed_rows.end()) {
                    ++v_.extra;
                    add_example(v_, "extra row " + plan_.identify(r.row));
                    return;
                }
                if (found->second != r.row) {
                    ++v_.different;
                    add_example(v_, "different row " + plan_.identify(r.row) + ": " +
                                        plan_.first_difference(found->second, r.row, nullptr));
                }
                keyed_rows.erase(found);
            });
        }
        for (const auto& [key, row] : keyed_rows) {
            ++v_.missing;
            add_example(v_, "missing row " + plan_.identify(row));
        }
    }

    // Without a key a changed row is a row of DB2 that MySQL lacks and one that DB2 lacks;
    // such pairs that share some columns are reported as one different row.
    void name_unkeyed_differences(const std::vector<std::uint8_t>& round,
                                  std::unordered_map<std::string, std::int64_t>& source_rows,
                                  std::vector<std::string> missing) {
        std::vector<std::string> extra;
        std::size_t one_sided_extra = 0;
        read_destination([&](const row_form& r) {
            const std::uint8_t what = round[plan_.bucket_of(r)];
            if (what == all_extra && one_sided_extra < pair_limit) {
                ++one_sided_extra;
                extra.push_back(r.row);
            } else if (what == all_extra) {
                ++v_.extra;
                add_example(v_, "extra row " + plan_.identify(r.row));
                return;
            }
            if (what != compared) return;
            const auto found = source_rows.find(r.row);
            if (found != source_rows.end() && found->second > 0) --found->second;
            else extra.push_back(r.row);
        });
        for (const auto& [row, count] : source_rows)
            for (std::int64_t k = 0; k < count; ++k) missing.push_back(row);
        std::vector<bool> extra_paired(extra.size(), false);
        const std::size_t columns = plan_.columns.size();
        for (std::size_t m = 0; m < missing.size(); ++m) {
            std::size_t best = extra.size();
            int best_count = int(columns);
            if (m < pair_limit) {
                for (std::size_t e = 0; e < extra.size() && e < pair_limit; ++e) {
                    if (extra_paired[e]) continue;
                    int count = 0;
                    plan_.first_difference(missing[m], extra[e], &count);
                    if (count < best_count) best = e, best_count = count;
                }
            }
            if (best < extra.size()) {
                extra_paired[best] = true;
                ++v_.different;
                add_example(v_, "different row " + plan_.identify(missing[m]) + ": " +
                                    plan_.first_difference(missing[m], extra[best], nullptr));
            } else {
                ++v_.missing;
                add_example(v_, "missing row " + plan_.identify(missing[m]));
            }
        }
        for (std::size_t e = 0; e < extra.size(); ++e) {
            if (extra_paired[e]) continue;
            ++v_.extra;
            add_example(v_, "extra row " + plan_.identify(extra[e]));
        }
    }

    udb_database& source_;
    sql_database& destination_;
    std::size_t round_rows_;
    db2_verdict& v_;
    const std::u16string& query_;
    table_plan plan_;
};

} // namespace

void db2_append_compare_form(std::string& out, const udb_field& cell, const t_ftd& column) {
    const std::size_t from = out.size();
    try {
        append_fld_str(out, cell, column);
    } catch (const sql_exception&) {
        out.resize(from);
        out += refused_form;
        return;
    }
    if (column.vartype != VT_DECIMAL) return;
    // The number rewritten in place, through a buffer kept between calls: the per-row path
    // allocates nothing once the buffer has grown.
    thread_local std::string plain;
    plain.clear();
    if (!append_plain_number(plain, std::string_view(out).substr(from))) return;
    out.resize(from);
    out += plain;
}

db2_verifier::db2_verifier(udb_database& source, sql_database& destination, std::size_t round_rows)
    : source_(source), destination_(destination), round_rows_(std::max<std::size_t>(round_rows, 1)) {}

db2_verdict db2_verifier::verify(const std::u16string& name, const std::u16string& query,
                                 const std::u16string& destination) {
    tk_wtrace(2, u"db2_verifier::verify(%s)", name.c_str());
    db2_verdict verdict;
    verdict.name = name;
    verdict.destination = destination;
    try {
        table_check(source_, destination_, round_rows_, verdict, query).run();
    } catch (const std::exception& e) {
        verdict.failure = e.what();
        tk_wtrace(3, u"Table %s cannot be verified", name.c_str());
        tk_trace(3, "%s", e.what());
    }
    return verdict;
}

std::vector<std::string> db2_verdict_lines(const db2_verdict& v) {
    std::vector<std::string> lines;
    std::string head = "Table " + tk_to_utf8(v.name);
    if (v.destination != v.name) head += " (MySQL " + tk_to_utf8(v.destination) + ")";
    if (!v.failure.empty()) {
        lines.push_back(head + ": not verified: " + v.failure);
        return lines;
    }
    const std::string counts = std::to_string(v.source_rows) + " rows in DB2, " + std::to_string(v.destination_rows) +
                               " in MySQL";
    if (v.identical()) {
        lines.push_back(head + ": identical (" + std::to_string(v.source_rows) + " rows)");
        return lines;
    }
    lines.push_back(head + ": " + std::to_string(v.missing) + " missing, " + std::to_string(v.extra) + " extra, " +
                    std::to_string(v.different) + " different rows (" + counts + ")");
    for (const std::string& example : v.examples) lines.push_back("  " + example);
    return lines;
}
