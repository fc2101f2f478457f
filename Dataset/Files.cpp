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

BlockWriter::BlockWriter(const std::string& path) : file_(path) {
  buffer_.reset(new char[capacity_]);
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
  if (used_ == 0) return;
  file_.Write(buffer_.get(), used_);
  used_ = 0;
}

void BlockWriter::Close() {
  Flush();
  file_.Commit();
}

}  // namespace mbrk::files
