// The flash-ID decoder on arbitrary ID bytes, and the kzt_nandid command on arbitrary ID text.
// The ID lies in an allocation of exactly the six bytes the decoder may read; the description
// buffer has the 68 bytes the decoder may write, followed by a canary that must stay intact.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz.h"
#include "nandid/flash_id.h"
#include "nandid/nandid_command.h"

namespace {

constexpr size_t kIdBytesRead = 6;
constexpr size_t kDescriptionSize = 68;
constexpr size_t kNameSize = 16;
constexpr size_t kCanarySize = 32;
constexpr unsigned char kCanary = 0xA5;

void checkText(const char* buffer, size_t size, const char* what) {
  if (std::memchr(buffer, '\0', size) == nullptr) kzt::fuzz::finding(what);
  for (size_t i = size; i < size + kCanarySize; ++i) {
    if (static_cast<unsigned char>(buffer[i]) != kCanary) kzt::fuzz::finding("write past the buffer");
  }
}

void decode(const uint8_t* bytes) {
  auto* id = static_cast<uint8_t*>(std::malloc(kIdBytesRead));
  std::memcpy(id, bytes, kIdBytesRead);
  char description[kDescriptionSize + kCanarySize];
  std::memset(description, kCanary, sizeof description);
  const int known = kzt::DecodeFlashId(id, description);
  checkText(description, kDescriptionSize, "description without terminator in 68 bytes");
  if (!known && description[0] != '\0') kzt::fuzz::finding("unknown maker with a description");
  for (const char* c = description; *c != '\0'; ++c) {
    if (*c < 0x20 || *c > 0x7E) kzt::fuzz::finding("description with a non-printable character");
  }

  char name[kNameSize + kCanarySize];
  std::memset(name, kCanary, sizeof name);
  kzt::FlashMakerName(id, name);
  checkText(name, kNameSize, "maker name without terminator in 16 bytes");
  if (known && std::strncmp(description, name, std::strlen(name)) != 0) {
    kzt::fuzz::finding("description does not start with the maker name");
  }
  std::free(id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= kIdBytesRead) decode(data);

  // The text as the command's one ID argument and as its standard input.
  static std::FILE* sink = std::fopen("/dev/null", "w");
  const std::string text(reinterpret_cast<const char*>(data), size);
  const char* argv[] = {"kzt_nandid", text.c_str()};
  std::FILE* in = fmemopen(const_cast<char*>(text.data()), size == 0 ? 1 : size, "r");
  const int status = kzt::runNandidCommand(text.empty() || text[0] == '-' ? 1 : 2, argv, in, sink, sink);
  if (status < 0 || status > 2) kzt::fuzz::finding("kzt_nandid exit status out of range");
  std::fclose(in);
  return 0;
}
