// Native ATA requests (IOCTL_ATA_PASS_THROUGH, and IOCTL_IDE_PASS_THROUGH on systems without it)
// and requests to a drive behind a USB bridge (SCSI ATA PASS-THROUGH through
// IOCTL_SCSI_PASS_THROUGH).
#include <cstddef>
#include <cstring>

#include "transport/windows/windows_platform.h"

namespace kzt {

namespace {

using win::kBridgeLayout;
using win::kNativeLayout;

// The main path's request: header, filler and the largest data area. One request at a time.
alignas(8) uint8_t ataImage[kNativeLayout.dataAt + kMaxTransferLength];
// The bridge's request: header, filler, sense area and the largest data area.
alignas(8) uint8_t satImage[kBridgeLayout.dataAt + kMaxTransferLength];

}  // namespace

void WindowsPlatform::sendAtaPassThrough(HANDLE drive, const AtaRequest& request,
                                         RequestReply* reply) {
  const DWORD size = buildAtaPassThroughRequest(kNativeLayout, request, ataImage);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(drive, IOCTL_ATA_PASS_THROUGH, ataImage, size, ataImage, size,
                                    &returned, nullptr);
  const DWORD error = done ? 0 : GetLastError();
  readAtaPassThroughReply(kNativeLayout, ataImage, returned, request, error, reply);
}

// The fallback's block comes zero-filled from the page allocator for this one request.
void WindowsPlatform::sendIdePassThrough(HANDLE drive, const AtaRequest& request,
                                         RequestReply* reply) {
  const uint32_t length = isDataIn(request.operation) ? request.length : 0;
  const SIZE_T size = kIdePassThroughHeaderSize + length;
  auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (block == nullptr) {
    reply->systemError = GetLastError();
    return;
  }
  buildIdePassThroughRequest(request, block);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(drive, IOCTL_IDE_PASS_THROUGH, block, static_cast<DWORD>(size),
                                    block, static_cast<DWORD>(size), &returned, nullptr);
  const DWORD error = done ? 0 : GetLastError();
  readIdePassThroughReply(block, request, error, reply);
  VirtualFree(block, 0, MEM_RELEASE);
}

void WindowsPlatform::sendNative(uint8_t drive, const AtaRequest& request, RequestReply* reply) {
  if (request.length > kMaxTransferLength) {
    reply->systemError = ERROR_INVALID_PARAMETER;
    return;
  }
  const HANDLE handle = win::openDrive(drive);
  if (handle == INVALID_HANDLE_VALUE) {
    reply->systemError = GetLastError();
    return;
  }
  switch (windowsNativeRoute(request.operation, ataPassThroughAvailable,
                             osVersion.dwMajorVersion)) {
    case NativeRoute::AtaPassThrough:
      sendAtaPassThrough(handle, request, reply);
      break;
    case NativeRoute::IdePassThrough:
      sendIdePassThrough(handle, request, reply);
      break;
    case NativeRoute::None:
      reply->systemError = ERROR_NOT_SUPPORTED;  // this system has no way for the command
      break;
  }
  CloseHandle(handle);
}

void WindowsPlatform::sendBridge(uint8_t drive, const AtaRequest& request, RequestReply* reply) {
  if (request.length > kMaxTransferLength) {
    reply->systemError = ERROR_INVALID_PARAMETER;
    return;
  }
  const HANDLE handle = win::openDrive(drive);
  if (handle == INVALID_HANDLE_VALUE) {
    reply->systemError = GetLastError();
    return;
  }
  const SatRequestSizes sizes = buildSatRequest(kBridgeLayout, request, satImage);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH, satImage, sizes.input,
                                    satImage, sizes.output, &returned, nullptr);
  const DWORD error = done ? 0 : GetLastError();
  CloseHandle(handle);
  readSatReply(kBridgeLayout, satImage, request, error, reply);
}

Platform* systemPlatform() {
  static WindowsPlatform instance;
  return &instance;
}

// Compile-time checks that the request images built by the portable code match the SDK's
// structures as this program's bitness lays them out.
namespace win {
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
static_assert(offsetof(SCSI_PASS_THROUGH, ScsiStatus) == kSptScsiStatusAt);
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
}  // namespace win
}  // namespace kzt
