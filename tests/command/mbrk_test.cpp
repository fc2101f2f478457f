// End-to-end tests: the real mbrk binary on the samples, the hostile corpus
// and files in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"
#include "TestSupport.h"

namespace mbrk::test {
namespace {

namespace fs = std::filesystem;

const std::string kSamples = std::string(MBRK_SOURCE_DIR) + "/samples/";
const std::string kHostile = std::string(MBRK_SOURCE_DIR) + "/tests/hostile/";

RunResult Mbrk(const std::vector<std::string>& args, const std::string& directory = "") {
  return RunProgram(MBRK_PATH, args, directory);
}

// Runs a shell command line (mbrk is $M in it) under a pseudo-terminal, as a
// person at a terminal runs it; gives what the terminal showed.
std::string OnTerminal(const std::string& command, const std::string& directory) {
  const RunResult r = RunProgram(
      "/bin/sh",
      {"-c", "M=\"$0\" MBRK_PROGRESS_DELAY=0 script -qec \"$1\" /dev/null", MBRK_PATH, command},
      directory);
  EXPECT_EQ(0, r.exit_status) << r.err;
  return r.out;
}

std::vector<std::string> FilesIn(const std::string& folder, const std::string& extension) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == extension) files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(MbrkCommand, UsageErrorsEndWithStatusTwoAndAHint) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "mbrk: no command given\nTry 'mbrk --help'.\n"},
      {{"frobnicate"}, "mbrk: unknown command 'frobnicate'\nTry 'mbrk --help'.\n"},
      {{"--frob"}, "mbrk: unknown option '--frob'\nTry 'mbrk --help'.\n"},
      {{"info"}, "mbrk info: no file given\nTry 'mbrk info --help'.\n"},
      {{"info", "--frob", "x"}, "mbrk info: unknown option '--frob'\nTry 'mbrk info --help'.\n"},
      {{"info", "-"},
       "mbrk info: info reads files by name, not standard input\n"
       "Try 'mbrk info --help'.\n"},
      {{"check"}, "mbrk check: no file given\nTry 'mbrk check --help'.\n"},
      {{"check", "-j", "0", "x"},
       "mbrk check: --jobs must be a whole number from 1 to 256, "
       "not '0'\nTry 'mbrk check --help'.\n"},
      {{"head", "-n"}, "mbrk head: option '-n' needs a value\nTry 'mbrk head --help'.\n"},
      {{"head", "-n", "-1", "x"},
       "mbrk head: -n must be a whole number from 0 to 2147483647, "
       "not '-1'\nTry 'mbrk head --help'.\n"},
      {{"head", "a", "b"}, "mbrk head: one file wanted\nTry 'mbrk head --help'.\n"},
      {{"stats", "--bins=0", "x"},
       "mbrk stats: --bins must be a whole number from 1 to 200, "
       "not '0'\nTry 'mbrk stats --help'.\n"},
      {{"stats", "--quiet=yes", "x"},
       "mbrk stats: option '--quiet' takes no value\n"
       "Try 'mbrk stats --help'.\n"},
      {{"convert", "a"},
       "mbrk convert: a source and a destination wanted\n"
       "Try 'mbrk convert --help'.\n"},
      {{"convert", "a", "b.xls"},
       "mbrk convert: cannot tell the format from 'b.xls': use --to\n"
       "Try 'mbrk convert --help'.\n"},
      {{"convert", "a", "b.csv.gz"},
       "mbrk convert: only a dataset file can be compressed: "
       "'b.csv.gz'\nTry 'mbrk convert --help'.\n"},
      {{"convert", "--to", "csv", "a", "b.gz"},
       "mbrk convert: only a dataset file can be compressed: "
       "'b.gz'\nTry 'mbrk convert --help'.\n"},
      {{"convert", "--to", "xls", "a", "b"},
       "mbrk convert: unknown format 'xls' (csv, tsv, npy, "
       "flat, mbrk)\nTry 'mbrk convert --help'.\n"},
      {{"convert", "-c", "inputs,,errors", "a", "b.csv"},
       "mbrk convert: --columns has an empty name: 'inputs,,errors'\n"
       "Try 'mbrk convert --help'.\n"},
      {{"convert", "-c", "input_0", "a", "b.flat"},
       "mbrk convert: flat and mbrk take whole vectors, not 'input_0'\n"
       "Try 'mbrk convert --help'.\n"},
      {{"convert", "-c", "input_9", kSamples + "sensors.mbrk", "-", "--to", "csv"},
       "mbrk convert: the dataset has no column 'input_9'\nTry 'mbrk convert --help'.\n"},
  };
  for (const auto& c : cases) {
    const RunResult r = Mbrk(c.args);
    EXPECT_EQ(2, r.exit_status) << c.message;
    EXPECT_EQ(c.message, r.err);
    EXPECT_EQ("", r.out);
  }
}

TEST(MbrkCommand, EveryCommandHasHelpAndTheProgramItsVersion) {
  for (const std::string command : {"info", "check", "head", "stats", "convert"}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{command, "--help"},
                                                 {command, "x", "-h", "--frob"},
                                                 {"help", command}}) {
      const RunResult r = Mbrk(args);
      EXPECT_EQ(0, r.exit_status);
      EXPECT_EQ(0u, r.out.find("Usage: mbrk " + command + " ")) << r.out;
      EXPECT_EQ("", r.err);
    }
  }
  EXPECT_EQ(0u, Mbrk({"--help"}).out.find("Usage: mbrk COMMAND"));
  const RunResult version = Mbrk({"--version"});
  EXPECT_EQ(0, version.exit_status);
  EXPECT_EQ(0u, version.out.find("mbrk 0."));
}

TEST(MbrkCommand, InfoReadsTheHeader) {
  RunResult r = Mbrk({"info", "model-run.mbrk", "iris-labels.mbrk", "missing.mbrk"}, kSamples);
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(
      "FILE              ROWS  INPUTS  EXPECTED  GENERATED  ERRORS  LABELS    VERSION  SIZE  "
      "COMPRESSION\n"
      "model-run.mbrk       5       2         1          1       1  -               1   413  none\n"
      "iris-labels.mbrk     6       4         0          0       0  expected        1   548  "
      "none\n",
      r.out);
  EXPECT_EQ("mbrk info: missing.mbrk: No such file or directory\n", r.err);
  r = Mbrk({"info", "--json", "compact-crlf.mbrk"}, kSamples);
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(
      "{\"file\":\"compact-crlf.mbrk\",\"rows\":4,\"inputs\":3,\"expected\":1,\"generated\":0,"
      "\"errors\":0,\"expected_labels\":false,\"generated_labels\":false,\"format_version\":null,"
      "\"size\":143,\"compression\":\"none\"}\n",
      r.out);
}

TEST(MbrkCommand, CheckNamesEachBadFileInOrderWithItsPosition) {
  TempDir dir;
  WriteFile(dir.File("bad.mbrk"), "[DataSet]\n[Rows = x]\n");
  const RunResult r = Mbrk({"check", "-j", "3", kSamples + "sensors.mbrk", dir.File("bad.mbrk"),
                            dir.File("none.mbrk"), dir.path(), kSamples + "iris-labels.mbrk"});
  EXPECT_EQ(1, r.exit_status);
  EXPECT_EQ(dir.File("bad.mbrk") + ":2:11: integer-expected\n" + dir.File("none.mbrk") +
                ": No such file or directory\n" + dir.path() + ": Is a directory\n",
            r.out);
  EXPECT_EQ("5 files, 3 bad\n", r.err);
  const RunResult good = Mbrk({"check", kSamples + "sensors.mbrk", kSamples + "extremes.mbrk"});
  EXPECT_EQ(0, good.exit_status);
  EXPECT_EQ("", good.out);
  EXPECT_EQ("2 files, 0 bad\n", good.err);
}

TEST(MbrkCommand, CheckStrictRefusesWhatTheLenientReadingTakes) {
  TempDir dir;
  WriteFile(dir.File("p.mbrk"), "[DataSet][Rows = 1][Inputs = 2][Data] 12abc 3 [~Data][~DataSet]");
  EXPECT_EQ(0, Mbrk({"check", dir.File("p.mbrk")}).exit_status);
  const RunResult strict = Mbrk({"check", "--strict", dir.File("p.mbrk")});
  EXPECT_EQ(1, strict.exit_status);
  EXPECT_EQ(dir.File("p.mbrk") + ":1:44: number-expected\n", strict.out);
}

// Every subcommand on every hostile file: never a signal, the documented
// status, the toolkit's message for a refused file (also through a pipe).
TEST(MbrkCommand, HostileFilesGetTheirMessageAndNeverACrash) {
  const std::vector<std::string> sources = FilesIn(kHostile, ".mbrk");
  ASSERT_GE(sources.size(), 80u);
  std::string expected_lines;
  std::size_t bad = 0;
  TempDir dir;
  for (const std::string& source : sources) {
    SCOPED_TRACE(source);
    const std::string expect = source.substr(0, source.size() - 5) + ".expect";
    // The converter's refusals of a dataset without inputs or expected
    // outputs are its own; such a file is good.
    std::string message = FileExists(expect) ? ReadFile(expect) : "";
    if (message.find("No inputs") == 0) message.clear();
    if (!message.empty()) {
      ++bad;
      const RunResult piped = RunProgramOnPipe(MBRK_PATH, {"check", "-"}, source);
      EXPECT_EQ(1, piped.exit_status);
      EXPECT_EQ(0u, piped.out.find("<stdin>:")) << piped.out;
      EXPECT_EQ(message,
                piped.out.substr(piped.out.size() - std::min(piped.out.size(), message.size())));
    }
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info", source},
                                                 {"head", source},
                                                 {"stats", source},
                                                 {"convert", source, dir.File("out.csv")}}) {
      const RunResult r = Mbrk(args);
      EXPECT_EQ(0, r.signal);
      EXPECT_TRUE(r.exit_status == 0 || r.exit_status == 1) << args[0];
      EXPECT_EQ(r.exit_status != 0, r.err.find("mbrk " + args[0] + ": ") == 0) << r.err;
    }
  }
  // All at once, on several threads: the bad ones in the order given.
  std::vector<std::string> args = {"check", "-j", "2"};
  args.insert(args.end(), sources.begin(), sources.end());
  const RunResult check = Mbrk(args);
  EXPECT_EQ(1, check.exit_status);
  EXPECT_EQ(std::to_string(sources.size()) + " files, " + std::to_string(bad) + " bad\n",
            check.err);
  std::size_t at = 0, lines = 0;
  for (const std::string& source : sources) {
    if (check.out.compare(at, source.size() + 1, source + ":") != 0) continue;
    at = check.out.find('\n', at) + 1;
    ++lines;
  }
  EXPECT_EQ(bad, lines);
  EXPECT_EQ(check.out.size(), at);
  // No temporary file left behind by a failed conversion.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    EXPECT_NE('.', entry.path().filename().string()[0]) << entry.path();
  }
}

TEST(MbrkCommand, HeadShowsTheFirstRowsWithLabelPairs) {
  const RunResult r = Mbrk({"head", "-n", "4", kSamples + "iris-labels.mbrk"});
  EXPECT_EQ(0, r.exit_status);
  EXPECT_EQ(
      "input_0  input_1  input_2  input_3  expected\n"
      "    5.1      3.5      1.4      0.2  setosa=1\n"
      "    4.9        3      1.4      0.2  setosa=1\n"
      "      7      3.2      4.7      1.4  versicolor=1\n"
      "    6.4      3.2      4.5      1.5  versicolor=1 virginica=0.25\n",
      r.out);
  const RunResult piped =
      RunProgramOnPipe(MBRK_PATH, {"head", "-n2", "-"}, kSamples + "extremes.mbrk");
  EXPECT_EQ(
      "                input_0                   input_1  input_2  expected_0  expected_1\n"
      "1.7976931348623157e+308  -1.7976931348623157e+308   5e-324         inf        -inf\n"
      "2.2250738585072014e-308                        -0      0.5         nan       1e-05\n",
      piped.out);
}

TEST(MbrkCommand, StatsGivesFiguresAndADistributionPerColumn) {
  TempDir dir;
  // Large values close together: a naive sum of squares loses them all.
  WriteFile(dir.File("d.mbrk"),
            "[DataSet][Rows = 5][Inputs = 2][ExpectedOutputs = Labels][Data]\n"
            "1e9 0 [a]\n1000000001 nan [a b=2]\n1000000002 1 []\n1000000003 2 [b=4]\n"
            "1000000004 4 [a=3]\n[~Data][~DataSet]\n");
  const RunResult r = Mbrk({"stats", "--bins", "4", dir.File("d.mbrk")});
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_EQ(
      "COLUMN      COUNT  NAN    MIN    MAX     MEAN      STD  DISTRIBUTION\n"
      "input_0         5    0  1e+09  1e+09    1e+09  1.58114  ▄▄▄█\n"
      "input_1         4    1      0      4     1.75  1.70783  ████\n"
      "expected:a      3    0      1      3  1.66667   1.1547  █  ▄\n"
      "expected:b      2    0      2      4        3  1.41421  █  █\n",
      r.out);
}

TEST(MbrkCommand, ConvertWritesEachFormatExactly) {
  TempDir dir;
  const struct {
    std::string source;
    std::vector<std::string> options;
    std::string destination;
    std::string expected;
  } cases[] = {
      {"iris-labels.mbrk",
       {},
       "i.csv",
       "input_0,input_1,input_2,input_3,expected:setosa,expected:versicolor,expected:virginica\n"
       "5.1,3.5,1.4,0.2,1,,\n4.9,3,1.4,0.2,1,,\n7,3.2,4.7,1.4,,1,\n6.4,3.2,4.5,1.5,,1,0.25\n"
       "6.3,3.3,6,2.5,,,1\n5.8,2.7,5.1,1.9,,0.25,0.75\n"},
      {"extremes.mbrk",
       {"--to", "tsv"},
       "e.txt",
       "input_0\tinput_1\tinput_2\texpected_0\texpected_1\n"
       "1.7976931348623157e+308\t-1.7976931348623157e+308\t5e-324\tinf\t-inf\n"
       "2.2250738585072014e-308\t-0\t0.5\tnan\t1e-05\n"
       "123456789.12345679\t0.000123456789123\t-2.5e+10\tinf\t-inf\n"
       "42\t3\t3.14159265358979\t1\t-0\n"},
      {"model-run.mbrk",
       {"--columns", "error_0,inputs"},
       "m.csv",
       "error_0,input_0,input_1\n0.0312,0,0\n-0.0523,0,1\n-0.0488,1,0\n0.0661,1,1\n"
       "-2e-04,0.5,0.5\n"},
      {"model-run.mbrk",
       {"-c", "inputs,errors"},
       "m.mbrk",
       "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = 5]\n[Inputs = 2]\n[ExpectedOutputs = 0]\n"
       "[GeneratedOutputs = 0]\n[Error = 1]\n\n[Data]\n0 0       0.0312 \n0 1       -0.0523 \n"
       "1 0       -0.0488 \n1 1       0.0661 \n0.5 0.5       -0.0002 \n[~Data]\n\n[~DataSet]\n"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"convert", kSamples + c.source, dir.File(c.destination)};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = Mbrk(args);
    EXPECT_EQ(0, r.exit_status) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_EQ(c.expected, ReadFile(dir.File(c.destination)));
    // The same through pipes: standard input to standard output.
    args = {"convert", "-", "-", "--to", c.destination.substr(c.destination.size() - 3)};
    if (c.destination == "e.txt") args.back() = "tsv";
    if (c.destination == "m.mbrk") args.back() = "mbrk";
    args.insert(args.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(c.expected, RunProgramOnPipe(MBRK_PATH, args, kSamples + c.source).out);
  }
}

TEST(MbrkCommand, ConvertWritesNpyFlatAndDatasetFiles) {
  TempDir dir;
  const std::string source = kSamples + "sensors.mbrk";
  ASSERT_EQ(0, Mbrk({"convert", source, dir.File("s.npy")}).exit_status);
  const std::string npy = ReadFile(dir.File("s.npy"));
  const std::string dict = "{'descr': '<f8', 'fortran_order': False, 'shape': (12, 6), }";
  ASSERT_EQ(128u + 12 * 6 * 8, npy.size());
  EXPECT_EQ(std::string("\x93NUMPY\x01\x00\x76\x00", 10) + dict, npy.substr(0, 10 + dict.size()));
  EXPECT_EQ("\n", npy.substr(127, 1));
  double first = 0;
  std::memcpy(&first, npy.data() + 128, sizeof first);
  EXPECT_EQ(18.25, first);

  ASSERT_EQ(0, RunProgram(MBRKD2FLAT_PATH, {source, dir.File("ref.flat")}).exit_status);
  ASSERT_EQ(0, Mbrk({"convert", source, dir.File("s.flat")}).exit_status);
  EXPECT_EQ(ReadFile(dir.File("ref.flat")), ReadFile(dir.File("s.flat")));
  ASSERT_EQ(0, Mbrk({"convert", kSamples + "iris-labels.mbrk", dir.File("i.mbrk")}).exit_status);
  EXPECT_EQ(ReadDataset(kSamples + "iris-labels.mbrk"), ReadDataset(dir.File("i.mbrk")));

  // Standard output through a pipe: the very bytes of the files.
  EXPECT_EQ(ReadFile(dir.File("ref.flat")), Mbrk({"convert", source, "-", "--to", "flat"}).out);
  EXPECT_EQ(ReadFile(dir.File("i.mbrk")),
            Mbrk({"convert", kSamples + "iris-labels.mbrk", "-", "--to", "mbrk"}).out);
}

TEST(MbrkCommand, ConvertCompressesByTheSuffixAndTheOthersReadIt) {
  TempDir dir;
  const std::string source = kSamples + "iris-labels.mbrk";
  ASSERT_EQ(0, Mbrk({"convert", source, dir.File("plain.mbrk")}).exit_status);
  const std::string plain = ReadFile(dir.File("plain.mbrk"));
  const struct {
    std::vector<std::string> options;
    std::string destination;
    std::string magic;
    std::string compression;
    std::string decompress;
  } cases[] = {
      {{}, "a.mbrk.gz", "\x1f\x8b", "gzip", "gzip -dc"},
      {{},
       "a.mbrk.xz",
       "\xfd"
       "7zXZ",
       "xz",
       "xz -dc"},
      {{}, "a.mbrk.zst", "\x28\xb5\x2f\xfd", "zstd", "zstd -dcq"},
      {{}, "bare.gz", "\x1f\x8b", "gzip", "gzip -dc"},
      {{"--to", "mbrk"},
       "to.xz",
       "\xfd"
       "7zXZ",
       "xz",
       "xz -dc"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"convert", source, c.destination};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const RunResult r = Mbrk(args, dir.path());
    EXPECT_EQ(0, r.exit_status) << c.destination << ": " << r.err;
    EXPECT_EQ(0u, ReadFile(dir.File(c.destination)).find(c.magic)) << c.destination;
    EXPECT_EQ(plain,
              RunProgram("/bin/sh", {"-c", c.decompress + " \"$0\"", dir.File(c.destination)}).out)
        << c.destination;
    const RunResult check = Mbrk({"check", c.destination}, dir.path());
    EXPECT_EQ(0, check.exit_status) << check.err;
    const RunResult info = Mbrk({"info", "--json", c.destination}, dir.path());
    EXPECT_NE(std::string::npos, info.out.find("\"rows\":6,\"inputs\":4,")) << info.out;
    EXPECT_NE(std::string::npos, info.out.find("\"compression\":\"" + c.compression + "\"}"))
        << info.out;
  }
  // The results and nothing else: no temporary file is left behind.
  const auto files = std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator());
  EXPECT_EQ(static_cast<std::ptrdiff_t>(std::size(cases) + 1), files);
}

TEST(MbrkCommand, InfoAgreesWithTheReadersOnAFileGzipMade) {
  TempDir dir;
  const std::string source = kSamples + "model-run.mbrk";
  ASSERT_EQ(
      0,
      RunProgram("/bin/sh", {"-c", "gzip -c \"$0\" > m.mbrk.gz", source}, dir.path()).exit_status);
  const RunResult r = Mbrk({"info", "m.mbrk.gz"}, dir.path());
  EXPECT_EQ(0, r.exit_status) << r.err;
  EXPECT_NE(std::string::npos, r.out.find("m.mbrk.gz     5       2         1          1       1"))
      << r.out;
  EXPECT_EQ(r.out.size() - 5, r.out.rfind("gzip\n")) << r.out;
  EXPECT_EQ(ReadDataset(source), ReadDataset(dir.File("m.mbrk.gz")));
  EXPECT_EQ(0, Mbrk({"check", "m.mbrk.gz"}, dir.path()).exit_status);
  EXPECT_EQ(Mbrk({"convert", source, "-", "--to", "csv"}).out,
            Mbrk({"convert", "m.mbrk.gz", "-", "--to", "csv"}, dir.path()).out);
}

TEST(MbrkCommand, ConvertNeverWritesOverItsSourceNorLeavesAPartialFile) {
  TempDir dir;
  const std::string source = dir.File("s.mbrk");
  WriteFile(source, ReadFile(kSamples + "sensors.mbrk"));
  fs::create_symlink(source, dir.File("link.mbrk"));
  for (const std::string& destination : {source, dir.File("link.mbrk")}) {
    const RunResult r = Mbrk({"convert", source, destination, "--to", "mbrk"});
    EXPECT_EQ(1, r.exit_status);
    EXPECT_EQ("mbrk convert: Source and destination are the same file\n", r.err);
  }
  EXPECT_EQ(ReadFile(kSamples + "sensors.mbrk"), ReadFile(source));

  WriteFile(dir.File("bad.mbrk"), "[DataSet][Rows = 2][Inputs = 1][Data] 1 x");
  const RunResult bad = Mbrk({"convert", "bad.mbrk", "out.csv"}, dir.path());
  EXPECT_EQ(1, bad.exit_status);
  EXPECT_EQ("mbrk convert: bad.mbrk:1:42: number-expected\n", bad.err);
  const RunResult nowhere = Mbrk({"convert", "s.mbrk", "no/such/out.csv"}, dir.path());
  EXPECT_EQ(1, nowhere.exit_status);
  EXPECT_EQ("mbrk convert: no/such/out.csv: No such file or directory\n", nowhere.err);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    left.push_back(entry.path().filename().string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ((std::vector<std::string>{"bad.mbrk", "link.mbrk", "s.mbrk"}), left);
}

TEST(MbrkCommand, ProgressOnlyOnATerminal) {
  if (!FileExists("/usr/bin/script")) GTEST_SKIP() << "script (bsdutils) makes the terminal";
  TempDir dir;
  WriteFile(dir.File("s.mbrk"), ReadFile(kSamples + "sensors.mbrk"));
  const std::string shown = OnTerminal("$M convert s.mbrk a.csv", dir.path());
  EXPECT_NE(std::string::npos, shown.find("\rreading [")) << shown;
  EXPECT_NE(std::string::npos, shown.find("\rwriting [")) << shown;
  EXPECT_NE(std::string::npos, shown.find(" rows ")) << shown;
  EXPECT_NE(std::string::npos, shown.find(" left\x1b[K")) << shown;
  EXPECT_EQ(shown.size() - 4, shown.rfind("\r\x1b[K")) << "the line is wiped at the end";
  EXPECT_EQ("", OnTerminal("$M convert --quiet s.mbrk b.csv", dir.path()));
  EXPECT_EQ("", OnTerminal("$M check s.mbrk 2>err.txt", dir.path()));
  EXPECT_EQ("1 files, 0 bad\n", ReadFile(dir.File("err.txt")));
  EXPECT_EQ(ReadFile(dir.File("a.csv")), ReadFile(dir.File("b.csv")));
}

}  // namespace
}  // namespace mbrk::test
