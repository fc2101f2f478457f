// Files of the value-type interface: failures to open, read or write are
// std::system_error with the operating system's code, and output goes to the
// system in large blocks. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_FILES_H
#define MBRK_DATASET_INTERNAL_FILES_H

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

#include "Dataset/internal/ReplaceFile.h"
#include "FileHandler/internal/InputFile.h"

namespace mbrk::files {

/// Throws std::system_error for the code `error` (errno), naming `path`.
[[noreturn]] void ThrowSystemError(int error, const std::string& what, const std::string& path);

/// Throws std::invalid_argument when `path` holds a null byte: the system
/// would open the file named by the part before it.
void RefuseNulInPath(const std::string& path);

/// Opens `path` for reading (binary) into `file`. A folder is refused with
/// EISDIR, as the system refuses to write one; a path with a null byte as
/// RefuseNulInPath refuses it.
void OpenForReading(InputFile& file, const std::string& path);

/// A file written block by block: text is put into a buffer that goes to
/// the system whenever it holds a block (after a poll of the thread's
/// interrupt check, Base/internal/Interrupt.h), into a ReplacingFile that takes the
/// place of `path` only on Close().
class BlockWriter {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  explicit BlockWriter(const std::string& path);
  /// Without Close(): leaves `path` as it was.
  ~BlockWriter();
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  /// Room for at least `size` characters; the caller writes into it and
  /// hands back the end of what it wrote to Commit.
  char* Reserve(std::size_t size) {
    if (capacity_ - used_ < size) MakeRoom(size);
    return buffer_.get() + used_;
  }
  void Commit(char* end) noexcept { used_ = static_cast<std::size_t>(end - buffer_.get()); }
  void Append(const char* text, std::size_t size);
  void Append(const std::string& text) { Append(text.data(), text.size()); }

  /// Writes what is buffered and puts the file in place of `path`; throws
  /// std::system_error when anything could not be written (and `path` is
  /// then as it was).
  void Close();

 private:
  void Flush();
  void MakeRoom(std::size_t size);

  ReplacingFile file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = kBlockSize;
  std::size_t used_ = 0;
};

}  // namespace mbrk::files

#endif  // MBRK_DATASET_INTERNAL_FILES_H
