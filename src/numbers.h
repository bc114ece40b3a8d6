// Conversions of reals to the integers the result holds, and their decimal text.
#pragma once

#include <string>

// Longest text any of the functions below produces, sign included.
inline constexpr int max_number_text = 340;

// Writes the decimal text of v at p and returns the end.
char* put_int(char* p, int v);

// Writes the exact integer of x + 0.5 (the sum taken exactly) truncated toward
// zero: 12.5 gives 13, -12.2 gives -11, the largest double below 0.5 gives 0.
// Room for max_number_text bytes is needed at p.
char* put_rounded(char* p, double x);

// Writes the exact integer of x truncated toward zero (-0.7 gives 0).
char* put_truncated(char* p, double x);

// Writes x with six decimals, as the console shows extents.
char* put_fixed6(char* p, double x);

// The same as text, for tests and messages.
std::string rounded_text(double x);
std::string truncated_text(double x);
