// The generator's own pseudo-random sequence (splitmix64): the same seed gives the same
// drawing on every host and with every standard library.
#pragma once

#include <cstdint>

class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform enough in [0, n) for a test corpus (n is tiny next to 2^64).
  std::uint64_t below(std::uint64_t n) { return n == 0 ? 0 : next() % n; }

  // Inclusive range [lo, hi].
  std::int64_t range(std::int64_t lo, std::int64_t hi) {
    const auto span = static_cast<std::uint64_t>(hi - lo) + 1;
    return lo + static_cast<std::int64_t>(below(span));
  }

 private:
  std::uint64_t state_;
};
