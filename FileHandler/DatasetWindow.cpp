// The window loader: a run of rows of a dataset file, reached by one seek.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <system_error>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/RowReader.h"
#include "FileHandler/internal/Window.h"

namespace mbrk {

namespace {

// Where the stream buffer stands, or -1. Asked of the buffer, not the
// stream: a window may end where the input ends, and the stream's own tell
// refuses to answer once it has seen the end.
std::streamoff Tell(std::istream& in) {
  return in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
}

}  // namespace

void RequirePositions(std::istream& in) {
  if (Tell(in) < 0) Fail(in, "Unable to seek in file");
}

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

void ReadWindowRows(FileTools& tools, std::istream& in, DataBlock& block, std::int32_t count,
                    RowDestination& destination) {
  RowReader rows(tools, in, block, destination);
  const RowLayout& layout = block.layout;
  if (layout.HasNumbers() || !(layout.labels1 || layout.labels2)) {
    rows.ReadRows(0, count);
    return;
  }
  for (std::int32_t i = 0; i < count; ++i) {
    if (EndTagAhead(tools, in, block.data_name.get())) Fail(in, "Unexpected End Tag");
    rows.ReadRows(i, 1);
  }
}

std::int64_t OffsetFrom(std::istream& in, std::streamoff base) {
  const std::streamoff here = Tell(in);
  if (here < 0) Fail(in, "Unable to seek in file");
  return here - base;
}

namespace {

// The window reader behind both offset widths. A next offset above
// `largest_offset` is refused, leaving `offset` as it was.
std::int32_t ReadWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                        std::int32_t count, std::int64_t largest_offset, Data*& PtrDatFileData1,
                        Data*& PtrDatFileData2) {
  std::error_code ignored;
  if (std::filesystem::is_directory(filename, ignored)) return FILE_OPEN_ERROR;
  std::ifstream file(filename);
  if (!file.good()) return FILE_OPEN_ERROR;
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;
  if (count < 0) Fail(file, "Invalid window count");
  if (offset < 0) Fail(file, "Invalid window offset");

  // A compressed file has no byte offsets: its decoded stream is refused as
  // a pipe is.
  DecodedInput decoded(file);
  const auto read = [&](std::istream& in) {
    RequirePositions(in);
    DataBlock block = ReadToDataBlock(tools, in);
    block.dataset_name.reset();  // the window never reaches the dataset's end tag
    const std::streamoff base = SeekWindow(in, offset);
    RefuseHostileSize(in, count, block.layout);
    CreateTables(block.layout, count, PtrDatFileData1, PtrDatFileData2);
    TableRows tables(block.layout, PtrDatFileData1, PtrDatFileData2);
    ReadWindowRows(tools, in, block, count, tables);
    return OffsetFrom(in, base);
  };
  const auto restart = [&] {
    delete PtrDatFileData1;
    delete PtrDatFileData2;
    PtrDatFileData1 = PtrDatFileData2 = nullptr;
  };
  const std::int64_t next = ReadDecoded(decoded, read, restart);
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
