#pragma once
// One cell as text that a source and a MySQL table read back must agree on: the comparison the
// SHOP round-trip tests of the dump writer and of the console agent share.

#include "ole_var.hpp"
#include "udb_sche.hpp"

#include <string>

namespace shop_compare {

/// The value by the kind of its source column: text as UTF-8, bytes as hex, floats to their
/// type's precision, numbers without the zeros a scale adds, dates without fractions of seconds
/// (the sample holds whole seconds), NULL as "<null>".
std::string canonical(const t_ftd& column, const ole_variant& v);

} // namespace shop_compare
