// Flat files: one line per row, the row's input values then its output
// values, each written as "%.9g" would write it and followed by one blank.
// The file records no shape; whoever reads it back must know the row count
// and the two widths.
#ifndef MBRK_FILEHANDLER_FLATFILER_H
#define MBRK_FILEHANDLER_FLATFILER_H

#include <cstdint>
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

  // ---- Reading flat files -------------------------------------------------

  /// Reads the file `filename` into a new table of capacity `rows`, input
  /// width `inputs` and output width `outputs`, without labels, as ReadData
  /// does. Throws TException "Unable to open file for input" / "File Error" /
  /// "TFlatFiler::LoadData" when the file cannot be opened for reading (or is
  /// a folder), and "Invalid Number of Rows", "Invalid Number of Inputs" or
  /// "Invalid Number of Outputs" / "Bad Parameter" / "TFlatFiler::LoadData"
  /// for a negative count; `table` is then left as it was.
  static void LoadData(const char* filename, Data*& table, std::int32_t rows, std::int32_t inputs,
                       std::int32_t outputs);

  /// Creates the table (stored in `table` at once; the caller owns it from
  /// then on, also when the stream throws) and appends `rows` rows, each
  /// `inputs` then `outputs` numbers read with `in >> value`, so any white
  /// space separates them and lines do not matter.
  ///
  /// Reading is lenient: a short or malformed file still gives `rows` rows.
  /// Text that is not a number at a position gives 0 there and fails the
  /// stream; once the stream has failed or the file has ended, every later
  /// position keeps the value it had in the previous row, and 0.0 in the
  /// first. Numbers after the last row are left unread. Negative counts throw
  /// as for LoadData, with the location "TFlatFiler::ReadData".
  static void ReadData(std::istream& in, Data*& table, std::int32_t rows, std::int32_t inputs,
                       std::int32_t outputs);
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_FLATFILER_H
