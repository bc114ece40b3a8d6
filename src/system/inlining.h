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
