// The row index against reading window after window: the same row count and
// offsets for every file that reads, the same error (message, line, column,
// offset) as ReadDataset for every file that does not, whatever the threads,
// chunks and pieces of the scan.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"
#include "Dataset/internal/IndexWith.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/RowScan.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// What the index should be, from windows of `every` rows read one after
// another; or the error ReadDataset gives.
std::string Expected(const std::string& path, std::int32_t every) {
  try {
    const Dataset whole = ReadDataset(path);
    const auto rows = static_cast<std::int32_t>(whole.Rows());
    std::string text = std::to_string(rows) + ":";
    std::int64_t offset = 0;
    for (std::int32_t row = 0; row < rows; row += every) {
      text += std::to_string(offset) + ",";
      offset = ReadWindow(path, offset, std::min(every, rows - row)).next_offset;
    }
    return text + "/" + std::to_string(offset);
  } catch (const FormatError& error) {
    return error.what() + std::string(" @") + std::to_string(error.Offset());
  }
}

std::string Indexed(const std::string& path, std::int32_t every, const RowScanOptions& scan) {
  try {
    const RowIndex index = IndexRowsWith(path, every, scan);
    EXPECT_EQ(index.every, every);
    std::string text = std::to_string(index.rows) + ":";
    for (const std::int64_t offset : index.offsets) text += std::to_string(offset) + ",";
    return text + "/" + std::to_string(index.end_offset);
  } catch (const FormatError& error) {
    return error.what() + std::string(" @") + std::to_string(error.Offset());
  }
}

// Every file against the windows, on scans that cut it everywhere.
void CheckAll(const std::string& path) {
  const RowScanOptions scans[] = {{1, 64, 128}, {3, 64, 128}, {2, 100, 200}, {2, 1 << 18, 1 << 22}};
  for (const std::int32_t every : {1, 2, 5}) {
    const std::string expected = Expected(path, every);
    for (const RowScanOptions& scan : scans) {
      EXPECT_EQ(Indexed(path, every, scan), expected)
          << "every " << every << ", chunks of " << scan.chunk_bytes << ", file:\n"
          << test::ReadFile(path);
    }
  }
}

const char* const kFiles[] = {
    // Plain rows, odd separators, a comment and a format version in the data.
    "[DataSet][Rows=4][Inputs=2][ExpectedOutputs=1][Data]\n1 2 3\n4,5\t6\r\n7 /* 8 /* 9 */ */ 8 "
    "9 [FormatVersion = 1.0] 10 11 12[~Data][~DataSet]\n",
    // Label lists in both tables, one of them empty, with a comment between.
    "[DataSet][Rows=3][Inputs=1][ExpectedOutputs=Labels][GeneratedOutputs=Labels][Error=1]\n"
    "[Data]\n1 2 [a] [b=2]\n3 4 [] /*c*/ [x y=-1 z =.5 ]\n5 6[a a=2][FormatVersion=3]\n[~Data]\n"
    "[~DataSet]\n",
    // Rows of label lists only.
    "[DataSet][Rows=5][ExpectedOutputs=Labels][Data][a][b][c=1][d e][f]\n[~Data][~DataSet]",
    // Rows of nothing, and no rows.
    "[DataSet][Rows=7][Data][~Data][~DataSet]",
    "[DataSet][Rows=0][Inputs=3][Data][~Data][~DataSet]",
    // Broken: a word, a value too many, a short row, a list where a number is due,
    // "/*/" (a comment that runs on here), a comment never closed, a missing end tag.
    "[DataSet][Rows=3][Inputs=2][Data] 1 2 3 x 5 6 [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=2][Data] 1 2 3 4 5 [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=2][Data] 1 2 3 [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=2][ExpectedOutputs=Labels][Data] 1 [a] 2 [b][~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=1][Data] 1 /*/ 2 */ 3 [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=1][Data] 1 /* 2 3 [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=1][Data] 1 2 [~Data]",
    "[DataSet][Rows=1][Inputs=1][ExpectedOutputs=Labels][Data] 1 [a=b][~Data][~DataSet]",
    "[DataSet][Rows=1][Inputs=1][ExpectedOutputs=Labels][Data] 1 [a= ][~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=1][Data] 1 2",
    // The input ends in a word past a chunk's nominal end.
    "[DataSet][Rows=20][Inputs=1][Data]\n1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 "
    "20[~Data][~DataSet]",
    // "0x" alone is no number, "0x1p3" and ".5x" are.
    "[DataSet][Rows=3][Inputs=1][Data] 0x1p3 .5x 0x [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=1][ExpectedOutputs=Labels][Data] 1 [a=0X] 2 [b] [~Data][~DataSet]",
    "[DataSet][Rows=many]",
};

TEST(RowIndex, AgreesWithWindowsOnEveryFile) {
  const test::TempDir dir;
  const std::string path = dir.File("data.mbrk");
  for (const char* text : kFiles) {
    test::WriteFile(path, text);
    CheckAll(path);
  }
}

// Rows of random numbers, label lists, comments and separators; now and then
// one byte is changed, which breaks the file or does not.
std::string RandomFile(std::mt19937& random) {
  const int inputs = static_cast<int>(random() % 3);
  const bool labels = random() % 2 == 0;
  const int rows = static_cast<int>(random() % 40);
  std::string text = "[DataSet][Rows=" + std::to_string(rows) +
                     "][Inputs=" + std::to_string(inputs) +
                     "][ExpectedOutputs=" + (labels ? "Labels" : "1") + "][Data]\n";
  const char* const separators[] = {" ", "\n", ",", "\r\n", "\t ", " /* c */ "};
  for (int row = 0; row < rows; ++row) {
    for (int i = 0; i < inputs + (labels ? 0 : 1); ++i) {
      text += std::to_string(static_cast<int>(random() % 2000) - 1000) + "." +
              std::to_string(random() % 100) + separators[random() % 6];
    }
    if (labels) text += random() % 3 == 0 ? "[]" : "[a b=0.5 c =\n2]";
    text += separators[random() % 4];
  }
  text += "[~Data]\n[~DataSet]\n";
  if (random() % 3 == 0) text[random() % text.size()] = "x1 [/]*~\n"[random() % 9];
  return text;
}

TEST(RowIndex, AgreesWithWindowsOnRandomFiles) {
  const test::TempDir dir;
  const std::string path = dir.File("data.mbrk");
  std::mt19937 random(24);
  for (int round = 0; round < 30 * test::kScale; ++round) {
    test::WriteFile(path, RandomFile(random));
    CheckAll(path);
  }
}

// Plain rows, label lists and comments are the scan's own: it vouches for
// every row of them, however it cuts them.
TEST(RowIndex, TheScanTakesPlainRowsListsAndCommentsWhole) {
  const test::TempDir dir;
  const std::string path = dir.File("data.mbrk");
  const char* const files[] = {
      "[DataSet][Rows=3][Inputs=2][ExpectedOutputs=1][Data]\n1 2 3\n4,5\t6 /* */\r\n7 8 9\n",
      "[DataSet][Rows=2][Inputs=1][ExpectedOutputs=Labels][GeneratedOutputs=Labels][Data]\n"
      "1 [a] [b=2 c]\n/* x [ */ 3[] [x y=-1 z =.5 ]\n[~Data]",
  };
  for (const char* text : files) {
    test::WriteFile(path, text);
    for (const RowScanOptions& scan : {RowScanOptions{1, 64, 128}, RowScanOptions{3, 64, 128}}) {
      std::ifstream in(path, std::ios::binary);
      FileTools tools;
      const DataBlock block = ReadToDataBlock(tools, in);
      std::vector<std::int64_t> offsets;
      const RowScanResult done = ScanRows(in, block.layout, block.rows, 1, offsets, scan);
      EXPECT_EQ(done.rows, block.rows) << text;
      EXPECT_EQ(offsets.size(), static_cast<std::size_t>(block.rows)) << text;
    }
  }
}

TEST(RowIndex, RefusesAStepBelowOne) {
  EXPECT_THROW(IndexRows("whatever.mbrk", 0), std::invalid_argument);
}

}  // namespace
}  // namespace mbrk
