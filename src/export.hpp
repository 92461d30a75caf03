// QUORVANE_DAT_API marks what the library exports when it is built as a
// shared library, whose symbols are hidden by default; in a static build it
// changes nothing.
#pragma once

#define QUORVANE_DAT_API __attribute__((visibility("default")))
