#include "nandid/nandid_command.h"

#include <cstring>

#include "nandid/flash_id.h"

namespace kzt {

namespace {

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


// Adds the bytes written in text to *id. Tokens are separated by blanks or commas; each is one
// byte of one or two hex digits, or an even number of digits read two by two, with an optional
// 0x prefix: "98 3C 99", "983C99" and "0x98,0x3c,0x99" give the same bytes. Returns 1, or 0 and
// the first fault in *id (later texts then add nothing).
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


constexpr char kUsage[] =
    "Usage: kzt_nandid ID\n"
    "       kzt_nandid < file-with-one-ID-per-line\n"
    "       kzt_nandid --version | --help\n"
    "\n"
    "Decodes a NAND flash ID (the bytes a flash bank returns to READ ID) into a one-line\n"
    "description: maker, process node or 3D generation, cell type, page size, capacity per CE\n"
    "and per die, planes per die.\n"
    "\n"
    "ID: 1 to 8 hex bytes, separate or run together, blanks or commas between them, 0x allowed:\n"
    "  kzt_nandid 98 3C 99 B3 7A 51\n"
    "  kzt_nandid 983C99B37A51\n"
    "Missing bytes up to the sixth count as 00; bytes 6 and 7 are accepted and not used.\n"
    "Without an ID argument, reads one ID per line from standard input and writes one\n"
    "description per line (an empty line for a blank line, an unknown maker or a bad line).\n"
    "\n"
    "Exit status: 0 done; 1 the only ID given has an unknown maker code (empty description);\n"
    "2 unknown option or bad ID text.\n";

// Input lines longer than this are refused.
constexpr size_t kLineSize = 256;

void reportIdError(FILE* err, const IdText& id, int lineNumber) {
  std::fputs("kzt_nandid: ", err);
  if (lineNumber > 0) std::fprintf(err, "line %d: ", lineNumber);
  switch (id.error) {
    case IdTextError::BadHex:
      std::fprintf(err,
                   "bad hex \"%s\" (write the ID as hex bytes, e.g. 98 3C 99 B3 7A 51 or "
                   "983C99B37A51)\n",
                   id.badToken);
      break;
    case IdTextError::OddDigits:
      std::fprintf(err, "bad hex \"%s\" (odd number of hex digits)\n", id.badToken);
      break;
    case IdTextError::TooManyBytes:
      std::fprintf(err, "more than %d ID bytes\n", kMaxIdBytes);
      break;
    case IdTextError::None:
      std::fputs("no ID bytes\n", err);
      break;
  }
}

// Decodes the bytes (missing ones are already zero) and writes the description line.
int printDescription(const IdText& id, FILE* out) {
  char description[kDescriptionSize];
  const int known = DecodeFlashId(id.bytes, description);
  std::fprintf(out, "%s\n", description);
  return known;
}

// Reads one line without its line end into line; *tooLong when it didn't fit. 0 at the end of
// the input.
int readLine(FILE* in, char* line, size_t size, bool* tooLong) {
  size_t length = 0;
  bool any = false;
  *tooLong = false;
  int c = 0;
  while ((c = std::fgetc(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (length + 1 < size) {
      line[length++] = static_cast<char>(c);
    } else {
      *tooLong = true;
    }
  }
  line[length] = '\0';
  return any ? 1 : 0;
}

int decodeLines(FILE* in, FILE* out, FILE* err) {
  char line[kLineSize];
  bool tooLong = false;
  bool badInput = false;
  int lineNumber = 0;
  int decoded = 0;
  int lastKnown = 1;
  while (readLine(in, line, sizeof line, &tooLong)) {
    ++lineNumber;
    IdText id;
    if (tooLong) {
      std::fprintf(err, "kzt_nandid: line %d: longer than %d characters\n", lineNumber,
                   static_cast<int>(kLineSize - 1));
      badInput = true;
      std::fputs("\n", out);
      continue;
    }
    if (!addIdText(&id, line)) {
      reportIdError(err, id, lineNumber);
      badInput = true;
      std::fputs("\n", out);
      continue;
    }
    if (id.count == 0) {
      std::fputs("\n", out);
      continue;
    }
    lastKnown = printDescription(id, out);
    ++decoded;
  }
  if (badInput) return kNandidExitBadInput;
  if (decoded == 1 && !lastKnown) return kNandidExitUnknownMaker;
  return kNandidExitOk;
}

}  // namespace

int runNandidCommand(int argc, const char* const* argv, FILE* in, FILE* out, FILE* err) {
  bool help = false;
  bool version = false;
  int idArguments = 0;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      help = true;
    } else if (std::strcmp(arg, "--version") == 0) {
      version = true;
    } else if (arg[0] == '-') {
      std::fprintf(err, "kzt_nandid: unknown option \"%s\" (see kzt_nandid --help)\n", arg);
      return kNandidExitBadInput;
    } else {
      ++idArguments;
    }
  }
  if (help) {
    std::fputs(kUsage, out);
    return kNandidExitOk;
  }
  if (version) {
    char text[8];
    FlashIdDecoderVersion(text);
    std::fprintf(out, "%s\n", text);
    return kNandidExitOk;
  }
  if (idArguments == 0) return decodeLines(in, out, err);

  // All arguments together are one ID: "98 3C 99" arrives as three of them.
  IdText id;
  for (int i = 1; i < argc; ++i) {
    if (!addIdText(&id, argv[i])) {
      reportIdError(err, id, 0);
      return kNandidExitBadInput;
    }
  }
  if (id.count == 0) {
    reportIdError(err, id, 0);
    return kNandidExitBadInput;
  }
  return printDescription(id, out) ? kNandidExitOk : kNandidExitUnknownMaker;
}

}  // namespace kzt
