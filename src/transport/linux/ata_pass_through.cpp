#include "transport/linux/ata_pass_through.h"

#include <cerrno>
#include <cstring>

#include "transport/linux/sg_io.h"
#include "transport/sat_cdb.h"
#include "transport/sat_sense.h"

namespace kzt::linuxos {

namespace {

constexpr uint32_t kTimeoutMilliseconds = 2000;

// The kernel maps a suitably aligned user buffer straight into the transfer, so the bytes the
// data area starts with (the native path's no-data marker) stay wherever the device sends
// nothing. One request at a time, so one area serves them all.
alignas(4096) uint8_t transferArea[kMaxTransferLength];

// Sends the block built with `options`. On completion the request's data area receives the
// transfer area; otherwise it is left as it was.
ScsiOutcome carry(uint8_t drive, const AtaRequest& request, const SatCdbOptions& options,
                  ScsiResult* result) {
  if (request.length > sizeof transferArea || (request.length > 0 && request.dataArea == nullptr)) {
    *result = ScsiResult{};
    result->errorCode = EINVAL;
    return ScsiOutcome::NotOpened;
  }
  uint8_t cdb[kSatCdb16Length];
  ScsiCommand command;
  command.cdb = cdb;
  command.cdbLength = static_cast<uint8_t>(buildSatCdb(request, options, cdb));
  command.length = isDataIn(request.operation) ? request.length : 0;
  command.data = command.length > 0 ? transferArea : nullptr;
  command.timeoutMilliseconds = kTimeoutMilliseconds;
  if (command.length > 0) std::memcpy(transferArea, request.dataArea, command.length);

  const ScsiOutcome outcome = sendScsiCommand(drive, command, result);
  if (outcome == ScsiOutcome::Completed && command.length > 0) {
    std::memcpy(request.dataArea, transferArea, command.length);
  }
  return outcome;
}

}  // namespace

SendOutcome sendNativeAta(uint8_t drive, const AtaRequest& request, uint8_t* status,
                          uint32_t* errorCode) {
  SatCdbOptions options;
  options.extend48 = is48Bit(request.operation);
  options.checkCondition = true;
  ScsiResult result;
  const ScsiOutcome outcome = carry(drive, request, options, &result);
  *errorCode = result.errorCode;
  switch (outcome) {
    case ScsiOutcome::NotOpened:
      return SendOutcome::NotSent;
    case ScsiOutcome::Failed: {
      // Registers only when the failed request still brought them back; otherwise the block
      // holds the request, so the status is the command code that was sent.
      SatSense sense;
      const bool registers =
          parseSatSense(result.sense, result.senseLength, &sense) && sense.hasRegisters;
      *status = registers ? sense.status : request.registers.command;
      return SendOutcome::Failed;
    }
    case ScsiOutcome::Completed:
      // The SCSI layer may have refused the block itself: then nothing reached the device, and
      // the register block still holds the request.
      if (satRejection(result.scsiStatus, result.sense, result.senseLength, errorCode)) {
        *status = request.registers.command;
        return SendOutcome::Failed;
      }
      *status = satAtaStatus(result.scsiStatus, result.sense, result.senseLength);
      return SendOutcome::Completed;
  }
  return SendOutcome::Failed;
}

SendOutcome sendBridgeAta(uint8_t drive, const AtaRequest& request, uint32_t* errorCode) {
  ScsiResult result;
  const ScsiOutcome outcome = carry(drive, request, SatCdbOptions{}, &result);
  *errorCode = result.errorCode;
  switch (outcome) {
    case ScsiOutcome::NotOpened: return SendOutcome::NotSent;
    case ScsiOutcome::Failed: return SendOutcome::Failed;
    case ScsiOutcome::Completed: return SendOutcome::Completed;
  }
  return SendOutcome::Failed;
}

}  // namespace kzt::linuxos
