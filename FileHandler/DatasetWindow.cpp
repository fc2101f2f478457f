// Windows of rows: a run of a data block's rows reached by one seek, as the
// window loader and the value-type interface read them.
#include <cstdint>
#include <limits>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
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

}  // namespace

WindowRead::WindowRead(FileTools& tools, std::istream& in, std::int64_t offset, std::int32_t count)
    : tools_(tools), in_(in), count_(count), block_(ReadToDataBlock(tools, RequirePositions(in))) {
  block_.dataset_name.reset();  // the window never reaches the dataset's end tag
  base_ = SeekWindow(in, offset);
  RefuseHostileSize(in, count, block_.layout);
}

std::int64_t WindowRead::ReadRows(RowDestination& destination) {
  RowReader rows(tools_, in_, block_, destination);
  const RowLayout& layout = block_.layout;
  if (layout.HasNumbers() || !(layout.labels1 || layout.labels2)) {
    rows.ReadRows(0, count_);
  } else {
    for (std::int32_t i = 0; i < count_; ++i) {
      if (EndTagAhead(tools_, in_, block_.data_name.get())) Fail(in_, "Unexpected End Tag");
      rows.ReadRows(i, 1);
    }
  }
  const std::streamoff here = Tell(in_);
  if (here < 0) Fail(in_, "Unable to seek in file");
  return here - base_;
}

namespace {

// The window reader behind both offset widths. A next offset above
// `largest_offset` is refused, leaving `offset` as it was.
std::int32_t ReadWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                        std::int32_t count, std::int64_t largest_offset, Data*& PtrDatFileData1,
                        Data*& PtrDatFileData2) {
  InputFile file;
  if (OpenInput(file, filename) != InputStatus::kOpen) return FILE_OPEN_ERROR;
  std::istream& in = file.stream();
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;
  if (count < 0) Fail(in, "Invalid window count");
  if (offset < 0) Fail(in, "Invalid window offset");
  WindowRead read(tools, in, offset, count);
  CreateTables(read.block().layout, count, PtrDatFileData1, PtrDatFileData2);
  TableRows tables(read.block().layout, PtrDatFileData1, PtrDatFileData2);
  const std::int64_t next = read.ReadRows(tables);
  if (next > largest_offset) Fail(in, "Window offset does not fit in 32 bits");
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
