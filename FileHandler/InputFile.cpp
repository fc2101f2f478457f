// Opening the inputs of the readers that take a file name.
#include "FileHandler/internal/InputFile.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
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
  // One more byte than the file holds: the whole file then comes in one
  // read, and the read after it finds the end.
  return std::max<std::size_t>(static_cast<std::size_t>(size) + 1, kSmallestBuffer);
}

}  // namespace

InputFile::FileBuffer::~FileBuffer() {
  if (fd_ >= 0) ::close(fd_);
}

bool InputFile::FileBuffer::Open(const char* path, char* storage, std::size_t size) {
  storage_ = storage;
  size_ = size;
  setg(storage_, storage_, storage_);
  for (;;) {
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd_ >= 0) {
      struct stat status {};
      waits_ = ::fstat(fd_, &status) == 0 &&
               (S_ISFIFO(status.st_mode) || S_ISCHR(status.st_mode) || S_ISSOCK(status.st_mode));
      return true;
    }
    if (errno != EINTR) return false;
    const int cut = errno;
    CheckInterrupt();
    errno = cut;
  }
}

void InputFile::FileBuffer::AwaitInput() {
  // A signal that came while bytes were arriving cut no call short; the wait
  // for the next ones goes in slices, with a poll after each, so that it is
  // seen all the same.
  constexpr int kSliceMilliseconds = 50;
  pollfd ready{fd_, POLLIN, 0};
  for (;;) {
    const int answer = ::poll(&ready, 1, kSliceMilliseconds);
    if (answer > 0) return;  // bytes, the end, or an error: read() tells which
    if (answer == 0) {
      PollInterrupt();
    } else if (errno == EINTR) {
      CheckInterrupt();
    } else {
      return;
    }
  }
}

InputFile::FileBuffer::int_type InputFile::FileBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (fd_ < 0) return traits_type::eof();
  PollInterrupt();
  // The last bytes taken stay in front of the new ones, to be put back.
  const auto keep = std::min<std::size_t>(kPutBack, static_cast<std::size_t>(gptr() - eback()));
  std::memmove(storage_, gptr() - keep, keep);
  setg(storage_, storage_ + keep, storage_ + keep);
  for (;;) {
    if (waits_) AwaitInput();
    const ssize_t got = ::read(fd_, storage_ + keep, size_ - keep);
    if (got > 0) {
      setg(storage_, storage_ + keep, storage_ + keep + got);
      return traits_type::to_int_type(*gptr());
    }
    // An error reads as the end of the input, as it does in a file stream.
    if (got == 0 || errno != EINTR) return traits_type::eof();
    CheckInterrupt();
  }
}

InputFile::FileBuffer::pos_type InputFile::FileBuffer::seekoff(off_type off, std::ios::seekdir way,
                                                               std::ios::openmode which) {
  const pos_type failed(off_type(-1));
  if (fd_ < 0 || (which & std::ios::in) == 0) return failed;
  // The system's position is past the bytes waiting in the buffer.
  const off_type waiting = egptr() - gptr();
  if (way == std::ios::cur && off == 0) {
    const off_t at = ::lseek(fd_, 0, SEEK_CUR);
    return at < 0 || at < waiting ? failed : pos_type(off_type(at) - waiting);
  }
  const int whence = way == std::ios::beg ? SEEK_SET : way == std::ios::cur ? SEEK_CUR : SEEK_END;
  const off_t at = ::lseek(fd_, way == std::ios::cur ? off - waiting : off, whence);
  if (at < 0) return failed;
  setg(storage_, storage_, storage_);
  return pos_type(off_type(at));
}

InputFile::FileBuffer::pos_type InputFile::FileBuffer::seekpos(pos_type pos,
                                                               std::ios::openmode which) {
  return seekoff(off_type(pos), std::ios::beg, which);
}

bool InputFile::Open(const char* path, std::ios::openmode /*mode*/) {
  buffer_size_ = BufferSizeFor(path);
  buffer_.reset(new char[buffer_size_ + kPutBack]);
  if (!file_.Open(path, buffer_.get(), buffer_size_ + kPutBack)) {
    stream_.setstate(std::ios::failbit);
  }
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
