#pragma once
// Fault injection for tests. DB2STANDIN_FAULTS holds rules separated by ';':
//   FUNCTION:N:SQLSTATE:NATIVE[:warn]
// The Nth call of FUNCTION (counted since the variable took its current value) fails with
// that SQLSTATE and native error, or succeeds with a warning when ":warn" is given. The
// SQLSTATE "pause" makes that call wait NATIVE milliseconds and then proceed normally.
// DB2STANDIN_CALL_LOG names a file that gets the count of calls per function and the number
// of live handles when the process exits.

#include "diagnostics.hpp"

#include <optional>

namespace db2s {

struct injected_fault {
    diag_record record;
    bool warning = false;
};

/// Counts a call of `function` and answers whether a rule fires for it.
std::optional<injected_fault> check_fault(const char* function);

}  // namespace db2s
