#include "frontend/options.h"

#include <cstring>
#include <iterator>

#include "nandid/flash_id.h"

namespace kzt {

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


const char kHelpText[] =
    "Usage: kzt_fid [disk_num][b][y][f][n][x]\n"
    "       kzt_fid --scan [--json]\n"
    "       kzt_fid --help | -h | /?\n"
    "       kzt_fid --version\n"
    "\n"
    "Reads identification and health data out of an SSD on a Realtek controller:\n"
    "model, firmware, size, the flash ID of every bank with its description, the\n"
    "chip-enable map, the flash geometry, the bad-block lists and erase counts.\n"
    "\n"
    "The one argument holds the drive number and the option letters, which may\n"
    "stand anywhere in it, in either case:\n"
    "  b  save binary dumps (always on)\n"
    "  y  no questions to the user: no final key prompt\n"
    "  f  replay the run from the dump files in the current directory\n"
    "  n  put the drive's serial number into the report\n"
    "  x  read the bad blocks of every bank, not only bank 0\n"
    "Without an argument it lists the drives and asks for a number (0 to 99).\n"
    "Examples: kzt_fid 1    kzt_fid 0xy    kzt_fid 0fy\n"
    "\n"
    "--scan lists every drive with its number, node, bus and texts, sends it one\n"
    "IDENTIFY by the road a run would take and tells whether this tool serves it,\n"
    "does not, or cannot reach it (with the failure code and advice); --json\n"
    "gives the same as one JSON object. It sends nothing else, writes no file.\n"
    "\n"
    "Writes into the current directory: the report kzt_flash_id.txt, the erase\n"
    "counts kzt_flash_id_ec.txt, a dump of every answer that arrived (id.bin,\n"
    "kzt_fwi.bin, kzt_fid.bin, kzt_fid2.bin, kzt_bbec_<channel>_<ce>.bin,\n"
    "smart.bin) and the manifest reading.json, each whole or not at all. A live\n"
    "run first moves an earlier reading's files into reading-<serial>-<time>;\n"
    "nothing is removed. One run per folder: kzt_fid.lock keeps a second out.\n"
    "Reaching a drive needs administrator (root) rights.\n"
    "\n"
    "Exit status: 0 the run completed on a drive this tool serves and every\n"
    "answer arrived; 1 the drive answered but is not one it serves; 2 IDENTIFY\n"
    "failed or was rejected (or id.bin could not be loaded); 3 no drive was\n"
    "chosen (a refused number or argument, end of input at the prompt) or\n"
    "another run holds the folder; 4 the drive is served, but an answer did\n"
    "not arrive (each one is named in the report); 5 a file could not be\n"
    "written (named with the reason), which wins over 1, 2 and 4.\n"
    "--scan ends with 0, or with 2 for an argument it does not take.\n";

namespace {

bool isOneOf(const char* argument, const char* const* texts, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (std::strcmp(argument, texts[i]) == 0) return true;
  }
  return false;
}

// Console text goes out one formatted line at a time; the usage is longer than one line.
void printLines(const char* text) {
  while (*text != '\0') {
    const char* end = std::strchr(text, '\n');
    const size_t length = end != nullptr ? static_cast<size_t>(end - text) + 1 : std::strlen(text);
    printConsole("%.*s", static_cast<int>(length), text);
    text += length;
  }
}

constexpr const char* kHelpArguments[] = {"--help", "-h", "/?"};
constexpr const char* kVersionArguments[] = {"--version"};

}  // namespace

int answerInformationRequest(const char* argument) {
  if (argument == nullptr) return 0;
  if (isOneOf(argument, kHelpArguments, std::size(kHelpArguments))) {
    printLines(kHelpText);
    return 1;
  }
  if (isOneOf(argument, kVersionArguments, std::size(kVersionArguments))) {
    char decoderVersion[8] = {};
    FlashIdDecoderVersion(decoderVersion);
    printConsole("kzt_fid %s\nflash-ID decoder %s\n", kProgramVersion, decoderVersion);
    return 1;
  }
  return 0;
}

}  // namespace kzt
