// The rows of a dataset file's data block, as every reader of whole files and
// windows reads them: the header's layout, the size check, and the row loop,
// which puts each row into a destination of the caller's kind.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWREADER_H
#define MBRK_FILEHANDLER_INTERNAL_ROWREADER_H

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <vector>

#include "Base/internal/ReadAheadBuffer.h"
#include "FileHandler/ParseTools.h"

namespace mbrk {

class Data;
class TLabelList;

/// What the header makes of a row: the widths of its four vectors (a negative
/// output width cleared to 0), whether each table carries label lists, and
/// which of the two tables the file calls for.
struct RowLayout {
  RowLayout(std::int32_t header_inputs, std::int32_t header_expected, std::int32_t header_generated,
            std::int32_t header_errors)
      : inputs(header_inputs),
        expected(header_expected < 0 ? 0 : header_expected),
        generated(header_generated < 0 ? 0 : header_generated),
        errors(header_errors),
        labels1(header_expected == -1),
        labels2(header_generated == -1),
        table1(inputs != 0 || expected != 0 || labels1),
        table2(generated != 0 || errors != 0 || labels2) {}

  /// False for rows made of label lists only (or of nothing at all).
  bool HasNumbers() const { return inputs != 0 || expected != 0 || generated != 0 || errors != 0; }

  std::int32_t inputs, expected, generated, errors;
  bool labels1, labels2;
  bool table1, table2;
};

/// The part of a dataset file before its rows.
struct DataBlock {
  std::unique_ptr<char[]> dataset_name;  // the blocks' names as written
  std::unique_ptr<char[]> data_name;
  std::int32_t rows;
  RowLayout layout;
  /// The first format version element before the dataset block, if any.
  std::optional<double> format_version;
};

/// Reads from the start of a dataset file up to and including the data
/// block's start tag. Throws, besides the errors of the elements read,
/// "[Rows = <integer>] expected" for a header without a row count.
DataBlock ReadToDataBlock(FileTools& tools, std::istream& in);

/// Throws "Unexpected end of file" when tables of `rows` rows would be large
/// and the rest of the input, from where `in` stands, cannot hold their
/// values: a tiny hostile file must not make the reader claim gigabytes. The
/// rest is measured by positions where `in`'s buffer has them, and read ahead
/// where it is a ReadAheadBuffer (see DatasetInput), so a pipe is refused as
/// the same bytes in a file are; any other stream is not checked.
void RefuseHostileSize(std::istream& in, std::int32_t rows, const RowLayout& layout);

/// The stream a reader of whole dataset files reads: `in` itself when its
/// buffer can tell positions (a file), else `in` through a ReadAheadBuffer
/// (a pipe), on which RefuseHostileSize reads ahead only as far as its rule
/// needs. So a stream without positions costs memory in proportion to what it
/// delivers, and is refused or read exactly as a file of the same bytes.
class DatasetInput {
 public:
  explicit DatasetInput(std::istream& in);
  DatasetInput(const DatasetInput&) = delete;
  DatasetInput& operator=(const DatasetInput&) = delete;

  std::istream& stream() noexcept { return ahead_ != nullptr ? through_ : in_; }
  /// False when `in` is read through a read-ahead buffer.
  bool positioned() const noexcept { return ahead_ == nullptr && !ahead_reused_; }

 private:
  std::istream& in_;
  std::unique_ptr<ReadAheadBuffer> ahead_;
  bool ahead_reused_ = false;  // `in` is read through one already
  std::istream through_;
};

/// Reads what follows the rows of a whole file: the data block's end tag, the
/// dataset block's end tag, then the end of the input (separators and
/// comments only). Throws "End Tag expected" for anything else.
void ReadDataBlockEnd(FileTools& tools, std::istream& in, DataBlock& block);

/// Stores the tables the layout calls for, each of `capacity` rows, in the
/// places at once, so that they stay with the caller whatever follows.
void CreateTables(const RowLayout& layout, std::int32_t capacity, Data*& first, Data*& second);

/// ReadElement inside the block named `name`. Reading the block's end tag
/// releases the name (the element reader takes it over), so `name` gives it
/// up then.
TElement ReadInBlock(FileTools& tools, std::unique_ptr<char[]>& name, std::istream& in);

// ---- Destinations ------------------------------------------------------------------

/// The places the numbers of one row are read into, one per vector, each
/// holding as many doubles as the layout's width for it (null for width 0).
struct RowPlaces {
  double* inputs;
  double* expected;
  double* generated;
  double* errors;
};

/// The two halves of a row: the first table's (inputs, expected outputs or
/// their label list) and the second table's (generated outputs or their label
/// list, errors).
enum class TablePart { kFirst, kSecond };

/// Where a RowReader puts the rows it reads. Rows are numbered from 0, the
/// first row of the read; their layout is the DataBlock's.
///
/// For each row, rows in increasing order, the reader calls, in this order:
///   Places(row)                    once, then reads the four vectors' numbers
///                                  into the places, left to right;
///   PartRead(kFirst, row)          when the layout has a first table;
///   TakeLabels(kFirst, row, list)  when that table carries label lists, with
///                                  the row's list, read just before;
///   PartRead(kSecond, row), TakeLabels(kSecond, row, list)
///                                  likewise for the second table.
/// A failure (a format error thrown by the reader, or anything a destination
/// throws) ends the sequence where it happens: the row being read is left
/// partly read, its later calls are not made, and the destination holds what
/// the calls made so far gave it.
class RowDestination {
 public:
  /// Where row `row`'s numbers go; the places stay valid until the next call
  /// of Places.
  virtual RowPlaces Places(std::int32_t row) = 0;
  /// The numbers of `part` of row `row` are in its places. Nothing to do for
  /// a destination whose places are the rows' own storage.
  virtual void PartRead(TablePart part, std::int32_t row) {
    static_cast<void>(part);
    static_cast<void>(row);
  }
  /// The label list of `part` of row `row`; the destination may take its
  /// labels over (moving them out of `list`).
  virtual void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) = 0;

 protected:
  ~RowDestination() = default;
};

/// The tables of ReadDatFile and the window loader (either may be null, as
/// the layout calls for them) as a destination. The numbers go into scratch
/// rows, and each part is appended to its table (AppendRow) as soon as it has
/// been read, so a failure leaves in each table the parts read before it, as
/// whole rows. A label list is handed to the table with SetLabels, for the
/// table's row of the same number.
class TableRows final : public RowDestination {
 public:
  TableRows(const RowLayout& layout, Data* first, Data* second);

  RowPlaces Places(std::int32_t row) override;
  void PartRead(TablePart part, std::int32_t row) override;
  void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) override;

 private:
  const RowLayout& layout_;
  Data* first_;
  Data* second_;
  // One scratch row per vector, made for the first row read: a header of
  // zero rows may declare widths of two billion.
  std::vector<double> inputs_, expected_, generated_, errors_;
  bool scratch_made_ = false;
};

// ---- The row loop ------------------------------------------------------------------

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
