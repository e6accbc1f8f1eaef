#pragma once

namespace kzt {

// The usage printed for --help, -h and /?.
extern const char kHelpText[];

// Answers the arguments that ask about the program instead of naming a drive: "--help", "-h" and
// "/?" print the usage, "--version" the version texts of the program and of the flash-ID decoder.
// Only these exact texts count; anything else (such as "-h1" or "--helpx") is a drive argument.
// Non-zero when `argument` was one of them and its text has been printed to the console.
int answerInformationRequest(const char* argument);

}  // namespace kzt
