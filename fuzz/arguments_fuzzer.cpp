// The command-line argument and the line typed at the drive prompt. Byte 0 of the input picks
// the form: bit 0 clear, the rest of the input is the first argument (bit 1 adds a second one,
// which must be ignored); bit 0 set, there is no argument and the rest is what is typed. The
// machine has no drive and no console: every run must end by itself.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/output.h"
#include "frontend/run_flow.h"
#include "frontend/options.h"
#include "fuzz_platform.h"

namespace {

kzt::fuzz::FuzzPlatform machine;

// The C library's reading of the same number, cut to the 32-bit range.
void checkDriveNumber(const char* text) {
  bool overflowed = false;
  const int32_t number = kzt::parseDriveNumber(text, &overflowed);
  errno = 0;
  const long long reference = std::strtoll(text, nullptr, 10);
  const bool outside = errno == ERANGE || reference > INT32_MAX || reference < INT32_MIN;
  const long long clamped = reference > INT32_MAX ? INT32_MAX : reference < INT32_MIN ? INT32_MIN : reference;
  if (number != clamped) kzt::fuzz::finding("drive number differs from strtoll");
  if (overflowed != outside) kzt::fuzz::finding("overflow flag differs from strtoll's range");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool typed = (data[0] & 0x01) != 0;
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  checkDriveNumber(text.c_str());

  const kzt::fuzz::InScratchFolder scratch;
  kzt::consoleStream = kzt::fuzz::nullConsole();
  kzt::setPlatform(&machine);
  char program[] = "kzt_fid";
  char extra[] = "x";
  if (typed) {
    std::FILE* input = text.empty() ? std::fopen("/dev/null", "rb") : fmemopen(text.data(), text.size(), "rb");
    if (input == nullptr) kzt::fuzz::finding("no input stream");
    kzt::inputStream = input;
    char* argv[] = {program, nullptr};
    kzt::runProgram(1, argv);
    kzt::inputStream = stdin;
    std::fclose(input);
  } else {
    char* argv[] = {program, text.data(), extra, nullptr};
    const bool second = (data[0] & 0x02) != 0;
    kzt::runProgram(second ? 3 : 2, argv);
    if (second && kzt::runOptions.allBanks && text.find_first_of("xX") == std::string::npos) {
      kzt::fuzz::finding("the second argument was read");
    }
  }
  kzt::setPlatform(nullptr);
  return 0;
}
