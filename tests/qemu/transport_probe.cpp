// The one native answer that no whole run on the test system's disks reaches: a vendor command
// that the emulated SATA disk aborts must come back through libata as a completed request with
// the device's error bit in lastAtaStatus. (The rest is proven by kzt_fid's own runs.) Prints one
// line and exits 0 when it holds.
#include <cstdio>

#include "transport/ata_command.h"
#include "transport/platform.h"

int main() {
  kzt::setPlatform(kzt::systemPlatform());
  static uint8_t buffer[4096];
  const int result = kzt::ataCommandIn48(0, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00,
                                         0xAF, 0x00, 0x00, buffer, 4096);
  const bool holds = result != 0 && (kzt::lastAtaStatus & kzt::kAtaStatusError) != 0;
  std::printf("%s: native Get FWI completes with the device's error bit (result %d, status 0x%x)\n",
              holds ? "PASS" : "FAIL", result, kzt::lastAtaStatus);
  return holds ? 0 : 1;
}
