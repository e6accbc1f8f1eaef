#include "nandid/nandid_command.h"

#include <cerrno>
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

// A control byte (0x00-0x1F, 0x7F) of a text the program echoes shows as '?', so that an escape
// sequence in a bad token cannot steer the terminal.
char shown(char c) {
  const unsigned char byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F ? '?' : c;
}

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
    for (size_t i = 0; i < kept; ++i) id->badToken[i] = shown(token[i]);
    std::memcpy(id->badToken + kept, "...", 4);
  } else {
    for (size_t i = 0; i < length; ++i) id->badToken[i] = shown(token[i]);
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
    "The input may be ASCII, UTF-8 or UTF-16 (with or without a byte order mark).\n"
    "\n"
    "Exit status: 0 done; 1 the only ID given has an unknown maker code (empty description);\n"
    "2 unknown option or bad ID text or input; 3 standard output could not be written.\n";

// Input lines longer than this are refused.
constexpr size_t kLineSize = 256;

// Writes text with its control bytes shown as '?'.
void putShown(FILE* stream, const char* text) {
  for (const char* p = text; *p != '\0'; ++p) std::fputc(shown(*p), stream);
}

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

// Standard output and the system's code of its first failed write (0 while none).
struct Output {
  FILE* stream;
  int error;
};

// Notes a failed write (a negative result of a stdio call) by the code the C library set.
void noteWrite(Output* out, int result) {
  if (result < 0 && out->error == 0) out->error = errno != 0 ? errno : EIO;
}

// Flushes the output. A failed write is named on err and gives kNandidExitNotWritten; a closed
// pipe (the reader went away, as with `| head`) ends the run as quietly as other tools do.
int finishOutput(Output* out, FILE* err, int status) {
  errno = 0;
  noteWrite(out, std::fflush(out->stream) == 0 ? 0 : -1);
  if (out->error == 0 && std::ferror(out->stream)) out->error = EIO;
  if (out->error == 0) return status;
  if (out->error != EPIPE) std::fprintf(err, "kzt_nandid: standard output: %s\n", std::strerror(out->error));
  return kNandidExitNotWritten;
}

// Decodes the bytes (missing ones are already zero) and writes the description line.
int printDescription(const IdText& id, Output* out) {
  char description[kDescriptionSize];
  const int known = DecodeFlashId(id.bytes, description);
  errno = 0;
  noteWrite(out, std::fprintf(out->stream, "%s\n", description));
  return known;
}

void printEmptyLine(Output* out) {
  errno = 0;
  noteWrite(out, std::fputs("\n", out->stream));
}

// How the input's bytes make characters: one byte each, or one UTF-16 code unit of two bytes in
// either order (what a PowerShell redirect or a Windows editor's "Unicode" writes).
enum class Encoding { Bytes, Utf16Le, Utf16Be };

// Standard input, its encoding, and the bytes read ahead to find it, handed out first.
struct Input {
  FILE* stream = nullptr;
  Encoding encoding = Encoding::Bytes;
  int ahead[2] = {};
  int aheadCount = 0;
  int aheadNext = 0;
  bool halfUnit = false;  // UTF-16 input that ends in the middle of a code unit
};

int readByte(Input* in) {
  if (in->aheadNext < in->aheadCount) return in->ahead[in->aheadNext++];
  return std::fgetc(in->stream);
}

// Finds the encoding from the first bytes: a byte order mark (UTF-16 either way, or UTF-8's,
// which is skipped), else UTF-16 when exactly one of the first two bytes is zero (an ASCII
// character in UTF-16), else one byte per character.
void startInput(Input* in) {
  const int first = std::fgetc(in->stream);
  if (first == EOF) return;
  const int second = std::fgetc(in->stream);
  if (first == 0xFF && second == 0xFE) {
    in->encoding = Encoding::Utf16Le;
    return;
  }
  if (first == 0xFE && second == 0xFF) {
    in->encoding = Encoding::Utf16Be;
    return;
  }
  if (first == 0xEF && second == 0xBB) {
    const int third = std::fgetc(in->stream);
    if (third == 0xBF) return;
    in->ahead[0] = third;  // not a mark: 0xEF 0xBB is a bad token either way
    in->aheadCount = third == EOF ? 0 : 1;
    return;
  }
  if (second != EOF && (first == 0) != (second == 0)) {
    in->encoding = first != 0 ? Encoding::Utf16Le : Encoding::Utf16Be;
  }
  in->ahead[0] = first;
  in->ahead[1] = second;
  in->aheadCount = second == EOF ? 1 : 2;
}

// The next character: a byte, or a UTF-16 code unit of the ASCII range as that byte. A unit
// beyond ASCII can be no part of an ID and reads as '?', which makes its token a bad one.
int readCharacter(Input* in) {
  const int first = readByte(in);
  if (in->encoding == Encoding::Bytes || first == EOF) return first;
  const int second = readByte(in);
  if (second == EOF) {
    in->halfUnit = true;
    return EOF;
  }
  const int unit = in->encoding == Encoding::Utf16Le ? first | second << 8 : first << 8 | second;
  return unit < 0x80 ? unit : '?';
}

// Reads one line without its line end into line; *tooLong when it didn't fit, *nul when it holds
// a NUL character (which would cut the text short). 0 at the end of the input.
int readLine(Input* in, char* line, size_t size, bool* tooLong, bool* nul) {
  size_t length = 0;
  bool any = false;
  *tooLong = false;
  *nul = false;
  int c = 0;
  while ((c = readCharacter(in)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (c == 0) *nul = true;
    if (length + 1 < size) {
      line[length++] = static_cast<char>(c);
    } else {
      *tooLong = true;
    }
  }
  line[length] = '\0';
  return any ? 1 : 0;
}

int decodeLines(FILE* stream, Output* out, FILE* err) {
  Input in;
  in.stream = stream;
  startInput(&in);
  char line[kLineSize];
  bool tooLong = false;
  bool nul = false;
  bool badInput = false;
  int lineNumber = 0;
  int decoded = 0;
  int lastKnown = 1;
  while (out->error == 0 && readLine(&in, line, sizeof line, &tooLong, &nul)) {
    ++lineNumber;
    IdText id;
    if (nul || tooLong) {
      if (nul) {
        std::fprintf(err, "kzt_nandid: line %d: a NUL character (the input is not text)\n", lineNumber);
      } else {
        std::fprintf(err, "kzt_nandid: line %d: longer than %d characters\n", lineNumber,
                     static_cast<int>(kLineSize - 1));
      }
      badInput = true;
      printEmptyLine(out);
      continue;
    }
    if (!addIdText(&id, line)) {
      reportIdError(err, id, lineNumber);
      badInput = true;
      printEmptyLine(out);
      continue;
    }
    if (id.count == 0) {
      printEmptyLine(out);
      continue;
    }
    lastKnown = printDescription(id, out);
    ++decoded;
  }
  if (in.halfUnit) {
    std::fputs("kzt_nandid: the UTF-16 input ends in the middle of a character\n", err);
    badInput = true;
  }
  if (badInput) return kNandidExitBadInput;
  if (decoded == 1 && !lastKnown) return kNandidExitUnknownMaker;
  return kNandidExitOk;
}

int runCommand(int argc, const char* const* argv, FILE* in, Output* out, FILE* err) {
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
      std::fputs("kzt_nandid: unknown option \"", err);
      putShown(err, arg);
      std::fputs("\" (see kzt_nandid --help)\n", err);
      return kNandidExitBadInput;
    } else {
      ++idArguments;
    }
  }
  errno = 0;
  if (help) {
    noteWrite(out, std::fputs(kUsage, out->stream));
    return kNandidExitOk;
  }
  if (version) {
    char text[8];
    FlashIdDecoderVersion(text);
    noteWrite(out, std::fprintf(out->stream, "kzt_nandid %s\nflash-ID decoder %s\n", KZT_VERSION_TEXT, text));
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

}  // namespace

int runNandidCommand(int argc, const char* const* argv, FILE* in, FILE* out, FILE* err) {
  Output output{.stream = out, .error = 0};
  const int status = runCommand(argc, argv, in, &output, err);
  return finishOutput(&output, err, status);
}

}  // namespace kzt
