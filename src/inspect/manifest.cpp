// SPDX-License-Identifier: GPL-2.0-or-later
// The reading's manifest, read with a small JSON reader of its own: it walks the whole document
// (objects, arrays, strings, numbers, literals), at most 32 levels deep, and keeps the members
// kzt_inspect shows, by their path. Anything that is not valid JSON leaves the manifest unknown.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "inspect/inspect.h"

namespace kzt {

namespace {

constexpr size_t kManifestMax = 1 << 20;
constexpr unsigned kDepthMax = 32;
char manifestText[kManifestMax + 1];

struct Reader {
  const char* at;
  const char* end;
  ReadingManifest* manifest;
  char path[128];  // the keys from the top, joined with '.'
};

void skipBlanks(Reader* r) {
  while (r->at < r->end && (*r->at == ' ' || *r->at == '\t' || *r->at == '\n' || *r->at == '\r')) {
    ++r->at;
  }
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A string at r->at (its opening quote), decoded into `text` (cut to `size`); an escaped
// character beyond ASCII becomes '?'.
bool readString(Reader* r, char* text, size_t size) {
  if (r->at >= r->end || *r->at != '"') return false;
  ++r->at;
  size_t length = 0;
  while (r->at < r->end && *r->at != '"') {
    char c = *r->at++;
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (c == '\\') {
      if (r->at >= r->end) return false;
      const char e = *r->at++;
      const char* simple = std::strchr("\"\\/bfnrt", e);
      if (e != '\0' && simple != nullptr) {
        c = "\"\\/\b\f\n\r\t"[simple - "\"\\/bfnrt"];
      } else if (e == 'u') {
        unsigned code = 0;
        for (int k = 0; k < 4; ++k) {
          const int digit = r->at < r->end ? hexDigit(*r->at++) : -1;
          if (digit < 0) return false;
          code = code * 16 + static_cast<unsigned>(digit);
        }
        c = code < 0x80 ? static_cast<char>(code) : '?';
      } else {
        return false;
      }
    }
    if (length + 1 < size) text[length++] = c;
  }
  if (r->at >= r->end) return false;
  ++r->at;
  if (size > 0) text[length] = '\0';
  return true;
}

bool readValue(Reader* r, unsigned depth);

// The value at r->at is a member named `key` under the current path.
bool readMember(Reader* r, const char* key, unsigned depth) {
  const size_t before = std::strlen(r->path);
  std::snprintf(r->path + before, sizeof r->path - before, "%s%s", before ? "." : "", key);
  const bool ok = readValue(r, depth);
  r->path[before] = '\0';
  return ok;
}

// A string member the manifest keeps, or null: false when the value is neither.
bool keepText(Reader* r, char* text, size_t size, bool* known) {
  if (r->end - r->at >= 4 && std::strncmp(r->at, "null", 4) == 0) {
    r->at += 4;
    return true;
  }
  *known = readString(r, text, size);
  return *known;
}

bool readValue(Reader* r, unsigned depth) {
  skipBlanks(r);
  if (r->at >= r->end || depth > kDepthMax) return false;
  ReadingManifest* m = r->manifest;
  bool ignored = false;
  if (std::strcmp(r->path, "time.utc") == 0) return keepText(r, m->utc, sizeof m->utc, &ignored);
  if (std::strcmp(r->path, "time.local_offset") == 0) {
    return keepText(r, m->localOffset, sizeof m->localOffset, &ignored);
  }
  if (std::strcmp(r->path, "host") == 0) return keepText(r, m->host, sizeof m->host, &m->hostKnown);
  if (std::strcmp(r->path, "drive.node") == 0) {
    return keepText(r, m->node, sizeof m->node, &m->nodeKnown);
  }
  const char c = *r->at;
  if (c == '{' || c == '[') {
    ++r->at;
    skipBlanks(r);
    const char close = c == '{' ? '}' : ']';
    if (r->at < r->end && *r->at == close) {
      ++r->at;
      return true;
    }
    for (unsigned index = 0;; ++index) {
      skipBlanks(r);
      if (c == '{') {
        char key[64];
        if (!readString(r, key, sizeof key)) return false;
        skipBlanks(r);
        if (r->at >= r->end || *r->at++ != ':') return false;
        if (!readMember(r, key, depth + 1)) return false;
      } else if (!readMember(r, "[]", depth + 1)) {
        return false;
      }
      skipBlanks(r);
      if (r->at >= r->end) return false;
      if (*r->at == close) {
        ++r->at;
        return true;
      }
      if (*r->at++ != ',') return false;
    }
  }
  if (c == '"') {
    char skipped[1];
    return readString(r, skipped, sizeof skipped);
  }
  for (const char* literal : {"true", "false", "null"}) {
    const size_t length = std::strlen(literal);
    if (static_cast<size_t>(r->end - r->at) >= length && std::strncmp(r->at, literal, length) == 0) {
      r->at += length;
      return true;
    }
  }
  // A number: the manifest keeps time.unix, a whole number.
  char* numberEnd = nullptr;
  const double value = std::strtod(r->at, &numberEnd);
  if (numberEnd == r->at || numberEnd > r->end) return false;
  if (std::strcmp(r->path, "time.unix") == 0) {
    m->unixTime = std::strtoll(r->at, nullptr, 10);
    m->timeKnown = value == static_cast<double>(m->unixTime);
  }
  r->at = numberEnd;
  return true;
}

}  // namespace

bool readManifest(const char* path, ReadingManifest* manifest) {
  *manifest = ReadingManifest{};
  char reason[96];
  std::FILE* stream = openInput(path, reason, sizeof reason);
  if (stream == nullptr) return false;
  const size_t length = std::fread(manifestText, 1, kManifestMax, stream);
  const bool whole = !std::ferror(stream) && std::fgetc(stream) == EOF;
  std::fclose(stream);
  manifestText[length] = '\0';
  Reader reader{manifestText, manifestText + length, manifest, ""};
  skipBlanks(&reader);
  const bool object = reader.at < reader.end && *reader.at == '{';
  bool ok = whole && object && readValue(&reader, 0);
  skipBlanks(&reader);
  ok = ok && reader.at == reader.end;
  if (!ok) {
    *manifest = ReadingManifest{};
    return false;
  }
  manifest->present = true;
  return true;
}

}  // namespace kzt
