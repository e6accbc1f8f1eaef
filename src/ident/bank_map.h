#pragma once
#include "ident/answers.h"

namespace kzt {

// The flash section of the report.

// One line per populated bank with its ID bytes and decoded description, console and report.
void printBankList(const FlashIdTable& table);

// "Flash CE Mask : [...]", console and report.
void printCeMask(const CeMask& mask);

// The flash geometry as the controller states it: nine lines on the console and in the report,
// then four more in the report only.
void printGeometry(const FirmwareInfo& info);

}  // namespace kzt
