// A piece of a data block cut into chunks at separators, so that every word
// that starts in a chunk ends in it: the unit of work of the readers that
// scan a data block on several threads.
#ifndef MBRK_FILEHANDLER_INTERNAL_CHUNKS_H
#define MBRK_FILEHANDLER_INTERNAL_CHUNKS_H

#include <cstddef>
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

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_CHUNKS_H
