// Windows of rows: a run of a data block's rows reached by one seek, as the
// window loader and the value-type interface read them.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <stdexcept>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReadRecipe.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/RowReader.h"
#include "FileHandler/internal/TableRows.h"

namespace mbrk {

namespace {

// Throws "Unable to seek in file" unless `in`'s buffer can tell positions: a
// window is reached by a seek, so a stream without positions (a pipe) is
// refused before anything is read from it or made for it.
std::istream& RequirePositions(std::istream& in) {
  if (Tell(in) < 0) Fail(in, "Unable to seek in file");
  return in;
}

// Moves `in` forward by `offset` bytes from where it stands, the window base,
// and returns the base. Throws "Unexpected end of file" for an offset past
// the end of the input rather than taking it for an empty window.
std::streamoff SeekWindow(std::istream& in, std::int64_t offset) {
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff base = Tell(in);
  if (base < 0) Fail(in, "Unable to seek in file");
  const std::streamoff end = sb->pubseekoff(0, std::ios::end, std::ios::in);
  if (end < 0) Fail(in, "Unable to seek in file");
  if (offset > end - base) Fail(in, "Unexpected end of file");
  if (std::streamoff(sb->pubseekoff(base + offset, std::ios::beg, std::ios::in)) < 0) {
    Fail(in, "Unable to seek in file");
  }
  // An open data start tag at the very end of the file has marked the end,
  // which no longer holds at the new position.
  in.clear();
  return base;
}

// Reads `count` rows from where `in` stands into `destination`, numbered
// from 0, and returns where they end, in bytes from `base`. `rows_left` is
// how many rows of the data block are left from where `in` stands, or -1
// when not known. The rows up to `rows_left` are read as the whole-file
// reader reads them, and a window that ends with the last of them reads what
// follows it as that reader does (the end tags, the end of the input). A row
// past the last one (every row, when `rows_left` is not known) meets the
// data block's end tag where its first number is due; in rows of label lists
// only, whose lists a list reader would read the end tag as, the end tag is
// looked for before each such row.
std::int64_t ReadWindowRows(FileTools& tools, std::istream& in, DataBlock& block,
                            std::streamoff base, std::int32_t count, std::int32_t rows_left,
                            RowDestination& destination) {
  RowReader rows(tools, in, block, destination);
  const std::int32_t known = rows_left < 0 ? 0 : std::min(count, rows_left);
  rows.ReadRows(0, known);
  const RowLayout& layout = block.layout;
  if (layout.HasNumbers() || !(layout.labels1 || layout.labels2)) {
    rows.ReadRows(known, count - known);
  } else {
    for (std::int32_t i = known; i < count; ++i) {
      if (EndTagAhead(tools, in, block.data_name.get())) Fail(in, "Unexpected End Tag");
      rows.ReadRows(i, 1);
    }
  }
  const std::streamoff here = Tell(in);
  if (here < 0) Fail(in, "Unable to seek in file");
  if (count == rows_left) ReadDataBlockEnd(tools, in, block);
  return here - base;
}

// The rows left from `first_row`, or -1 for a row not known (negative).
std::int32_t RowsLeft(const DataBlock& block, std::int32_t first_row) {
  if (first_row < 0) return -1;
  if (first_row > block.rows) throw std::invalid_argument("window: row past the header's rows");
  return block.rows - first_row;
}

}  // namespace

WindowRead::WindowRead(FileTools& tools, std::istream& in, std::int64_t offset, std::int32_t count,
                       std::int32_t first_row)
    : tools_(tools), in_(in), count_(count), block_(ReadToDataBlock(tools, RequirePositions(in))) {
  rows_left_ = RowsLeft(block_, first_row);
  // Not knowing its row, the window never reaches the dataset's end tag.
  if (rows_left_ < 0) block_.dataset_name.reset();
  base_ = SeekWindow(in, offset);
  // Knowing its row, the window refuses a file too short for the rows left
  // where and as the whole-file reader does, before it reads any row.
  RefuseHostileSize(in, std::max(count, rows_left_), block_.layout);
}

std::int64_t WindowRead::ReadRows(RowDestination& destination) {
  return ReadWindowRows(tools_, in_, block_, base_, count_, rows_left_, destination);
}

WindowSequence::WindowSequence(FileTools& tools, std::istream& in, std::int64_t offset,
                               std::int32_t first_row)
    : tools_(tools), in_(in), block_(ReadToDataBlock(tools, RequirePositions(in))) {
  if (first_row < 0 || first_row > block_.rows) {
    throw std::invalid_argument("windows: row not in the header's rows");
  }
  next_row_ = first_row;
  base_ = SeekWindow(in, offset);
  next_offset_ = offset;
  // A file too short for the rows left is refused as the whole-file reader
  // refuses it, before any window is read.
  RefuseHostileSize(in, block_.rows - first_row, block_.layout);
}

std::int32_t WindowSequence::Prepare(std::int32_t count) {
  const std::int32_t rows_left = block_.rows - next_row_;
  count_ = at_end_ ? 0 : std::min(count, rows_left);
  RefuseHostileSize(in_, count_, block_.layout);
  return count_;
}

void WindowSequence::ReadRows(RowDestination& destination) {
  if (at_end_) return;
  const std::int32_t rows_left = block_.rows - next_row_;
  next_offset_ = ReadWindowRows(tools_, in_, block_, base_, count_, rows_left, destination);
  next_row_ += count_;
  at_end_ = count_ == rows_left;
}

namespace {

// The window reader behind both offset widths. A next offset above
// `largest_offset` is refused, leaving `offset` as it was.
std::int32_t ReadWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                        std::int32_t count, std::int64_t largest_offset, Data*& PtrDatFileData1,
                        Data*& PtrDatFileData2) {
  InputFile file;
  if (OpenInput(file, filename) != InputStatus::kOpen) return FILE_OPEN_ERROR;
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;
  if (count < 0) Fail(file.stream(), "Invalid window count");
  if (offset < 0) Fail(file.stream(), "Invalid window offset");
  // A compressed file has no byte offsets: its decoded stream is refused as
  // a pipe is.
  DecodedInput decoded(file.stream());
  const auto read_window = [&](std::istream& in) {
    WindowRead read(tools, in, offset, count);
    CreateTables(read.block().layout, count, PtrDatFileData1, PtrDatFileData2);
    TableRows tables(read.block().layout, PtrDatFileData1, PtrDatFileData2);
    return read.ReadRows(tables);
  };
  const auto restart = [&] {
    delete PtrDatFileData1;
    delete PtrDatFileData2;
    PtrDatFileData1 = PtrDatFileData2 = nullptr;
  };
  const std::int64_t next = ReadDecoded(decoded, read_window, restart);
  if (next > largest_offset) Fail(decoded.stream(), "Window offset does not fit in 32 bits");
  offset = next;
  return SUCCESS;
}

// LoadDatFileWindow for either offset width.
template <typename Offset>
std::int32_t LoadWindow(FileTools& tools, const char* filename, Offset& offset, std::int32_t count,
                        Data*& PtrDatFileData) {
  Data* second = nullptr;
  struct DropSecond {
    Data*& table;
    ~DropSecond() { delete table; }
  } drop{second};
  return ReadDatFileWindow(tools, filename, offset, count, PtrDatFileData, second);
}

}  // namespace

std::int32_t ReadDatFileWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                               std::int32_t count, Data*& PtrDatFileData1, Data*& PtrDatFileData2) {
  return WithOwnStream([&] {
    return ReadWindow(tools, filename, offset, count, std::numeric_limits<std::int64_t>::max(),
                      PtrDatFileData1, PtrDatFileData2);
  });
}

std::int32_t ReadDatFileWindow(FileTools& tools, const char* filename, std::int32_t& offset,
                               std::int32_t count, Data*& PtrDatFileData1, Data*& PtrDatFileData2) {
  std::int64_t wide = offset;
  const std::int32_t result = WithOwnStream([&] {
    return ReadWindow(tools, filename, wide, count, std::numeric_limits<std::int32_t>::max(),
                      PtrDatFileData1, PtrDatFileData2);
  });
  offset = static_cast<std::int32_t>(wide);  // within range: the reader checked it
  return result;
}

std::int32_t LoadDatFileWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                               std::int32_t count, Data*& PtrDatFileData) {
  return LoadWindow(tools, filename, offset, count, PtrDatFileData);
}

std::int32_t LoadDatFileWindow(FileTools& tools, const char* filename, std::int32_t& offset,
                               std::int32_t count, Data*& PtrDatFileData) {
  return LoadWindow(tools, filename, offset, count, PtrDatFileData);
}

}  // namespace mbrk
