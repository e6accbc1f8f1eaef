#pragma once
#include <cstdio>

namespace kzt {

// Exit statuses of kzt_nandid.
constexpr int kNandidExitOk = 0;
constexpr int kNandidExitUnknownMaker = 1;  // the only ID given has no known maker code
constexpr int kNandidExitBadInput = 2;      // unknown option, bad hex, more than 8 bytes

// The kzt_nandid command: decodes the flash ID given in the arguments, or one ID per line of
// `in`, and writes one description per ID to `out`; messages go to `err`. Returns the exit status.
int runNandidCommand(int argc, const char* const* argv, FILE* in, FILE* out, FILE* err);

}  // namespace kzt
