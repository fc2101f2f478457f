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

BlockWriter::BlockWriter(const std::string& path, Codec codec) : path_(path) {
  buffer_.reset(new char[capacity_]);
  if (codec != Codec::kPlain) {
    encoder_ = Encoder::Make(codec);
    encoded_.reset(new char[kBlockSize]);
  }
  errno = 0;
  file_.reset(std::fopen(path.c_str(), "wb"));
  if (file_ == nullptr) ThrowSystemError(errno, "cannot create", path);
  // The blocks are already large: no second buffer in between.
  std::setvbuf(file_.get(), nullptr, _IONBF, 0);
}

BlockWriter::BlockWriter(std::streambuf* target, const std::string& shown, Codec codec)
    : path_(shown), target_(target) {
  buffer_.reset(new char[capacity_]);
  if (codec != Codec::kPlain) {
    encoder_ = Encoder::Make(codec);
    encoded_.reset(new char[kBlockSize]);
  }
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

void BlockWriter::Emit(const char* bytes, std::size_t size) {
  errno = 0;
  const std::size_t written =
      target_ != nullptr
          ? static_cast<std::size_t>(target_->sputn(bytes, static_cast<std::streamsize>(size)))
          : std::fwrite(bytes, 1, size, file_.get());
  if (written != size) ThrowSystemError(errno, "cannot write", path_);
}

void BlockWriter::Encode(const char* text, std::size_t size, bool finish) {
  for (;;) {
    std::size_t read = 0, written = 0;
    const bool ended =
        encoder_->Encode(text, size, encoded_.get(), kBlockSize, finish, read, written);
    text += read;
    size -= read;
    if (written != 0) Emit(encoded_.get(), written);
    // Done when the input is taken and, at the end, the stream is complete.
    if (finish ? ended : size == 0 && written < kBlockSize) return;
  }
}

void BlockWriter::Flush() {
  if (used_ == 0) return;
  if (encoder_ != nullptr) {
    Encode(buffer_.get(), used_, false);
  } else {
    Emit(buffer_.get(), used_);
  }
  used_ = 0;
}

void BlockWriter::Close() {
  Flush();
  if (encoder_ != nullptr) Encode(nullptr, 0, true);
  if (target_ != nullptr) {
    if (target_->pubsync() != 0) ThrowSystemError(errno, "cannot write", path_);
    return;
  }
  errno = 0;
  const int closed = std::fclose(file_.release());
  if (closed != 0) ThrowSystemError(errno, "cannot write", path_);
}

}  // namespace mbrk::files
