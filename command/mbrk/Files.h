// Files of the command: sources read through a buffer that counts the bytes
// it has taken (for the progress display), destinations written to a
// temporary file beside them and renamed into place once complete.
#ifndef MBRK_COMMAND_MBRK_FILES_H
#define MBRK_COMMAND_MBRK_FILES_H

#include <atomic>
#include <cstdint>
#include <ios>
#include <memory>
#include <streambuf>
#include <string>

namespace mbrk::cli {

/// How a file's first bytes say it is compressed: "none", "gzip", "xz" or
/// "zstd".
std::string CompressionOf(const std::string& path);

/// A stream buffer reading a file descriptor in large blocks, adding the
/// bytes it reads to a counter that another thread may watch. It seeks when
/// the descriptor does (a regular file), and not otherwise (a pipe).
class CountingBuffer : public std::streambuf {
 public:
  /// Reads `fd`, closing it at the end when `owned`; `counter` may be null.
  CountingBuffer(int fd, bool owned, std::atomic<std::uint64_t>* counter);
  ~CountingBuffer() override;
  CountingBuffer(const CountingBuffer&) = delete;
  CountingBuffer& operator=(const CountingBuffer&) = delete;

 protected:
  int_type underflow() override;
  std::streamsize xsgetn(char* to, std::streamsize count) override;
  pos_type seekoff(off_type offset, std::ios::seekdir dir, std::ios::openmode which) override;
  pos_type seekpos(pos_type position, std::ios::openmode which) override;

 private:
  std::streamsize ReadSome(char* to, std::size_t count);

  int fd_;
  bool owned_;
  bool seekable_ = false;
  std::atomic<std::uint64_t>* counter_;
  std::unique_ptr<char[]> buffer_;
  off_type position_ = 0;  // the descriptor's offset: just past the bytes read
};

/// Opens `path` for reading ("-" is `stdin_fd`, not closed); throws
/// std::system_error naming the path when it cannot be opened or is a folder.
/// The size is that of a regular file, else -1.
struct OpenedSource {
  int fd = -1;
  bool owned = false;
  std::int64_t size = -1;
};
OpenedSource OpenSource(const std::string& path, int stdin_fd);

/// Whether two paths name the same existing regular file (links followed).
bool SameFile(const std::string& a, const std::string& b);

/// A destination file written through a temporary file in its folder whose
/// name ends like the destination's (so that a suffix still says what it
/// is), renamed onto it by Commit; removed if never committed.
class Destination {
 public:
  explicit Destination(const std::string& path);
  ~Destination();
  Destination(const Destination&) = delete;
  Destination& operator=(const Destination&) = delete;

  /// The temporary file to write (it exists, empty, with the permissions a
  /// new file gets).
  const std::string& TemporaryPath() const { return temporary_; }
  /// Renames the temporary file onto the destination.
  void Commit();

 private:
  std::string path_;
  std::string temporary_;
  bool committed_ = false;
};

/// Writes `count` bytes to `fd`, all of them; throws std::system_error.
void WriteAll(int fd, const char* bytes, std::size_t count, const std::string& what);

}  // namespace mbrk::cli

#endif  // MBRK_COMMAND_MBRK_FILES_H
