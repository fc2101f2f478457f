// A piece of a data block cut into chunks at separators, so that every word
// that starts in a chunk ends in it: the unit of work of the readers that
// scan a data block on several threads.
#ifndef MBRK_FILEHANDLER_INTERNAL_CHUNKS_H
#define MBRK_FILEHANDLER_INTERNAL_CHUNKS_H

#include <cstddef>
#include <streambuf>
#include <vector>

namespace mbrk {

/// The bytes [begin, end) of a piece; the last of them is a separator.
struct ByteRange {
  std::size_t begin = 0;
  std::size_t end = 0;
};

/// How many of the `held` bytes of `piece` end with a separator (0 for
/// none): the word after them may go on in bytes not read yet.
std::size_t CompleteLength(const char* piece, std::size_t held);

/// Cuts piece[0, length), whose last byte is a separator, into chunks of
/// nominally `chunk_bytes` (at least 1), each end moved on past the word it
/// would cut. Writes them to the front of `chunks`, growing it only when it
/// holds too few, and returns their count.
std::size_t CutChunks(const char* piece, std::size_t length, std::size_t chunk_bytes,
                      std::vector<ByteRange>& chunks);

/// Reads into buffer[from, size) as much as `sb` gives; returns the end of
/// what the buffer then holds.
inline std::size_t Fill(std::streambuf& sb, char* buffer, std::size_t from, std::size_t size) {
  while (from < size) {
    const std::streamsize got = sb.sgetn(buffer + from, static_cast<std::streamsize>(size - from));
    if (got <= 0) break;
    from += static_cast<std::size_t>(got);
  }
  return from;
}

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_CHUNKS_H
