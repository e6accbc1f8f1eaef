#pragma once
#include <cstdint>

namespace kzt {

// IOCTL_STORAGE_QUERY_PROPERTY: the STORAGE_PROPERTY_QUERY sent (12 bytes, all zero: standard
// query of the device property) and the STORAGE_DEVICE_DESCRIPTOR that comes back, the same on
// both bitnesses.
constexpr uint32_t kStoragePropertyQuerySize = 12;
constexpr uint32_t kStorageAnswerSize = 4096;
constexpr uint32_t kSddVendorIdOffsetAt = 12;
constexpr uint32_t kSddProductIdOffsetAt = 16;
constexpr uint32_t kSddBusTypeAt = 28;

// What the drive list and the bus probe take from a descriptor. The texts are cut to what the
// answer holds, so each fits in the answer's size.
struct StorageDeviceInfo {
  uint8_t busType = 0;  // low byte of BusType; 0 when the answer is too short to hold it
  char vendor[kStorageAnswerSize] = {};
  char product[kStorageAnswerSize] = {};
};

// Parses the first answerLength bytes of a descriptor (the bytes the platform returned, at most
// kStorageAnswerSize). A text offset of 0, or one at or past the end of the answer, gives an empty
// text; a text ends at its terminator or at the end of the answer, whichever comes first. Nothing
// past answerLength is read.
void parseStorageDeviceDescriptor(const uint8_t* answer, uint32_t answerLength,
                                  StorageDeviceInfo* info);

}  // namespace kzt
