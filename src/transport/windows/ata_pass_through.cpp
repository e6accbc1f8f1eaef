// Native ATA requests: IOCTL_ATA_PASS_THROUGH, and IOCTL_IDE_PASS_THROUGH on systems without it.
#include <cstring>

#include "transport/probes.h"
#include "transport/windows/win32.h"

namespace kzt::win {

namespace {

// The main path's request: header, filler and the largest data area. One request at a time.
alignas(8) uint8_t ataImage[kNativeLayout.dataAt + kMaxTransferLength];

SendOutcome sendAtaPassThrough(HANDLE drive, const AtaRequest& request, uint8_t* status) {
  if (request.length > kMaxTransferLength) {
    recordError(ERROR_INVALID_PARAMETER);
    return SendOutcome::NotSent;
  }
  const DWORD size = buildAtaPassThroughRequest(kNativeLayout, request, ataImage);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(drive, IOCTL_ATA_PASS_THROUGH, ataImage, size, ataImage, size,
                                    &returned, nullptr);
  if (!done) recordError(GetLastError());
  // Taken whatever the call returned: after a failure the block still holds the command code.
  *status = ataPassThroughStatus(kNativeLayout, ataImage);
  if (!done) return SendOutcome::Failed;
  if (isDataIn(request.operation) && request.length > 0 && request.dataArea != nullptr) {
    std::memcpy(request.dataArea, ataImage + kNativeLayout.dataAt, request.length);
  }
  return SendOutcome::Completed;
}

// The fallback's block comes zero-filled from the page allocator for this one request.
SendOutcome sendIdePassThrough(HANDLE drive, const AtaRequest& request, uint8_t* status) {
  const uint32_t length = isDataIn(request.operation) ? request.length : 0;
  const SIZE_T size = kIdePassThroughHeaderSize + length;
  auto* block = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_COMMIT, PAGE_READWRITE));
  if (block == nullptr) {
    recordError(GetLastError());
    return SendOutcome::NotSent;
  }
  buildIdePassThroughRequest(request, block);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(drive, IOCTL_IDE_PASS_THROUGH, block, static_cast<DWORD>(size),
                                    block, static_cast<DWORD>(size), &returned, nullptr);
  if (!done) recordError(GetLastError());
  *status = block[kTaskFileCommandByte];
  if (done && length > 0 && request.dataArea != nullptr) {
    std::memcpy(request.dataArea, block + kIdePassThroughHeaderSize, length);
  }
  VirtualFree(block, 0, MEM_RELEASE);
  return done ? SendOutcome::Completed : SendOutcome::Failed;
}

}  // namespace

SendOutcome sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) {
  const HANDLE handle = openDrive(drive);
  if (handle == INVALID_HANDLE_VALUE) {
    recordError(GetLastError());
    return SendOutcome::NotSent;
  }
  SendOutcome outcome = SendOutcome::NotSent;
  switch (windowsNativeRoute(request.operation, ataPassThroughAvailable,
                             osVersion.dwMajorVersion)) {
    case NativeRoute::AtaPassThrough:
      outcome = sendAtaPassThrough(handle, request, status);
      break;
    case NativeRoute::IdePassThrough:
      outcome = sendIdePassThrough(handle, request, status);
      break;
    case NativeRoute::None:
      recordError(ERROR_NOT_SUPPORTED);  // this system has no way for the command
      break;
  }
  CloseHandle(handle);
  return outcome;
}

}  // namespace kzt::win
