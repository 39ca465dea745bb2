#include "GenAssert.h"

#include <cstdio>
#include <cstdlib>

void genAssertFail(const char* condition, const char* source) {
  std::fflush(stdout);
  std::fprintf(stderr, "gen: %s: Assertion `%s' failed.\n", source, condition);
  std::fflush(stderr);
  std::abort();
}
