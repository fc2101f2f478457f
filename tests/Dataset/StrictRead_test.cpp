// Strict reading: a number word must be wholly a number and bytes above 127
// stand only in comments; the same error at the same place on any number of
// threads, and the lenient reading as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"
#include "Dataset/internal/ParallelRead.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

const std::string kRows = "[DataSet] [Rows = 2] [Inputs = 2] [Data]\n";
const std::string kLabels =
    "[DataSet] [Rows = 1] [Inputs = 1] [ExpectedOutputs = Labels] [Data]\n1 ";
const std::string kEnd = "\n[~Data] [~DataSet]\n";

struct Refused {
  std::string text;
  const char* message;
  std::int64_t line, column;
};

const Refused kRefused[] = {
    {kRows + "1 2\n3 12abc" + kEnd, "number-expected", 3, 8},
    {kRows + "1 2\n18.9x 4" + kEnd, "number-expected", 3, 6},
    {kRows + "1 2 3 4e" + kEnd, "number-expected", 2, 9},
    {kRows +
         "1 2\n3\xa0"
         "4" +
         kEnd,
     "Unexpected non-ASCII byte", 3, 3},
    {kRows + "1 2 3 4 \xff" + kEnd, "Unexpected non-ASCII byte", 2, 10},
    {kRows + "1 2 3 4" + kEnd + "\xc3\xa9", "Unexpected non-ASCII byte", 4, 2},
    {kLabels + "[Z\xc3\xbcrich=2]" + kEnd, "Unexpected non-ASCII byte", 2, 6},
    {kLabels + "[a=1x]" + kEnd, "number-expected", 2, 9},
    {"[DataSet] [Rows = 2x] [Inputs = 2] [Data] 1 2 3 4" + kEnd, "integer-expected", 1, 22},
    {"[DataSet] [Rows = 1] [Inputs = 1.5] [Data] 1" + kEnd, "integer-expected", 1, 36},
    {"[FormatVersion = 1x] [DataSet] [Rows = 1] [Inputs = 1] [Data] 1" + kEnd, "number-expected", 1,
     21},
    {"[DataSet]\xa0[Rows = 1] [Inputs = 1] [Data] 1" + kEnd, "Unexpected non-ASCII byte", 1, 11},
};

// Wholly numbers, and bytes above 127 in comments: read alike either way.
const char* const kAccepted[] = {
    "1 -2.5e3 +.5 0x1p3 inf -nan 1e400 7 /* Z\xc3\xbcrich \xff */",
    "1\x7f"
    "2,3\t4 5 6 7 8",
};

std::string ErrorOf(const std::string& text, bool strict) {
  try {
    std::istringstream in(text);
    ReadOptions options;
    options.strict = strict;
    options.threads = 1;
    ReadDataset(in, options);
    return "read";
  } catch (const FormatError& error) {
    return error.Message() + " " + std::to_string(error.Line()) + ":" +
           std::to_string(error.Column());
  }
}

TEST(StrictRead, RefusesWordsThatAreNotWhollyNumbersAndBytesAbove127) {
  for (const Refused& refused : kRefused) {
    EXPECT_EQ(refused.message + std::string(" ") + std::to_string(refused.line) + ":" +
                  std::to_string(refused.column),
              ErrorOf(refused.text, true))
        << refused.text;
    EXPECT_EQ("read", ErrorOf(refused.text, false)) << refused.text;
  }
  const std::string header = "[DataSet] [Rows = 1] [Inputs = 8] [Data]\n";
  for (const char* accepted : kAccepted) {
    std::istringstream lenient(header + accepted + kEnd), strict(header + accepted + kEnd);
    ReadOptions options;
    options.strict = true;
    const std::vector<double> a = ReadDataset(lenient).inputs.Values();
    const std::vector<double> b = ReadDataset(strict, options).inputs.Values();
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), a.size() * sizeof(double))) << accepted;
  }
}

TEST(StrictRead, GivesTheSameErrorOnEveryThreadWhereverChunksEnd) {
  std::string many = "[DataSet] [Rows = 200] [Inputs = 3] [Data]\n";
  for (int i = 0; i < 600; ++i) many += std::to_string(i % 97) + (i % 3 == 2 ? "\n" : " ");
  const std::string texts[] = {many + "[~Data] [~DataSet]",
                               many.substr(0, 900) + " 5x " + many.substr(904) + kEnd,
                               many.substr(0, 1300) + "\xa0" + many.substr(1301) + kEnd,
                               many.substr(0, 1600) + "\t\xff" + many.substr(1602) + kEnd};
  for (const std::string& text : texts) {
    const std::string expected = ErrorOf(text, true);
    EXPECT_EQ(&text == &texts[0], expected == "read") << expected;
    for (unsigned threads = 2; threads <= 3; ++threads) {
      for (const std::size_t chunk : {1, 3, 64, 4096}) {
        ParallelRowOptions options;
        options.threads = threads;
        options.chunk_bytes = chunk;
        options.piece_bytes = chunk * 5;
        options.least_bytes = 0;
        options.strict = true;
        std::string got = "read";
        try {
          std::istringstream in(text);
          ReadDatasetWith(in, options);
        } catch (const FormatError& error) {
          got = error.Message() + " " + std::to_string(error.Line()) + ":" +
                std::to_string(error.Column());
        }
        EXPECT_EQ(expected, got) << "threads " << threads << " chunk " << chunk;
      }
    }
  }
}

TEST(StrictRead, WindowsAndTheProbeReadStrictlyWhenAsked) {
  test::TempDir dir;
  const std::string path = dir.File("strict.mbrk");
  test::WriteFile(path, kRows + "1 2\n3 12abc" + kEnd);
  ReadOptions strict;
  strict.strict = true;
  WindowReader lenient(path);
  EXPECT_EQ(12.0, lenient.Next(2).inputs(1, 1));
  WindowReader reader(path, strict);
  EXPECT_EQ(1.0, reader.Next(1).inputs(0, 0));
  EXPECT_THROW(reader.Next(1), FormatError);
  test::WriteFile(path, "[DataSet] [Rows = 2x] [Inputs = 2] [Data]" + kEnd);
  EXPECT_EQ(2, ProbeDataset(path).rows);
  EXPECT_THROW(ProbeDataset(path, strict), FormatError);
}

}  // namespace
}  // namespace mbrk
