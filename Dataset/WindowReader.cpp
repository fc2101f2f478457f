// Windows of rows for the value-type interface: ReadWindow, which opens the
// file for each window, and WindowReader, which holds it open across them.
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <exception>
#include <istream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "Dataset/internal/Reading.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/ReadRecipe.h"
#include "FileHandler/internal/Strict.h"

namespace mbrk {

namespace {

Window ReadWindowFrom(std::istream& in, std::int64_t offset, std::int32_t count,
                      std::int32_t first_row) {
  FileTools tools;
  WindowRead read(tools, in, offset, count, first_row);
  Window window;
  window.rows = ShapedDataset(read.block().layout, count);
  window.rows.format_version = read.block().format_version;
  DatasetRows destination(window.rows);
  window.next_offset = read.ReadRows(destination);
  return window;
}

// `first_row` is -1 for the form that is not given the row.
Window ReadWindowOf(const std::string& path, std::int64_t offset, std::int32_t count,
                    std::int32_t first_row, bool strict) {
  if (offset < 0) throw std::invalid_argument("ReadWindow: negative offset");
  if (count < 0) throw std::invalid_argument("ReadWindow: negative row count");
  InputFile file;
  files::OpenForReading(file, path);
  std::istream& in = file.stream();
  const StrictReading marked(in, strict);
  // A compressed file has no byte offsets: its decoded stream is refused as
  // a pipe is.
  DecodedInput decoded(in);
  try {
    return ReadDecoded(
        decoded,
        [&](std::istream& source) { return ReadWindowFrom(source, offset, count, first_row); },
        [] {});
  } catch (FileTools::Error& error) {
    ThrowInputError(error, decoded, in, 0, path, strict);
  }
}

// What tells a file apart from one put in its place or changed in place.
struct Identity {
  dev_t device;
  ino_t inode;
  off_t size;
  std::int64_t modified_s;
  std::int64_t modified_ns;

  bool operator==(const Identity& other) const noexcept {
    return device == other.device && inode == other.inode && size == other.size &&
           modified_s == other.modified_s && modified_ns == other.modified_ns;
  }
  bool operator!=(const Identity& other) const noexcept { return !(*this == other); }
};

std::optional<Identity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  return Identity{status.st_dev, status.st_ino, status.st_size,
                  static_cast<std::int64_t>(status.st_mtim.tv_sec),
                  static_cast<std::int64_t>(status.st_mtim.tv_nsec)};
}

}  // namespace

Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count) {
  return ReadWindowOf(path, offset, count, -1, false);
}

Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count,
                  std::int32_t first_row, const ReadOptions& options) {
  if (first_row < 0) throw std::invalid_argument("ReadWindow: negative row");
  return ReadWindowOf(path, offset, count, first_row, options.strict);
}

// ---- WindowReader ----------------------------------------------------------------

struct WindowReader::State {
  std::string path;
  bool strict = false;
  InputFile file;
  std::optional<StrictReading> marked;  // after the file: gone before it
  // The file as the other readers take it: a compressed one is decoded, and
  // then refused for want of byte offsets, as ReadWindow refuses it.
  std::optional<DecodedInput> decoded;
  std::optional<Identity> identity;
  FileTools tools;
  std::optional<WindowSequence> windows;  // reads `decoded` with `tools`
  DatasetShape shape;
  std::exception_ptr failure;  // the error every call after it throws

  std::istream& in() { return file.stream(); }

  // Throws when the file at the path is no longer the one opened, as it was.
  void RefuseChange() const {
    if (IdentityOf(path) != identity) {
      throw std::system_error(ESTALE, std::generic_category(),
                              "file changed between windows '" + path + "'");
    }
  }

  // Runs `read`; a format error becomes a FormatError placed in the file held
  // (a path that now names another file would place it wrongly), unless the
  // file changed, which is the error then. Whatever leaves is kept.
  template <typename Read>
  auto Guarded(Read read) -> decltype(read()) {
    try {
      try {
        return read();
      } catch (FileTools::Error& error) {
        std::unique_ptr<char[]> message(error.MbrStrMessage);
        RefuseChange();
        static_cast<void>(message.release());
        ThrowInputError(error, *decoded, in(), 0, path, strict, LocateIn::kStream);
      }
    } catch (...) {
      failure = std::current_exception();
      throw;
    }
  }
};

WindowReader::WindowReader(const std::string& path, const ReadOptions& options)
    : WindowReader(path, 0, 0, options) {}

WindowReader::WindowReader(const std::string& path, std::int64_t offset, std::int32_t first_row,
                           const ReadOptions& options)
    : state_(std::make_unique<State>()) {
  if (offset < 0) throw std::invalid_argument("WindowReader: negative offset");
  if (first_row < 0) throw std::invalid_argument("WindowReader: negative row");
  State& s = *state_;
  s.path = path;
  s.strict = options.strict;
  files::OpenForReading(s.file, path);
  s.identity = IdentityOf(path);
  s.marked.emplace(s.in(), s.strict);
  s.decoded.emplace(s.in());
  s.Guarded([&] {
    ReadDecoded(
        *s.decoded,
        [&](std::istream& source) {
          s.windows.emplace(s.tools, source, offset, first_row);
          return 0;
        },
        [&] { s.windows.reset(); });
    s.shape = HeaderShape(s.windows->block());
  });
}

WindowReader::WindowReader(WindowReader&& other) noexcept = default;
WindowReader& WindowReader::operator=(WindowReader&& other) noexcept = default;
WindowReader::~WindowReader() = default;

const DatasetShape& WindowReader::Shape() const noexcept { return state_->shape; }
std::int32_t WindowReader::NextRow() const noexcept { return state_->windows->next_row(); }
std::int64_t WindowReader::NextOffset() const noexcept { return state_->windows->next_offset(); }
bool WindowReader::AtEnd() const noexcept { return state_->windows->at_end(); }

Dataset WindowReader::Next(std::int32_t count) {
  if (count < 0) throw std::invalid_argument("WindowReader: negative row count");
  State& s = *state_;
  if (s.failure) std::rethrow_exception(s.failure);
  const DataBlock& block = s.windows->block();
  if (s.windows->at_end()) return ShapedDataset(block.layout, 0);
  return s.Guarded([&] {
    s.RefuseChange();
    Dataset rows = ShapedDataset(block.layout, s.windows->Prepare(count));
    rows.format_version = block.format_version;
    DatasetRows destination(rows);
    s.windows->ReadRows(destination);
    s.RefuseChange();  // nothing read while the file changed is handed out
    return rows;
  });
}

}  // namespace mbrk
