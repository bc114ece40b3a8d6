// The items of a loaded block, read straight from its bytes: token starts
// and ends from its whitespace bitmap, numbers a word at a time. This is the
// accelerator's item source for the merge's turns (merge/item_source.h).
// It is sure of an item only when the item ends within the loaded bytes:
// one that reaches their end may go on in the next block, and the turn that
// meets it is left to the plain reads. It warns about nothing: a case that
// calls for a warning, and the header's extents, are declined.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fast/bitmap.h"
#include "fast/numbers.h"
#include "fast/swar.h"
#include "merge/group_rules.h"
#include "numeric/rounding.h"

namespace fast {

struct BlockItems {
  static constexpr bool general = false;

  BlockItems(const MarkedBlock& b) : base(b.base), pos(b.pos), end(b.end), space(b.space) {}

  // The first byte at or after p that is not whitespace; end or past it when none is loaded.
  [[nodiscard]] TALVERO_ALWAYS_INLINE const char* token_start(const char* p) const {
    return base + next_bit<false>(space, static_cast<std::size_t>(p - base));
  }
  // The whitespace that ends the token at t (end at the latest).
  [[nodiscard]] TALVERO_ALWAYS_INLINE const char* token_end(const char* t) const {
    const auto i = static_cast<std::size_t>(t - base);
    if constexpr (std::endian::native == std::endian::little) {
      std::uint64_t w;
      std::memcpy(&w, reinterpret_cast<const unsigned char*>(space) + i / 8, 8);
      w >>= i % 8;
      if (w != 0) return t + std::countr_zero(w);
    }
    return base + next_bit<true>(space, i);
  }

  TALVERO_ALWAYS_INLINE bool token(std::string_view& t) { return held_token(t) || unsure_here(); }
  TALVERO_ALWAYS_INLINE bool held_token(std::string_view& t) {
    const char* s = token_start(pos);
    if (s >= end) return false;
    const char* e = token_end(s);
    if (e == end) return false;  // it may go on in the next block
    t = std::string_view(s, static_cast<std::size_t>(e - s));
    pos = e;
    return true;
  }

  TALVERO_ALWAYS_INLINE bool line(std::string_view& t) {
    const char* p = pos;
    // Mostly one token after a few spaces (a group code's padding): its end
    // is the line feed. The NUL at end stops the spaces.
    const char* s = p;
    while (*s == ' ') ++s;
    if (s < end && !is_space(static_cast<unsigned char>(*s))) {
      const char* e = token_end(s);
      if (*e == '\n' && e != end) {
        t = std::string_view(p, static_cast<std::size_t>(e - p));
        pos = e + 1;
        return true;
      }
    }
    const auto* feed = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (feed == nullptr) return unsure_here();
    t = std::string_view(p, static_cast<std::size_t>(feed - p));
    pos = feed + 1;
    return true;
  }

  // A group as groups::read_group reads it; mostly a code of up to 8
  // digits after spaces, then a value of one token, each on its own line.
  TALVERO_ALWAYS_INLINE groups::Group group(int& code, std::string_view& value) {
    const char* s = pos;
    while (*s == ' ') ++s;  // the NUL at end stops it
    const char* d = s;      // mostly two or three digits: one at a time
    int v = 0;
    for (; is_digit(*d) && d - s < 8; ++d) v = v * 10 + (*d - '0');
    if (d == s || d - s == 8 || *d != '\n' || d >= end) return groups::read_group(*this, code, value);
    code = v;
    const char* q = d + 1;
    if (code == 0) {
      pos = q;
      return groups::Group::zero;
    }
    if (q < end && !is_space(static_cast<unsigned char>(*q))) {
      const char* e = token_end(q);
      if (*e == '\n' && e != end) {
        value = std::string_view(q, static_cast<std::size_t>(e - q));
        pos = e + 1;
        return groups::Group::value;
      }
    }
    pos = q;
    if (!line(value)) return groups::Group::cut_off;
    value = groups::trimmed(value);
    return groups::Group::value;
  }

  // Numbers: the common forms a word at a time, exact (fast/numbers.h).
  TALVERO_ALWAYS_INLINE static bool integer(std::string_view t, int& v) {
    return whole_integer(t.data(), t.data() + t.size(), v);
  }
  TALVERO_ALWAYS_INLINE static bool real(std::string_view t, double& v) {
    return whole_real(t.data(), t.data() + t.size(), v);
  }
  TALVERO_ALWAYS_INLINE static bool is_real(std::string_view t) { return is_whole_real(t.data(), t.data() + t.size()); }
  // From the digits where they tell it (the exact value for the largest).
  TALVERO_ALWAYS_INLINE static bool written(std::string_view t, double& v) {
    double w;
    if (!written_value(t.data(), t.data() + t.size(), w)) return false;
    if (w > -0x1p52 && w < 0x1p52) {
      v = numeric::written_as(w);
      return true;
    }
    return real(t, v);
  }

  void mark() { marked = pos; }
  void rewind() { pos = marked; }
  void forget_mark() {}
  static std::string_view keep(std::string_view t, std::string&) { return t; }
  void decline() { unsure = true; }
  [[nodiscard]] bool sure() const { return !unsure; }

  const char* base;
  const char* pos;  // the read position
  const char* end;  // the end of the loaded bytes, where a NUL stands
  const std::uint64_t* space;
  const char* marked = nullptr;
  bool unsure = false;

 private:
  bool unsure_here() {
    unsure = true;
    return false;
  }
};

}  // namespace fast
