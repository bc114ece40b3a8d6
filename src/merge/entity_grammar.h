// The items that follow "POLYLINE" and "VERTEX" in the layout the merge
// copies, each with how it is read and how it is written. This table is the
// one description of that layout: the writing pass's copier, the survey's
// skipper and the accelerator are all made from it when compiled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace grammar {

enum class Read : std::uint8_t { integer, token, real };

struct Item {
  Read read;                // as the writing pass reads it
  Read survey;              // as the survey reads it (VERTEX; the survey leaves POLYLINE items to its loop)
  std::uint8_t spaces;      // written after this many spaces (integers)
  bool space_sign = false;  // "% d": one space before a number that is not negative, none before a minus
};

inline constexpr Read I = Read::integer;
inline constexpr Read T = Read::token;
inline constexpr Read R = Read::real;

// Group code and value pairs; item 11 is the group code before the next entity (normally 0).
inline constexpr std::array<Item, 11> polyline = {{
    {I, I, 2},        // group code (8)
    {T, T, 0},        // layer
    {I, I, 2},        // group code (66)
    {T, T, 0},        // its value
    {I, I, 0, true},  // group code (70)
    {I, I, 5},        // flags
    {I, I, 1},        // group code (10)
    {I, I, 5},        // x of the elevation point
    {I, I, 1},        // group code (20)
    {I, I, 0},        // its y
    {I, I, 2},        // the next group code
}};

inline constexpr std::array<Item, 11> vertex = {{
    {I, T, 2},  // group code (8)
    {T, T, 0},  // layer
    {I, T, 1},  // group code (70)
    {I, T, 4},  // flags
    {I, I, 1},  // group code 10
    {R, R, 0},  // x, rounded
    {I, I, 1},  // group code 20
    {R, R, 0},  // y, rounded
    {I, I, 1},  // group code 30
    {R, R, 0},  // z, rounded
    {I, I, 2},  // the next group code
}};

// What "SEQEND" is written as: the keyword and a line holding 0.
inline constexpr const char* seqend_text = "SEQEND\r\n0\r\n";

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

}  // namespace grammar
