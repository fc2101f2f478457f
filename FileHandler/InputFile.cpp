#include "FileHandler/internal/InputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "Base/internal/Interrupt.h"

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

InputFile::PollingBuffer::int_type InputFile::PollingBuffer::underflow() {
  if (gptr() == egptr()) PollInterrupt();
  return std::filebuf::underflow();
}

std::streamsize InputFile::PollingBuffer::xsgetn(char* s, std::streamsize n) {
  PollInterrupt();
  return std::filebuf::xsgetn(s, n);
}

bool InputFile::Open(const char* path, std::ios::openmode mode) {
  buffer_size_ = BufferSizeFor(path);
  buffer_.reset(new char[buffer_size_]);
  // The buffer must be in place before the file is opened.
  file_.pubsetbuf(buffer_.get(), static_cast<std::streamsize>(buffer_size_));
  for (;;) {
    errno = 0;
    if (file_.open(path, mode | std::ios::in) != nullptr) break;
    if (errno != EINTR) {
      stream_.setstate(std::ios::failbit);
      break;
    }
    CheckInterrupt();
  }
  return stream_.good();
}

}  // namespace mbrk
