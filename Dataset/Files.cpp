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

BlockWriter::BlockWriter(const std::string& path, Codec codec)
    : path_(path), file_(std::make_unique<ReplacingFile>(path)) {
  buffer_.reset(new char[capacity_]);
  if (codec != Codec::kPlain) {
    encoder_ = Encoder::Make(codec);
    encoded_.reset(new char[kBlockSize]);
  }
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
  if (target_ != nullptr) {
    errno = 0;
    const auto size_out = static_cast<std::streamsize>(size);
    if (target_->sputn(bytes, size_out) != size_out) {
      ThrowSystemError(errno, "cannot write", path_);
    }
    return;
  }
  file_->Write(bytes, size);
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
  PollInterrupt();
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
  file_->Commit();
}

}  // namespace mbrk::files
