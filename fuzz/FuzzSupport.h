// Shared pieces of the fuzz targets: a scratch file for readers that take a
// file name, a scope that silences a standard stream, the check that turns a
// broken property into a crash the fuzzer records, and the oracle for the
// texts of the flat format.
//
// Every target defines LLVMFuzzerTestOneInput only. Built with
// -fsanitize=fuzzer it is driven by libFuzzer; built with replay_main.cpp it
// replays a corpus (any compiler, any sanitizer).
#ifndef MBRK_FUZZ_FUZZSUPPORT_H
#define MBRK_FUZZ_FUZZSUPPORT_H

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <streambuf>
#include <string>

namespace mbrk::fuzz {

/// Reports a broken property and aborts, which the fuzzer records as a crash
/// and the replay driver as a failed run.
#define MBRK_FUZZ_CHECK(cond) \
  ((cond) ? static_cast<void>(0) : ::mbrk::fuzz::CheckFailed(#cond, __FILE__, __LINE__))

[[noreturn]] inline void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s, file %s, line %d\n", condition, file, line);
  std::fflush(stderr);
  std::abort();
}

/// A file that lives in memory for the life of the process and opens by name
/// like any other (/proc/self/fd/N), so a reader that takes a file name can
/// be fed without touching a disk or leaving anything behind.
class ScratchFile {
 public:
  ScratchFile() {
    fd_ = memfd_create("mbrk-fuzz", 0);
    if (fd_ < 0) {
      // Without memfd: an unlinked-on-exit file in the temporary folder.
      char pattern[] = "/tmp/mbrk-fuzz-XXXXXX";
      fd_ = mkstemp(pattern);
      MBRK_FUZZ_CHECK(fd_ >= 0);
      name_ = pattern;
      unlink_ = true;
    } else {
      name_ = "/proc/self/fd/" + std::to_string(fd_);
    }
  }
  ~ScratchFile() {
    close(fd_);
    if (unlink_) unlink(name_.c_str());
  }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  /// Replaces the contents with `size` bytes at `data`.
  void Write(const std::uint8_t* data, std::size_t size) {
    MBRK_FUZZ_CHECK(ftruncate(fd_, 0) == 0);
    std::size_t done = 0;
    while (done < size) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      MBRK_FUZZ_CHECK(n > 0);
      done += static_cast<std::size_t>(n);
    }
  }
  const char* name() const { return name_.c_str(); }

 private:
  int fd_ = -1;
  std::string name_;
  bool unlink_ = false;
};

/// A stream buffer that drops everything.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

/// Sends `stream` to `buffer` for the life of the scope.
class Redirect {
 public:
  Redirect(std::ostream& stream, std::streambuf* buffer)
      : stream_(stream), saved_(stream.rdbuf(buffer)) {}
  ~Redirect() { stream_.rdbuf(saved_); }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

 private:
  std::ostream& stream_;
  std::streambuf* saved_;
};

/// The text the flat format must hold for `value`, made by the C library
/// independently of the writer: "%.9g", or the four words of the values that
/// have no digits.
inline std::string FlatText(double value) {
  if (std::isnan(value)) return std::signbit(value) ? "-NAN" : "+NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "+INF";
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

/// True when the flat text `text` reads back (strtod, the whole text) to
/// `value` at nine significant digits: the same value as the value's own
/// nine-digit text, and the same kind of non-finite value.
inline bool ReadsBackTo(const std::string& text, double value) {
  if (text == "+NAN" || text == "-NAN") {
    return std::isnan(value) && (text[0] == '-') == std::signbit(value);
  }
  if (text == "+INF") return std::isinf(value) && value > 0;
  if (text == "-INF") return std::isinf(value) && value < 0;
  if (text.empty()) return false;
  char* end = nullptr;
  const double read = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  const double rounded = std::strtod(FlatText(value).c_str(), nullptr);
  // Compared as bits so that -0 and 0 are told apart.
  return std::memcmp(&read, &rounded, sizeof read) == 0;
}

/// True when `message` is one of the texts the bracketed-format readers
/// throw. A message outside this list means a failure nobody documented.
inline bool IsReaderMessage(const char* message) {
  static const char* const kMessages[] = {
      "Unexpected end of file",
      "Unexpected end of file during comment",
      "Unexpected special character",
      "Illegal Format of FormatVersion",
      "Illegal Format Version",
      "number-expected",
      "integer-expected",
      "Unexpected End Tag",
      "Expected ']'",
      "Unexpected ']'",
      "Expected '['",
      "Token (number) expected",
      "End Tag expected",
      "start of block expected",
      "No labels in inputs",
      "[DATASET] expected",
      "[DATA] expected",
      "[Rows = <integer>] expected",
      "Damaged gzip stream (truncated)",
      "Damaged gzip stream (corrupt data)",
      "Damaged xz stream (truncated)",
      "Damaged xz stream (corrupt data)",
      "Damaged zstd stream (truncated)",
      "Damaged zstd stream (corrupt data)",
  };
  if (message == nullptr) return false;
  for (const char* known : kMessages) {
    if (std::strcmp(known, message) == 0) return true;
  }
  return false;
}

/// IsReaderMessage, or one of the texts only the windowed loader throws.
inline bool IsWindowMessage(const char* message) {
  static const char* const kMessages[] = {
      "Invalid window count",
      "Invalid window offset",
      "Unable to seek in file",
      "Window offset does not fit in 32 bits",
  };
  if (IsReaderMessage(message)) return true;
  if (message == nullptr) return false;
  for (const char* known : kMessages) {
    if (std::strcmp(known, message) == 0) return true;
  }
  return false;
}

/// The same double, NaNs of either sign counted equal to each other only
/// when their signs agree, and -0 told apart from 0.
inline bool SameValue(double a, double b) {
  if (std::isnan(a) || std::isnan(b)) {
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  }
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace mbrk::fuzz

#endif  // MBRK_FUZZ_FUZZSUPPORT_H
