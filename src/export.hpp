// QUORVANE_DAT_API marks what the library exports when it is built as a
// shared library, whose symbols are hidden by default; in a static build it
// changes nothing. Every public header includes this one first of the
// library's, so that a compiler set to an older standard stops here with one
// error that names the requirement, before any of the interface.
#pragma once

#if __cplusplus < 202002L
#error "quorvane_dat needs C++20 or later: compile with -std=c++20 (or a later standard)"
// Stops the compilation here (a missing header is a fatal error), so that no
// error about the interface follows.
#include <quorvane_dat/compilation-stopped-because-cxx20-is-required>
#endif

#define QUORVANE_DAT_API __attribute__((visibility("default")))
