// Where a data block's rows begin, found without reading them: a scan on
// several threads that checks and counts the block's words (numbers, label
// lists passed over whole, comments skipped) and notes where every so many
// rows end. It gives up, without an error, wherever the input is not the
// plain case (anything it does not know for certain is read as the ordinary
// row reader would read it, at the same place); the caller's ordinary reader
// then goes on from the end of the last whole row it vouched for, so offsets,
// messages and the positions of errors are those of reading row by row.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWSCAN_H
#define MBRK_FILEHANDLER_INTERNAL_ROWSCAN_H

#include <cstddef>
#include <cstdint>
#include <istream>
#include <vector>

#include "FileHandler/internal/DataBlock.h"

namespace mbrk {

/// How the rows are scanned.
struct RowScanOptions {
  /// Threads that scan, the calling one among them; 0 or 1 scans on the
  /// calling thread alone.
  unsigned threads = 1;
  /// The bytes of one chunk, the unit of work (at least 64); a chunk is cut
  /// after a line end where one is near, else after a separator.
  std::size_t chunk_bytes = 256 * 1024;
  /// The bytes read from the stream at a time (at least 2 * chunk_bytes).
  std::size_t piece_bytes = 4 * 1024 * 1024;
};

/// What a scan vouched for.
struct RowScanResult {
  /// Whole rows scanned, from the first.
  std::int32_t rows = 0;
  /// Bytes from where the scan began to the point just past them, where the
  /// window that begins with the next row would begin.
  std::int64_t end = 0;
};

/// Scans the rows of the data block from where `in` stands (just past the
/// data block's start tag), at most `rows` of them, and appends to `offsets`
/// the offset (bytes from where `in` stood) of each row numbered a multiple
/// of `every` (at least 1) among the rows it vouches for and below `rows`,
/// row 0 included, as reading window after window hands them out. Leaves `in`
/// where the result's end is. Reads nothing from a stream without positions
/// or a layout whose rows hold nothing. Throws only std::bad_alloc or
/// std::system_error.
RowScanResult ScanRows(std::istream& in, const RowLayout& layout, std::int32_t rows,
                       std::int32_t every, std::vector<std::int64_t>& offsets,
                       const RowScanOptions& options);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_ROWSCAN_H
