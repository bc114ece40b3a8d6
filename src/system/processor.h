// The one place that asks which vector instructions the processor has, for
// the loops that pick, once, a form built for wider ones
// (`[[gnu::target(...)]]`) over the one every processor of the family runs.
#pragma once

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#include <immintrin.h>
#define TALVERO_X86_FORMS 1

namespace processor {

inline bool has_avx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

inline bool has_ssse3() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("ssse3");
}

}  // namespace processor
#endif
