// Hostile and malformed sources through the real command.
//
// tests/hostile/NAME.mbrk holds one source each. With NAME.expect beside it
// the command must refuse it: exit status 1, exactly the expected line on
// standard error, nothing on standard output, no destination file, and no
// signal or failed consistency check. With NAME.flat beside it the file is
// odd but valid, and must convert to exactly that flat text. Either way the
// same bytes read from a pipe ("/dev/stdin") give the same outcome: the
// pipe-absurd-* sources declare gigabytes of tables in a hundred bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mbrk::test {
namespace {

namespace fs = std::filesystem;

const std::string kHostileDir = std::string(MBRK_SOURCE_DIR) + "/tests/hostile";

std::vector<fs::path> HostileSources() {
  std::vector<fs::path> sources;
  for (const auto& entry : fs::directory_iterator(kHostileDir)) {
    if (entry.path().extension() == ".mbrk") sources.push_back(entry.path());
  }
  std::sort(sources.begin(), sources.end());
  return sources;
}

// What every refusal has in common: one line, status 1, nothing written.
void ExpectRefused(const RunResult& r, const std::string& message, const std::string& destination) {
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(message + "\n", r.err);
  EXPECT_EQ("", r.out);
  EXPECT_EQ(std::string::npos, r.err.find("Assertion failed"));
  EXPECT_FALSE(FileExists(destination));
}

TEST(HostileSources, EachIsRefusedWithItsMessageOrConvertsExactly) {
  const std::vector<fs::path> sources = HostileSources();
  // The corpus must not silently shrink.
  ASSERT_GE(sources.size(), 80u);
  std::size_t refused = 0;
  for (const fs::path& source : sources) {
    SCOPED_TRACE(source.filename().string());
    fs::path expect = source;
    expect.replace_extension(".expect");
    fs::path flat = source;
    flat.replace_extension(".flat");
    for (const bool piped : {false, true}) {
      SCOPED_TRACE(piped ? "piped" : "by name");
      TempDir dir;
      const std::string destination = dir.File("out.flat");
      const RunResult r =
          piped ? RunProgramOnPipe(MBRKD2FLAT_PATH, {"/dev/stdin", destination}, source.string())
                : RunProgram(MBRKD2FLAT_PATH, {source.string(), destination});
      if (FileExists(expect.string())) {
        std::string message = ReadFile(expect.string());
        ASSERT_FALSE(message.empty());
        message.pop_back();  // the sidecar ends with a line end
        ExpectRefused(r, message, destination);
        refused += piped ? 0 : 1;
      } else {
        ASSERT_TRUE(FileExists(flat.string())) << "no .expect or .flat beside the source";
        EXPECT_EQ(0, r.signal);
        EXPECT_EQ(0, r.exit_status) << r.err;
        EXPECT_EQ("", r.err);
        EXPECT_EQ(ReadFile(flat.string()), ReadFile(destination));
      }
    }
  }
  EXPECT_GE(refused, 60u);
}

class HostileCommand : public ::testing::Test {
 protected:
  RunResult Convert(const std::string& source) {
    WriteFile(src_, source);
    return RunProgram(MBRKD2FLAT_PATH, {src_, dst_});
  }
  TempDir dir_;
  std::string src_ = dir_.File("in.mbrk");
  std::string dst_ = dir_.File("out.flat");
};

// The reader grows its word buffer: a word a hundred times the work buffer
// is read whole and then judged like any other.
TEST_F(HostileCommand, HundredKilobyteWordsAreReadWholeAndJudged) {
  const std::string word(100 * 1024, '7');
  const std::string head = "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = 1][Data] ";
  const std::string tail = " [~Data][~DataSet]";
  // A 100 KB number is a number: its value overflows to infinity.
  RunResult r = Convert(head + word + " 1" + tail);
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("+INF 1 \n", ReadFile(dst_));
  std::filesystem::remove(dst_);

  ExpectRefused(Convert(head + "x" + word + " 1" + tail), "number-expected", dst_);
  ExpectRefused(Convert("[" + word + "x]"), "[DATASET] expected", dst_);
  ExpectRefused(Convert("[DataSet][Rows = " + word + "]"), "integer-expected", dst_);
  ExpectRefused(Convert("[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 [" +
                        word + "x = y]"),
                "number-expected", dst_);
}

// A million nested comment openings cost no stack: closed, the file
// converts; left open, it is one clean error. Blanks after each opening keep
// "/*/" from reading as a whole comment where a label list is due.
TEST_F(HostileCommand, MillionNestedCommentsEndCleanly) {
  constexpr std::size_t kDepth = 1000000;
  std::string open;
  std::string close;
  open.reserve(3 * kDepth);
  close.reserve(3 * kDepth);
  for (std::size_t i = 0; i < kDepth; ++i) {
    open += "/* ";
    close += "*/ ";
  }
  const std::string dataset =
      "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = 1][Data] 1 2 [~Data][~DataSet]";
  const std::string labels = "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 ";
  const std::string end = " [~Data][~DataSet]";

  RunResult r = Convert(open + close + dataset);
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("1 2 \n", ReadFile(dst_));
  std::filesystem::remove(dst_);

  r = Convert(labels + open + close + "[a]" + end);
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("1 \n", ReadFile(dst_));
  std::filesystem::remove(dst_);

  ExpectRefused(Convert(open + dataset), "Unexpected end of file during comment", dst_);
  ExpectRefused(Convert(labels + open + "[a]" + end), "Unexpected end of file during comment",
                dst_);
}

// A destination that is a folder cannot be opened for writing.
TEST_F(HostileCommand, DestinationThatIsAFolderIsAFailure) {
  WriteFile(src_,
            "[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = 1][Data] 1 2 [~Data][~DataSet]");
  const RunResult r = RunProgram(MBRKD2FLAT_PATH, {src_, dir_.path()});
  EXPECT_EQ(0, r.signal);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("Unable to open file\nFile Error\nTFlatFiler::SaveData\n", r.err);
  EXPECT_TRUE(std::filesystem::is_directory(dir_.path()));
}

// A dataset read from a pipe converts to the bytes of the same file given by
// name.
TEST_F(HostileCommand, PipedSamplesConvertAsTheirFiles) {
  for (const auto& entry : fs::directory_iterator(std::string(MBRK_SOURCE_DIR) + "/samples")) {
    SCOPED_TRACE(entry.path().filename().string());
    const RunResult named = RunProgram(MBRKD2FLAT_PATH, {entry.path().string(), dst_});
    const RunResult piped =
        RunProgramOnPipe(MBRKD2FLAT_PATH, {"/dev/stdin", src_}, entry.path().string());
    EXPECT_EQ(0, named.exit_status) << named.err;
    EXPECT_EQ(0, piped.exit_status) << piped.err;
    EXPECT_EQ("", piped.err);
    EXPECT_EQ(ReadFile(dst_), ReadFile(src_));
  }
}

// A character device that reads as nothing is an empty source.
TEST_F(HostileCommand, EmptyDeviceReadsAsAnEmptyFile) {
  const RunResult r = RunProgram(MBRKD2FLAT_PATH, {"/dev/null", dst_});
  ExpectRefused(r, "[DATASET] expected", dst_);
}

}  // namespace
}  // namespace mbrk::test
