#include "frontend/scan.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "frontend/run_flow.h"
#include "ident/answers.h"
#include "ident/commands.h"
#include "output/output.h"
#include "transport/ata_command.h"
#include "transport/usb_quirks.h"
#include "transport/verdict.h"

namespace kzt {

namespace {

struct CodeName {
  uint32_t code;
  const char* name;
};

// The system error codes a request to a drive meets most, by whose numbers they are.
constexpr CodeName kErrnoNames[] = {
    {1, "EPERM, operation not permitted"},   {2, "ENOENT, no such disk node"},
    {5, "EIO, input/output error"},          {6, "ENXIO, no such device or address"},
    {13, "EACCES, permission denied"},       {19, "ENODEV, no such device"},
    {22, "EINVAL, invalid argument"},        {25, "ENOTTY, the node takes no SG_IO"},
};
constexpr CodeName kWindowsNames[] = {
    {0x1, "ERROR_INVALID_FUNCTION, the driver knows no such request"},
    {0x2, "ERROR_FILE_NOT_FOUND, no such drive"},
    {0x5, "ERROR_ACCESS_DENIED, access denied"},
    {0x1F, "ERROR_GEN_FAILURE, the device does not work"},
    {0x32, "ERROR_NOT_SUPPORTED, the request is not supported"},
    {0x57, "ERROR_INVALID_PARAMETER, the parameter is incorrect"},
    {0x79, "ERROR_SEM_TIMEOUT, time-out"},
    {0x45D, "ERROR_IO_DEVICE, I/O device error"},
};
// Linux's adapter (host) and driver statuses, and SCSI statuses.
constexpr CodeName kHostStatusNames[] = {
    {0x01, "no connection"}, {0x03, "time-out"}, {0x04, "bad target"}, {0x05, "aborted"},
    {0x07, "error"},         {0x08, "reset"},
};
constexpr CodeName kDriverStatusNames[] = {{0x06, "time-out"}};
constexpr CodeName kScsiStatusNames[] = {
    {0x08, "BUSY"}, {0x18, "RESERVATION CONFLICT"}, {0x28, "TASK SET FULL"}, {0x40, "TASK ABORTED"},
};
constexpr const char* kSenseKeyNames[16] = {
    "NO SENSE",        "RECOVERED ERROR", "NOT READY",       "MEDIUM ERROR",
    "HARDWARE ERROR",  "ILLEGAL REQUEST", "UNIT ATTENTION",  "DATA PROTECT",
    "BLANK CHECK",     "VENDOR SPECIFIC", "COPY ABORTED",    "ABORTED COMMAND",
    "EQUAL",           "VOLUME OVERFLOW", "MISCOMPARE",      "COMPLETED",
};
// Additional sense code and qualifier, ASC << 8 | ASCQ.
constexpr CodeName kAdditionalSenseNames[] = {
    {0x2000, "INVALID COMMAND OPERATION CODE"},
    {0x2400, "INVALID FIELD IN CDB"},
    {0x2900, "POWER ON, RESET, OR BUS DEVICE RESET OCCURRED"},
    {0x3A00, "MEDIUM NOT PRESENT"},
};

template <size_t N>
const char* nameOf(const CodeName (&table)[N], uint32_t code) {
  for (const CodeName& entry : table) {
    if (entry.code == code) return entry.name;
  }
  return nullptr;
}

// ILLEGAL REQUEST with INVALID COMMAND OPERATION CODE, and with INVALID FIELD IN CDB.
constexpr uint32_t kInvalidOperationCode = 0x52000;
constexpr uint32_t kInvalidFieldInCdb = 0x52400;
constexpr uint32_t kWindowsNotSupported = 0x32;
constexpr const char* kQuirksPlace =
    "/sys/module/usb_storage/parameters/quirks, keeping the other entries";

// Copies `text` without its leading and trailing blanks, cut to size - 1 characters.
void copyTrimmed(char* out, size_t size, const char* text) {
  while (*text == ' ') ++text;
  size_t length = strnlen(text, size - 1);
  while (length > 0 && text[length - 1] == ' ') --length;
  std::memcpy(out, text, length);
  out[length] = '\0';
}

void trimInPlace(char* text, size_t size) {
  text[size - 1] = '\0';
  char copy[kDriveTextSize];
  copyTrimmed(copy, sizeof copy, text);
  std::snprintf(text, size, "%s", copy);
}

bool deniesRights(SystemCodes codes, uint32_t code) {
  return codes == SystemCodes::Errno ? code == 1 || code == 13 : code == 5;
}

// What a failure code means, in the order judgeReply gives them.
void describeFailure(const ScanRecord& r, SystemCodes codes, char* text, size_t size) {
  const uint32_t code = r.errorCode;
  const uint32_t low = code & 0xFF;
  const char* name = nullptr;
  if (r.deviceFailed) {
    std::snprintf(text, size, "the device rejected IDENTIFY (status register 0x%x)", code);
  } else if (code >= kShortTransferErrorBase) {
    std::snprintf(text, size, "a short transfer: %u of %u bytes came",
                  code - kShortTransferErrorBase, kIdentifySize);
  } else if (code < kHostStatusErrorBase) {
    name = codes == SystemCodes::Errno ? nameOf(kErrnoNames, code) : nameOf(kWindowsNames, code);
    std::snprintf(text, size, "%s", name != nullptr ? name : "a system error");
  } else if ((code & ~0xFFu) == kHostStatusErrorBase) {
    name = nameOf(kHostStatusNames, low);
    std::snprintf(text, size, "adapter status 0x%02x%s%s", low, name ? ", " : "", name ? name : "");
  } else if ((code & ~0xFFu) == kDriverStatusErrorBase) {
    name = nameOf(kDriverStatusNames, low);
    std::snprintf(text, size, "driver status 0x%02x%s%s", low, name ? ", " : "", name ? name : "");
  } else if (code == kCheckConditionWithoutError) {
    std::snprintf(text, size, "CHECK CONDITION without usable sense data");
  } else if ((code & ~0xFFu) == kScsiStatusErrorBase) {
    name = nameOf(kScsiStatusNames, low);
    std::snprintf(text, size, "SCSI status 0x%02x%s%s", low, name ? ", " : "", name ? name : "");
  } else if (code <= 0xFFFFF) {
    const char* key = kSenseKeyNames[code >> 16];
    name = nameOf(kAdditionalSenseNames, code & 0xFFFF);
    if (name != nullptr) {
      std::snprintf(text, size, "%s, %s", key, name);
    } else {
      std::snprintf(text, size, "%s, ASC 0x%02x ASCQ 0x%02x", key, (code >> 8) & 0xFF, low);
    }
  } else {
    std::snprintf(text, size, "a failure");
  }
}

// The entry's letters less `t`, for lifting NO_ATA_1X and keeping the rest.
void lettersWithout(const char* letters, char drop, char* out, size_t size) {
  size_t length = 0;
  for (const char* at = letters; *at != '\0' && length + 1 < size; ++at) {
    if (*at != drop && *at != drop - 'a' + 'A') out[length++] = *at;
  }
  out[length] = '\0';
}

// One line of advice where the failure's cause is known; none otherwise.
void adviseOn(const ScanRecord& r, SystemCodes codes, char* advice, size_t size) {
  const DriveNaming& d = r.drive;
  const uint32_t code = r.errorCode;
  const unsigned vid = d.usbVendorId;
  const unsigned pid = d.usbProductId;
  char letters[kDriveTextSize];
  if (r.deviceFailed) return;
  if (code < kHostStatusErrorBase && deniesRights(codes, code)) {
    std::snprintf(advice, size, "%s", codes == SystemCodes::Errno
        ? "run kzt_fid as root: raw ATA commands need access to the disk node and the right "
          "to send them (CAP_SYS_RAWIO)"
        : "run kzt_fid as administrator: raw ATA commands need the drive opened for reading "
          "and writing");
  } else if (code == kInvalidOperationCode) {
    std::snprintf(advice, size, "neither the disk nor a bridge before it knows ATA PASS-THROUGH "
                  "(a SAS, RAID or virtual disk, or a bridge without SAT): this tool cannot "
                  "reach it");
  } else if (code == kInvalidFieldInCdb && d.usbKnown && d.usbQuirksNamed &&
             quirksSetNoAta1x(d.usbQuirks)) {
    lettersWithout(d.usbQuirks, 't', letters, sizeof letters);
    std::snprintf(advice, size, "usb-storage's quirks parameter sets t (NO_ATA_1X) for %04x:%04x, "
                  "so the kernel refuses ATA PASS-THROUGH: give it the entry %04x:%04x:%s instead "
                  "(%s) and replug the bridge", vid, pid, vid, pid, letters, kQuirksPlace);
  } else if (code == kInvalidFieldInCdb && d.usbKnown && d.usbQuirksNamed) {
    std::snprintf(advice, size, "the bridge itself refused ATA PASS-THROUGH: usb-storage's quirks "
                  "parameter clears the kernel's NO_ATA_1X quirk for %04x:%04x", vid, pid);
  } else if (code == kInvalidFieldInCdb && d.usbKnown) {
    std::snprintf(advice, size, "the kernel's built-in NO_ATA_1X quirk may be set for %04x:%04x: "
                  "lift it with the entry %04x:%04x: in usb-storage's quirks parameter (%s) and "
                  "replug the bridge; if the refusal stays, the bridge refused", vid, pid, vid, pid,
                  kQuirksPlace);
  } else if (d.usbKnown && std::strcmp(d.usbDriver, "uas") == 0 && code >= kHostStatusErrorBase) {
    lettersWithout(d.usbQuirks, 'u', letters, sizeof letters);
    std::snprintf(advice, size, "the uas driver carries this disk: to bind usb-storage instead, "
                  "give usb-storage's quirks parameter the entry %04x:%04x:%su (%s) and replug the "
                  "bridge", vid, pid, letters, kQuirksPlace);
  } else if (code == kInvalidFieldInCdb && r.usb) {
    std::snprintf(advice, size, "the bridge or its driver refused the ATA PASS-THROUGH block: "
                  "this bridge may carry no ATA commands");
  } else if (codes == SystemCodes::Windows && code == kWindowsNotSupported) {
    std::snprintf(advice, size, "the drive's driver or this Windows carries no ATA pass-through "
                  "request (Windows NT 4.0 has none)");
  }
}

// The bus probe and one IDENTIFY by the road a run would take, and the verdict on its answer.
void identifyOne(ScanRecord* r, SystemCodes codes) {
  busType = 0;
  queryBusType(r->drive.number);
  busKind = busType == kBusTypeUsb ? BusKind::Usb : BusKind::Ata;
  r->usb = busKind == BusKind::Usb;
  uint8_t answer[kIdentifySize] = {};
  const int completed = sendAtaCommand(r->drive.number, kIdentifyCommand.operation,
                                       kIdentifyCommand.registers, answer, kIdentifySize);
  const RequestVerdict& verdict = lastVerdict();
  if (!completed) {
    r->errorCode = verdict.errorCode;
  } else if (verdict.statusCame && (verdict.status & kAtaStatusError) != 0) {
    r->errorCode = verdict.status;
    r->deviceFailed = 1;
  } else {
    DriveIdentity identity;
    readDriveIdentity(answer, &identity);
    copyTrimmed(r->model, sizeof r->model, identity.model);
    copyTrimmed(r->firmware, sizeof r->firmware, identity.firmwareRevision);
    copyTrimmed(r->serial, sizeof r->serial, identity.serialNumber);
    copyTrimmed(r->controller, sizeof r->controller, identity.vendorString);
    r->identified = 1;
    r->verdict = isRealtekController(identity) ? ScanVerdict::Served : ScanVerdict::NotServed;
    return;
  }
  r->verdict = ScanVerdict::NotReachable;
  describeFailure(*r, codes, r->errorText, sizeof r->errorText);
  adviseOn(*r, codes, r->advice, sizeof r->advice);
}

void collectDrive(void* context, const DriveNaming& drive) {
  auto* list = static_cast<ScanList*>(context);
  if (list->count >= kScanMaxDrives) return;
  ScanRecord& r = list->records[list->count++];
  r = ScanRecord{};
  r.drive = drive;
  for (char* text : {r.drive.node, r.drive.vendor, r.drive.product, r.drive.usbDriver,
                     r.drive.usbQuirks}) {
    trimInPlace(text, kDriveTextSize);
  }
}

}  // namespace

void scanDrives(ScanList* list) {
  list->count = 0;
  platform().nameDrives(collectDrive, list);
  const SystemCodes codes = platform().systemCodes();
  for (unsigned i = 0; i < list->count; ++i) identifyOne(&list->records[i], codes);
}

int runScan(int argc, char** argv) {
  bool json = false;
  for (int i = 2; i < argc; ++i) {
    if (argv[i] == nullptr) continue;
    if (std::strcmp(argv[i], kScanJsonArgument) == 0) {
      json = true;
      continue;
    }
    printConsole("kzt_fid: --scan takes --json alone, not \"%s\" (see kzt_fid --help)\n", argv[i]);
    return kExitBadOption;
  }
  // The version probe decides the native road on Windows, as in a run; nothing is printed.
  probeOsVersion();
  static ScanList list;
  scanDrives(&list);
  if (json) {
    errno = 0;
    writeScanJson(consoleStream, list, argc, argv);
    checkConsole();
  } else {
    printScan(list);
  }
  return kExitScanDone;
}

}  // namespace kzt
