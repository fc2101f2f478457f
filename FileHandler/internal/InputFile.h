// Inputs opened for reading by the readers that take a file name, and the
// position look-ups of the readers that seek.
#ifndef MBRK_FILEHANDLER_INTERNAL_INPUTFILE_H
#define MBRK_FILEHANDLER_INTERNAL_INPUTFILE_H

#include <cstddef>
#include <ios>
#include <istream>
#include <memory>
#include <streambuf>

namespace mbrk {

/// A file read through a buffer of its own, made for it: as large as the file
/// when the file is small (a small file costs no large buffer), else
/// kLargestBuffer bytes (a few hundred system calls for a file of a hundred
/// megabytes instead of tens of thousands, and still small beside the tables).
///
/// The file is read with the system's calls, and can be stopped: before each
/// read the buffer polls the thread's interrupt check
/// (Base/internal/Interrupt.h), and an open or a read that a signal cuts
/// short (a FIFO waiting for its writer, a terminal for its user) asks the
/// check at once and is made again. The stream has positions where the file
/// has them (seeking fails on a pipe), and a byte taken can always be put
/// back, also right after a refill.
class InputFile {
 public:
  static constexpr std::size_t kLargestBuffer = 256 * 1024;

  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  /// Opens `path` for reading and tells whether the stream is good. When it
  /// is not, errno is as the system left it. `mode` is accepted for the
  /// callers' sake: text and binary read the same bytes here.
  bool Open(const char* path, std::ios::openmode mode = std::ios::in);

  std::istream& stream() noexcept { return stream_; }
  bool is_open() const noexcept { return file_.is_open(); }
  /// The size of the buffer the file is read through.
  std::size_t buffer_size() const noexcept { return buffer_size_; }

 private:
  class FileBuffer final : public std::streambuf {
   public:
    FileBuffer() = default;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;
    ~FileBuffer() override;

    bool Open(const char* path, char* storage, std::size_t size);
    bool is_open() const noexcept { return fd_ >= 0; }

   protected:
    int_type underflow() override;
    pos_type seekoff(off_type off, std::ios::seekdir way, std::ios::openmode which) override;
    pos_type seekpos(pos_type pos, std::ios::openmode which) override;

   private:
    // Waits until the file has bytes to read (or its end), polling the
    // interrupt check while it waits.
    void AwaitInput();

    int fd_ = -1;
    bool waits_ = false;  // a pipe, a terminal, a socket: bytes come when they come
    char* storage_ = nullptr;
    std::size_t size_ = 0;
  };

  // Bytes kept before those read anew, so that one can be put back.
  static constexpr std::size_t kPutBack = 8;

  std::unique_ptr<char[]> buffer_;  // declared first: it outlives the stream
  std::size_t buffer_size_ = 0;
  FileBuffer file_;
  std::istream stream_{&file_};
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
