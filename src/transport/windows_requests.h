#pragma once
#include <cstdint>

#include "transport/platform.h"

namespace kzt {

// Byte images of the Windows pass-through requests, and the storage-descriptor answer of the
// property query, built and read field by field at explicit offsets so that they can be checked
// on any host. A 32-bit and a 64-bit Windows program lay the pointer-sized
// DataBufferOffset out differently, so each request has one layout per bitness. The Windows code
// checks at compile time that the layout of its own bitness matches the SDK's structures.

// IOCTL_ATA_PASS_THROUGH: an ATA_PASS_THROUGH_EX header, a 32-bit filler, then the data area.
//
//   field               x86        x64
//   Length              0  (2)     0  (2)
//   AtaFlags            2  (2)     2  (2)
//   PathId..Reserved    4  (4)     4  (4)
//   DataTransferLength  8  (4)     8  (4)
//   TimeOutValue        12 (4)     12 (4)
//   ReservedAsUlong     16 (4)     16 (4)
//   DataBufferOffset    20 (4)     24 (8)   x64: 4 bytes of padding at 20
//   PreviousTaskFile    24 (8)     32 (8)
//   CurrentTaskFile     32 (8)     40 (8)
//   header size         40         48
//   filler              40 (4)     48 (4)
//   data area           44         52
struct AtaPassThroughLayout {
  uint32_t headerSize;
  uint32_t dataBufferOffsetAt;
  uint32_t dataBufferOffsetSize;
  uint32_t previousTaskFileAt;
  uint32_t currentTaskFileAt;
  uint32_t dataAt;
};

constexpr AtaPassThroughLayout kAtaPassThroughX86{40, 20, 4, 24, 32, 44};
constexpr AtaPassThroughLayout kAtaPassThroughX64{48, 24, 8, 32, 40, 52};

// Field offsets common to both bitnesses.
constexpr uint32_t kAptLengthAt = 0;
constexpr uint32_t kAptFlagsAt = 2;
constexpr uint32_t kAptDataTransferLengthAt = 8;
constexpr uint32_t kAptTimeOutValueAt = 12;
// Byte of CurrentTaskFile that carries the command out and the status register back.
constexpr uint32_t kTaskFileCommandByte = 6;

constexpr uint16_t kAtaFlagsDataIn = 0x02;
constexpr uint16_t kAtaFlags48BitCommand = 0x08;
constexpr uint16_t kAtaFlagsUseDma = 0x10;

// AtaFlags of an operation: data-in when it brings data, 48-bit for the 48-bit shapes, and DMA for
// the 48-bit vendor commands FA and FB.
uint16_t ataPassThroughFlags(const AtaRequest& request);

// Writes the request into image[0 .. dataAt + length): header fields set, everything else zero, and
// the data area filled from request.dataArea (which starts with the data-in marker). Returns the
// number of bytes handed to the platform as input and as output, dataAt + length.
uint32_t buildAtaPassThroughRequest(const AtaPassThroughLayout& layout, const AtaRequest& request,
                                    uint8_t* image);

// What the image holds after the request: the status register (byte 6 of CurrentTaskFile, which
// still holds the command code where the system wrote nothing back) and, after a request that
// succeeded, the data from dataAt, copied into request.dataArea. The bytes that came in are what
// the call returned beyond the header and filler (`returned`, the call's bytes-returned count):
// the system hands back the image only as far as data arrived. `systemError` is the call's error
// code, 0 when it succeeded.
void readAtaPassThroughReply(const AtaPassThroughLayout& layout, const uint8_t* image,
                             uint32_t returned, const AtaRequest& request, uint32_t systemError,
                             RequestReply* reply);

// Which native request carries an operation on a Windows system. IOCTL_ATA_PASS_THROUGH where the
// system offers it; otherwise, from major version 5 on, IOCTL_IDE_PASS_THROUGH for the shapes it
// can carry (it has no high-order registers, so a 48-bit data-in command has no way there, while a
// 48-bit non-data command goes with its 28-bit registers only); nothing on older systems.
enum class NativeRoute : uint8_t { AtaPassThrough, IdePassThrough, None };

NativeRoute windowsNativeRoute(AtaOperation operation, int ataPassThroughAvailable,
                               uint32_t majorVersion);

// IOCTL_IDE_PASS_THROUGH, the fallback of older systems: a 12-byte block, the same on both
// bitnesses, followed by the data area.
//
//   0 features, 1 count, 2 lbaLow, 3 lbaMid, 4 lbaHigh, 5 device, 6 command (status after the
//   request), 7 zero, 8..11 length (32-bit little-endian), 12.. data area
//
// Only the seven 28-bit registers travel; the high-order registers of a 48-bit command are dropped.
constexpr uint32_t kIdePassThroughHeaderSize = 12;
constexpr uint32_t kIdeLengthAt = 8;

// Writes bytes 0 to 11 of the block; the data area is left as it is (the block comes zero-filled
// from the page allocator, and the fallback carries no data-in marker). Returns 12 + length, the
// block's size as input and as output.
uint32_t buildIdePassThroughRequest(const AtaRequest& request, uint8_t* block);

// What the block holds after the request: the status register in byte 6, and after a request
// that succeeded the data from offset 12 into request.dataArea. The block tells no transfer length.
void readIdePassThroughReply(const uint8_t* block, const AtaRequest& request,
                             uint32_t systemError, RequestReply* reply);

// IOCTL_SCSI_PASS_THROUGH to a USB bridge: a SCSI_PASS_THROUGH header, a 32-bit filler, a 32-byte
// sense area of which 24 bytes are requested, then the data area.
//
//   field               x86        x64
//   Length              0  (2)     0  (2)
//   ScsiStatus          2          2
//   PathId/TargetId/Lun 3/4/5      3/4/5
//   CdbLength           6          6
//   SenseInfoLength     7          7
//   DataIn              8          8
//   DataTransferLength  12 (4)     12 (4)
//   TimeOutValue        16 (4)     16 (4)
//   DataBufferOffset    20 (4)     24 (8)   x64: 4 bytes of padding at 20
//   SenseInfoOffset     24 (4)     32 (4)
//   Cdb                 28 (16)    36 (16)
//   header size         44         56       x64: 4 bytes of tail padding at 52
//   filler              44 (4)     56 (4)
//   sense area          48 (24)    60 (24)
//   zero                72 (8)     84 (8)
//   data area           80         92
struct ScsiPassThroughLayout {
  uint32_t headerSize;
  uint32_t dataBufferOffsetAt;
  uint32_t dataBufferOffsetSize;
  uint32_t senseInfoOffsetAt;
  uint32_t cdbAt;
  uint32_t senseAt;
  uint32_t dataAt;
};

constexpr ScsiPassThroughLayout kScsiPassThroughX86{44, 20, 4, 24, 28, 48, 80};
constexpr ScsiPassThroughLayout kScsiPassThroughX64{56, 24, 8, 32, 36, 60, 92};

constexpr uint32_t kSptLengthAt = 0;
constexpr uint32_t kSptCdbLengthAt = 6;
constexpr uint32_t kSptSenseInfoLengthAt = 7;
constexpr uint32_t kSptDataInAt = 8;
constexpr uint32_t kSptDataTransferLengthAt = 12;
constexpr uint32_t kSptTimeOutValueAt = 16;
constexpr uint8_t kSenseInfoLength = 24;
constexpr uint8_t kScsiIoctlDataIn = 1;
constexpr uint8_t kScsiIoctlDataUnspecified = 2;

struct SatRequestSizes {
  uint32_t input;   // the header alone
  uint32_t output;  // up to the end of the data area: dataAt + length, dataAt for non-data
};

// Writes the request into image[0 .. dataAt + length): header fields and the SAT command block
// (no EXTEND, no CK_COND) set, everything else zero, the data area all zero.
SatRequestSizes buildSatRequest(const ScsiPassThroughLayout& layout, const AtaRequest& request,
                                uint8_t* image);

// What the image holds after a request that succeeded: ScsiStatus, the sense bytes (as many as
// the returned SenseInfoLength says, at most the 24 requested), the bytes that came in
// (DataTransferLength, lowered by the system to what was transferred) and the data itself, copied
// into request.dataArea. After a failed call only the error counts.
constexpr uint32_t kSptScsiStatusAt = 2;
void readSatReply(const ScsiPassThroughLayout& layout, const uint8_t* image,
                  const AtaRequest& request, uint32_t systemError, RequestReply* reply);


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
