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

// One command as the program's tables hold it: the operation that carries it and every register.
struct AtaCommand {
  AtaOperation operation = AtaOperation::NoData28;
  AtaRegisters registers;
};

// Largest data transfer the command interface carries.
constexpr uint32_t kMaxTransferLength = 65536;

// Seconds the device is given for one command, on every path.
constexpr uint32_t kRequestTimeOutSeconds = 2;

// The first data byte of a native data-in request before the transfer. A device that sends no
// data leaves it there, so an answer that starts with it carried no data.
constexpr uint8_t kNoDataMarker = 0xCF;

// The controller's 48-bit vendor commands FA and FB move their data by DMA; every backend asks
// for that protocol for them and for PIO otherwise.
inline bool usesDma(AtaOperation op, const AtaRegisters& r) {
  return is48Bit(op) && (r.command == 0xFA || r.command == 0xFB);
}

// Which backend carries the commands: native ATA pass-through, or SCSI ATA PASS-THROUGH to a USB
// bridge. Kept by the transport, which dispatches on it; the run flow sets it once, right after
// the bus probe, before the first command.
enum class BusKind : uint8_t { Ata = 0, Usb = 1 };
extern BusKind busKind;

// The one road of every command to the drive: opens the drive (a drive number outside 0 to 255
// names none), sends the command through the backend of `busKind` with `length` bytes of data in
// for a data-in operation (0 and no buffer for a non-data one), and closes the drive again.
// Non-zero when the request completed with all its data; the device's own verdict is in
// lastAtaStatus, on both paths (a USB bridge hands it back when the device fails a command).
int sendAtaCommand(int32_t drive, AtaOperation operation, const AtaRegisters& registers,
                   void* buffer, uint32_t length);

// The four operations, in their written argument order: the drive number, the registers from
// `command` down to `features`, for 48-bit commands the high-order registers from `prevLbaHigh`
// down to `prevFeatures`, then the buffer and its length.
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

// Status register of the last command that went out; bit 0 set means the device reported an
// error. A request that was not sent leaves it as it was.
extern uint8_t lastAtaStatus;
constexpr uint8_t kAtaStatusError = 0x01;

// The error code of the last command that returned 0: the system's own, or one of the codes of
// transport/verdict.h. Kept from right after the request so that nothing in between changes it.
uint32_t lastTransportError();

// The verdict on the last command: whether it went out, completed, its error code, and whether
// its status register came back (lastAtaStatus then holds it).
struct RequestVerdict;
const RequestVerdict& lastVerdict();

// Puts the transport's process-wide values (bus kind, status, error) back to program start.
void resetTransportState();

}  // namespace kzt
