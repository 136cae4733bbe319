#pragma once
// Owning wrappers for the CLI handles the tool and the benchmark use.

#include "db2_cli_direct.h"

#include <string>
#include <utility>

namespace db2s_tool {

/// One CLI handle, freed when the wrapper goes.
class cli_handle {
public:
    cli_handle() = default;
    cli_handle(SQLSMALLINT type, SQLHANDLE h) : type_(type), h_(h) {}
    cli_handle(cli_handle&& o) noexcept : type_(o.type_), h_(std::exchange(o.h_, SQL_NULL_HANDLE)) {}
    cli_handle& operator=(cli_handle&& o) noexcept {
        if (this != &o) {
            reset();
            type_ = o.type_;
            h_ = std::exchange(o.h_, SQL_NULL_HANDLE);
        }
        return *this;
    }
    cli_handle(const cli_handle&) = delete;
    cli_handle& operator=(const cli_handle&) = delete;
    ~cli_handle() { reset(); }

    SQLHANDLE get() const noexcept { return h_; }
    void reset() {
        if (h_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, h_);
        h_ = SQL_NULL_HANDLE;
    }

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE h_ = SQL_NULL_HANDLE;
};

}  // namespace db2s_tool
