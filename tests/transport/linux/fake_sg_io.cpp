#include "fake_sg_io.h"

#include <cerrno>
#include <cstring>

namespace kzt::linuxtest {

namespace {

FakeSgIo* active = nullptr;

void writeSense(sg_io_hdr_t* header, const std::vector<uint8_t>& sense) {
  const size_t room = header->mx_sb_len;
  const size_t n = sense.size() < room ? sense.size() : room;
  std::memcpy(header->sbp, sense.data(), n);
  header->sb_len_wr = static_cast<unsigned char>(n);
  header->status = 0x02;
  header->driver_status = 0x08;
}

std::vector<uint8_t> fixedSense(uint8_t key, uint8_t asc, uint8_t ascq) {
  std::vector<uint8_t> s(18, 0);
  s[0] = 0x70;
  s[2] = key;
  s[7] = 0x0A;
  s[12] = asc;
  s[13] = ascq;
  return s;
}

}  // namespace

FakeSgIo::FakeSgIo() {
  previous_ = linuxos::deviceAccess;
  linuxos::deviceAccess = {open, sgIo, close};
  active = this;
}

FakeSgIo::~FakeSgIo() {
  linuxos::deviceAccess = previous_;
  active = nullptr;
}

void FakeSgIo::attach(const std::string& path, sim::SimDrive* drive, DiskKind kind) {
  nodes_[path] = Node{drive, kind};
}

int FakeSgIo::open(const char* path) {
  auto it = active->nodes_.find(path);
  if (it == active->nodes_.end() || !it->second.drive->present) {
    errno = ENOENT;
    return -1;
  }
  ++active->openCount;
  const int fd = active->nextFd_++;
  active->open_[fd] = path;
  return fd;
}

int FakeSgIo::close(int fd) {
  ++active->closeCount;
  active->open_.erase(fd);
  return 0;
}

int FakeSgIo::sgIo(int fd, sg_io_hdr_t* header) {
  auto it = active->open_.find(fd);
  if (it == active->open_.end()) {
    errno = EBADF;
    return -1;
  }
  SentRequest record;
  record.cdb.assign(header->cmdp, header->cmdp + header->cmd_len);
  record.direction = header->dxfer_direction;
  record.length = header->dxfer_len;
  record.timeout = header->timeout;
  record.senseRoom = header->mx_sb_len;
  active->sent.push_back(record);

  const ForcedResult forced = active->forced;
  if (forced.ioctlErrno != 0) {
    errno = forced.ioctlErrno;
    return -1;
  }
  header->status = 0;
  header->host_status = 0;
  header->driver_status = 0;
  header->sb_len_wr = 0;
  if (forced.hostStatus != 0 || forced.driverStatus != 0 || forced.scsiStatus >= 0) {
    header->host_status = forced.hostStatus;
    header->driver_status = forced.driverStatus;
    header->status = static_cast<unsigned char>(forced.scsiStatus >= 0 ? forced.scsiStatus : 0);
    return 0;
  }
  return active->answer(active->nodes_[it->second], header);
}

int FakeSgIo::answer(const Node& node, sg_io_hdr_t* header) {
  const uint8_t* cdb = header->cmdp;
  const bool twelve = cdb[0] == 0xA1 && header->cmd_len == 12;
  const bool sixteen = cdb[0] == 0x85 && header->cmd_len == 16;
  if (node.kind == DiskKind::UsbStick || !(twelve || sixteen)) {
    writeSense(header, fixedSense(0x05, 0x20, 0x00));  // invalid command operation code
    return 0;
  }

  // Back from the block to the registers.
  const uint8_t protocol = (cdb[1] >> 1) & 0x0F;
  const bool extend = (cdb[1] & 0x01) != 0;
  const bool checkCondition = (cdb[2] & 0x20) != 0;
  AtaRegisters r;
  AtaOperation operation;
  if (twelve) {
    r.features = cdb[3]; r.count = cdb[4]; r.lbaLow = cdb[5]; r.lbaMid = cdb[6];
    r.lbaHigh = cdb[7]; r.device = cdb[8]; r.command = cdb[9];
    operation = protocol == 3 ? AtaOperation::NoData28 : AtaOperation::In28;
  } else {
    r.features = cdb[4]; r.count = cdb[6]; r.lbaLow = cdb[8]; r.lbaMid = cdb[10];
    r.lbaHigh = cdb[12]; r.device = cdb[13]; r.command = cdb[14];
    // libata drops the high-order registers of a block without EXTEND; a bridge passes them.
    if (extend || node.kind == DiskKind::SatBridge) {
      r.prevFeatures = cdb[3]; r.prevCount = cdb[5]; r.prevLbaLow = cdb[7];
      r.prevLbaMid = cdb[9]; r.prevLbaHigh = cdb[11];
    }
    operation = protocol == 3 ? AtaOperation::NoData48 : AtaOperation::In48;
  }
  // A data-in block must agree with the data phase it asks for: count blocks of 512 bytes.
  const bool dataIn = protocol != 3;
  const uint32_t blocks = twelve ? r.count : (static_cast<uint32_t>(r.prevCount) << 8 | r.count);
  if (dataIn != (header->dxfer_direction == SG_DXFER_FROM_DEV) ||
      (dataIn && blocks * 512u != header->dxfer_len)) {
    writeSense(header, fixedSense(0x05, 0x24, 0x00));  // invalid field in CDB
    return 0;
  }

  const sim::Reply reply =
      node.drive->execute(operation, r, static_cast<uint8_t*>(header->dxferp), header->dxfer_len,
                          node.kind == DiskKind::SatBridge);
  if (reply.outcome == SendOutcome::Failed) {
    errno = static_cast<int>(reply.errorCode);
    return -1;
  }
  const bool deviceError = (reply.status & 0x01) != 0;
  if (node.kind == DiskKind::SatBridge) {
    if (deviceError) writeSense(header, fixedSense(0x0B, 0x00, 0x00));
    return 0;
  }
  if (!checkCondition && !deviceError) return 0;
  if (!deviceError || descriptorErrors) {
    std::vector<uint8_t> s = {0x72, static_cast<uint8_t>(deviceError ? 0x0B : 0x01), 0x00,
                              static_cast<uint8_t>(deviceError ? 0x00 : 0x1D), 0, 0, 0, 0x0E,
                              0x09, 0x0C, 0x00, static_cast<uint8_t>(deviceError ? 0x04 : 0x00),
                              0, r.count, 0, r.lbaLow, 0, r.lbaMid, 0, r.lbaHigh, r.device,
                              reply.status};
    writeSense(header, s);
    return 0;
  }
  std::vector<uint8_t> s = fixedSense(0x0B, 0x00, 0x00);
  s[8] = 0x04;
  s[9] = reply.status;
  s[10] = r.device;
  s[11] = r.count;
  writeSense(header, s);
  return 0;
}

}  // namespace kzt::linuxtest
