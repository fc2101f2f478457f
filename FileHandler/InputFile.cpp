// Opening the inputs of the readers that take a file name.
#include "FileHandler/internal/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace mbrk {

namespace {

// A floor for the buffer, should the file grow between the look at its size
// and the reading.
constexpr std::size_t kSmallestBuffer = 512;

std::size_t BufferSizeFor(const char* path) {
  std::error_code error;
  // Only a regular file has a size; a pipe or a device gets the large buffer.
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error || size >= InputFile::kLargestBuffer) return InputFile::kLargestBuffer;
  // One more byte than the file holds: the stream buffer reads one byte less
  // than its size at a time, and the whole file then comes in one read.
  return std::max<std::size_t>(static_cast<std::size_t>(size) + 1, kSmallestBuffer);
}

}  // namespace

bool InputFile::Open(const char* path, std::ios::openmode mode) {
  buffer_size_ = BufferSizeFor(path);
  buffer_.reset(new char[buffer_size_]);
  // The buffer must be in place before the file is opened.
  stream_.rdbuf()->pubsetbuf(buffer_.get(), static_cast<std::streamsize>(buffer_size_));
  stream_.open(path, mode | std::ios::in);
  return stream_.good();
}

InputStatus OpenInput(InputFile& input, const char* path, std::ios::openmode mode) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    errno = EISDIR;
    return InputStatus::kFolder;
  }
  errno = 0;
  return input.Open(path, mode) ? InputStatus::kOpen : InputStatus::kRefused;
}

}  // namespace mbrk
