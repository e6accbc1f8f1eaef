#pragma once
#include <cstdint>

namespace kzt {

// The flash-ID decoder: a stateless module with its own version text. It reads ID bytes 0 to 5
// of a bank's record (bytes 6 and 7 are never looked at).

// The caller's description buffer holds at least this many bytes: 67 characters and the NUL.
constexpr int kDescriptionSize = 68;

// Writes the one-line description of a bank's flash ID: maker, technology, cell type, page size,
// capacity per CE and per die, planes per die. 1 when byte 0 is a known maker code, 0 otherwise
// (empty description).
int DecodeFlashId(const uint8_t* id, char* description);
// Writes the maker's name (buffer of at least 16 bytes). 1 for a known code and for 0x00.
int FlashMakerName(const uint8_t* id, char* name);
// Writes the decoder's version text (buffer of at least 7 bytes).
void FlashIdDecoderVersion(char* version);

}  // namespace kzt
