#include "transport/storage_descriptor.h"

#include "transport/byte_order.h"

namespace kzt {

namespace {

// The text whose offset stands in the 32-bit field at offsetAt. The device supplies the offset,
// so it is checked against the answer before anything is read at it.
void copyText(const uint8_t* answer, uint32_t answerLength, uint32_t offsetAt, char* text) {
  text[0] = '\0';
  if (answerLength < offsetAt + 4) return;
  const uint32_t offset = readLe32(answer + offsetAt);
  if (offset == 0 || offset >= answerLength) return;
  uint32_t n = 0;
  while (offset + n < answerLength && answer[offset + n] != 0) {
    text[n] = static_cast<char>(answer[offset + n]);
    ++n;
  }
  text[n] = '\0';
}

}  // namespace

void parseStorageDeviceDescriptor(const uint8_t* answer, uint32_t answerLength,
                                  StorageDeviceInfo* info) {
  if (answerLength > kStorageAnswerSize) answerLength = kStorageAnswerSize;
  info->busType = answerLength > kSddBusTypeAt ? answer[kSddBusTypeAt] : 0;
  copyText(answer, answerLength, kSddVendorIdOffsetAt, info->vendor);
  copyText(answer, answerLength, kSddProductIdOffsetAt, info->product);
}

}  // namespace kzt
