// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// What every JSON object that the project's programs write has in common: its opening members
// (the format version and the writing program with its version and arguments) and the escaping of
// texts, so that any byte a drive puts into a text gives valid JSON. Keys are lower snake_case.
// Plain writes to a stream: the caller checks the stream once at the end.

namespace kzt {

// The format version, [major, minor]. Within major 1 keys are only added (minor goes up), never
// renamed or removed, so a reader written for 1.0 reads every 1.x object.
constexpr unsigned kJsonFormatMajor = 1;
constexpr unsigned kJsonFormatMinor = 0;

// A byte of a device text or a name as the text outputs show it: a control byte (0x00-0x1F, 0x7F)
// as '?', so that no such text moves the cursor, clears the screen or adds a line.
inline char shownCharacter(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F ? '?' : c;
}

// `text` as a JSON string: quote and backslash escaped, control bytes and every byte from 0x7F on
// as \u00XX (a byte above 0x7F read as the Latin-1 character of that number).
void writeJsonText(std::FILE* out, const char* text);

// "{", then a line `  "json_format_version": [1, 0],` and a line
// `  "<program>": {"version": "<version>", "argv": [<each argument as given>]},`: the program's
// own members follow, two spaces in, and the caller closes the object.
void writeJsonHeader(std::FILE* out, const char* program, const char* version, int argc,
                     const char* const* argv);

// A Unix time (seconds since 1970-01-01 UTC) as the outputs and file names show it, in UTC and the
// proleptic Gregorian calendar: "2026-12-07" (UtcForm::Date), "2026-12-07T10:15:00Z" (Iso) or
// "20261207T101500Z" (Compact). `out` holds at least kUtcTextSize bytes.
enum class UtcForm : uint8_t { Date, Iso, Compact };
constexpr size_t kUtcTextSize = 48;
void formatUtc(char* out, int64_t unixSeconds, UtcForm form);

}  // namespace kzt
