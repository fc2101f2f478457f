// Flat files: one line per row, the row's input values then its output
// values, each written as "%.9g" would write it and followed by one blank.
// The file records no shape; whoever reads it back must know the row count
// and the two widths.
#ifndef MBRK_FILEHANDLER_FLATFILER_H
#define MBRK_FILEHANDLER_FLATFILER_H

#include <cstddef>
#include <istream>
#include <ostream>

namespace mbrk {

class Data;

/// Stateless: every operation is static.
class TFlatFiler {
 public:
  /// Writes every row of `table` to the file `filename`, created or truncated,
  /// oldest row first. Throws TException "Unable to open file" / "File Error" /
  /// "TFlatFiler::SaveData" when the file cannot be opened (nothing written),
  /// and "Unable to write file" with the same category and location when the
  /// rows could not all be written (a full disk). The table stays the caller's;
  /// its read cursor ends on the newest row.
  static void SaveData(const char* filename, Data* table);

  /// Writes every row of `table` to `out` in the flat format, flushing after
  /// each line. Moves the table's read cursor as SaveData does.
  static void WriteData(std::ostream& out, Data* table);

  /// Writes the text of `value` as the flat format wants it ("%.9g", or "+INF",
  /// "-INF", "+NAN", "-NAN") into `buffer`, without terminator, and returns the
  /// number of characters. `buffer` must hold kMaxValueText characters.
  static std::size_t FormatValue(double value, char* buffer) noexcept;
  static constexpr std::size_t kMaxValueText = 32;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_FLATFILER_H
