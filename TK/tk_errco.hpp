#pragma once
// Replaces the terse error texts of the database client libraries by advice for the user.

#include <cstdint>
#include <map>
#include <string>

/// One row of an owner's fixed table: a client library's error code and the advice to show.
struct tk_error_entry {
    std::int32_t code;
    const char* message;
};

/// Maps error codes to messages. The owner's table may go away after construction: the
/// texts are copied. A code without an entry yields an empty text, and the owner then shows
/// the library's own text.
class tk_error_converter {
public:
    /// Loads `count` entries of `table`; a null table is an internal assertion.
    tk_error_converter(int count, const tk_error_entry* table);

    /// Adds `count` entries in table order; a code already present keeps its first text.
    /// A null table, or an entry with a null text, is an internal assertion.
    void load_map(int count, const tk_error_entry* table);
    /// The message for `code`, compared as a whole 32-bit value; empty when there is none.
    std::string convert(std::int32_t code) const;

private:
    std::map<std::int32_t, std::string> map_;
};
