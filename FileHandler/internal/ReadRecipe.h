// How every reader of the bracketed format reads a data block's rows, for a
// whole file and for a window: the header, the size check, then the rows into
// a destination the caller makes for the shape the header gives. The
// specified interface reads into tables (TableRows), the value-type interface
// into matrices; both take the same steps with the same messages.
#ifndef MBRK_FILEHANDLER_INTERNAL_READRECIPE_H
#define MBRK_FILEHANDLER_INTERNAL_READRECIPE_H

#include <cstdint>
#include <istream>

#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/ParallelRows.h"
#include "FileHandler/internal/RowDestination.h"

namespace mbrk {

/// A whole dataset file read from `in` (a stream with positions, or one read
/// through DatasetInput). Construction reads up to the data block's start
/// tag and refuses sizes the rest of the input cannot hold; the caller then
/// makes the destination for block() and hands it to ReadRows.
class WholeRead {
 public:
  WholeRead(FileTools& tools, std::istream& in);

  const DataBlock& block() const noexcept { return block_; }

  /// Reads every row into `destination`, then the end of the file. With
  /// `parallel` the leading plain numbers are read on several threads; the
  /// destination's places for row 0 must then be those of row-major
  /// matrices holding every row.
  void ReadRows(RowDestination& destination, const ParallelRowOptions* parallel = nullptr);

 private:
  FileTools& tools_;
  std::istream& in_;
  DataBlock block_;
};

/// A window of `count` rows, `offset` bytes past the data block's start tag,
/// read from `in`, which must tell positions ("Unable to seek in file"): one
/// seek, however far. Construction reads the header, seeks and refuses sizes
/// the rest of the input cannot hold; the caller then makes the destination
/// for block() and count rows and hands it to ReadRows. `first_row` is the
/// row the offset is, or -1 when the caller does not know (throws
/// std::invalid_argument for a row past the header's row count).
class WindowRead {
 public:
  WindowRead(FileTools& tools, std::istream& in, std::int64_t offset, std::int32_t count,
             std::int32_t first_row = -1);

  const DataBlock& block() const noexcept { return block_; }

  /// Reads the window's rows, numbered from 0, into `destination` and
  /// returns the offset of the next window. With its first row known, the
  /// window's rows are read as WholeRead reads them, and the window that ends
  /// with the last row then reads the end of the file as WholeRead does. A
  /// row past the last one (any row, when the first row is not known) meets
  /// the data block's end tag where its first number is due: "Token (number)
  /// expected"; in rows of label lists only, the end tag is looked for before
  /// each such row: "Unexpected End Tag".
  std::int64_t ReadRows(RowDestination& destination);

 private:
  FileTools& tools_;
  std::istream& in_;
  std::int32_t count_;
  DataBlock block_;
  std::int32_t rows_left_ = -1;
  std::streamoff base_ = 0;
};

/// Windows one after another from `in`, which the caller holds (with
/// `tools`) for as long as this lives: construction reads the header, seeks
/// `offset` bytes past the data block's start tag, which must be where row
/// `first_row` begins (0 and 0 for the first row), and refuses sizes the rest
/// of the input cannot hold for the rows left; each window is then
/// read from where the last one ended. Window after window to the last row
/// reads the file as WholeRead reads it, the end of the file with the last.
class WindowSequence {
 public:
  WindowSequence(FileTools& tools, std::istream& in, std::int64_t offset, std::int32_t first_row);

  const DataBlock& block() const noexcept { return block_; }
  std::int32_t next_row() const noexcept { return next_row_; }
  std::int64_t next_offset() const noexcept { return next_offset_; }
  /// True once the window that ends with the last row has been read.
  bool at_end() const noexcept { return at_end_; }

  /// Sets up the next window of `count` rows, or of the rows left when fewer
  /// are (none at the end), refusing sizes the rest of the input cannot hold,
  /// and returns its row count; the caller makes the destination for it.
  std::int32_t Prepare(std::int32_t count);
  /// Reads the window set up into `destination`.
  void ReadRows(RowDestination& destination);

 private:
  FileTools& tools_;
  std::istream& in_;
  DataBlock block_;
  std::streamoff base_ = 0;
  std::int64_t next_offset_ = 0;
  std::int32_t next_row_ = 0;
  std::int32_t count_ = 0;
  bool at_end_ = false;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_READRECIPE_H
