// The two native answers that no whole run on the test system's disks reaches, through libata:
// a vendor command that the emulated SATA disk aborts comes back as a completed request with the
// device's error bit in lastAtaStatus; and the high-order registers of a 48-bit command reach the
// device (READ SECTORS EXT of LBA 2^24, past the end of the 1 GiB disk, must fail there, while
// without them it would read LBA 0). (The rest is proven by kzt_fid's own runs.) Prints a line a
// check and exits 0 when both hold.
#include <cstdio>

#include "transport/ata_command.h"
#include "transport/platform.h"

int main() {
  kzt::setPlatform(kzt::systemPlatform());
  static uint8_t buffer[4096];
  const int result = kzt::ataCommandIn48(0, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00,
                                         0xAF, 0x00, 0x00, buffer, 4096);
  const bool aborted = result != 0 && (kzt::lastAtaStatus & kzt::kAtaStatusError) != 0;
  std::printf("%s: native Get FWI completes with the device's error bit (result %d, status 0x%x)\n",
              aborted ? "PASS" : "FAIL", result, kzt::lastAtaStatus);
  const int read = kzt::ataCommandIn48(0, 0x24, 0x40, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
                                       0x01, 0x00, 0x00, buffer, 512);
  const bool far = read != 0 && (kzt::lastAtaStatus & kzt::kAtaStatusError) != 0;
  std::printf("%s: native 48-bit LBA past the disk's end is refused by the disk (status 0x%x)\n",
              far ? "PASS" : "FAIL", kzt::lastAtaStatus);
  return aborted && far ? 0 : 1;
}
