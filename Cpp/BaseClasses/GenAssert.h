#ifndef GEN_ASSERT_H
#define GEN_ASSERT_H

// Internal invariants of the framework. Unlike <cassert> these stay active in
// Release builds: a broken invariant in a model structure would otherwise turn
// into a silently wrong state space. The report names the broken condition and
// the unit that checked it, then the process stops abnormally.
[[noreturn]] void genAssertFail(const char* condition, const char* source);

#define GEN_ASSERT(cond, text, source)        \
  do {                                        \
    if (!(cond)) genAssertFail(text, source); \
  } while (0)

#endif
