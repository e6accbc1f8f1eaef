// The sense data that SG_IO hands back after an ATA PASS-THROUGH command: byte 0 of the input is
// the SCSI status, the rest the sense bytes, in an allocation of exactly their size; then the
// verdict on a reply that carries them.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "fuzz.h"
#include "transport/sat.h"
#include "transport/verdict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t scsiStatus = data[0];
  const size_t length = size - 1;
  auto* sense = static_cast<uint8_t*>(std::malloc(length == 0 ? 1 : length));
  if (length > 0) std::memcpy(sense, data + 1, length);
  const uint8_t* given = length == 0 ? nullptr : sense;

  kzt::SatSense parsed;
  const int known = kzt::parseSatSense(given, static_cast<uint32_t>(length), &parsed);
  if (known && (parsed.responseCode < 0x70 || parsed.responseCode > 0x73)) {
    kzt::fuzz::finding("sense of an unknown format taken as known");
  }
  if (!known && parsed.hasRegisters) kzt::fuzz::finding("registers from unknown sense");
  if (parsed.senseKey > 0x0F) kzt::fuzz::finding("sense key out of range");

  kzt::RequestReply reply;
  reply.sent = reply.scsi = reply.transferKnown = true;
  reply.scsiStatus = scsiStatus;
  reply.senseLength = static_cast<uint32_t>(length < kzt::kReplySenseSize ? length : kzt::kReplySenseSize);
  if (length > 0) std::memcpy(reply.sense, sense, reply.senseLength);
  reply.transferred = 512;
  const kzt::AtaRequest request{kzt::AtaOperation::In28, {.command = 0xEC, .count = 1}, nullptr, 512};
  const kzt::RequestVerdict verdict = kzt::judgeReply(request, reply);
  kzt::SatSense seen;
  const int registers = kzt::parseSatSense(reply.sense, reply.senseLength, &seen) && seen.hasRegisters;
  if (scsiStatus == kzt::kScsiStatusCheckCondition && verdict.completed != registers) {
    kzt::fuzz::finding("a CHECK CONDITION completed without registers, or failed with them");
  }
  if (registers && verdict.status != seen.status) kzt::fuzz::finding("status differs from the returned registers");
  std::free(sense);
  return 0;
}
