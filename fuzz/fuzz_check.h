// Shared by the harnesses: a property check that stops the run with a
// message, so a wrong result counts as a finding like a crash does.
#pragma once

#include <cstdio>
#include <cstdlib>

#define KV_FUZZ_CHECK(condition)                                                   \
  do {                                                                             \
    if (!(condition)) {                                                            \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                \
    }                                                                              \
  } while (0)
