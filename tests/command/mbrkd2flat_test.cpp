// End-to-end tests: the real mbrkd2flat binary on files in a temporary folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace mbrk::test {
namespace {

const char kUsage[] = "Usage: mbrkd2flat source_file.mbrk destination_file.mbrk\n";

class Mbrkd2flatTest : public ::testing::Test {
 protected:
  // Converts `source` text; the flat file, when made, is read into `flat_`.
  RunResult Convert(const std::string& source) {
    WriteFile(src_, source);
    RunResult result = RunProgram(MBRKD2FLAT_PATH, {src_, dst_});
    flat_exists_ = FileExists(dst_);
    flat_ = flat_exists_ ? ReadFile(dst_) : std::string();
    return result;
  }

  static std::string Dataset(const std::string& header, const std::string& rows) {
    return "[DataSet]\n" + header + "\n[Data]\n" + rows + "\n[~Data]\n[~DataSet]\n";
  }

  TempDir dir_;
  std::string src_ = dir_.File("in.mbrk");
  std::string dst_ = dir_.File("out.flat");
  std::string flat_;
  bool flat_exists_ = false;
};

TEST_F(Mbrkd2flatTest, WrongArgumentCountsPrintOnlyTheUsageLine) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {src_}, {src_, dst_, dir_.File("third")}}) {
    const RunResult r = RunProgram(MBRKD2FLAT_PATH, args);
    EXPECT_EQ(1, r.exit_status);
    EXPECT_EQ(kUsage, r.err);
    EXPECT_EQ("", r.out);
  }
  EXPECT_FALSE(FileExists(dst_));
}

TEST_F(Mbrkd2flatTest, ConvertsTheShippedSample) {
  const std::string sample = std::string(MBRK_SOURCE_DIR) + "/samples/sensors.mbrk";
  const RunResult r = RunProgram(MBRKD2FLAT_PATH, {sample, dst_});
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ("", r.out);
  const std::string flat = ReadFile(dst_);
  EXPECT_EQ(0u, flat.find("18.25 71.5 0.8 0.412 0 1.5 \n18.9 70.25 2.35 0.409 0 1.5 \n"));
  EXPECT_EQ(12, std::count(flat.begin(), flat.end(), '\n'));
  const std::string last = "23.2 57.75 15.6 0.348 0.35 1.25 \n";
  EXPECT_EQ(flat.size() - last.size(), flat.rfind(last));
}

// A source compressed by the compressors' own tools converts to the bytes its
// text converts to; one cut short is refused in one line naming its
// compression, before the destination is made.
TEST_F(Mbrkd2flatTest, ConvertsACompressedSource) {
  const std::string sample = std::string(MBRK_SOURCE_DIR) + "/samples/iris-labels.mbrk";
  ASSERT_EQ(0, RunProgram(MBRKD2FLAT_PATH, {sample, dst_}).exit_status);
  const std::string expected = ReadFile(dst_);
  const struct {
    const char* tool;
    const char* name;
  } kTools[] = {{"/usr/bin/gzip", "gzip"}, {"/usr/bin/xz", "xz"}, {"/usr/bin/zstd", "zstd"}};
  for (const auto& t : kTools) {
    SCOPED_TRACE(t.name);
    const RunResult packed = RunProgram(t.tool, {"-c", sample});
    ASSERT_EQ(0, packed.exit_status);
    unlink(dst_.c_str());
    const RunResult r = Convert(packed.out);
    EXPECT_EQ(0, r.exit_status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(expected, flat_);
    unlink(dst_.c_str());
    const RunResult cut = Convert(packed.out.substr(0, packed.out.size() * 2 / 3));
    EXPECT_EQ(1, cut.exit_status);
    EXPECT_EQ(std::string("Damaged ") + t.name + " stream (truncated)\n", cut.err);
    EXPECT_FALSE(flat_exists_);
  }
}

TEST_F(Mbrkd2flatTest, WritesNineSignificantDigitsAndNonFiniteWords) {
  const RunResult r =
      Convert(Dataset("[Rows = 3][Inputs = 4][ExpectedOutputs = 2]",
                      "0.1 0.333333333333333333 123456789 1234567890   0.0001 0.00001\n"
                      "-0.5 0 1e9 -2.125e-05   1.5e10 100\n"
                      "1e999 -1e999 nan -nan   inf 6.6666666666666666"));
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(
      "0.1 0.333333333 123456789 1.23456789e+09 0.0001 1e-05 \n"
      "-0.5 0 1e+09 -2.125e-05 1.5e+10 100 \n"
      "+INF -INF +NAN -NAN +INF 6.66666667 \n",
      flat_);
}

TEST_F(Mbrkd2flatTest, GeneratedOutputsAndErrorsAreDropped) {
  const RunResult r = Convert(
      Dataset("[Rows = 2][Inputs = 1][ExpectedOutputs = 1][GeneratedOutputs = 1][Error = 1]",
              "1 2 3 4\n5 6 7 8"));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ("1 2 \n5 6 \n", flat_);
}

TEST_F(Mbrkd2flatTest, ZeroRowsGiveAnEmptyFile) {
  WriteFile(dst_, "old contents\n");
  const RunResult r = Convert(Dataset("[Rows = 0][Inputs = 3][ExpectedOutputs = 1]", ""));
  EXPECT_EQ(0, r.exit_status);
  EXPECT_TRUE(flat_exists_);
  EXPECT_EQ("", flat_);
}

// Label lists stand in for the expected outputs; the flat file carries only
// the inputs, whatever form the lists take.
TEST_F(Mbrkd2flatTest, LabelListsOfEveryFormLeaveOnlyTheInputs) {
  const RunResult r = Convert(Dataset("[Rows = 5][Inputs = 2][ExpectedOutputs = Labels]",
                                      "1 2 []\n"
                                      "3 4 [a b=0.5]\n"
                                      "5 6 /* a comment first */ [ a a = 2 ]\n"
                                      "7 8 /*/ [c=-1e3,d]\n"
                                      "9 10[e]"));
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("1 2 \n3 4 \n5 6 \n7 8 \n9 10 \n", flat_);
}

TEST_F(Mbrkd2flatTest, LabelsWithoutInputsGiveEmptyLines) {
  const RunResult r = Convert(Dataset("[Rows = 2][Inputs = 0][ExpectedOutputs = -1]", "[a] [b=2]"));
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("\n\n", flat_);
}

TEST_F(Mbrkd2flatTest, CarriageReturnLineEndsReadLikeBlanks) {
  const RunResult r = Convert(
      "[FormatVersion = 1.0]\r\n\r\n[DataSet]\r\n[Rows = 2]\r\n[Inputs = 2]\r\n"
      "[ExpectedOutputs = 1]\r\n[Data]\r\n1 2 3\r\n4 5 6\r\n[~Data]\r\n[~DataSet]\r\n");
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ("1 2 3 \n4 5 6 \n", flat_);
}

// Every way a source breaks the format: one line naming what was wrong,
// status 1, and no destination file.
TEST_F(Mbrkd2flatTest, MalformedSourcesGiveOneLineAndNoDestination) {
  const std::string ok_header = "[Rows = 1][Inputs = 1][ExpectedOutputs = 1]";
  const struct {
    std::string source;
    std::string message;
  } cases[] = {
      {"", "[DATASET] expected"},
      {"[Data]", "[DATASET] expected"},
      {"[DataSet][Rows = many]", "integer-expected"},
      {"[DataSet][Rows = 1][Inputs = Labels]", "No labels in inputs"},
      {"[DataSet][Rows = 1][Error = -2]", "No labels in inputs"},
      {"[DataSet][Rows = -1]", "No labels in inputs"},
      {"[DataSet][Rows = 1][ExpectedOutputs = 1][Inputs = 1][Data]", "[DATA] expected"},
      {"[DataSet][Rows = 1][Inputs = 1][Inputs = 1][Data]", "[DATA] expected"},
      {"[DataSet][Rows = 1][Colour = 1][Data]", "[DATA] expected"},
      {"[DataSet][Rows = 1][Inputs = 1 x][Data]", "[DATA] expected"},
      {"[DataSet][Inputs = 1][Data]", "[Rows = <integer>] expected"},
      {"[DataSet][Inputs = 1][Colour = 1][Rows = 1][Data]", "[Rows = <integer>] expected"},
      {Dataset(ok_header, "1"), "Token (number) expected"},
      {Dataset(ok_header, "1 two"), "number-expected"},
      {Dataset(ok_header, "1 2 3"), "End Tag expected"},
      {Dataset(ok_header, "1 2") + "[More]", "End Tag expected"},
      {Dataset(ok_header, "1 2") + "extra", "End Tag expected"},
      {"[DataSet]" + ok_header + "[Data] 1 2 [~DataSet]", "Unexpected End Tag"},
      {"[DataSet]" + ok_header + "[Data] 1 2 [~Data x", "Expected ']'"},
      {"[DataSet]" + ok_header + "[Data] 1 2", "Unexpected end of file"},
      {"[DataSet]" + ok_header + "[Data] 1 2 [~Data]", "Unexpected end of file"},
      {"[DataSet]" + ok_header + "[", "Unexpected end of file"},
      {"[DataSet]" + ok_header + "[=]", "Unexpected special character"},
      {"[FormatVersion = 1.5]" + Dataset(ok_header, "1 2"), "Illegal Format Version"},
      {"[FormatVersion = 1.0 [DataSet]", "Illegal Format of FormatVersion"},
      {"/* never closed " + Dataset(ok_header, "1 2"), "Unexpected end of file during comment"},
      {Dataset("[Rows = 1][Inputs = 1][ExpectedOutputs = Labels]", "1 [a=x]"), "number-expected"},
      {Dataset("[Rows = 1][Inputs = 1][ExpectedOutputs = Labels]", "1 a"), "Expected '['"},
      {"[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1",
       "Unexpected end of file"},
      {"[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 [",
       "Unexpected end of file"},
      {"[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 [a ",
       "Unexpected end of file"},
      // A tiny file may not make the reader claim memory for rows it cannot hold.
      {"[DataSet][Rows = 2000000000][Inputs = 1000][Data] 1 2 3", "Unexpected end of file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.source);
    const RunResult r = Convert(c.source);
    EXPECT_EQ(1, r.exit_status);
    EXPECT_EQ(0, r.signal);
    EXPECT_EQ(c.message + "\n", r.err);
    EXPECT_FALSE(flat_exists_);
  }
}

TEST_F(Mbrkd2flatTest, ADatasetWithoutFirstTableIsRefused) {
  const RunResult r = Convert(Dataset("[Rows = 1][GeneratedOutputs = 1]", "1"));
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("No inputs or expected outputs to convert\n", r.err);
  EXPECT_FALSE(flat_exists_);
}

TEST_F(Mbrkd2flatTest, MissingOrUnreadableSourcesAreReported) {
  for (const std::string& source : {dir_.File("missing.mbrk"), dir_.path()}) {
    const RunResult r = RunProgram(MBRKD2FLAT_PATH, {source, dst_});
    EXPECT_EQ(1, r.exit_status);
    EXPECT_EQ("Unable to open file for input\n", r.err);
    EXPECT_FALSE(FileExists(dst_));
  }
}

TEST_F(Mbrkd2flatTest, DestinationThatCannotBeOpenedIsAFailure) {
  WriteFile(src_, Dataset("[Rows = 1][Inputs = 1][ExpectedOutputs = 1]", "1 2"));
  const RunResult r = RunProgram(MBRKD2FLAT_PATH, {src_, dir_.File("no/such/folder.flat")});
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("Unable to open file\nFile Error\nTFlatFiler::SaveData\n", r.err);
}

TEST_F(Mbrkd2flatTest, FullDiskIsAFailure) {
  WriteFile(src_, Dataset("[Rows = 1][Inputs = 1][ExpectedOutputs = 1]", "1 2"));
  const RunResult r = RunProgram(MBRKD2FLAT_PATH, {src_, "/dev/full"});
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("Unable to write file\nFile Error\nTFlatFiler::SaveData\n", r.err);
}

// A flat file written over the dataset it comes from would destroy it: the
// source under any of its names is refused before anything is written.
TEST_F(Mbrkd2flatTest, TheSourceUnderAnyNameIsRefusedAsDestination) {
  const std::string dataset = Dataset("[Rows = 1][Inputs = 1][ExpectedOutputs = 1]", "1 2");
  WriteFile(src_, dataset);
  ASSERT_EQ(0, symlink("in.mbrk", dir_.File("link.mbrk").c_str()));
  ASSERT_EQ(0, link(src_.c_str(), dir_.File("hard.mbrk").c_str()));
  const struct {
    std::string source, destination;  // relative to the folder
  } aliases[] = {
      {"in.mbrk", "in.mbrk"},    // the same name
      {"in.mbrk", "./in.mbrk"},  // spelled another way
      {src_, "in.mbrk"},         // absolute and relative
      {"in.mbrk", "link.mbrk"},  // a symbolic link to it
      {"link.mbrk", "in.mbrk"},  // ... or from it
      {"in.mbrk", "hard.mbrk"},  // a hard link
  };
  for (const auto& alias : aliases) {
    SCOPED_TRACE(alias.source + " -> " + alias.destination);
    const RunResult r = RunProgram(MBRKD2FLAT_PATH, {alias.source, alias.destination}, dir_.path());
    EXPECT_EQ(1, r.exit_status);
    EXPECT_EQ("Source and destination are the same file\n", r.err);
    EXPECT_EQ(dataset, ReadFile(src_));
  }

  // Another file, even with the same bytes, and a file still to be made are
  // written as ever.
  WriteFile(dir_.File("twin.mbrk"), dataset);
  for (const std::string& destination : {dir_.File("twin.mbrk"), dst_}) {
    const RunResult r = RunProgram(MBRKD2FLAT_PATH, {src_, destination});
    EXPECT_EQ(0, r.exit_status) << r.err;
    EXPECT_EQ("1 2 \n", ReadFile(destination));
  }
  EXPECT_EQ(dataset, ReadFile(src_));

  // A stream named twice keeps nothing to lose; /dev/null reads as an empty
  // source.
  const RunResult r = RunProgram(MBRKD2FLAT_PATH, {"/dev/null", "/dev/null"});
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ("[DATASET] expected\n", r.err);
}

}  // namespace
}  // namespace mbrk::test
