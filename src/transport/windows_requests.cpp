#include "transport/windows_requests.h"

#include <cstring>

#include "transport/byte_order.h"
#include "transport/sat.h"

namespace kzt {

namespace {

void writePointerSized(uint8_t* field, uint32_t size, uint32_t value) {
  if (size == 8) {
    writeLe64(field, value);
  } else {
    writeLe32(field, value);
  }
}

void writeTaskFile28(uint8_t* taskFile, const AtaRegisters& r) {
  taskFile[0] = r.features;
  taskFile[1] = r.count;
  taskFile[2] = r.lbaLow;
  taskFile[3] = r.lbaMid;
  taskFile[4] = r.lbaHigh;
  taskFile[5] = r.device;
  taskFile[6] = r.command;
  taskFile[7] = 0;
}

}  // namespace

uint16_t ataPassThroughFlags(const AtaRequest& request) {
  uint16_t flags = 0;
  if (isDataIn(request.operation) && request.length > 0) flags |= kAtaFlagsDataIn;
  if (is48Bit(request.operation)) flags |= kAtaFlags48BitCommand;
  if (usesDma(request.operation, request.registers)) flags |= kAtaFlagsUseDma;
  return flags;
}

uint32_t buildAtaPassThroughRequest(const AtaPassThroughLayout& layout, const AtaRequest& request,
                                    uint8_t* image) {
  const uint32_t length = isDataIn(request.operation) ? request.length : 0;
  const uint32_t size = layout.dataAt + length;
  std::memset(image, 0, size);

  writeLe16(image + kAptLengthAt, static_cast<uint16_t>(layout.headerSize));
  writeLe16(image + kAptFlagsAt, ataPassThroughFlags(request));
  writeLe32(image + kAptDataTransferLengthAt, length);
  writeLe32(image + kAptTimeOutValueAt, kRequestTimeOutSeconds);
  writePointerSized(image + layout.dataBufferOffsetAt, layout.dataBufferOffsetSize, layout.dataAt);

  const AtaRegisters& r = request.registers;
  writeTaskFile28(image + layout.currentTaskFileAt, r);
  if (is48Bit(request.operation)) {
    uint8_t* previous = image + layout.previousTaskFileAt;
    previous[0] = r.prevFeatures;
    previous[1] = r.prevCount;
    previous[2] = r.prevLbaLow;
    previous[3] = r.prevLbaMid;
    previous[4] = r.prevLbaHigh;
  }

  if (length > 0 && request.dataArea != nullptr) {
    std::memcpy(image + layout.dataAt, request.dataArea, length);
  }
  return size;
}

namespace {

// The data that came into an image, copied into the request's own data area. At most the length
// asked for: the system never reports more, and nothing past the area is read.
void takeData(const uint8_t* data, uint32_t transferred, const AtaRequest& request) {
  const uint32_t length = isDataIn(request.operation) ? request.length : 0;
  if (length == 0 || request.dataArea == nullptr) return;
  std::memcpy(request.dataArea, data, transferred < length ? transferred : length);
}

}  // namespace

void readAtaPassThroughReply(const AtaPassThroughLayout& layout, const uint8_t* image,
                             uint32_t returned, const AtaRequest& request, uint32_t systemError,
                             RequestReply* reply) {
  reply->sent = true;
  reply->systemError = systemError;
  reply->registersBack = true;
  reply->registerStatus = image[layout.currentTaskFileAt + kTaskFileCommandByte];
  if (systemError != 0) return;
  reply->transferKnown = true;
  reply->transferred = returned > layout.dataAt ? returned - layout.dataAt : 0;
  takeData(image + layout.dataAt, reply->transferred, request);
}

namespace {

struct FallbackEntry {
  AtaOperation operation;
  bool carried;
};

constexpr FallbackEntry kIdeFallback[] = {
    {AtaOperation::In28, true},
    {AtaOperation::NoData28, true},
    {AtaOperation::In48, false},
    {AtaOperation::NoData48, true},
};

constexpr uint32_t kFirstIdeFallbackMajor = 5;

}  // namespace

NativeRoute windowsNativeRoute(AtaOperation operation, int ataPassThroughAvailable,
                               uint32_t majorVersion) {
  if (ataPassThroughAvailable) return NativeRoute::AtaPassThrough;
  if (majorVersion < kFirstIdeFallbackMajor) return NativeRoute::None;
  for (const FallbackEntry& entry : kIdeFallback) {
    if (entry.operation == operation) {
      return entry.carried ? NativeRoute::IdePassThrough : NativeRoute::None;
    }
  }
  return NativeRoute::None;
}

uint32_t buildIdePassThroughRequest(const AtaRequest& request, uint8_t* block) {
  const uint32_t length = isDataIn(request.operation) ? request.length : 0;
  writeTaskFile28(block, request.registers);
  writeLe32(block + kIdeLengthAt, length);
  return kIdePassThroughHeaderSize + length;
}

void readIdePassThroughReply(const uint8_t* block, const AtaRequest& request,
                             uint32_t systemError, RequestReply* reply) {
  reply->sent = true;
  reply->systemError = systemError;
  reply->registersBack = true;
  reply->registerStatus = block[kTaskFileCommandByte];
  if (systemError == 0) takeData(block + kIdePassThroughHeaderSize, request.length, request);
}

SatRequestSizes buildSatRequest(const ScsiPassThroughLayout& layout, const AtaRequest& request,
                                uint8_t* image) {
  const bool in = isDataIn(request.operation);
  const uint32_t length = in ? request.length : 0;
  std::memset(image, 0, layout.dataAt + length);

  uint8_t cdb[kSatCdb16Length];
  const int cdbLength = buildSatCdb(request, SatCdbOptions{}, cdb);

  writeLe16(image + kSptLengthAt, static_cast<uint16_t>(layout.headerSize));
  image[kSptCdbLengthAt] = static_cast<uint8_t>(cdbLength);
  image[kSptSenseInfoLengthAt] = kSenseInfoLength;
  image[kSptDataInAt] = in ? kScsiIoctlDataIn : kScsiIoctlDataUnspecified;
  writeLe32(image + kSptDataTransferLengthAt, length);
  writeLe32(image + kSptTimeOutValueAt, kRequestTimeOutSeconds);
  writePointerSized(image + layout.dataBufferOffsetAt, layout.dataBufferOffsetSize, layout.dataAt);
  writeLe32(image + layout.senseInfoOffsetAt, layout.senseAt);
  std::memcpy(image + layout.cdbAt, cdb, kSatCdb16Length);

  return SatRequestSizes{layout.headerSize, layout.dataAt + length};
}

void readSatReply(const ScsiPassThroughLayout& layout, const uint8_t* image,
                  const AtaRequest& request, uint32_t systemError, RequestReply* reply) {
  reply->sent = true;
  reply->systemError = systemError;
  if (systemError != 0) return;
  reply->scsi = true;
  reply->scsiStatus = image[kSptScsiStatusAt];
  const uint8_t senseLength = image[kSptSenseInfoLengthAt];
  reply->senseLength = senseLength < kSenseInfoLength ? senseLength : kSenseInfoLength;
  std::memcpy(reply->sense, image + layout.senseAt, reply->senseLength);
  reply->transferKnown = true;
  reply->transferred = readLe32(image + kSptDataTransferLengthAt);
  takeData(image + layout.dataAt, reply->transferred, request);
}


namespace {

// The text whose offset stands in the 32-bit field at offsetAt. The device supplies the offset,
// so it is checked against the answer before anything is read at it.
void copyText(const uint8_t* answer, uint32_t answerLength, uint32_t offsetAt, char* text) {
  text[0] = '\0';
  if (answerLength < offsetAt + 4) return;
  const uint32_t offset = readLe32(answer + offsetAt);
  if (offset == 0 || offset >= answerLength) return;
  uint32_t n = 0;
  while (offset + n < answerLength && answer[offset + n] != 0) {
    text[n] = static_cast<char>(answer[offset + n]);
    ++n;
  }
  text[n] = '\0';
}

}  // namespace

void parseStorageDeviceDescriptor(const uint8_t* answer, uint32_t answerLength,
                                  StorageDeviceInfo* info) {
  if (answerLength > kStorageAnswerSize) answerLength = kStorageAnswerSize;
  info->busType = answerLength > kSddBusTypeAt ? answer[kSddBusTypeAt] : 0;
  copyText(answer, answerLength, kSddVendorIdOffsetAt, info->vendor);
  copyText(answer, answerLength, kSddProductIdOffsetAt, info->product);
}

}  // namespace kzt
