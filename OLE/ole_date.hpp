#pragma once
// Calendar companion of the variant: parses date and time text in the shapes defaults and
// custom data bring, classifies it and prints the one form the destinations write.

#include "ole_var.hpp"

#include <string>
#include <string_view>

/// A date, time or date-and-time value with its kind: 0 invalid, 1 date and time, 2 date only,
/// 3 time only (the same numbers as the schema model's date kinds).
class ole_date {
public:
    /// From a calendar value read from a database: prints its own year, whatever it is.
    explicit ole_date(const ole_systemtime& time);
    /// From text; an unparseable text leaves kind 0.
    explicit ole_date(std::string_view text);
    explicit ole_date(std::u16string_view text);

    /// Kind non-zero, month 1-12 with a day and year (or no date at all), and hour, minute and
    /// second at most 60. Days per month are deliberately not checked.
    bool is_valid() const;
    /// Narrows the kind from what the fields hold: no date makes a time, a date at midnight a date.
    void refine_type();
    /// Tries the fixed digit forms, a pure time, the common locale forms and the three
    /// separator patterns, in that order; kind 0 when none gives a valid value.
    void import_from_string(std::string_view trimmed);
    /// Seconds text with an optional fraction: the fraction is kept to the microsecond and
    /// further digits are cut, never rounded into the next second; seconds above 59 carry
    /// into the minute and the carry stops at the hour (no day is carried); 24:00:00 as written
    /// stays. Null is an internal assertion.
    void process_milliseconds(const char* seconds_text);

    /// "%04d-%02d-%02d %02d:%02d:%02d", a date only, or "0000-00-00 hh:mm:ss" for a time; a
    /// fraction of the second follows the seconds as "." and its digits without trailing
    /// zeros (a value without one prints as it always has).
    std::string to_string();
    /// to_string appended to `out` (nothing for kind 0), for writers that build a statement.
    void append_to(std::string& out);
    /// The time of day alone, "hh:mm:ss" and any fraction, as a TIME column reads it: a TIME
    /// has no date, and 24:00:00 is a valid one. Appended to `out`.
    void append_time_to(std::string& out) const;
    /// Hour 24 (the end of a day, which some databases allow) as 00:00 of the next day, the
    /// same instant; true when `time` was changed. A time without a date is left alone.
    static bool carry_hour_24(ole_systemtime& time);
    std::u16string to_wstring();
    /// Makes a year written with one or two digits whole (0-49 -> 2000-2049, 50-99 ->
    /// 1950-1999); any other year is left alone. to_string does this itself; callers that keep
    /// only the calendar time (a date variant) call it first.
    void expand_short_year();

    int kind() const noexcept { return kind_; }
    void set_kind(int kind) noexcept { kind_ = kind; }
    const ole_systemtime& time() const noexcept { return time_; }
    ole_systemtime& time() noexcept { return time_; }

    /// When true, a date-and-time at midnight prints as a date only.
    bool drop_zero_time = true;

private:
    int kind_ = 0;
    ole_systemtime time_{};
    /// The year came from text written with one or two digits: only then does the two-digit
    /// year rule apply when printing.
    bool short_year_text_ = false;
    /// Digit counts of the text fields last read as year and day (the two may be swapped).
    int year_digits_ = 0;
    int day_digits_ = 0;

    bool import_platform_form(std::string_view text);
    std::string print();
};
