#include "Dataset/internal/Files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "Base/internal/Interrupt.h"

namespace mbrk::files {

void ThrowSystemError(int error, const std::string& what, const std::string& path) {
  // Some failures (a stream that refuses without asking the system) leave no
  // code behind; they still are input/output errors.
  if (error == 0) error = EIO;
  throw std::system_error(error, std::generic_category(), what + " '" + path + "'");
}

void RefuseNulInPath(const std::string& path) {
  // The system would see the path cut at the null byte: another file.
  if (path.find('\0') != std::string::npos) {
    throw std::invalid_argument("embedded null byte in a path");
  }
}

void OpenForReading(InputFile& file, const std::string& path) {
  RefuseNulInPath(path);
  switch (OpenInput(file, path.c_str(), std::ios::binary)) {
    case InputStatus::kOpen: return;
    case InputStatus::kFolder: ThrowSystemError(EISDIR, "cannot read", path);
    case InputStatus::kRefused: break;
  }
  ThrowSystemError(errno, "cannot open", path);
}

BlockWriter::BlockWriter(const std::string& path) : path_(path) {
  RefuseNulInPath(path);
  buffer_.reset(new char[capacity_]);
  for (;;) {
    errno = 0;
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (file_ != nullptr) break;
    // A FIFO waits for its reader; a signal may cut the wait short.
    if (errno != EINTR) ThrowSystemError(errno, "cannot create", path);
    CheckInterrupt();
  }
  // The blocks are already large: no second buffer in between.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

BlockWriter::~BlockWriter() = default;

void BlockWriter::MakeRoom(std::size_t size) {
  Flush();
  if (capacity_ < size) {
    // A line longer than a block gets a buffer of its own size.
    buffer_.reset(new char[size]);
    capacity_ = size;
  }
}

void BlockWriter::Append(const char* text, std::size_t size) {
  char* at = Reserve(size);
  std::memcpy(at, text, size);
  Commit(at + size);
}

void BlockWriter::Flush() {
  PollInterrupt();
  // Written by the system call itself (the file has no buffer of its own):
  // the C library would go on after a write that a signal cut short, and a
  // pipe without a reader would hold the call for good. Such a write asks the
  // interrupt check, then goes on where it stopped.
  const int fd = fileno(file_.get());
  std::size_t written = 0;
  while (written < used_) {
    const ssize_t wrote = ::write(fd, buffer_.get() + written, used_ - written);
    if (wrote < 0 && errno != EINTR) ThrowSystemError(errno, "cannot write", path_);
    if (wrote > 0) written += static_cast<std::size_t>(wrote);
    if (written < used_) CheckInterrupt();
  }
  used_ = 0;
}

void BlockWriter::Close() {
  Flush();
  errno = 0;
  const int closed = std::fclose(file_.release());
  if (closed != 0) ThrowSystemError(errno, "cannot write", path_);
}

}  // namespace mbrk::files
