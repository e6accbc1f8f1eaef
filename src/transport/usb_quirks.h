#pragma once
#include <cstddef>
#include <cstdint>

// usb-storage's `quirks` parameter (/sys/module/usb_storage/parameters/quirks): a comma-separated
// list of entries VID:PID:letters, VID and PID in hexadecimal. The usb-storage and uas drivers take
// the letters of the first entry that names a device in place of their built-in flags for it; the
// letters are read in either case. `t` (NO_ATA_1X) makes the driver answer every ATA PASS-THROUGH
// block itself with ILLEGAL REQUEST / INVALID FIELD IN CDB; `u` (IGNORE_UAS) leaves the device to
// usb-storage instead of uas.

namespace kzt {

// The usb-storage module parameter, as the kernel shows it.
constexpr const char* kUsbQuirksParameterPath = "/sys/module/usb_storage/parameters/quirks";

// Looks up the entry for vendorId:productId the way the kernel does: each number is hexadecimal
// with an optional 0x, read up to the first other character and compared whole (a number with no
// digit reads as 0, a longer one wraps at 64 bits); after a miss the search goes on behind the next
// comma. Non-zero when an entry
// names the device; its letters (everything after its second colon up to the next comma or the
// end) then go into `letters`, cut to size - 1 characters. `letters` is left empty otherwise.
int findUsbQuirks(const char* parameter, uint16_t vendorId, uint16_t productId, char* letters,
                  size_t size);

// Non-zero when the letters hold `t` in either case.
int quirksSetNoAta1x(const char* letters);

}  // namespace kzt
