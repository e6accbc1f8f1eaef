#include "transport/verdict.h"

#include "transport/sat.h"

namespace kzt {

namespace {

// The low three bits of the driver status name a driver error; bit 3 only says that sense data
// came back.
constexpr uint8_t kDriverErrorMask = 0x07;

constexpr uint8_t kSenseKeyFirstError = 0x02;  // NOT READY; NO SENSE and RECOVERED ERROR are none

// The code of a CHECK CONDITION that brought no registers.
uint32_t checkConditionError(int senseKnown, const SatSense& sense) {
  if (!senseKnown || sense.senseKey < kSenseKeyFirstError) return kCheckConditionWithoutError;
  return senseErrorCode(sense.senseKey, sense.asc, sense.ascq);
}

// The code of a failure below the SCSI status: the platform call, the adapter, the driver.
uint32_t carrierError(const RequestReply& reply) {
  if (reply.systemError != 0) return reply.systemError;
  if (reply.hostStatus != 0) return kHostStatusErrorBase | reply.hostStatus;
  if ((reply.driverStatus & kDriverErrorMask) != 0) {
    return kDriverStatusErrorBase | reply.driverStatus;
  }
  return 0;
}

bool scsiGood(const RequestReply& reply) {
  return reply.scsiStatus == kScsiStatusGood || reply.scsiStatus == kScsiStatusConditionMet;
}

uint32_t errorOf(const AtaRequest& request, const RequestReply& reply, int registers,
                 int senseKnown, const SatSense& sense, uint8_t status) {
  if (const uint32_t carrier = carrierError(reply)) return carrier;
  if (reply.scsi) {
    const uint8_t scsiStatus = reply.scsiStatus;
    if (scsiStatus == kScsiStatusCheckCondition) {
      if (!registers) return checkConditionError(senseKnown, sense);
    } else if (!scsiGood(reply)) {
      return kScsiStatusErrorBase | scsiStatus;
    }
  }
  // A device that failed the command owes no data: its error bit tells the story.
  const bool deviceFailed = registers && (status & kAtaStatusError) != 0;
  const uint32_t wanted = isDataIn(request.operation) ? request.length : 0;
  if (!deviceFailed && reply.transferKnown && reply.transferred < wanted) {
    return kShortTransferErrorBase | reply.transferred;
  }
  return 0;
}

}  // namespace

RequestVerdict judgeReply(const AtaRequest& request, const RequestReply& reply) {
  RequestVerdict verdict;
  if (!reply.sent) {
    verdict.errorCode = reply.systemError;
    return verdict;
  }
  verdict.sent = 1;
  SatSense sense;
  const int senseKnown = reply.scsi && parseSatSense(reply.sense, reply.senseLength, &sense);
  const int registers = reply.registersBack || (senseKnown && sense.hasRegisters);

  // The status register: as the returned register block holds it; a translation layer that
  // answered GOOD without registers reports a command that ended without error; where no block
  // came back it still holds the request, so the status is the command code that was sent.
  verdict.statusCame = 1;
  if (reply.registersBack) {
    verdict.status = reply.registerStatus;
  } else if (senseKnown && sense.hasRegisters) {
    verdict.status = sense.status;
  } else if (reply.scsi && carrierError(reply) == 0 && scsiGood(reply)) {
    verdict.status = kSatStatusNoError;
  } else {
    verdict.status = request.registers.command;
  }

  verdict.errorCode = errorOf(request, reply, registers, senseKnown, sense, verdict.status);
  verdict.completed = verdict.errorCode == 0;
  return verdict;
}

}  // namespace kzt
