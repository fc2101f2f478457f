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
/// for block() and count rows and hands it to ReadRows.
class WindowRead {
 public:
  WindowRead(FileTools& tools, std::istream& in, std::int64_t offset, std::int32_t count);

  const DataBlock& block() const noexcept { return block_; }

  /// Reads the window's rows, numbered from 0, into `destination` and
  /// returns the offset of the next window. A row past the last one meets the
  /// data block's end tag where its first number is due: "Token (number)
  /// expected"; in rows of label lists only, the end tag is looked for before
  /// each row: "Unexpected End Tag".
  std::int64_t ReadRows(RowDestination& destination);

 private:
  FileTools& tools_;
  std::istream& in_;
  std::int32_t count_;
  DataBlock block_;
  std::streamoff base_ = 0;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_READRECIPE_H
