// The rows of a flat file, read into a destination of the caller's kind: the
// specified interface's table or the value-type interface's matrices.
#ifndef MBRK_FILEHANDLER_INTERNAL_FLATROWS_H
#define MBRK_FILEHANDLER_INTERNAL_FLATROWS_H

#include <cstdint>
#include <istream>

namespace mbrk {

/// Where ReadFlatRows puts the rows it reads.
class FlatDestination {
 public:
  /// Called once, when the reader has made its own room and before it reads
  /// anything.
  virtual void Start() {}
  /// Row `row` (rows numbered from 0) has been read: `inputs` and `outputs`
  /// hold its values (null for width 0), valid until the next call.
  virtual void TakeRow(std::int32_t row, const double* inputs, const double* outputs) = 0;

 protected:
  ~FlatDestination() = default;
};

/// Reads `rows` rows of `inputs` and `outputs` values (none negative) from
/// `in`, each value as `in >> value` reads it, and hands each row to
/// `destination`. A value the file cannot supply keeps what the same place
/// of the row before held (0.0 in the first row); the stream's state tells
/// whether every value was read.
void ReadFlatRows(std::istream& in, std::int32_t rows, std::int32_t inputs, std::int32_t outputs,
                  FlatDestination& destination);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_FLATROWS_H
