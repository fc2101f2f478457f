// The rows of a dataset file's data block, as the whole-file reader and the
// window loader read them.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWREADER_H
#define MBRK_FILEHANDLER_INTERNAL_ROWREADER_H

#include <cstdint>
#include <istream>
#include <memory>
#include <vector>

#include "FileHandler/ParseTools.h"

namespace mbrk {

class Data;

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
};

/// Reads from the dataset block's start tag up to and including the data
/// block's start tag. Throws, besides the errors of the elements read,
/// "[Rows = <integer>] expected" for a header without a row count.
DataBlock ReadToDataBlock(FileTools& tools, std::istream& in);

/// Throws "Unexpected end of file" when tables of `rows` rows would be large
/// and the rest of the file, from where `in` stands, cannot hold their values:
/// a tiny hostile file must not make the reader claim gigabytes.
void RefuseHostileSize(std::istream& in, std::int32_t rows, const RowLayout& layout);

/// Stores the tables the layout calls for, each of `capacity` rows, in the
/// places at once, so that they stay with the caller whatever follows.
void CreateTables(const RowLayout& layout, std::int32_t capacity, Data*& first, Data*& second);

/// ReadElement inside the block named `name`. Reading the block's end tag
/// releases the name (the element reader takes it over), so `name` gives it
/// up then.
TElement ReadInBlock(FileTools& tools, std::unique_ptr<char[]>& name, std::istream& in);

/// Reads rows of the data block into the tables the layout called for.
class RowReader {
 public:
  /// `block` and the tables stay the caller's; the data block's name goes
  /// when its end tag is read where a number is due.
  RowReader(FileTools& tools, std::istream& in, DataBlock& block, Data* first, Data* second);

  /// Reads `count` rows into the tables, the first of them into slot
  /// `first_row`. A row is its four vectors of numbers, then the label lists
  /// of the tables that carry them. Every row is appended as soon as its
  /// numbers are read, so a failure leaves the rows before it in the tables.
  void ReadRows(std::int32_t first_row, std::int32_t count);

 private:
  void ReadRow(std::int32_t row);
  void ReadNumbers(std::vector<double>& values);
  void ReadLabels(Data& table, std::int32_t row);

  FileTools& tools_;
  std::istream& in_;
  std::unique_ptr<char[]>& block_name_;
  const RowLayout& layout_;
  Data* first_;
  Data* second_;
  // One scratch row per vector, made with the first row read: a header of
  // zero rows may declare widths of two billion.
  std::vector<double> inputs_, expected_, generated_, errors_;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_ROWREADER_H
