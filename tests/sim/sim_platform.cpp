#include "sim/sim_platform.h"

#include <cstdio>

#include <gtest/gtest.h>

namespace kzt::sim {

namespace {
constexpr uint32_t kNoSuchDrive = 2;
}

void SimPlatform::attach(unsigned number, SimDrive* drive, uint8_t type) {
  Attached& a = drives[number];
  a.drive = drive;
  a.busType = type;
}

SendOutcome SimPlatform::send(uint8_t drive, const AtaRequest& request, uint8_t* status,
                              bool bridge) {
  auto it = drives.find(drive);
  if (it == drives.end() || it->second.drive == nullptr || !it->second.drive->present) {
    lastError_ = kNoSuchDrive;
    return SendOutcome::NotSent;
  }
  const Reply reply = it->second.drive->execute(request.operation, request.registers,
                                                request.dataArea, request.length, bridge);
  if (reply.outcome != SendOutcome::Completed) lastError_ = reply.errorCode;
  if (status != nullptr && reply.outcome != SendOutcome::NotSent) *status = reply.status;
  return reply.outcome;
}

SendOutcome SimPlatform::sendNative(uint8_t drive, const AtaRequest& request, uint8_t* status) {
  return send(drive, request, status, false);
}

SendOutcome SimPlatform::sendBridge(uint8_t drive, const AtaRequest& request) {
  return send(drive, request, nullptr, true);
}

void SimPlatform::probeOsVersion(OsVersion* out, int* available) {
  *out = version;
  *available = passThrough;
}

int SimPlatform::queryBusType(uint8_t drive, uint8_t* type) {
  auto it = drives.find(drive);
  if (it == drives.end() || it->second.drive == nullptr || !it->second.drive->present ||
      !it->second.answersQuery)
    return 0;
  *type = it->second.busType;
  return 1;
}

void SimPlatform::listDrives(DriveListEntry entry, void* context) {
  for (const auto& [number, a] : drives) {
    if (number > 98 || a.drive == nullptr || !a.drive->present || !a.answersQuery) continue;
    entry(context, number, a.vendor.c_str(), a.product.c_str());
  }
}

int SimPlatform::keyWaiting() {
  if (keysArriveAfterPolls > 0) {
    --keysArriveAfterPolls;
    return 0;
  }
  if (keys.empty() && ++emptyPolls_ > kPatience) {
    // Nobody is going to press a key: a test that waits here forgot to queue one.
    ADD_FAILURE() << "the program waits for a key that the test never queued";
    keys.push_back(kNoKey);
  }
  return keys.empty() ? 0 : 1;
}

int SimPlatform::readKey() {
  emptyPolls_ = 0;
  if (keys.empty()) return 0;
  const int key = keys.front();
  keys.pop_front();
  return key;
}

uint32_t SimPlatform::shellOpen(const char* fileName) {
  opened.emplace_back(fileName);
  return shellResult;
}

}  // namespace kzt::sim
