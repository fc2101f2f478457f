#include "Dataset/internal/ReplaceFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Base/internal/Interrupt.h"
#include "Dataset/internal/Files.h"

namespace mbrk::files {

namespace {

// The folder part of `path` ("." for a bare name) and its last part.
std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file `path` leads to: symbolic links followed, each relative target
// taken from the folder of its link, as the system follows them. Stops where
// nothing is (the file to be created) and after as many links as the
// system follows.
std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) break;
    std::string target(static_cast<std::size_t>(status.st_size) + 1, '\0');
    const ssize_t length = ::readlink(path.c_str(), &target[0], target.size());
    if (length < 0 || static_cast<std::size_t>(length) >= target.size())
      break;  // changed meanwhile
    target.resize(static_cast<std::size_t>(length));
    path = target[0] == '/' ? target : FolderOf(path) + "/" + target;
  }
  return path;
}

// A name nobody else picks: the process, the time and a count.
std::string TemporaryName(const std::string& destination) {
  static std::atomic<std::uint64_t> count{0};
  const auto now =
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  std::uint64_t mix = now ^ (static_cast<std::uint64_t>(::getpid()) << 40) ^
                      (count.fetch_add(1) * 0x9E3779B97F4A7C15ULL);
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "%012llx",
                static_cast<unsigned long long>(mix & 0xFFFFFFFFFFFFULL));
  return FolderOf(destination) + "/." + NameOf(destination) + "." + suffix + ".tmp";
}

}  // namespace

ReplacingFile::ReplacingFile(const std::string& destination) : path_(destination) {
  RefuseNulInPath(path_);
  // What the name leads to as the system follows it, first: a name under
  // /proc/self/fd may lead to a pipe through a link whose text names none.
  struct stat status;
  const bool exists = ::stat(path_.c_str(), &status) == 0;
  if (!exists || S_ISREG(status.st_mode)) {
    destination_ = FollowLinks(path_);
    for (int attempt = 0; attempt < 100 && descriptor_ < 0; ++attempt) {
      temporary_ = TemporaryName(destination_);
      // 0666 as a new file gets it, less the process's umask.
      descriptor_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (descriptor_ < 0 && errno != EEXIST) break;
    }
    if (descriptor_ >= 0) {
      if (exists) {
        // The file replaced keeps its permissions, and its owner where the
        // system lets the process give it.
        // Failing either leaves what a new file gets.
        if (::fchmod(descriptor_, status.st_mode & 07777) != 0) errno = 0;
        if (::fchown(descriptor_, status.st_uid, status.st_gid) != 0) errno = 0;
      }
      return;
    }
    const int error = errno;
    temporary_.clear();
    // A writable file in a folder that takes no new files: written in place,
    // as it always could be.
    if (!exists || (error != EACCES && error != EPERM))
      ThrowSystemError(error, "cannot create", path_);
  }
  for (;;) {
    descriptor_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor_ >= 0) return;
    // A FIFO waits for its reader; a signal may cut the wait short.
    if (errno != EINTR) ThrowSystemError(errno, "cannot create", path_);
    CheckInterrupt();
  }
}

ReplacingFile::~ReplacingFile() { Discard(); }

void ReplacingFile::Discard() noexcept {
  if (descriptor_ >= 0) ::close(descriptor_);
  descriptor_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
}

void ReplacingFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(descriptor_, data, size);
    if (written < 0 && errno != EINTR) ThrowSystemError(errno, "cannot write", path_);
    // A device that takes nothing and reports no error would loop forever.
    if (written == 0) ThrowSystemError(EIO, "cannot write", path_);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    }
    // A write that a signal cut short (nothing or a part written, as a pipe
    // without a reader does) asks the interrupt check, then goes on.
    if (size > 0) CheckInterrupt();
  }
}

void ReplacingFile::Commit() {
  const int descriptor = descriptor_;
  descriptor_ = -1;
  // close() reports what the file system could not store (a quota, a
  // network file system); it is not retried, since the descriptor is gone
  // either way.
  if (::close(descriptor) != 0 && errno != EINTR) {
    const int error = errno;
    Discard();
    ThrowSystemError(error, "cannot write", path_);
  }
  if (temporary_.empty()) return;
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
    const int error = errno;
    Discard();
    ThrowSystemError(error, "cannot write", path_);
  }
  temporary_.clear();
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0) return false;
  const auto keeps = [](const struct stat& status) {
    return S_ISREG(status.st_mode) || S_ISBLK(status.st_mode);
  };
  return keeps(first) && keeps(second) && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace mbrk::files
