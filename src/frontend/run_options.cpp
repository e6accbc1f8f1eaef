#include "frontend/run_options.h"

#include <cstdint>

namespace kzt {

RunOptions runOptions;

namespace {
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
}  // namespace

int32_t parseDriveNumber(const char* text, bool* overflowed) {
  if (overflowed != nullptr) *overflowed = false;
  const char* p = text;
  while (isBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  const int64_t limit = negative ? -static_cast<int64_t>(INT32_MIN) : INT32_MAX;
  int64_t value = 0;
  bool saturated = false;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (saturated) continue;
    value = value * 10 + (*p - '0');
    if (value > limit) {
      value = limit;
      saturated = true;
    }
  }
  if (overflowed != nullptr) *overflowed = saturated;
  return static_cast<int32_t>(negative ? -value : value);
}

void applyOptionLetters(const char* text, RunOptions* options) {
  for (const char* p = text; *p != '\0'; ++p) {
    switch (*p) {
      case 'b': case 'B': options->saveDumps = true; break;
      case 'y': case 'Y': options->noPrompt = true; break;
      case 'f': case 'F': options->fileMode = true; break;
      case 'n': case 'N': options->serialInReport = true; break;
      case 'x': case 'X': options->allBanks = true; break;
      default: break;
    }
  }
}

}  // namespace kzt
