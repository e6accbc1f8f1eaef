#include "nandid/id_text.h"

#include <cstring>

namespace kzt {

namespace {

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void fail(IdText* id, IdTextError error, const char* token, size_t length) {
  id->error = error;
  const size_t room = sizeof id->badToken - 1;
  if (length > room) {
    const size_t kept = room - 3;
    std::memcpy(id->badToken, token, kept);
    std::memcpy(id->badToken + kept, "...", 4);
  } else {
    std::memcpy(id->badToken, token, length);
    id->badToken[length] = '\0';
  }
}

int addByte(IdText* id, int value) {
  if (id->count >= kMaxIdBytes) {
    id->error = IdTextError::TooManyBytes;
    return 0;
  }
  id->bytes[id->count++] = static_cast<uint8_t>(value);
  return 1;
}

int addToken(IdText* id, const char* token, size_t length) {
  const char* digits = token;
  size_t count = length;
  if (count >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits += 2;
    count -= 2;
  }
  if (count == 0) {
    fail(id, IdTextError::BadHex, token, length);
    return 0;
  }
  for (size_t i = 0; i < count; ++i) {
    if (hexValue(digits[i]) < 0) {
      fail(id, IdTextError::BadHex, token, length);
      return 0;
    }
  }
  if (count <= 2) {
    int value = 0;
    for (size_t i = 0; i < count; ++i) value = value * 16 + hexValue(digits[i]);
    return addByte(id, value);
  }
  if (count % 2 != 0) {
    fail(id, IdTextError::OddDigits, token, length);
    return 0;
  }
  for (size_t i = 0; i < count; i += 2) {
    if (!addByte(id, hexValue(digits[i]) * 16 + hexValue(digits[i + 1]))) return 0;
  }
  return 1;
}

}  // namespace

int addIdText(IdText* id, const char* text) {
  if (id->error != IdTextError::None) return 0;
  const char* p = text;
  while (*p != '\0') {
    if (isSeparator(*p)) {
      ++p;
      continue;
    }
    const char* start = p;
    while (*p != '\0' && !isSeparator(*p)) ++p;
    if (!addToken(id, start, static_cast<size_t>(p - start))) return 0;
  }
  return 1;
}

}  // namespace kzt
