// The part of a dataset file around its rows: the header and its layout of a
// row, the size check before tables are made, the stream a whole file is read
// through, and the end of the data block.
#ifndef MBRK_FILEHANDLER_INTERNAL_DATABLOCK_H
#define MBRK_FILEHANDLER_INTERNAL_DATABLOCK_H

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>

#include "Base/internal/ReadAheadBuffer.h"
#include "FileHandler/ParseTools.h"

namespace mbrk {

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
  /// False when `in` is read through the read-ahead buffer.
  bool positioned() const noexcept { return ahead_ == nullptr; }

 private:
  std::istream& in_;
  std::unique_ptr<ReadAheadBuffer> ahead_;
  std::istream through_;
};

/// Reads what follows the rows of a whole file: the data block's end tag, the
/// dataset block's end tag, then the end of the input (separators and
/// comments only). Throws "End Tag expected" for anything else.
void ReadDataBlockEnd(FileTools& tools, std::istream& in, DataBlock& block);

/// ReadElement inside the block named `name`. Reading the block's end tag
/// releases the name (the element reader takes it over), so `name` gives it
/// up then.
TElement ReadInBlock(FileTools& tools, std::unique_ptr<char[]>& name, std::istream& in);

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_DATABLOCK_H
