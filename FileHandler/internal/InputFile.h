// Inputs opened for reading by the readers that take a file name, and the
// position look-ups of the readers that seek.
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
  /// the stream is good. When it is not, errno is as the system left it.
  bool Open(const char* path, std::ios::openmode mode = std::ios::in);

  std::istream& stream() noexcept { return stream_; }
  /// The size of the buffer the file is read through.
  std::size_t buffer_size() const noexcept { return buffer_size_; }

 private:
  std::unique_ptr<char[]> buffer_;  // declared first: it outlives the stream
  std::size_t buffer_size_ = 0;
  std::ifstream stream_;
};

/// What OpenInput made of a path.
enum class InputStatus {
  kOpen,
  /// A folder: it opens like a file on some systems but reads as nothing, so
  /// it is refused before it is opened (errno is EISDIR).
  kFolder,
  /// The system refused to open it; errno is as the system left it.
  kRefused,
};

/// Opens `path` for a reader into `input` with `mode` (in, and binary where
/// wanted). Every reader that takes a path opens it here, so that what stands
/// between the file and its stream is decided in one place.
InputStatus OpenInput(InputFile& input, const char* path, std::ios::openmode mode = std::ios::in);

/// Where `in`'s buffer stands, or -1 for a stream without positions. Asked of
/// the buffer, not the stream: a reader may stop where the input ends, and
/// the stream's own tell refuses to answer once it has seen the end.
inline std::streamoff Tell(std::istream& in) {
  return in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
}

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_INPUTFILE_H
