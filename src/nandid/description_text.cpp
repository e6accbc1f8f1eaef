#include "nandid/description_text.h"

#include <cstring>

namespace kzt {

void startDescription(DescriptionText* text, char* buffer, int capacity) {
  text->buffer = buffer;
  text->length = 0;
  text->capacity = capacity;
  if (capacity > 0) buffer[0] = '\0';
}

int appendPiece(DescriptionText* text, const char* piece) {
  const size_t pieceLength = std::strlen(piece);
  const size_t room = static_cast<size_t>(text->capacity - text->length);
  if (text->capacity <= 0 || pieceLength >= room) return 0;
  std::memcpy(text->buffer + text->length, piece, pieceLength + 1);
  text->length += static_cast<int>(pieceLength);
  return 1;
}

}  // namespace kzt
