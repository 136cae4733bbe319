#pragma once
// Prototypes of the CLI functions for code that links a CLI library directly instead of
// loading it at run time: the stand-in itself, its tool, tests and benchmark.

#include "db2_cli.h"

#include <type_traits>

extern "C" {
#define DB2CLI_DECLARE_FUNCTION(name) std::remove_pointer_t<name##_fn> name;
DB2CLI_FUNCTIONS(DB2CLI_DECLARE_FUNCTION)
#undef DB2CLI_DECLARE_FUNCTION

/// Stand-in only: the number of live handles of every type, so tests can prove none leaked.
int db2standin_live_handles(void);
}
