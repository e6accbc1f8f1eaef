// Sends commands to drive 0 through the command interface and checks what comes back, on a real
// kernel: `kzt_transport_probe native` on a SATA disk, `kzt_transport_probe denied CODE` without
// the rights for raw commands (Identify must fail with error code CODE). Prints one line per check
// and exits 0 when every check holds. (The USB path is proven by whole runs through the emulated
// bridge and QEMU's USB stick.)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frontend/options.h"
#include "transport/ata_command.h"
#include "transport/byte_order.h"
#include "transport/platform.h"

namespace {

int failures = 0;

void check(bool holds, const char* what) {
  std::printf("%s: %s\n", holds ? "PASS" : "FAIL", what);
  if (!holds) ++failures;
}

uint8_t buffer[4096];

int identify() {
  std::memset(buffer, 0, sizeof buffer);
  return kzt::ataCommandIn(0, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, buffer, 512);
}

// Model text of an IDENTIFY answer: words 27 to 46, first character of each word in its high byte.
void modelOf(char* model) {
  for (int i = 0; i < 40; ++i) model[i] = static_cast<char>(buffer[54 + (i ^ 1)]);
  model[40] = '\0';
}

int smart() {
  std::memset(buffer, 0, sizeof buffer);
  const int enabled = kzt::ataCommandNoData(0, 0xB0, 0x40, 0xC2, 0x4F, 0x00, 0x00, 0xD8, nullptr, 0);
  const uint8_t enableStatus = kzt::lastAtaStatus;
  const int read = kzt::ataCommandIn(0, 0xB0, 0x40, 0xC2, 0x4F, 0x00, 0x01, 0xD0, buffer, 512);
  unsigned sum = 0;
  for (int i = 0; i < 512; ++i) sum += buffer[i];
  std::printf("SMART: enable result %d status 0x%x, read result %d status 0x%x, byte sum %u\n",
              enabled, enableStatus, read, kzt::lastAtaStatus, sum);
  return enabled != 0 && read != 0 && (enableStatus & kzt::kAtaStatusError) == 0 &&
                 (kzt::lastAtaStatus & kzt::kAtaStatusError) == 0
             ? static_cast<int>(sum) + 1
             : 0;
}

void native() {
  kzt::busKind = kzt::BusKind::Ata;
  int result = identify();
  char model[41];
  modelOf(model);
  const unsigned long long sectors = kzt::readLe64(buffer + 200);
  std::printf("native Identify: result %d, lastAtaStatus 0x%x, model [%s], sectors %llu\n", result,
              kzt::lastAtaStatus, model, sectors);
  check(result != 0 && (kzt::lastAtaStatus & kzt::kAtaStatusError) == 0,
        "native Identify completes without the error bit");
  check(std::strncmp(model, "QEMU HARDDISK", 13) == 0, "native Identify brings the model");

  const int sum = smart();
  check(sum > 1 && (sum - 1) % 256 == 0, "native SMART enable and read, with a valid checksum");

  // Get FWI: a vendor command that the emulated disk aborts.
  std::memset(buffer, 0, sizeof buffer);
  result = kzt::ataCommandIn48(0, 0xFA, 0xE0, 0xF0, 0x50, 0x00, 0x08, 0x01, 0x00, 0x00, 0xAF, 0x00,
                               0x00, buffer, 4096);
  std::printf("native Get FWI: result %d, lastAtaStatus 0x%x, first byte 0x%x\n", result,
              kzt::lastAtaStatus, buffer[0]);
  check(result != 0, "native Get FWI completes at the transport");
  check((kzt::lastAtaStatus & kzt::kAtaStatusError) != 0,
        "native Get FWI reports the device's error bit");
}

void denied(uint32_t expected) {
  std::memset(buffer, 0x11, sizeof buffer);
  const int result = kzt::ataCommandIn(0, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, buffer, 512);
  std::printf("denied Identify: result %d, error 0x%x, lastAtaStatus 0x%x\n", result,
              kzt::lastTransportError(), kzt::lastAtaStatus);
  check(result == 0 && kzt::lastTransportError() == expected,
        "Identify without rights fails with the expected code");
  check(buffer[0] == 0x11, "the caller's buffer is left alone");
}

}  // namespace

int main(int argc, char** argv) {
  kzt::setPlatform(kzt::systemPlatform());
  if (argc == 2 && std::strcmp(argv[1], "native") == 0) {
    native();
  } else if (argc == 3 && std::strcmp(argv[1], "denied") == 0) {
    denied(static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 0)));
  } else {
    std::printf("Use: kzt_transport_probe native|denied CODE\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
