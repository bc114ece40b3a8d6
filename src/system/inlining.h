// The one pair of inlining hints: for the few small functions the hot loops
// are built from (inlined where they are used, they cost no call), and for
// the rare cases kept out of those loops so that the loops stay small.
#pragma once

#if defined(__GNUC__)
#define TALVERO_ALWAYS_INLINE [[gnu::always_inline]] inline
#define TALVERO_NOINLINE [[gnu::noinline]]
#define TALVERO_INLINE_LAMBDA __attribute__((always_inline))  // after a lambda's parameters
#else
#define TALVERO_ALWAYS_INLINE inline
#define TALVERO_NOINLINE
#define TALVERO_INLINE_LAMBDA
#endif

// Before a loop over a vertex's three coordinates: unrolled in the builds
// made for speed. Builds instrumented for coverage (the fuzzers') keep it
// rolled: each unrolled copy would count as coverage of its own, which
// slows the fuzzers more than it speeds the loop.
#if defined(__GNUC__) && !defined(TALVERO_INSTRUMENTED)
#define TALVERO_UNROLL_3 _Pragma("GCC unroll 3")
#else
#define TALVERO_UNROLL_3
#endif
