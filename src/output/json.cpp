// SPDX-License-Identifier: GPL-2.0-or-later
#include "output/json.h"

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

}  // namespace kzt
