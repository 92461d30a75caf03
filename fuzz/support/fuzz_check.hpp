// FUZZ_CHECK: an invariant of a fuzz harness. A broken invariant prints what
// failed and aborts, which libFuzzer records as a crash and the corpus replay
// driver turns into a failed test.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                                                   \
  do {                                                                                                \
    if (!(condition)) {                                                                               \
      std::fprintf(stderr, "%s:%d: fuzz invariant failed: %s (%s)\n", __FILE__, __LINE__, #condition, \
                   what);                                                                             \
      std::abort();                                                                                   \
    }                                                                                                 \
  } while (false)
