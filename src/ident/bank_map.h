#pragma once
#include <cstdint>

#include "ident/flash_id_table.h"

namespace kzt {

constexpr unsigned kChannelCount = 8;
constexpr unsigned kCesPerChannel = 8;

// The banks that carry the same flash as the first populated one: byte h for channel h, bit c
// for CE c, so bank n is bit n % 8 of byte n / 8.
struct CeMask {
  uint8_t channels[kChannelCount] = {};
};

int isBankMarked(const CeMask& mask, unsigned channel, unsigned ce);
void markBank(CeMask* mask, unsigned bank);

// Prints one line per populated bank with its ID bytes and description (console and report),
// and marks in `mask` every populated bank whose first four ID bytes equal those of the
// reference, the first populated bank.
void listBanks(const FlashIdTable& table, CeMask* mask);

// Number of positions the mask line shows: 16, 32 with a mark in banks 16-31, 64 with a mark in
// banks 32-63.
unsigned ceMaskWidth(const CeMask& mask);

// "Flash CE Mask : [...]", one group of eight marks per channel.
void printCeMask(const CeMask& mask);

}  // namespace kzt
