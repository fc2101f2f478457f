// The row loop: the rows of a data block, read into a destination.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWREADER_H
#define MBRK_FILEHANDLER_INTERNAL_ROWREADER_H

#include <cstdint>
#include <istream>
#include <memory>

#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/RowDestination.h"

namespace mbrk {

/// Reads rows of the data block into a destination.
class RowReader {
 public:
  /// `block` and the destination stay the caller's; the data block's name
  /// goes when its end tag is read where a number is due.
  RowReader(FileTools& tools, std::istream& in, DataBlock& block, RowDestination& destination);

  /// Reads `count` rows, numbered `first_row` on, into the destination. A row
  /// is its four vectors of numbers, then the label lists of the tables that
  /// carry them. Rows of nothing (no table at all) are not read: there is
  /// nothing in the file to read for them.
  void ReadRows(std::int32_t first_row, std::int32_t count);

  /// Reads the rest of row `row` as ReadRows reads a whole row, its first
  /// `first_value` numbers (counted over the four vectors) being already in
  /// the places the destination gives for it.
  void ReadRowRest(std::int32_t row, std::int64_t first_value);

 private:
  void ReadRow(std::int32_t row, std::int64_t first_value);
  // Reads `count` numbers into `values`, leaving the first `skip` of them.
  void ReadNumbers(double* values, std::int32_t count, std::int64_t& skip);
  void ReadLabels(TablePart part, std::int32_t row);

  FileTools& tools_;
  std::istream& in_;
  std::unique_ptr<char[]>& block_name_;
  const RowLayout& layout_;
  RowDestination& destination_;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_ROWREADER_H
