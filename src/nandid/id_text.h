#pragma once
#include <cstdint>

namespace kzt {

// A flash ID holds at most this many bytes (a bank's record).
constexpr int kMaxIdBytes = 8;

enum class IdTextError {
  None,
  BadHex,        // a token with a character that isn't a hex digit, or no digit at all
  OddDigits,     // a token of more than two digits that doesn't split into whole bytes
  TooManyBytes,  // more than kMaxIdBytes bytes
};

// ID bytes gathered from one or more texts, and the first fault found in them.
struct IdText {
  uint8_t bytes[kMaxIdBytes] = {};
  int count = 0;
  IdTextError error = IdTextError::None;
  char badToken[40] = {};  // the offending token (shortened when long), for the message
};

// Adds the bytes written in text to *id. Tokens are separated by blanks or commas; each is one
// byte of one or two hex digits, or an even number of digits read two by two, with an optional
// 0x prefix: "98 3C 99", "983C99" and "0x98,0x3c,0x99" give the same bytes. Returns 1, or 0 and
// the first fault in *id (later texts then add nothing).
int addIdText(IdText* id, const char* text);

}  // namespace kzt
