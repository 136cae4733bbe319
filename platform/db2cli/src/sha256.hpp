#pragma once
// SHA-256, enough to keep the stand-in's passwords out of its database file in clear text.

#include <string>
#include <string_view>

namespace db2s {

/// Lower-case hexadecimal digest of `data`.
std::string sha256_hex(std::string_view data);

}  // namespace db2s
