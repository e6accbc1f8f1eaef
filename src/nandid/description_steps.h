#pragma once
#include <cstdint>

#include "nandid/description_text.h"
#include "nandid/maker_table.h"
#include "nandid/technology_tables.h"

namespace kzt {

// The pieces behind the maker name, in the order DecodeFlashId appends them. Each reads ID
// bytes 0 to 5 only and appends at most one piece (the capacity step two) at the end of text.

// 1 when ID bytes start .. start+length-1 equal the row's signature. A row that would reach past
// byte 5 never matches.
int partSignatureMatches(const PartSignature& row, const uint8_t* id);

// Process node, 3D generation or Micron-family die code. *capacityIsPerDie is set when a Hynix
// row says the capacity table value counts per die, cleared otherwise.
void appendTechnology(const uint8_t* id, MakerFamily family, DescriptionText* text,
                      bool* capacityIsPerDie);

void appendCellType(const uint8_t* id, DescriptionText* text);
void appendPageSize(const uint8_t* id, MakerFamily family, DescriptionText* text);
// Capacity per CE, then per die, when the device code is in the family's capacity table.
void appendCapacity(const uint8_t* id, MakerFamily family, bool capacityIsPerDie,
                    DescriptionText* text);
void appendPlanesPerDie(const uint8_t* id, MakerFamily family, DescriptionText* text);

}  // namespace kzt
