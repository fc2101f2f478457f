#include "command/mbrk/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace mbrk::cli {

namespace {

constexpr std::size_t kBlock = 1 << 20;

[[noreturn]] void Fail(int error, const std::string& what, const std::string& path) {
  throw std::system_error(error != 0 ? error : EIO, std::generic_category(),
                          what + " '" + path + "'");
}

bool Seekable(int fd) {
  struct stat status;
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && ::lseek(fd, 0, SEEK_CUR) >= 0;
}

}  // namespace

std::string CompressionOf(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "none";
  unsigned char magic[6] = {};
  const ssize_t got = ::read(fd, magic, sizeof magic);
  ::close(fd);
  if (got >= 2 && magic[0] == 0x1f && magic[1] == 0x8b) return "gzip";
  if (got >= 6 && std::memcmp(magic,
                              "\xfd"
                              "7zXZ\0",
                              6) == 0)
    return "xz";
  if (got >= 4 && std::memcmp(magic, "\x28\xb5\x2f\xfd", 4) == 0) return "zstd";
  return "none";
}

// ---- CountingBuffer ------------------------------------------------------------------

CountingBuffer::CountingBuffer(int fd, bool owned, std::atomic<std::uint64_t>* counter)
    : fd_(fd), owned_(owned), counter_(counter), buffer_(new char[kBlock]) {
  setg(buffer_.get(), buffer_.get(), buffer_.get());
  seekable_ = Seekable(fd);
  if (seekable_) position_ = ::lseek(fd, 0, SEEK_CUR);
}

CountingBuffer::~CountingBuffer() {
  if (owned_) ::close(fd_);
}

std::streamsize CountingBuffer::ReadSome(char* to, std::size_t count) {
  for (;;) {
    const ssize_t got = ::read(fd_, to, count);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return 0;
    if (counter_ != nullptr) counter_->fetch_add(static_cast<std::uint64_t>(got));
    position_ += got;
    return got;
  }
}

CountingBuffer::int_type CountingBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::streamsize got = ReadSome(buffer_.get(), kBlock);
  setg(buffer_.get(), buffer_.get(), buffer_.get() + got);
  return got == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

std::streamsize CountingBuffer::xsgetn(char* to, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    const std::streamsize held = egptr() - gptr();
    if (held > 0) {
      const std::streamsize take = std::min(held, count - done);
      std::memcpy(to + done, gptr(), static_cast<std::size_t>(take));
      gbump(static_cast<int>(take));
      done += take;
    } else if (count - done >= static_cast<std::streamsize>(kBlock)) {
      // Large reads go straight into the caller's memory.
      const std::streamsize got = ReadSome(to + done, static_cast<std::size_t>(count - done));
      if (got == 0) break;
      done += got;
    } else if (traits_type::eq_int_type(underflow(), traits_type::eof())) {
      break;
    }
  }
  return done;
}

CountingBuffer::pos_type CountingBuffer::seekoff(off_type offset, std::ios::seekdir dir,
                                                 std::ios::openmode which) {
  if (!seekable_ || (which & std::ios::in) == 0) return pos_type(off_type(-1));
  const off_type here = position_ - (egptr() - gptr());
  off_type target = offset;
  if (dir == std::ios::cur) {
    target += here;
  } else if (dir == std::ios::end) {
    struct stat status;
    if (::fstat(fd_, &status) != 0) return pos_type(off_type(-1));
    target += status.st_size;
  }
  return seekpos(pos_type(target), which);
}

CountingBuffer::pos_type CountingBuffer::seekpos(pos_type position, std::ios::openmode which) {
  if (!seekable_ || (which & std::ios::in) == 0) return pos_type(off_type(-1));
  const off_type target = position;
  const off_type start = position_ - (egptr() - eback());
  if (target >= start && target <= position_) {
    // Inside what the buffer holds: no system call.
    setg(eback(), eback() + (target - start), egptr());
    return position;
  }
  if (target < 0 || ::lseek(fd_, target, SEEK_SET) != target) return pos_type(off_type(-1));
  position_ = target;
  setg(buffer_.get(), buffer_.get(), buffer_.get());
  return position;
}

// ---- Sources and destinations --------------------------------------------------------

OpenedSource OpenSource(const std::string& path, int stdin_fd) {
  OpenedSource source;
  if (path == "-") {
    source.fd = stdin_fd;
  } else {
    source.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source.fd < 0) Fail(errno, "cannot open", path);
    source.owned = true;
  }
  struct stat status;
  if (::fstat(source.fd, &status) == 0) {
    if (S_ISDIR(status.st_mode)) {
      if (source.owned) ::close(source.fd);
      Fail(EISDIR, "cannot read", path);
    }
    if (S_ISREG(status.st_mode)) source.size = status.st_size;
  }
  return source;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == "-" || b == "-") return false;
  struct stat first, second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

Destination::Destination(const std::string& path) : path_(path) {
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  // The name's end keeps its suffixes; a file name has at most 255 bytes.
  if (name.size() > 200) name = name.substr(name.size() - 200);
  std::string pattern = (slash == std::string::npos ? "" : folder) + ".mbrk-XXXXXX-" + name;
  const int fd = ::mkstemps(pattern.data(), static_cast<int>(name.size() + 1));
  if (fd < 0) Fail(errno, "cannot create a file beside", path);
  temporary_ = pattern;
  // The permissions the destination has, or those a new file gets.
  struct stat status;
  mode_t mode = 0;
  if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
    mode = status.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd, mode);
  ::close(fd);
}

Destination::~Destination() {
  if (!committed_) ::unlink(temporary_.c_str());
}

void Destination::Commit() {
  if (::rename(temporary_.c_str(), path_.c_str()) != 0) Fail(errno, "cannot write", path_);
  committed_ = true;
}

void WriteAll(int fd, const char* bytes, std::size_t count, const std::string& what) {
  while (count > 0) {
    const ssize_t wrote = ::write(fd, bytes, count);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) Fail(errno, "cannot write", what);
    bytes += wrote;
    count -= static_cast<std::size_t>(wrote);
  }
}

}  // namespace mbrk::cli
