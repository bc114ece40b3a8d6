// The items that follow "POLYLINE" and "VERTEX" in the layout the merge
// copies as it stands, each with how it is read, what it must hold and how
// it is written. This table is the
// one description of that layout: what both passes read and test, the
// writing pass's copy and the accelerator's are all made from it when
// compiled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "read/integer_literal.h"
#include "read/real_literal.h"

namespace grammar {

enum class Read : std::uint8_t { integer, token, real };

struct Item {
  Read read;                // how both passes read it
  std::uint8_t spaces;      // written after this many spaces (integers)
  bool space_sign = false;  // "% d": one space before a number that is not negative, none before a minus
  int expected = -1;        // the value an entity in the layout has here (-1: any)
};

inline constexpr Read I = Read::integer;
inline constexpr Read T = Read::token;
inline constexpr Read R = Read::real;

// Group code and value pairs; item 11 is the group code before the next entity (normally 0).
inline constexpr std::array<Item, 11> polyline = {{
    {I, 2},            // group code (8)
    {T, 0},            // layer
    {I, 2},            // group code (66)
    {T, 0},            // its value
    {I, 0, true},      // group code (70)
    {I, 5},            // flags
    {I, 1},            // group code (10)
    {I, 5},            // x of the elevation point
    {I, 1},            // group code (20)
    {I, 0},            // its y
    {I, 2, false, 0},  // the next group code: 0
}};

inline constexpr std::array<Item, 11> vertex = {{
    {I, 2},             // group code (8)
    {T, 0},             // layer
    {I, 1},             // group code (70)
    {I, 4},             // flags
    {I, 1, false, 10},  // group code 10
    {R, 0},             // x, rounded
    {I, 1, false, 20},  // group code 20
    {R, 0},             // y, rounded
    {I, 1, false, 30},  // group code 30
    {R, 0},             // z, rounded
    {I, 2, false, 0},   // the next group code: 0
}};

// What "SEQEND" is written as: the keyword and a line holding 0.
inline constexpr const char* seqend_text = "SEQEND\r\n0\r\n";

// How many token items come before item k.
template <std::size_t N>
constexpr int tokens_before(const std::array<Item, N>& items, std::size_t k) {
  int n = 0;
  for (std::size_t j = 0; j < k; ++j) n += items[j].read == Read::token;
  return n;
}

// The position of the last token item among the first n items, or n when none.
template <std::size_t N>
constexpr std::size_t last_token(const std::array<Item, N>& items) {
  std::size_t at = N;
  for (std::size_t k = 0; k < N; ++k)
    if (items[k].read == Read::token) at = k;
  return at;
}

// How many real items come before item k.
template <std::size_t N>
constexpr int reals_before(const std::array<Item, N>& items, std::size_t k) {
  int n = 0;
  for (std::size_t j = 0; j < k; ++j) n += items[j].read == Read::real;
  return n;
}

// What an entity's items held, read in the layout.
struct ItemValues {
  int ints[11] = {};                // integer items, by place
  double reals[3] = {};             // real items, in order
  std::string_view tokens[2] = {};  // token items, in order
};

// Reads item k of the entity at the read position into v; false when there
// is no token or it is not what the item must be. Token items are kept in
// copies where the source needs it.
template <const auto& items, std::size_t k, class Items>
bool read_item(Items& in, ItemValues& v, std::string* copies) {
  constexpr Item item = items[k];
  std::string_view t;
  if (!in.token(t)) return false;
  if constexpr (item.read == Read::integer) {
    if (!in.integer(t, v.ints[k])) return false;
    return item.expected < 0 || v.ints[k] == item.expected;
  } else if constexpr (item.read == Read::token) {
    constexpr int n = tokens_before(items, k);
    v.tokens[n] = in.keep(t, copies[n]);
    return true;
  } else {
    return in.real(t, v.reals[reals_before(items, k)]);
  }
}

template <const auto& items, class Items, std::size_t... k>
bool read_items(Items& in, ItemValues& v, std::string* copies, std::index_sequence<k...>) {
  return (read_item<items, k>(in, v, copies) && ...);
}

// Reads the entity after its keyword as the layout has it: each item a
// whole token that holds what the layout has there.
template <const auto& items, class Items>
bool read_layout(Items& in, ItemValues& v, std::string* copies) {
  return read_items<items>(in, v, copies, std::make_index_sequence<items.size()>());
}

// The position of the last token item, or items.size() when none.
template <std::size_t N>
constexpr int last_token_number(const std::array<Item, N>& items) {
  return tokens_before(items, N) - 1;
}

// Whether an entity whose tokens after its keyword next(t, wild) gives (a
// wild one may be any token) could be read in the layout: false when some
// item is not what the layout has there, whatever the wild tokens hold.
template <const auto& items, class Next>
bool layout_may_hold(Next next) {
  for (const Item& item : items) {
    std::string_view t;
    bool wild = false;
    next(t, wild);
    if (wild || item.read == Read::token) continue;
    if (item.read == Read::real) {
      if (!literal::is_whole_real(t)) return false;
      continue;
    }
    int v = 0;
    if (!literal::whole_integer(t, v) || (item.expected >= 0 && v != item.expected)) return false;
  }
  return true;
}

}  // namespace grammar
