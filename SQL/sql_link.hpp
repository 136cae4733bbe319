#pragma once
// The few calls the table writer makes on the server's connection, behind an interface, so
// that its batching, the splitting of refused batches and the overlap of sending with
// formatting can be driven by a scripted stand-in as well as by a server.

#include <optional>
#include <string>
#include <string_view>

class sql_database;

/// One connection as the table writer uses it: one statement at a time, either sent and
/// answered in one call or in two halves with other work between them.
class sql_statement_link {
public:
    virtual ~sql_statement_link() = default;

    /// Sends one statement and waits for its answer, discarding any rows; false when it could
    /// not be sent or was refused (error() and error_number() tell why).
    virtual bool query(std::string_view statement) = 0;
    /// Sends one statement without waiting for the answer; false when it could not be sent
    /// (then no answer is awaited). Nothing else may use the link until read_query_result().
    virtual bool send_query(std::string_view statement) = 0;
    /// Waits for the answer to the statement of send_query(); false when it was refused.
    virtual bool read_query_result() = 0;
    /// Runs one statement and gives the text of cell `column` of its first row; nothing when
    /// the statement failed or has no such row or cell, or the cell is NULL.
    virtual std::optional<std::string> query_value(std::string_view statement, unsigned column) = 0;
    /// Text and number of the last failure.
    virtual std::string error() = 0;
    virtual unsigned error_number() = 0;
};

/// The link over the connection of a destination database; owns nothing, so the database
/// must outlive it.
class sql_database_link final : public sql_statement_link {
public:
    explicit sql_database_link(sql_database& database) noexcept : database_(database) {}

    bool query(std::string_view statement) override;
    bool send_query(std::string_view statement) override;
    bool read_query_result() override;
    std::optional<std::string> query_value(std::string_view statement, unsigned column) override;
    std::string error() override;
    unsigned error_number() override;

private:
    sql_database& database_;
};
