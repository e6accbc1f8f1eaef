// The scan's two forms, from the same records: the console's blocks and the JSON object.
#include <cstdio>

#include "frontend/options.h"
#include "frontend/scan.h"
#include "output/json.h"
#include "output/output.h"

namespace kzt {

namespace {

void printLine(const char* label, const char* text) {
  ShownText shown;
  printConsole("  %-10s: %s\n", label, text[0] != '\0' ? showText(text, &shown) : "(none)");
}

void printUsb(const DriveNaming& d) {
  printConsole("  USB       : %04x:%04x, bcdDevice %x.%02x, driver %s\n", d.usbVendorId,
               d.usbProductId, static_cast<unsigned>(d.usbBcdDevice >> 8),
               static_cast<unsigned>(d.usbBcdDevice & 0xFF),
               d.usbDriver[0] != '\0' ? d.usbDriver : "none");
  if (!d.usbQuirksNamed) {
    printLine("Quirks", "none in usb-storage's quirks parameter (the built-in list applies)");
  } else if (d.usbQuirks[0] == '\0') {
    printLine("Quirks", "none: usb-storage's quirks parameter clears the built-in ones");
  } else {
    printConsole("  Quirks    : %s (usb-storage's quirks parameter)\n", d.usbQuirks);
  }
}

// A text, or null where there is none.
void writeJsonTextOrNull(std::FILE* out, bool there, const char* text) {
  if (there) {
    writeJsonText(out, text);
  } else {
    std::fputs("null", out);
  }
}

void writeJsonUsb(std::FILE* out, const DriveNaming& d) {
  if (!d.usbKnown) {
    std::fputs("null", out);
    return;
  }
  std::fprintf(out, "{\"vendor_id\": %u, \"product_id\": %u, \"bcd_device\": %u, \"driver\": ",
               unsigned{d.usbVendorId}, unsigned{d.usbProductId}, unsigned{d.usbBcdDevice});
  writeJsonTextOrNull(out, d.usbDriver[0] != '\0', d.usbDriver);
  std::fputs(", \"quirks\": ", out);
  writeJsonTextOrNull(out, d.usbQuirksNamed != 0, d.usbQuirks);
  std::fputs("}", out);
}

void writeJsonDrive(std::FILE* out, const ScanRecord& r) {
  std::fprintf(out, "    {\"number\": %u, \"node\": ", unsigned{r.drive.number});
  writeJsonText(out, r.drive.node);
  std::fprintf(out, ", \"bus\": \"%s\", \"vendor\": ", r.usb ? "USB" : "ATA");
  writeJsonText(out, r.drive.vendor);
  std::fputs(", \"product\": ", out);
  writeJsonText(out, r.drive.product);
  std::fputs(", \"usb\": ", out);
  writeJsonUsb(out, r.drive);
  std::fputs(", \"identify\": ", out);
  if (r.identified) {
    const char* names[] = {"model", "firmware", "serial", "controller"};
    const char* texts[] = {r.model, r.firmware, r.serial, r.controller};
    for (int i = 0; i < 4; ++i) {
      std::fprintf(out, "%s\"%s\": ", i == 0 ? "{" : ", ", names[i]);
      writeJsonText(out, texts[i]);
    }
    std::fputs("}", out);
  } else {
    std::fputs("null", out);
  }
  std::fprintf(out, ", \"served\": %s, \"error\": ",
               r.verdict == ScanVerdict::NotReachable ? "null"
               : r.verdict == ScanVerdict::Served     ? "true"
                                                      : "false");
  if (r.verdict == ScanVerdict::NotReachable) {
    std::fprintf(out, "{\"code\": %u, \"text\": ", r.errorCode);
    writeJsonText(out, r.errorText);
    std::fputs(", \"advice\": ", out);
    writeJsonTextOrNull(out, r.advice[0] != '\0', r.advice);
    std::fputs("}", out);
  } else {
    std::fputs("null", out);
  }
  std::fputs("}", out);
}

}  // namespace

void printScan(const ScanList& list) {
  unsigned counts[3] = {};
  for (unsigned i = 0; i < list.count; ++i) {
    const ScanRecord& r = list.records[i];
    ++counts[static_cast<unsigned>(r.verdict)];
    ShownText node;
    printConsole("Drive %u: %s\n", static_cast<unsigned>(r.drive.number), showText(r.drive.node, &node));
    printLine("Bus", r.usb ? "USB" : "ATA");
    printLine("Vendor", r.drive.vendor);
    printLine("Product", r.drive.product);
    if (r.drive.usbKnown) printUsb(r.drive);
    if (r.identified) {
      printLine("Model", r.model);
      printLine("Firmware", r.firmware);
      printLine("Controller", r.controller);
    }
    switch (r.verdict) {
      case ScanVerdict::Served: printLine("Verdict", "served"); break;
      case ScanVerdict::NotServed:
        printLine("Verdict", "not served: the controller string does not begin with REALTEK_");
        break;
      case ScanVerdict::NotReachable:
        printConsole("  Verdict   : not reachable, 0x%x: %s\n", r.errorCode, r.errorText);
        break;
    }
    if (r.advice[0] != '\0') printLine("Advice", r.advice);
    printConsole("\n");
  }
  printConsole("Drives: %u (served %u, not served %u, not reachable %u)\n", list.count,
               counts[0], counts[1], counts[2]);
}

void writeScanJson(std::FILE* out, const ScanList& list, int argc, const char* const* argv) {
  writeJsonHeader(out, "kzt_fid", kProgramVersion, argc, argv);
  std::fputs(list.count == 0 ? "  \"drives\": []\n}\n" : "  \"drives\": [\n", out);
  for (unsigned i = 0; i < list.count; ++i) {
    writeJsonDrive(out, list.records[i]);
    std::fputs(i + 1 < list.count ? ",\n" : "\n  ]\n}\n", out);
  }
  std::fflush(out);
}

}  // namespace kzt
