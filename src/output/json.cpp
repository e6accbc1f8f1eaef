// SPDX-License-Identifier: GPL-2.0-or-later
#include "output/json.h"

#include <cstring>

namespace kzt {

void writeJsonText(std::FILE* out, const char* text) {
  std::fputc('"', out);
  for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
    if (*c == '"' || *c == '\\') {
      std::fputc('\\', out);
      std::fputc(*c, out);
    } else if (*c < 0x20 || *c >= 0x7F) {
      std::fprintf(out, "\\u%04x", unsigned{*c});
    } else {
      std::fputc(*c, out);
    }
  }
  std::fputc('"', out);
}

void writeJsonHeader(std::FILE* out, const char* program, const char* version, int argc,
                     const char* const* argv) {
  std::fprintf(out, "{\n  \"json_format_version\": [%u, %u],\n  ", kJsonFormatMajor,
               kJsonFormatMinor);
  writeJsonText(out, program);
  std::fputs(": {\"version\": ", out);
  writeJsonText(out, version);
  std::fputs(", \"argv\": [", out);
  for (int i = 0; i < argc; ++i) {
    if (i != 0) std::fputs(", ", out);
    writeJsonText(out, argv[i]);
  }
  std::fputs("]},\n", out);
}

void formatUtc(char* out, int64_t unixSeconds, UtcForm form) {
  // The calendar date of the day count (days since 1970-01-01), by eras of 400 years that start
  // on 1 March, so that the leap day falls at the end of a year.
  int64_t days = unixSeconds / 86400;
  int64_t second = unixSeconds % 86400;
  if (second < 0) second += 86400, --days;
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t dayOfEra = days - era * 146097;
  const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const int64_t monthIndex = (5 * dayOfYear + 2) / 153;
  const long long day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  const long long month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  const long long year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
  const long long hour = second / 3600, minute = second / 60 % 60, sec = second % 60;
  // Formatted at full width first: a year of a corrupt time may take many digits.
  char text[128];
  if (form == UtcForm::Date) {
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", year, month, day);
  } else if (form == UtcForm::Iso) {
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month,
                  day, hour, minute, sec);
  } else {
    std::snprintf(text, sizeof text, "%04lld%02lld%02lldT%02lld%02lld%02lldZ", year, month, day,
                  hour, minute, sec);
  }
  size_t length = std::strlen(text);
  if (length >= kUtcTextSize) length = kUtcTextSize - 1;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

}  // namespace kzt
