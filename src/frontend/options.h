#pragma once
#include <cstdint>

#include "output/output.h"

namespace kzt {

// The program's version text: the console banner and the report's first line.
constexpr const char* kProgramVersion = "0.15a";

// The decimal number at the start of a text: leading white space skipped, an optional sign, then
// digits up to the first other character; 0 when no digit follows. A value beyond the 32-bit
// range saturates at its limit and sets *overflowed (when given).
int32_t parseDriveNumber(const char* text, bool* overflowed = nullptr);

// Sets the switch of every option letter (b, f, n, x, y in either case) found anywhere in text.
void applyOptionLetters(const char* text, RunOptions* options);

// Holds a typed drive line: 127 characters and the terminator.
constexpr int kTypedLineSize = 128;

// The usage printed for --help, -h and /?.
extern const char kHelpText[];

// Answers the arguments that ask about the program instead of naming a drive: "--help", "-h" and
// "/?" print the usage, "--version" the version texts of the program and of the flash-ID decoder.
// Only these exact texts count; anything else (such as "-h1" or "--helpx") is not answered here
// (the run flow refuses it, as it names no drive).
// Non-zero when `argument` was one of them and its text has been printed to the console.
int answerInformationRequest(const char* argument);

}  // namespace kzt
