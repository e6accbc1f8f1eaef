// The Linux platform's native path carrying a whole run: a simulated kernel takes each SG_IO
// request, reads the ATA PASS-THROUGH block byte by byte as libata does, hands the command to the
// simulated drive and answers with the status in descriptor sense (CK_COND). The run must equal,
// file for file, the same drive's run through the in-process seam; no request may carry data to
// the drive. (The USB path is proven on a real kernel by the QEMU run's emulated bridge.)
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "sim/harness.h"
#include "sim/small_drive.h"
#include "transport/linux/linux_platform.h"

namespace kzt {
namespace {

namespace fs = std::filesystem;

sim::SimDrive* drive = nullptr;

int openNode(const char* path) {
  if (fs::path(path).filename() != "sda") return errno = ENOENT, -1;
  return 7;
}

int sgIo(int, sg_io_hdr_t* h) {
  EXPECT_TRUE(h->dxfer_direction == SG_DXFER_FROM_DEV || h->dxfer_direction == SG_DXFER_NONE);
  const uint8_t* c = h->cmdp;
  const bool is16 = c[0] == 0x85;
  EXPECT_TRUE(is16 ? h->cmd_len == 16 : c[0] == 0xA1 && h->cmd_len == 12);
  EXPECT_EQ(c[2] & 0x20, 0x20);        // CK_COND: the registers come back
  EXPECT_EQ(c[1] & 1, is16 ? 1 : 0);   // EXTEND, so that libata sends the high-order registers
  AtaRegisters r;
  if (is16) {
    r = {c[14], c[13], c[12], c[10], c[8], c[6], c[4], c[11], c[9], c[7], c[5], c[3]};
  } else {
    r = {c[9], c[8], c[7], c[6], c[5], c[4], c[3]};
  }
  const bool in = (c[2] & 0x0B) == 0x0A;  // T_DIR from the device, length in the count field
  EXPECT_EQ(h->dxfer_len, in ? r.count * 512u : 0u);
  const AtaOperation op = is16 ? (in ? AtaOperation::In48 : AtaOperation::NoData48)
                               : (in ? AtaOperation::In28 : AtaOperation::NoData28);
  const sim::Reply reply = drive->execute(op, r, static_cast<uint8_t*>(h->dxferp), h->dxfer_len, false);
  if (reply.outcome != SendOutcome::Completed) return errno = EIO, -1;
  const uint8_t sense[22] = {0x72, 0x01, 0x00, 0x1D, 0, 0, 0, 14, 0x09, 12, 0, 0, 0, 0, 0, 0,
                             0, 0, 0, 0, r.device, reply.status};
  std::copy(sense, sense + 22, h->sbp);
  h->sb_len_wr = 22;
  h->status = 0x02;
  h->driver_status = 0x08;
  return 0;
}

int closeNode(int) { return 0; }

std::string filesOf(const char* folder) {
  std::string all;
  for (const char* name : {"kzt_flash_id.txt", "kzt_flash_id_ec.txt", "id.bin", "smart.bin", "kzt_fwi.bin",
                           "kzt_fid.bin", "kzt_fid2.bin", "kzt_bbec_0_0.bin", "kzt_bbec_0_1.bin", "kzt_bbec_1_0.bin",
                           "kzt_bbec_1_1.bin"}) {
    all += name + std::string(":") + sim::readFile(std::string(folder) + "/" + name) + "\n";
  }
  return all;
}

// One run through LinuxPlatform in folder "linux" and one through the in-process seam in "seam".
TEST(LinuxPlatform, NativeRunThroughSgIoEqualsTheSeam) {
  sim::ScratchDir scratch;
  const fs::path port = "sys/devices/pci0/ata1/host0/0:0:0:0";
  fs::create_directories(port);
  fs::create_directories("sys/block/sda");
  fs::create_directory_symlink(fs::absolute(port), "sys/block/sda/device");
  const std::string sys = fs::absolute("sys").string();
  linuxos::sysfsRoot = sys.c_str();
  linuxos::deviceAccess = {openNode, sgIo, closeNode};

  sim::SimDrive linuxDrive, seamDrive;
  sim::buildSmallDrive(linuxDrive);
  sim::buildSmallDrive(seamDrive);
  for (sim::SimDrive* d : {&linuxDrive, &seamDrive}) {
    d->fail(sim::Command::GetFwi, sim::FaultKind::DeviceError);  // the status must come through
  }
  drive = &linuxDrive;
  fs::create_directory("linux");
  fs::create_directory("seam");
  fs::current_path("linux");
  LinuxPlatform os;
  sim::SimPlatform machine;
  struct Forward final : sim::SimPlatform {
    LinuxPlatform* os;
    SendOutcome sendNative(uint8_t d, const AtaRequest& q, uint8_t* s) override { return os->sendNative(d, q, s); }
    SendOutcome sendBridge(uint8_t d, const AtaRequest& q) override { return os->sendBridge(d, q); }
    uint32_t lastErrorCode() override { return os->lastErrorCode(); }
    int queryBusType(uint8_t d, uint8_t* t) override { return os->queryBusType(d, t); }
  } throughLinux;
  throughLinux.os = &os;
  const sim::RunOutcome viaLinux = sim::runProgramOn(throughLinux, {"0nxy"});
  fs::current_path("../seam");
  machine.attach(0, &seamDrive);
  const sim::RunOutcome viaSeam = sim::runProgramOn(machine, {"0nxy"});
  fs::current_path("..");
  linuxos::deviceAccess = linuxos::kSystemDeviceAccess;
  linuxos::sysfsRoot = "/sys";

  EXPECT_EQ(viaLinux.exitStatus, viaSeam.exitStatus);
  EXPECT_EQ(viaLinux.console, viaSeam.console);
  EXPECT_EQ(filesOf("linux"), filesOf("seam"));
  EXPECT_EQ(linuxDrive.received.size(), seamDrive.received.size());
}

}  // namespace
}  // namespace kzt
