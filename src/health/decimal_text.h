#pragma once
#include <cstdint>

namespace kzt {

// Unsigned numbers as decimal text, for the long lists of the bad-block report and the
// erase-count file: thousands of numbers a run, written without a printf call for each.

// Most characters a 32-bit value takes (4294967295).
constexpr unsigned kDecimalDigitsMax = 10;

// Writes `value` as "%u" does at `out`, without a terminator; returns the characters written.
unsigned putDecimal(char* out, uint32_t value);

// Writes `value` as "%<width>u" does: right-aligned in `width` characters, spaces on the left; a
// wider number takes more room. `width` is at most kDecimalDigitsMax. Returns the characters
// written.
unsigned putDecimalRight(char* out, uint32_t value, unsigned width);

}  // namespace kzt
