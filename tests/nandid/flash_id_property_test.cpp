#include "nandid/flash_id.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "nandid/flash_tables.h"
#include "nandid/flash_tables.h"

namespace kzt {
namespace {

// The caller's buffer is 68 bytes; the bytes after it in a larger buffer must stay untouched.
constexpr int kCallerSize = 68;
constexpr int kBufferSize = 96;
constexpr unsigned char kCanary = 0xA5;

// Small deterministic generator for the bytes a walk doesn't sweep.
struct Sampler {
  uint32_t state = 0x12345678u;
  uint8_t next() {
    state = state * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state >> 24);
  }
};

// Decodes one ID into a canary-filled buffer and checks the shape of the result. Returns false
// (after recording the failure) so a walk can stop at the first bad ID.
bool checkId(const uint8_t id[8]) {
  char buffer[kBufferSize];
  std::memset(buffer, kCanary, sizeof buffer);
  char name[16];
  const int known = FlashMakerName(id, name) && id[0] != 0x00;
  const int result = DecodeFlashId(id, buffer);
  const void* end = std::memchr(buffer, '\0', kBufferSize);
  const size_t length = end != nullptr ? static_cast<const char*>(end) - buffer : kBufferSize;
  bool ok = result == known && length < kCallerSize;
  for (int i = kCallerSize; i < kBufferSize; ++i) ok = ok && static_cast<unsigned char>(buffer[i]) == kCanary;
  if (ok && known) {
    const size_t nameLength = std::strlen(name);
    // The name, then pieces that each begin with one space (the cell type is always there).
    ok = std::strncmp(buffer, name, nameLength) == 0 && buffer[nameLength] == ' ' &&
         buffer[length - 1] != ' ' && std::strstr(buffer, "  ") == nullptr;
  }
  if (ok && !known) ok = length == 0;
  if (!ok) {
    ADD_FAILURE() << "ID " << std::hex << int(id[0]) << ' ' << int(id[1]) << ' ' << int(id[2])
                  << ' ' << int(id[3]) << ' ' << int(id[4]) << ' ' << int(id[5]);
  }
  return ok;
}

TEST(DecodeFlashIdWalk, EveryMakerCodeWithEveryDeviceAndGeometryByte) {
  Sampler sampler;
  for (int maker = 0; maker < 256; ++maker) {
    char name[16];
    const uint8_t code[1] = {static_cast<uint8_t>(maker)};
    const bool known = maker != 0 && FlashMakerName(code, name) != 0;
    // Unknown codes need one sweep of byte 1 only.
    const int geometryValues = known ? 256 : 1;
    for (int device = 0; device < 256; ++device) {
      for (int geometry = 0; geometry < geometryValues; ++geometry) {
        const uint8_t id[8] = {static_cast<uint8_t>(maker), static_cast<uint8_t>(device),
                               static_cast<uint8_t>(geometry), sampler.next(), sampler.next(),
                               sampler.next(), sampler.next(), sampler.next()};
        if (!checkId(id)) return;
      }
    }
  }
}

TEST(DecodeFlashIdWalk, FamiliesWithEveryPlaneAndTechnologyByte) {
  Sampler sampler;
  for (const FlashMaker& maker : FlashMakerTable) {
    if (maker.family == MakerFamily::Other) continue;
    for (int byte4 = 0; byte4 < 256; ++byte4) {
      for (int byte5 = 0; byte5 < 256; ++byte5) {
        const uint8_t id[8] = {maker.code, sampler.next(), sampler.next(), sampler.next(),
                               static_cast<uint8_t>(byte4), static_cast<uint8_t>(byte5)};
        if (!checkId(id)) return;
      }
    }
  }
}

TEST(DecodeFlashIdWalk, MicronFamilyIdsOfEverySignature) {
  const uint8_t makers[] = {0x2C, 0x89, 0xB5};
  for (uint8_t maker : makers) {
    char name[16];
    FlashMakerName(&maker, name);
    for (const PartSignature& row : PartSignatureTable) {
      if (row.start == 0 && maker != row.signature[0]) continue;
      uint8_t id[8] = {maker};
      for (int k = 0; k < row.length; ++k) id[row.start + k] = row.signature[k];
      // Bytes the signature leaves free take every value.
      const int freeValues = row.start + row.length < 6 ? 256 : 1;
      for (int value = 0; value < freeValues; ++value) {
        if (freeValues > 1) id[5] = static_cast<uint8_t>(value);
        if (!checkId(id)) return;
        char description[68];
        DecodeFlashId(id, description);
        const std::string expectedStart = std::string(name) + row.label + " ";
        ASSERT_EQ(std::string(description).substr(0, expectedStart.size()), expectedStart);
      }
    }
  }
}

}  // namespace
}  // namespace kzt
