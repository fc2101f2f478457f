// Helpers shared by the tests: temporary folders, whole-file reads and writes,
// and running the real command.
#ifndef MBRK_TESTS_TESTSUPPORT_H
#define MBRK_TESTS_TESTSUPPORT_H

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"

namespace mbrk::test {

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

/// What a finished process left behind.
struct RunResult {
  int exit_status = -1;   // the status passed to exit, or -1 when ended by a signal
  int signal = 0;         // the signal that ended it, or 0
  std::string out;        // everything written to standard output
  std::string err;        // everything written to standard error
};

/// Runs `program` with `args` (no shell), standard input empty, in the
/// folder `directory` when one is given.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory = "");

/// The flat writer's text of `value`.
inline std::string Format(double value) {
  char text[TFlatFiler::kMaxValueText];
  return std::string(text, TFlatFiler::FormatValue(value, text));
}

/// The C library's "%.9g" text of `value`, which the flat writer must match.
inline std::string Printf9(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

/// The message of the FileTools::Error that `action` throws, released as the
/// catcher must; "" when nothing is thrown. Every such error carries a spare
/// word of 0.
template <typename Action>
std::string ReaderErrorOf(Action action) {
  try {
    action();
  } catch (FileTools::Error& e) {
    std::unique_ptr<char[]> message(e.MbrStrMessage);
    EXPECT_EQ(0, e.MbrLngSpare);
    return message.get();
  }
  return "";
}

}  // namespace mbrk::test

#endif  // MBRK_TESTS_TESTSUPPORT_H
