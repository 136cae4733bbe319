#include "shop_compare.hpp"

#include "sql_util.hpp"
#include "tk_utils.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace shop_compare {

namespace {

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// A number's text without the zeros its type's scale adds.
std::string plain_number(std::string text) {
    if (text.find('.') != std::string::npos && text.find_first_of("eE") == std::string::npos) {
        while (!text.empty() && text.back() == '0') text.pop_back();
        if (!text.empty() && text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

} // namespace

std::string canonical(const t_ftd& column, const ole_variant& v) {
    if (v.is_empty_or_null()) return "<null>";
    char buffer[64];
    switch (column.vartype) {
    case VT_BSTR: return v.vt() == VT_BSTR ? tk_to_utf8(v.text()) : v.to_string();
    case VT_BYTES:
    case 65:
    case 70: return "0x" + hex(v.bytes());
    case VT_R4: std::snprintf(buffer, sizeof buffer, "%.6g", v.to_double()); return buffer;
    case VT_R8: std::snprintf(buffer, sizeof buffer, "%.15g", v.to_double()); return buffer;
    case VT_BOOL: return v.to_bool() ? "true" : "false";
    case VT_DATE: {
        const ole_systemtime t = v.get_time();
        switch (column.reserved & 3) {
        case 2: std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", t.year, t.month, t.day); break;
        case 3: std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second); break;
        default:
            // The fraction too: timestamps keep their microseconds.
            std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%06u", t.year, t.month, t.day, t.hour,
                          t.minute, t.second, unsigned(t.microseconds));
        }
        return buffer;
    }
    default: return plain_number(v.to_string());
    }
}


table_rows recordset_rows(udb_recordset& rs) {
    table_rows rows;
    for (rs.reset(); !rs.is_eof(); rs.next()) {
        const udb_record& record = *rs.get_item();
        std::vector<std::string> cells;
        for (std::size_t i = 0; i < record.size(); ++i) cells.push_back(canonical(rs.schema()[i], record[i]));
        rows.push_back(std::move(cells));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

table_rows loaded_rows(sql_connection& c, const std::u16string& table, const std::vector<t_ftd>& columns) {
    table_rows rows;
    std::string statement = "SELECT * FROM ";
    sql_append_quoted_name(statement, table, sql_ver_utf8mb4);
    EXPECT_TRUE(c.query(statement)) << statement << ": " << c.error();
    sql_result result = c.store_result();
    if (!result) return rows;
    const unsigned n = mysql_num_fields(result.get());
    EXPECT_EQ(n, columns.size()) << statement;
    MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        std::vector<std::string> cells;
        for (unsigned i = 0; i < n && i < columns.size(); ++i) {
            const ole_variant v = get_variant(fields[i].type, lengths[i], fields[i].flags, row[i]);
            cells.push_back(canonical(columns[i], v));
        }
        rows.push_back(std::move(cells));
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace shop_compare
