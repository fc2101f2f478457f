// Files opened for reading by the readers that take a file name.
#ifndef MBRK_FILEHANDLER_INTERNAL_INPUTFILE_H
#define MBRK_FILEHANDLER_INTERNAL_INPUTFILE_H

#include <cstddef>
#include <fstream>
#include <ios>
#include <istream>
#include <memory>

namespace mbrk {

/// A file read through a buffer of its own, made for it: as large as the file
/// when the file is small (a small file costs no large buffer), else
/// kLargestBuffer bytes (a few hundred system calls for a file of a hundred
/// megabytes instead of tens of thousands, and still small beside the tables).
class InputFile {
 public:
  static constexpr std::size_t kLargestBuffer = 256 * 1024;

  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  /// Opens `path` with `mode` (in, and binary where wanted) and tells whether
  /// the stream is good. When it is not, errno is as the system left it. An
  /// open that a signal cuts short (a FIFO waiting for its writer) asks the
  /// thread's interrupt check (Base/internal/Interrupt.h) and is made again.
  bool Open(const char* path, std::ios::openmode mode = std::ios::in);

  /// The file's bytes. Every time the stream's buffer goes to the system for
  /// more, it first polls the thread's interrupt check.
  std::istream& stream() noexcept { return stream_; }
  bool is_open() const { return file_.is_open(); }
  /// The size of the buffer the file is read through.
  std::size_t buffer_size() const noexcept { return buffer_size_; }

 private:
  class PollingBuffer final : public std::filebuf {
   protected:
    int_type underflow() override;
    std::streamsize xsgetn(char* s, std::streamsize n) override;
  };

  std::unique_ptr<char[]> buffer_;  // declared first: it outlives the stream
  std::size_t buffer_size_ = 0;
  PollingBuffer file_;
  std::istream stream_{&file_};
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_INPUTFILE_H
