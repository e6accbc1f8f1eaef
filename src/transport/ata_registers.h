#pragma once
#include <cstdint>

namespace kzt {

// The ATA task-file registers of one command. The "prev" bytes are the high-order halves of the
// 48-bit register pairs; a 28-bit command leaves them zero.
struct AtaRegisters {
  uint8_t command = 0;
  uint8_t device = 0;
  uint8_t lbaHigh = 0;       // LBA 23:16 (cylinder high)
  uint8_t lbaMid = 0;        // LBA 15:8 (cylinder low)
  uint8_t lbaLow = 0;        // LBA 7:0 (sector number)
  uint8_t count = 0;         // sector count 7:0
  uint8_t features = 0;      // features 7:0
  uint8_t prevLbaHigh = 0;   // LBA 47:40
  uint8_t prevLbaMid = 0;    // LBA 39:32
  uint8_t prevLbaLow = 0;    // LBA 31:24
  uint8_t prevCount = 0;     // count 15:8
  uint8_t prevFeatures = 0;  // features 15:8
};

// The four shapes a command can take. There is deliberately no data-out shape: the program never
// writes data to a drive.
enum class AtaOperation : uint8_t {
  In28,      // ataCommandIn
  NoData28,  // ataCommandNoData
  In48,      // ataCommandIn48
  NoData48,  // ataCommandNoData48
};

inline bool isDataIn(AtaOperation op) { return op == AtaOperation::In28 || op == AtaOperation::In48; }
inline bool is48Bit(AtaOperation op) { return op == AtaOperation::In48 || op == AtaOperation::NoData48; }

// Largest data transfer the command interface carries.
constexpr uint32_t kMaxTransferLength = 65536;

}  // namespace kzt
