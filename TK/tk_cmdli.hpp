#pragma once
// A scanner of command-line arguments against a fixed table of option prefixes.

#include <string>
#include <vector>

/// One option: its id and the text an argument must start with. An entry with an empty (or
/// null) prefix ends the table.
struct tk_cmd_option {
    int id;
    const char* prefix;
};

/// Walks the arguments after the program path. Each argument is classified by the first table
/// entry whose prefix it starts with (plain, case-sensitive byte comparison); the value is the
/// rest of the argument. An argument no prefix matches gets the id -1 and is collected.
class tk_cmdli {
public:
    /// Unrecognised arguments kept; one more is an internal assertion.
    static constexpr int max_unrecognised = 20;

    /// Starts at argv[1] and classifies it. `argv` and `table` must outlive the scanner.
    void start(int argc, const char* const* argv, const tk_cmd_option* table);
    /// True while an argument remains to be handled.
    bool has_current() const noexcept { return remaining_ > 0; }
    /// Moves to the next argument and classifies it.
    void next();

    /// Id of the current argument's option, -1 when none matched.
    int id() const noexcept { return id_; }
    /// Text after the prefix (the whole argument when nothing matched).
    const std::string& value() const noexcept { return value_; }
    /// The current argument as given.
    const char* argument() const noexcept { return *cursor_; }
    const std::vector<std::string>& unrecognised() const noexcept { return unrecognised_; }

private:
    void classify();

    const char* const* cursor_ = nullptr;
    int remaining_ = 0;
    const tk_cmd_option* table_ = nullptr;
    int id_ = -1;
    std::string value_;
    std::vector<std::string> unrecognised_;
};
