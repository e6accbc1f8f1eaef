#pragma once
#include <cstdio>

namespace kzt {

// Exit statuses of kzt_nandid.
constexpr int kNandidExitOk = 0;
constexpr int kNandidExitUnknownMaker = 1;  // the only ID given has no known maker code
constexpr int kNandidExitBadInput = 2;      // unknown option, bad hex, more than 8 bytes, a NUL
                                            // character, UTF-16 input cut in half a character
constexpr int kNandidExitNotWritten = 3;    // standard output could not be written (wins)

// The kzt_nandid command: decodes the flash ID given in the arguments, or one ID per line of
// `in` (one byte per character, or UTF-16 either way round), and writes one description per ID
// to `out`, flushed at the end; messages go to `err`. Returns the exit status.
int runNandidCommand(int argc, const char* const* argv, FILE* in, FILE* out, FILE* err);

}  // namespace kzt
