#pragma once
#include <cstdint>

namespace kzt {

constexpr uint8_t kBusKindAta = 0;
constexpr uint8_t kBusKindUsb = 1;

// The run's settings: filled by the run flow before the first drive command, read-only after.
struct RunOptions {
  int32_t driveNumber = 0;  // compared as signed, printed as unsigned
  uint8_t busKind = kBusKindAta;
  bool saveDumps = true;  // letter b; dumps are on in every run
  bool fileMode = false;        // letter f: replay from dump files
  bool serialInReport = false;  // letter n
  bool noPrompt = false;        // letter y
  bool allBanks = false;        // letter x
};

extern RunOptions runOptions;

// The decimal number at the start of a text: leading white space skipped, an optional sign, then
// digits up to the first other character; 0 when no digit follows. A value beyond the 32-bit
// range saturates at its limit and sets *overflowed (when given).
int32_t parseDriveNumber(const char* text, bool* overflowed = nullptr);

// Sets the switch of every option letter (b, f, n, x, y in either case) found anywhere in text.
void applyOptionLetters(const char* text, RunOptions* options);

// Holds a typed drive line: 127 characters and the terminator.
constexpr int kTypedLineSize = 128;

}  // namespace kzt
