// The command-line argument and the line typed at the drive prompt. Byte 0 of the input picks
// the form: bit 0 clear, the rest of the input is the first argument (bit 1 adds a second one,
// which must be ignored); bit 0 set, there is no argument and the rest is what is typed. The
// machine has no drive and no console: every run must end by itself.
#include <cerrno>
#include <climits>
#include <string>

#include "frontend/options.h"
#include "fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  // The C library's reading of the same number, cut to the 32-bit range.
  bool overflowed = false;
  const int32_t number = kzt::parseDriveNumber(text.c_str(), &overflowed);
  errno = 0;
  const long long reference = std::strtoll(text.c_str(), nullptr, 10);
  const bool outside = errno == ERANGE || reference > INT32_MAX || reference < INT32_MIN;
  if (number != (reference > INT32_MAX ? INT32_MAX : reference < INT32_MIN ? INT32_MIN : reference)) {
    kzt::fuzz::finding("drive number differs from strtoll");
  }
  if (overflowed != outside) kzt::fuzz::finding("overflow flag differs from strtoll's range");

  const kzt::sim::ScratchDir scratch;
  kzt::sim::SimPlatform& machine = kzt::fuzz::emptyMachine();
  if (data[0] & 0x01) {
    kzt::sim::runProgramOn(machine, {}, text);
  } else if (data[0] & 0x02) {
    kzt::sim::runProgramOn(machine, {text.c_str(), "x"});
    if (kzt::runOptions.allBanks && text.find_first_of("xX") == std::string::npos) {
      kzt::fuzz::finding("the second argument was read");
    }
  } else {
    kzt::sim::runProgramOn(machine, {text.c_str()});
  }
  return 0;
}
