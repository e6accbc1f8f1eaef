// Compile-time checks that the request images built by the portable code match the SDK's
// structures as this program's bitness lays them out.
#include <cstddef>

#include "transport/probes.h"
#include "transport/storage_descriptor.h"
#include "transport/windows/win32.h"

namespace kzt::win {
namespace {

// The records as a program of this bitness would declare them: header, 32-bit filler, sense area,
// data. Only their offsets are used.
struct AtaPassThroughRecord {
  ATA_PASS_THROUGH_EX header;
  ULONG filler;
  UCHAR data[1];
};

struct ScsiPassThroughRecord {
  SCSI_PASS_THROUGH header;
  ULONG filler;
  UCHAR sense[32];
  UCHAR data[1];
};

constexpr const AtaPassThroughLayout& apt = kNativeLayout;
static_assert(sizeof(ATA_PASS_THROUGH_EX) == apt.headerSize);
static_assert(offsetof(ATA_PASS_THROUGH_EX, Length) == kAptLengthAt);
static_assert(offsetof(ATA_PASS_THROUGH_EX, AtaFlags) == kAptFlagsAt);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataTransferLength) == kAptDataTransferLengthAt);
static_assert(offsetof(ATA_PASS_THROUGH_EX, TimeOutValue) == kAptTimeOutValueAt);
static_assert(offsetof(ATA_PASS_THROUGH_EX, DataBufferOffset) == apt.dataBufferOffsetAt);
static_assert(sizeof(ATA_PASS_THROUGH_EX::DataBufferOffset) == apt.dataBufferOffsetSize);
static_assert(offsetof(ATA_PASS_THROUGH_EX, PreviousTaskFile) == apt.previousTaskFileAt);
static_assert(offsetof(ATA_PASS_THROUGH_EX, CurrentTaskFile) == apt.currentTaskFileAt);
static_assert(offsetof(AtaPassThroughRecord, data) == apt.dataAt);

constexpr const ScsiPassThroughLayout& spt = kBridgeLayout;
static_assert(sizeof(SCSI_PASS_THROUGH) == spt.headerSize);
static_assert(offsetof(SCSI_PASS_THROUGH, Length) == kSptLengthAt);
static_assert(offsetof(SCSI_PASS_THROUGH, CdbLength) == kSptCdbLengthAt);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoLength) == kSptSenseInfoLengthAt);
static_assert(offsetof(SCSI_PASS_THROUGH, DataIn) == kSptDataInAt);
static_assert(offsetof(SCSI_PASS_THROUGH, DataTransferLength) == kSptDataTransferLengthAt);
static_assert(offsetof(SCSI_PASS_THROUGH, TimeOutValue) == kSptTimeOutValueAt);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == spt.dataBufferOffsetAt);
static_assert(sizeof(SCSI_PASS_THROUGH::DataBufferOffset) == spt.dataBufferOffsetSize);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == spt.senseInfoOffsetAt);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == spt.cdbAt);
static_assert(offsetof(ScsiPassThroughRecord, sense) == spt.senseAt);
static_assert(offsetof(ScsiPassThroughRecord, data) == spt.dataAt);
static_assert(SCSI_IOCTL_DATA_IN == kScsiIoctlDataIn);
static_assert(SCSI_IOCTL_DATA_UNSPECIFIED == kScsiIoctlDataUnspecified);

static_assert(offsetof(IDEREGS, bFeaturesReg) == 0);
static_assert(offsetof(IDEREGS, bSectorCountReg) == 1);
static_assert(offsetof(IDEREGS, bSectorNumberReg) == 2);
static_assert(offsetof(IDEREGS, bCylLowReg) == 3);
static_assert(offsetof(IDEREGS, bCylHighReg) == 4);
static_assert(offsetof(IDEREGS, bDriveHeadReg) == 5);
static_assert(offsetof(IDEREGS, bCommandReg) == kTaskFileCommandByte);
static_assert(offsetof(IdePassThroughBlock, dataBufferSize) == kIdeLengthAt);
static_assert(offsetof(IdePassThroughBlock, dataBuffer) == kIdePassThroughHeaderSize);

static_assert(sizeof(STORAGE_PROPERTY_QUERY) == kStoragePropertyQuerySize);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, VendorIdOffset) == kSddVendorIdOffsetAt);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, ProductIdOffset) == kSddProductIdOffsetAt);
static_assert(offsetof(STORAGE_DEVICE_DESCRIPTOR, BusType) == kSddBusTypeAt);
static_assert(BusTypeUsb == kBusTypeUsb);

static_assert(sizeof(OSVERSIONINFOEXA) == 156);
static_assert(sizeof(OSVERSIONINFOA) == 148);

// The call arguments as the drive, allocator and shell calls pass them.
static_assert((GENERIC_READ | GENERIC_WRITE) == 0xC0000000);
static_assert((FILE_SHARE_READ | FILE_SHARE_WRITE) == 3);
static_assert(OPEN_EXISTING == 3);
static_assert(MEM_COMMIT == 0x1000 && PAGE_READWRITE == 4 && MEM_RELEASE == 0x8000);
static_assert(SW_SHOW == 5);

static_assert(IOCTL_ATA_PASS_THROUGH == 0x4D02C);
static_assert(IOCTL_IDE_PASS_THROUGH == 0x4D028);
static_assert(IOCTL_SCSI_PASS_THROUGH == 0x4D004);
static_assert(IOCTL_STORAGE_QUERY_PROPERTY == 0x2D1400);

}  // namespace
}  // namespace kzt::win
