// Cutting a piece of a data block into chunks.
#include "FileHandler/internal/Chunks.h"

#include <algorithm>

#include "FileHandler/internal/Lexer.h"

namespace mbrk {

std::size_t CompleteLength(const char* piece, std::size_t held) {
  std::size_t length = held;
  while (length != 0 && !IsSeparator(ByteOf(piece[length - 1]))) --length;
  return length;
}

std::size_t CutChunks(const char* piece, std::size_t length, std::size_t chunk_bytes,
                      std::vector<ByteRange>& chunks) {
  std::size_t count = 0;
  for (std::size_t begin = 0; begin < length; ++count) {
    std::size_t end = std::min(begin + chunk_bytes, length);
    while (!IsSeparator(ByteOf(piece[end - 1]))) ++end;
    if (count == chunks.size()) chunks.emplace_back();
    chunks[count] = ByteRange{begin, end};
    begin = end;
  }
  return count;
}

}  // namespace mbrk
