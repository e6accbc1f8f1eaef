#pragma once
#include <cstdint>

namespace kzt {

// The caller's description buffer holds at least this many bytes: 67 characters and the NUL.
constexpr int kDescriptionSize = 68;

// ID bytes the decoder reads (0 to 5); bytes 6 and 7 of a bank's record are never looked at.
constexpr int kDecodedIdBytes = 6;

// A text being built piece by piece at the end of a fixed buffer.
struct DescriptionText {
  char* buffer = nullptr;
  int length = 0;    // characters written, without the NUL
  int capacity = 0;  // bytes of the buffer, the NUL included
};

// Makes the buffer the empty text and remembers its size.
void startDescription(DescriptionText* text, char* buffer, int capacity);

// Appends a whole piece and the NUL after it. A piece that doesn't fit whole is left out
// (returns 0), so the text never holds half a piece and never runs past the buffer.
int appendPiece(DescriptionText* text, const char* piece);

}  // namespace kzt
