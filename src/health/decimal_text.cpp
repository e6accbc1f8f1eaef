#include "health/decimal_text.h"

namespace kzt {

unsigned putDecimal(char* out, uint32_t value) {
  char reversed[kDecimalDigitsMax];
  unsigned digits = 0;
  do {
    reversed[digits++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (unsigned i = 0; i < digits; ++i) out[i] = reversed[digits - 1 - i];
  return digits;
}

unsigned putDecimalRight(char* out, uint32_t value, unsigned width) {
  char digits[kDecimalDigitsMax];
  const unsigned length = putDecimal(digits, value);
  unsigned at = 0;
  while (at + length < width) out[at++] = ' ';
  for (unsigned i = 0; i < length; ++i) out[at++] = digits[i];
  return at;
}

}  // namespace kzt
