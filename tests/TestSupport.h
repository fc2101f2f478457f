// Helpers shared by the tests: temporary folders, whole-file reads and writes,
// running the real command, value texts, and what an action threw.
#ifndef MBRK_TESTS_TESTSUPPORT_H
#define MBRK_TESTS_TESTSUPPORT_H

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <istream>
#include <memory>
#include <optional>
#include <random>
#include <streambuf>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "Base/internal/Codec.h"
#include "Base/internal/NumberText.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"

namespace mbrk::test {

/// How many times the long sampling tests multiply their sample sizes: 10,
/// or 1 under the sanitizers, which slow every call down many times. The
/// long runs live in bench/ (check_format.sh).
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kScale = 1;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(undefined_behavior_sanitizer)
inline constexpr int kScale = 1;
#else
inline constexpr int kScale = 10;
#endif
#else
inline constexpr int kScale = 10;
#endif

/// A fresh folder below the system's temporary folder, removed with all it
/// holds when the object goes, also when a test fails.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  /// The path of `name` inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

/// Writes `bytes` to `path` exactly (binary), replacing what was there.
void WriteFile(const std::string& path, const std::string& bytes);
/// The exact bytes of `path`; fails the current test when it cannot be read.
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);

/// `text` compressed as one stream of `codec` by the toolkit's own encoder.
std::string Compressed(Codec codec, const std::string& text);

/// A named pipe (FIFO) at `path` and a thread that writes `bytes` into it once
/// a reader has opened it: a file given by name that has no byte positions.
/// The destructor waits for the thread, releasing it when no reader came or
/// the reader stopped early.
class FifoSource {
 public:
  FifoSource(std::string path, std::string bytes);
  ~FifoSource();
  FifoSource(const FifoSource&) = delete;
  FifoSource& operator=(const FifoSource&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string bytes_;
  std::atomic<bool> opened_{false};
  std::thread writer_;
};

/// What a finished process left behind.
struct RunResult {
  int exit_status = -1;  // the status passed to exit, or -1 when ended by a signal
  int signal = 0;        // the signal that ended it, or 0
  std::string out;       // everything written to standard output
  std::string err;       // everything written to standard error
};

/// A stream buffer that hands its text out in pieces, each in an array of its
/// own exactly as long as the piece, so that a read past the characters a
/// buffer holds is caught by the address sanitizer. Pieces are of a fixed
/// size `piece`, the whole text at once (0), or random, 1 to 16 characters
/// (negative). It cannot seek.
class PieceBuffer : public std::streambuf {
 public:
  PieceBuffer(std::string text, int piece, unsigned seed)
      : text_(std::move(text)), piece_(piece), random_(seed) {}
  /// Everything not handed out yet, consumed.
  std::string Rest();

 protected:
  int_type underflow() override;

 private:
  std::string text_;
  int piece_;
  std::mt19937 random_;
  std::size_t position_ = 0;
  std::unique_ptr<char[]> window_;
};

/// Runs `program` with `args` (no shell), standard input empty, in the
/// folder `directory` when one is given.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory = "");
/// Runs `program` with `args`, its standard input a pipe that the bytes of
/// the file `source` are written into (by cat, through the shell): what
/// "/dev/stdin" names then has no byte positions.
RunResult RunProgramOnPipe(const std::string& program, const std::vector<std::string>& args,
                           const std::string& source);

/// What TKQstructure::Print writes for `structure`.
std::string Printed(const TKQstructure& structure);

/// The flat writer's text of `value`.
inline std::string Format(double value) {
  char text[kMaxValueText];
  return std::string(text, FormatValue(value, text));
}

/// The C library's "%.9g" text of `value`, which the flat writer must match.
inline std::string Printf9(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

// ---- What an action threw ---------------------------------------------------------
//
// Each helper runs `action`, catches the one exception class it names, takes
// over what the catcher owns (so the sanitizer builds catch a text released
// twice or never) and returns its texts as one string; "" when nothing was
// thrown.

/// The message of a FileTools::Error. Every such error carries a spare word
/// of 0 and, when `stream` is given, names that stream (null for the readers
/// that open their file themselves).
template <typename Action>
std::string ReaderErrorOf(Action action, std::optional<const std::istream*> stream = std::nullopt) {
  try {
    action();
  } catch (FileTools::Error& e) {
    const std::unique_ptr<char[]> message(e.MbrStrMessage);
    EXPECT_EQ(0, e.MbrLngSpare);
    if (stream) {
      EXPECT_EQ(*stream, e.MbrPtrStream);
    }
    return message ? message.get() : "<null message>";
  }
  return "";
}

/// The texts of a TException as "message | category | location", an absent
/// text as "<none>", followed by " | " and the printed detail when it has one.
std::string Described(const TException& e);
template <typename Action>
std::string ExceptionOf(Action action) {
  try {
    action();
  } catch (const TException& e) {
    return Described(e);
  }
  return "";
}

/// The printed error reply of a TKQstructure::Error.
template <typename Action>
std::string ReplyOf(Action action) {
  try {
    action();
  } catch (TKQstructure::Error& e) {
    const std::unique_ptr<TKQstructure> reply(e.MbrPtrReply);
    return reply ? Printed(*reply) : "<null reply>";
  }
  return "";
}

}  // namespace mbrk::test

#endif  // MBRK_TESTS_TESTSUPPORT_H
