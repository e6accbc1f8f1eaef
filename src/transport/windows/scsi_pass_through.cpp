// Requests to a drive behind a USB bridge: SCSI ATA PASS-THROUGH through IOCTL_SCSI_PASS_THROUGH.
#include <cstring>

#include "transport/windows/win32.h"

namespace kzt::win {

namespace {

// Header, filler, sense area and the largest data area. One request at a time.
alignas(8) uint8_t satImage[kBridgeLayout.dataAt + kMaxTransferLength];

}  // namespace

SendOutcome sendBridge(uint8_t drive, const AtaRequest& request) {
  const HANDLE handle = openDrive(drive);
  if (handle == INVALID_HANDLE_VALUE) {
    recordError(GetLastError());
    return SendOutcome::NotSent;
  }
  if (request.length > kMaxTransferLength) {
    CloseHandle(handle);
    recordError(ERROR_INVALID_PARAMETER);
    return SendOutcome::NotSent;
  }
  const SatRequestSizes sizes = buildSatRequest(kBridgeLayout, request, satImage);
  DWORD returned = 0;
  const BOOL done = DeviceIoControl(handle, IOCTL_SCSI_PASS_THROUGH, satImage, sizes.input,
                                    satImage, sizes.output, &returned, nullptr);
  if (!done) recordError(GetLastError());
  CloseHandle(handle);
  // The data area goes back whatever the outcome: zeros when the request failed.
  if (isDataIn(request.operation) && request.length > 0 && request.dataArea != nullptr) {
    std::memcpy(request.dataArea, satImage + kBridgeLayout.dataAt, request.length);
  }
  return done ? SendOutcome::Completed : SendOutcome::Failed;
}

}  // namespace kzt::win
