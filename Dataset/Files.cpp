#include "Dataset/internal/Files.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace mbrk::files {

void ThrowSystemError(int error, const std::string& what, const std::string& path) {
  // Some failures (a stream that refuses without asking the system) leave no
  // code behind; they still are input/output errors.
  if (error == 0) error = EIO;
  throw std::system_error(error, std::generic_category(), what + " '" + path + "'");
}

void OpenForReading(InputFile& file, const std::string& path) {
  switch (OpenInput(file, path.c_str(), std::ios::binary)) {
    case InputStatus::kOpen: return;
    case InputStatus::kFolder: ThrowSystemError(EISDIR, "cannot read", path);
    case InputStatus::kRefused: break;
  }
  ThrowSystemError(errno, "cannot open", path);
}

BlockWriter::BlockWriter(const std::string& path) : path_(path) {
  buffer_.reset(new char[capacity_]);
  errno = 0;
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (file_ == nullptr) ThrowSystemError(errno, "cannot create", path);
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
  if (used_ == 0) return;
  errno = 0;
  const std::size_t written = std::fwrite(buffer_.get(), 1, used_, file_.get());
  if (written != used_) ThrowSystemError(errno, "cannot write", path_);
  used_ = 0;
}

void BlockWriter::Close() {
  Flush();
  errno = 0;
  const int closed = std::fclose(file_.release());
  if (closed != 0) ThrowSystemError(errno, "cannot write", path_);
}

}  // namespace mbrk::files
