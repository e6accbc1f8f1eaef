#pragma once
#include <cstdint>

namespace kzt {

// The four operations that every drive access goes through. Each opens the drive, sends one
// command through the backend that the run's bus kind selects, and closes the drive again.
// Arguments: the drive number, then the registers from `command` down to `features` (the reverse
// of their task-file order), for 48-bit commands the high-order registers from `prevLbaHigh` down
// to `prevFeatures`, then the buffer and its length. Non-zero: the platform completed the request.
// A drive number outside 0 to 255 names no drive.
int ataCommandIn(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
                 uint8_t lbaLow, uint8_t count, uint8_t features, void* buffer, uint32_t length);
int ataCommandNoData(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh,
                     uint8_t lbaMid, uint8_t lbaLow, uint8_t count, uint8_t features,
                     void* buffer, uint32_t length);
int ataCommandIn48(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh, uint8_t lbaMid,
                   uint8_t lbaLow, uint8_t count, uint8_t features, uint8_t prevLbaHigh,
                   uint8_t prevLbaMid, uint8_t prevLbaLow, uint8_t prevCount,
                   uint8_t prevFeatures, void* buffer, uint32_t length);
int ataCommandNoData48(int32_t drive, uint8_t command, uint8_t device, uint8_t lbaHigh,
                       uint8_t lbaMid, uint8_t lbaLow, uint8_t count, uint8_t features,
                       uint8_t prevLbaHigh, uint8_t prevLbaMid, uint8_t prevLbaLow,
                       uint8_t prevCount, uint8_t prevFeatures, void* buffer, uint32_t length);

// Status register of the last native command; bit 0 set means the device reported an error.
extern uint8_t lastAtaStatus;
constexpr uint8_t kAtaStatusError = 0x01;

// The platform's error code of the last operation that returned 0, kept from right after the
// failed call so that nothing in between can change it.
uint32_t lastTransportError();

// Puts the transport's process-wide values back to their program-start state.
void resetTransportState();

}  // namespace kzt
