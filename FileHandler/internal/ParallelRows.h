// The numbers of a data block read on several threads. A data block marks no
// rows, but where it holds only numbers and separators the n-th number is the
// n-th word: the block is cut into chunks at separators, the chunks are parsed
// at once, and each value goes to the place its index gives it. Whatever else
// the block holds is left to the ordinary row reader, which resumes at the
// first word the chunks did not take, so values, messages and the positions of
// errors are those of reading on one thread.
#ifndef MBRK_FILEHANDLER_INTERNAL_PARALLELROWS_H
#define MBRK_FILEHANDLER_INTERNAL_PARALLELROWS_H

#include <cstddef>
#include <cstdint>
#include <istream>

#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/RowDestination.h"

namespace mbrk {

/// How the numbers are read in parallel.
struct ParallelRowOptions {
  /// Threads that parse, the calling one among them; 0 reads nothing (the
  /// ordinary reader reads every row).
  unsigned threads = 0;
  /// The bytes of one chunk, the unit of work (at least 1).
  std::size_t chunk_bytes = 128 * 1024;
  /// The bytes read from the stream at a time and parsed together (at least
  /// 1). Two pieces are held, one parsed while the next is read, with the
  /// parsed values of at most four times a piece's bytes.
  std::size_t piece_bytes = 2 * 1024 * 1024;
  /// Inputs with fewer bytes after the data block's start tag are left to the
  /// ordinary reader: starting threads does not pay for them.
  std::uint64_t least_bytes = 1024 * 1024;
  /// Strict reading (see Strict.h): a byte above 127 between the numbers is
  /// left to the ordinary reader, which refuses it where one thread would.
  bool strict = false;
};

/// Reads, from where `in` stands (just past the data block's start tag), the
/// leading numbers of the block's rows that are plain decimal words between
/// separators, in parallel, into the rows whose row 0 is `first_row`: row r's
/// vector of width w lies r * w values past its row-0 place, as in contiguous
/// row-major matrices. Reads at most the rows * width values of `layout`'s
/// rows; rows that carry label lists are not read this way (nothing is read).
///
/// Returns how many values it placed, in the file's order, and leaves `in`
/// where the ordinary reader goes on: past that many words, before the next
/// token. Reads nothing from a stream whose buffer has no positions. Throws
/// only std::bad_alloc or std::system_error (a thread that cannot start is
/// not one: the others do its work).
std::uint64_t ReadValuesInParallel(std::istream& in, const RowLayout& layout, std::int32_t rows,
                                   const RowPlaces& first_row, const ParallelRowOptions& options);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_PARALLELROWS_H
