#include "sql_stmt.hpp"

#include "sql_util.hpp"

namespace {

constexpr std::uint32_t ver_engine_keyword = 0x040016; // above 4.0.22: ENGINE= rather than TYPE=

} // namespace

std::u16string sql_name_list(const std::vector<std::u16string>& names, std::uint32_t server_version) {
    std::u16string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i) out += u", ";
        out += sql_quote_name(names[i], server_version);
    }
    return out;
}

std::u16string sql_create_table_statement(std::u16string_view table,
                                          const std::vector<std::u16string>& columns,
                                          const std::vector<std::u16string>& keys,
                                          std::u16string_view storage_engine, std::uint32_t server_version,
                                          std::u16string_view line_break) {
    const bool lines = !line_break.empty();
    std::u16string statement = u"CREATE TABLE " + sql_quote_name(table, server_version) + u" (";
    bool first = true;
    auto add = [&](const std::u16string& definition) {
        if (!first) statement += lines ? u"," : u", ";
        first = false;
        if (lines) {
            statement += line_break;
            statement += u"  ";
        }
        statement += definition;
    };
    for (const std::u16string& column : columns) add(column);
    for (const std::u16string& key : keys) add(key);
    statement += line_break;
    statement += u')';
    statement += server_version > ver_engine_keyword ? u" ENGINE=" : u" TYPE=";
    statement += storage_engine;
    return statement;
}

std::u16string sql_add_index_statement(std::u16string_view table, const std::vector<std::u16string>& columns,
                                       std::uint32_t server_version) {
    return u"ALTER TABLE " + sql_quote_name(table, server_version) + u" ADD INDEX (" +
           sql_name_list(columns, server_version) + u")";
}

std::u16string sql_view_statement(std::u16string_view view, std::u16string_view select_text,
                                  std::uint32_t server_version) {
    std::u16string statement = u"CREATE OR REPLACE VIEW " + sql_quote_name(view, server_version) + u" AS ";
    statement += select_text;
    return statement;
}

std::string sql_insert_head(std::u16string_view table, const std::vector<std::u16string>& columns,
                            std::uint32_t server_version) {
    std::string head = "INSERT INTO ";
    sql_append_quoted_name(head, table, server_version);
    head += '(';
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (i) head += ", ";
        sql_append_quoted_name(head, columns[i], server_version);
    }
    head += ") VALUES";
    return head;
}
