#include "transport/usb_quirks.h"

namespace kzt {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a hexadecimal number at *text, with an optional 0x, and moves past it; the value wraps at
// 64 bits, as a 64-bit kernel's does.
uint64_t readHex(const char** text) {
  const char* at = *text;
  if (at[0] == '0' && (at[1] == 'x' || at[1] == 'X')) at += 2;
  uint64_t value = 0;
  for (int digit; (digit = hexDigit(*at)) >= 0; ++at) {
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  *text = at;
  return value;
}

}  // namespace

int findUsbQuirks(const char* parameter, uint16_t vendorId, uint16_t productId, char* letters,
                  size_t size) {
  if (size > 0) letters[0] = '\0';
  const char* at = parameter;
  while (*at != '\0') {
    if (readHex(&at) == vendorId && *at == ':') {
      ++at;
      if (readHex(&at) == productId && *at == ':') {
        ++at;
        size_t length = 0;
        for (; *at != '\0' && *at != ','; ++at) {
          if (length + 1 < size) letters[length++] = *at;
        }
        if (size > 0) letters[length] = '\0';
        return 1;
      }
    }
    while (*at != '\0' && *at++ != ',') {
    }
  }
  return 0;
}

int quirksSetNoAta1x(const char* letters) {
  for (const char* at = letters; *at != '\0'; ++at) {
    if (*at == 't' || *at == 'T') return 1;
  }
  return 0;
}

}  // namespace kzt
