#pragma once
#include <cstdint>

namespace kzt {

// Writes the one-line description of a bank's flash ID (bytes 0 to 5 are read) into a buffer of
// at least 68 bytes. 1 when byte 0 is a known maker code, 0 otherwise (empty description).
int DecodeFlashId(const uint8_t* id, char* description);
// Writes the maker's name (buffer of at least 16 bytes). 1 for a known code and for 0x00.
int FlashMakerName(const uint8_t* id, char* name);
// Writes the decoder's version text (buffer of at least 7 bytes).
void FlashIdDecoderVersion(char* version);

}  // namespace kzt
