#pragma once
#include "ident/firmware_info.h"

namespace kzt {

// The flash geometry as the controller states it: nine lines on the console and in the report,
// then four more in the report only.
void printGeometry(const FirmwareInfo& info);

}  // namespace kzt
