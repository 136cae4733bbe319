#pragma once
// Readers of the MySQL destination: a table or query read a page at a time, and the whole
// result of one statement held in memory.

#include "sql_db.hpp"
#include "sql_rec.hpp"
#include "udb_db.hpp"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

/// A table or query of the MySQL database read in pages of sql_page_size rows. The columns
/// are learnt from the first page's field descriptions.
class sql_recordset : public udb_recordset {
public:
    /// `query_text` empty: the table `name`. Raises sql_exception when the server refuses.
    sql_recordset(sql_database& database, const std::u16string& name, const std::u16string& query_text);
    ~sql_recordset() override;

    /// A reader takes no rows: internal assertion (sql_recs).
    void append_record(const udb_record& record) override;
    /// The record of the current row; null past the end.
    const udb_record* get_item() override;
    bool is_eof() override;
    void next() override;
    void prev() override;
    void reset() override;

    /// The rows the server holds for the table or query now.
    std::int32_t get_rec_count();

protected:
    /// The table's name as statements write it.
    std::u16string quoted_name() const;
    void load_page(long offset);

    sql_database& database_;
    std::int32_t row_ = 0;
    int position_ = 0;
    sql_page page_;

private:
    void initialize();
};

/// The rows of one statement's result, all read at construction.
class sql_tmp_recordset : public udb_recordset {
public:
    /// Reads every row and releases the result; a null result is an internal assertion.
    explicit sql_tmp_recordset(sql_result result);

    /// Holds rows only: internal assertion (sql_recs).
    void append_record(const udb_record& record) override;
    const udb_record* get_item() override;
    bool is_eof() override;
    void next() override { ++position_; }
    void prev() override {
        if (position_ > 0) --position_;
    }
    void reset() override { position_ = 0; }

    /// Rows held.
    std::size_t row_count() const noexcept { return records_.size(); }
    /// A row by position, for callers that read a result as a table.
    const sql_record& row(std::size_t i) const { return *records_[i]; }

private:
    std::vector<std::unique_ptr<sql_record>> records_;
    std::size_t position_ = 0;
};
