#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// One held row as text: its inputs, its outputs and its labels, every value
// with enough digits to tell any two doubles apart.
std::string RowText(Data& table, std::int32_t row) {
  std::vector<double> inputs(static_cast<std::size_t>(table.MbrLngInputs));
  std::vector<double> outputs(static_cast<std::size_t>(table.MbrLngOutputs));
  table.GetInputRow(row, inputs.data());
  table.GetOutputRow(row, outputs.data());
  std::string text;
  char number[40];
  for (double v : inputs) {
    std::snprintf(number, sizeof number, "%.17g ", v);
    text += number;
  }
  text += "| ";
  for (double v : outputs) {
    std::snprintf(number, sizeof number, "%.17g ", v);
    text += number;
  }
  TLabelList* list = nullptr;
  table.GetLabels(row, &list);
  if (list != nullptr) {
    text += "[";
    for (std::int32_t i = 0; i < list->MbrLngCount; ++i) {
      std::snprintf(number, sizeof number, "=%.17g ", list->MbrDyaItems[i].MbrDblValue);
      text += list->MbrDyaItems[i].MbrStrName;
      text += number;
    }
    text += "]";
  }
  return text;
}

// Expects `window` to be shaped like `whole` with capacity `count` and to
// hold exactly rows from .. from + count - 1 of `whole`.
void ExpectWindowOf(Data* whole, std::int32_t from, std::int32_t count, Data* window,
                    const std::string& context) {
  ASSERT_EQ(whole == nullptr, window == nullptr) << context;
  if (whole == nullptr) return;
  EXPECT_EQ(count, window->MbrNdxRows) << context;
  EXPECT_EQ(count, window->MbrNdxDataRows) << context;
  EXPECT_EQ(whole->MbrLngInputs, window->MbrLngInputs) << context;
  EXPECT_EQ(whole->MbrLngOutputs, window->MbrLngOutputs) << context;
  EXPECT_EQ(whole->MbrBlnLabels, window->MbrBlnLabels) << context;
  for (std::int32_t k = 0; k < count && k < window->MbrNdxDataRows; ++k) {
    EXPECT_EQ(RowText(*whole, from + k), RowText(*window, k)) << context << ", window row " << k;
  }
}

class WindowTest : public ::testing::Test {
 protected:
  void Write(const std::string& text) { test::WriteFile(path_, text); }

  // Reads the whole file with ReadDatFile into whole1_ / whole2_.
  void ReadWhole() {
    Data* first = nullptr;
    Data* second = nullptr;
    const std::int32_t result = ReadDatFile(tools_, path_.c_str(), first, second);
    whole1_.reset(first);
    whole2_.reset(second);
    ASSERT_EQ(SUCCESS, result);
  }

  // One window into first_ / second_; returns the error message, "" on
  // success (and the result code in `result_`).
  template <typename Offset>
  std::string Window(Offset& offset, std::int32_t count) {
    Data* first = nullptr;
    Data* second = nullptr;
    result_ = -1;
    const std::string error = test::ReaderErrorOf(
        [&] { result_ = ReadDatFileWindow(tools_, path_.c_str(), offset, count, first, second); });
    first_.reset(first);
    second_.reset(second);
    return error;
  }

  FileTools tools_;
  test::TempDir dir_;
  std::string path_ = dir_.File("w.mbrk");
  std::unique_ptr<Data> whole1_, whole2_, first_, second_;
  std::int32_t result_ = -1;
};

// Both tables, label lists in both, comments and odd separators.
const char kMixed[] =
    "[FormatVersion = 1.0]\n[DataSet]\n[Rows = 3][Inputs = 2][ExpectedOutputs = Labels]\n"
    "[GeneratedOutputs = 1][Error = 1]\n[Data]\n"
    "1 2 3 4 [a b=0.5] \n"
    "5,6 /* c */ 7\n8 []\n"
    "9 10 11 12 [a a=2]\n"
    "[~Data]\n[~DataSet]\n";

TEST_F(WindowTest, WholeWindowEqualsTheDatasetReader) {
  Write(kMixed);
  ReadWhole();
  std::int32_t offset = 0;
  EXPECT_EQ("", Window(offset, 3));
  EXPECT_EQ(SUCCESS, result_);
  ExpectWindowOf(whole1_.get(), 0, 3, first_.get(), "first");
  ExpectWindowOf(whole2_.get(), 0, 3, second_.get(), "second");
  // Just past the last row's label list, before the data block's end tag.
  const std::string text = kMixed;
  const auto base = text.find("[Data]") + 6;
  EXPECT_EQ(static_cast<std::int32_t>(text.find("\n[~Data]") - base), offset);
}

TEST_F(WindowTest, TwoWindowsReadWhatOneReads) {
  Write(kMixed);
  ReadWhole();
  std::int64_t offset = 0;
  ASSERT_EQ("", Window(offset, 1));
  const std::string text = kMixed;
  // The first row ends with its last label list's "]".
  EXPECT_EQ(static_cast<std::int64_t>(text.find("] \n5,6") + 1 - (text.find("[Data]") + 6)),
            offset);
  ASSERT_EQ("", Window(offset, 2));
  ExpectWindowOf(whole1_.get(), 1, 2, first_.get(), "first");
  ExpectWindowOf(whole2_.get(), 1, 2, second_.get(), "second");
}

TEST_F(WindowTest, CountZeroMakesEmptyTablesAndKeepsTheOffset) {
  Write(kMixed);
  for (std::int32_t start : {0, 12}) {
    std::int32_t offset = start;
    EXPECT_EQ("", Window(offset, 0));
    EXPECT_EQ(SUCCESS, result_);
    EXPECT_EQ(start, offset);
    ASSERT_TRUE(first_ && second_);
    EXPECT_EQ(0, first_->MbrNdxRows);
    EXPECT_EQ(0, first_->MbrNdxDataRows);
    EXPECT_EQ(2, first_->MbrLngInputs);
    EXPECT_TRUE(first_->MbrBlnLabels);
    EXPECT_EQ(0, second_->MbrNdxRows);
    EXPECT_EQ(1, second_->MbrLngOutputs);
  }
}

TEST_F(WindowTest, WindowPastTheLastRowKeepsTheRowsRead) {
  Write("[DataSet][Rows = 3][Inputs = 1][Error = 1][Data] 1 2 3 4 5 6 [~Data][~DataSet]");
  std::int32_t offset = 5;  // the second row
  EXPECT_EQ("Token (number) expected", Window(offset, 5));
  EXPECT_EQ(5, offset);
  ASSERT_TRUE(first_ && second_);
  EXPECT_EQ(5, first_->MbrNdxRows);
  EXPECT_EQ(2, first_->MbrNdxDataRows);
  EXPECT_EQ(2, second_->MbrNdxDataRows);
  double v = 0;
  second_->GetOutputDatum(1, 0, &v);
  EXPECT_EQ(6, v);
}

TEST_F(WindowTest, LabelOnlyRowsFollowTheDatasetReader) {
  // A list whose first label begins with "~" is a list, not the end tag.
  Write(
      "[DataSet][Rows = 3][ExpectedOutputs = labels][GeneratedOutputs = Labels][data]\n"
      "[a] [] [~x b=2] [~data2] [] [c=3]\n"
      "/* end */ [~DATA ][~DataSet]");
  ReadWhole();
  ASSERT_TRUE(whole1_ && whole2_);
  std::int32_t offset = 0;
  ASSERT_EQ("", Window(offset, 2));
  ExpectWindowOf(whole1_.get(), 0, 2, first_.get(), "first");
  ExpectWindowOf(whole2_.get(), 0, 2, second_.get(), "second");
  const std::int32_t third = offset;
  ASSERT_EQ("", Window(offset, 1));
  ExpectWindowOf(whole1_.get(), 2, 1, first_.get(), "first");
  ExpectWindowOf(whole2_.get(), 2, 1, second_.get(), "second");

  // No number runs into the end tag here; the end tag itself stops the
  // window instead of being read as a list holding the label "~DATA".
  offset = third;
  EXPECT_EQ("Unexpected End Tag", Window(offset, 2));
  EXPECT_EQ(third, offset);
  ASSERT_TRUE(first_ && second_);
  EXPECT_EQ(1, first_->MbrNdxDataRows);
  EXPECT_EQ("| [c=3 ]", RowText(*second_, 0));
}

TEST_F(WindowTest, FormatVersionBeforeTheEndTagEndsLabelOnlyRows) {
  // Where a list is due, "[FormatVersion = 1.0]" is a list; right before the
  // end tag it is a format version element, which the dataset reader passes
  // over: a window past the last row must not read it as a made-up row.
  Write(
      "[DataSet][Rows = 2][ExpectedOutputs = Labels][Data]\n[FormatVersion = 1.0] [a]\n"
      "[formatversion=0.5] /* c */ [FORMATVERSION = 1] [~Data][~DataSet]");
  ReadWhole();
  ASSERT_TRUE(whole1_);
  std::int64_t offset = 0;
  ASSERT_EQ("", Window(offset, 2));
  ExpectWindowOf(whole1_.get(), 0, 2, first_.get(), "first");
  EXPECT_EQ("| [FormatVersion=1 ]", RowText(*first_, 0));
  const std::int64_t end = offset;
  EXPECT_EQ("Unexpected End Tag", Window(offset, 1));
  EXPECT_EQ(end, offset);
  ASSERT_TRUE(first_);
  EXPECT_EQ(0, first_->MbrNdxDataRows);
  offset = 0;
  EXPECT_EQ("Unexpected End Tag", Window(offset, 3));
  ASSERT_TRUE(first_);
  EXPECT_EQ(2, first_->MbrNdxDataRows);
}

TEST_F(WindowTest, RowsOfNothingReadNothing) {
  // No vectors and no lists: there are no tables and every row is empty.
  Write("[DataSet][Rows = 2147483647][Inputs = 0][Data][~Data][~DataSet]");
  for (std::int32_t count : {5, std::numeric_limits<std::int32_t>::max()}) {
    std::int32_t offset = 0;
    EXPECT_EQ("", Window(offset, count));
    EXPECT_EQ(SUCCESS, result_);
    EXPECT_EQ(0, offset);
    EXPECT_FALSE(first_ || second_);
  }
  ReadWhole();
  EXPECT_FALSE(whole1_ || whole2_);
}

TEST_F(WindowTest, LoaderKeepsOnlyTheFirstTable) {
  Write("[DataSet][Rows = 2][Inputs = 1][GeneratedOutputs = 1][Data] 1 2 3 4 [~Data][~DataSet]");
  Data* table = nullptr;
  std::int32_t offset = 0;
  EXPECT_EQ(SUCCESS, LoadDatFileWindow(tools_, path_.c_str(), offset, 2, table));
  std::unique_ptr<Data> owned(table);
  ASSERT_TRUE(owned);
  EXPECT_EQ("3 | ", RowText(*owned, 1));

  // Past the end: the first table stays with the caller, the second is gone.
  std::int64_t wide = 5;  // the second row
  table = nullptr;
  EXPECT_EQ("Token (number) expected",
            test::ReaderErrorOf([&] { LoadDatFileWindow(tools_, path_.c_str(), wide, 2, table); }));
  owned.reset(table);
  ASSERT_TRUE(owned);
  EXPECT_EQ(1, owned->MbrNdxDataRows);
  EXPECT_EQ("3 | ", RowText(*owned, 0));
}

TEST_F(WindowTest, FilesThatCannotBeOpenedTouchNothing) {
  Data* marker = reinterpret_cast<Data*>(&tools_);
  for (const std::string& name : {dir_.File("none"), dir_.path()}) {
    Data* first = marker;
    Data* second = marker;
    std::int32_t offset = 7;
    EXPECT_EQ(FILE_OPEN_ERROR, ReadDatFileWindow(tools_, name.c_str(), offset, 1, first, second));
    EXPECT_EQ(7, offset);
    EXPECT_EQ(marker, first);
    EXPECT_EQ(marker, second);
    std::int64_t wide = 7;
    EXPECT_EQ(FILE_OPEN_ERROR, LoadDatFileWindow(tools_, name.c_str(), wide, 1, first));
    EXPECT_EQ(7, wide);
    EXPECT_EQ(marker, first);
  }
}

TEST_F(WindowTest, BadWindowsAndBadFiles) {
  const std::string good = "[DataSet][Rows = 2][Inputs = 1][Data] 1 2 [~Data][~DataSet]";
  const std::int64_t data_bytes = static_cast<std::int64_t>(good.size() - good.find("[Data]") - 6);
  const struct {
    std::string text;
    std::int64_t offset;
    std::int32_t count;
    const char* error;
    bool table;  // whether the first table was made before the failure
  } cases[] = {
      {good, 0, -1, "Invalid window count", false},
      {good, -1, 1, "Invalid window offset", false},
      {good, std::numeric_limits<std::int64_t>::min(), 0, "Invalid window offset", false},
      {good, data_bytes + 1, 0, "Unexpected end of file", false},
      {good, std::numeric_limits<std::int64_t>::max(), 1, "Unexpected end of file", false},
      {good, data_bytes, 0, "", true},  // the very end: an empty window
      {good, data_bytes, 1, "Unexpected end of file", true},
      {"[DataSet][Inputs = 1][Data] 1", 0, 1, "[Rows = <integer>] expected", false},
      {"[DataSet][Rows = 1][Inputs = -1][Data] 1", 0, 1, "No labels in inputs", false},
      {"[DataSet][Rows = 1][Error = 1][Inputs = 1][Data] 1", 0, 1, "[DATA] expected", false},
      {"[Data][Rows = 1][Inputs = 1][Data] 1", 0, 1, "[DATASET] expected", false},
      {"[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 a]", 0, 1, "Expected '['",
       true},
      {"[DataSet][Rows = 1][Inputs = 1][ExpectedOutputs = Labels][Data] 1 [a=x]", 0, 1,
       "number-expected", true},
      {"[DataSet][Rows = 1][Inputs = 1][Data] 1 x", 0, 2, "number-expected", true},
      // Tables of 800 MB declared by a few bytes are refused before allocation.
      {"[DataSet][Rows = 1][Inputs = 1000][Data] 1 2 3", 0, 100000, "Unexpected end of file",
       false},
      // The same count with small tables is simply read until the rows run out.
      {"[DataSet][Rows = 1][Inputs = 1][Data] 1 2 3", 0, 100000, "Unexpected end of file", true},
  };
  for (const auto& c : cases) {
    Write(c.text);
    std::int64_t offset = c.offset;
    EXPECT_EQ(c.error, Window(offset, c.count)) << c.text << " @" << c.offset << " #" << c.count;
    EXPECT_EQ(c.offset, offset) << c.text;
    EXPECT_EQ(c.table, first_ != nullptr) << c.text << " @" << c.offset << " #" << c.count;
  }
}

TEST_F(WindowTest, WindowEndingAtTheEndOfTheFile) {
  // A file cut short after its last row still gives the window and the
  // offset of the end.
  Write("[DataSet][Rows = 2][Inputs = 1][Data] 1 2");
  std::int32_t offset = 0;
  EXPECT_EQ("", Window(offset, 2));
  EXPECT_EQ(4, offset);
  EXPECT_EQ("", Window(offset, 0));
  EXPECT_EQ(4, offset);
}

// ---- Chained windows over random datasets ----------------------------------------

// A random dataset written as text, in every form the reader accepts.
class DatasetText {
 public:
  explicit DatasetText(std::mt19937& random) : random_(random) {}

  std::string Make() {
    const std::int32_t inputs = Pick(0, 3);
    // -1 is Labels; -2 stands for "no such field".
    const std::int32_t expected = Pick(-2, 2);
    const std::int32_t generated = Pick(-2, 2);
    const std::int32_t errors = Pick(0, 1);
    rows_ = Pick(0, 12);
    std::string text;
    if (Pick(0, 1)) text += "[FormatVersion = 1.0]\n";
    text += Pick(0, 1) ? "[DataSet]\n" : "[dataset] ";
    text += "[Rows = " + std::to_string(rows_) + "]";
    if (inputs != 0 || Pick(0, 1)) text += "[Inputs = " + std::to_string(inputs) + "]";
    text += OutputField("ExpectedOutputs", expected);
    text += OutputField("GeneratedOutputs", generated);
    if (errors != 0) text += "[Error = " + std::to_string(errors) + "]";
    text += Pick(0, 1) ? "\n[Data]" : "[DATA]\n";
    const std::int32_t numbers =
        inputs + (expected > 0 ? expected : 0) + (generated > 0 ? generated : 0) + errors;
    const bool table1 = inputs != 0 || expected > 0 || expected == -1;
    const bool table2 = generated > 0 || errors != 0 || generated == -1;
    for (std::int32_t row = 0; row < rows_; ++row) {
      for (std::int32_t k = 0; k < numbers; ++k) text += Number() + Separator();
      if (table1 && expected == -1) text += LabelList() + Separator();
      if (table2 && generated == -1) text += LabelList() + Separator();
      if (Pick(0, 2) == 0) text += "\n";
    }
    text += Pick(0, 1) ? "[~Data]\n[~DataSet]\n" : "[~data][~DATASET] /* end */";
    return text;
  }

  std::int32_t rows() const { return rows_; }

 private:
  std::int32_t Pick(std::int32_t low, std::int32_t high) {
    return std::uniform_int_distribution<std::int32_t>(low, high)(random_);
  }

  std::string OutputField(const char* name, std::int32_t width) {
    if (width == -2) return "";
    if (width == -1) return std::string("[") + name + (Pick(0, 1) ? " = Labels]" : " = -1]");
    return std::string("[") + name + " = " + std::to_string(width) + "]";
  }

  std::string Number() {
    char text[40];
    switch (Pick(0, 3)) {
      case 0: return std::to_string(Pick(-1000, 1000));
      case 1:
        std::snprintf(text, sizeof text, "%.17g",
                      std::uniform_real_distribution<double>(-1e6, 1e6)(random_));
        return text;
      case 2:
        std::snprintf(text, sizeof text, "%.3e",
                      std::uniform_real_distribution<double>(-1, 1)(random_));
        return text;
      default: return "." + std::to_string(Pick(0, 99));
    }
  }

  std::string Separator() {
    static const char* const kSeparators[] = {" ", "\n", ",", "\t ", " /* c /* d */ */ ", "\r\n"};
    return kSeparators[Pick(0, 5)];
  }

  std::string LabelList() {
    static const char* const kNames[] = {"a", "b", "Cat", "~x", "w_1"};
    std::string text = "[";
    const std::int32_t labels = Pick(0, 3);
    for (std::int32_t i = 0; i < labels; ++i) {
      if (i > 0 || Pick(0, 1)) text += " ";
      text += kNames[Pick(0, 4)];
      if (Pick(0, 1)) text += "=" + Number();
    }
    return text + (Pick(0, 1) ? "]" : " ]");
  }

  std::mt19937& random_;
  std::int32_t rows_ = 0;
};

TEST_F(WindowTest, ChainedWindowsReadTheWholeDataset) {
  std::mt19937 random(20240611);
  DatasetText maker(random);
  for (int round = 0; round < 150; ++round) {
    const std::string text = maker.Make();
    Write(text);
    ASSERT_NO_FATAL_FAILURE(ReadWhole()) << text;
    const bool numbers = whole1_ ? whole1_->MbrLngInputs + whole1_->MbrLngOutputs > 0 : false;
    const bool any_numbers =
        numbers || (whole2_ && whole2_->MbrLngInputs + whole2_->MbrLngOutputs > 0);
    const bool any_labels =
        (whole1_ && whole1_->MbrBlnLabels) || (whole2_ && whole2_->MbrBlnLabels);

    // Alternate the two offset widths; both must walk the same way.
    std::int64_t offset = 0;
    std::int32_t narrow = 0;
    std::int32_t done = 0;
    while (done < maker.rows()) {
      const std::int32_t count =
          std::min(maker.rows() - done, std::uniform_int_distribution<std::int32_t>(0, 4)(random));
      const std::string context =
          text + "\nrows " + std::to_string(done) + " +" + std::to_string(count);
      if (round % 2 == 0) {
        ASSERT_EQ("", Window(offset, count)) << context;
      } else {
        ASSERT_EQ("", Window(narrow, count)) << context;
        offset = narrow;
      }
      ExpectWindowOf(whole1_.get(), done, count, first_.get(), context);
      ExpectWindowOf(whole2_.get(), done, count, second_.get(), context);
      done += count;
    }
    // One row more runs into the data block's end tag.
    const std::int64_t end = offset;
    const char* expected_error = any_numbers  ? "Token (number) expected"
                                 : any_labels ? "Unexpected End Tag"
                                              : "";
    EXPECT_EQ(expected_error, Window(offset, 1)) << text;
    EXPECT_EQ(end, offset) << text;
  }
}

// ---- Offsets beyond 2 GiB ----------------------------------------------------------

// A dataset whose data block holds one row, then 2 GiB of NUL bytes (which
// are separators), then a second row: a sparse file, so it costs no disk.
class FarWindowTest : public WindowTest {
 protected:
  static constexpr std::int64_t kFar = std::numeric_limits<std::int32_t>::max() - 1;

  void SetUp() override {
    const std::string head = "[DataSet][Rows = 2][Inputs = 1][Data]";
    {
      std::ofstream out(path_, std::ios::binary);
      out << head << " 1 ";
      out.seekp(static_cast<std::streamoff>(head.size() + kFar));
      out << "2 [~Data][~DataSet]";
      ASSERT_TRUE(out.good());
    }
    struct stat info {};
    ASSERT_EQ(0, stat(path_.c_str(), &info));
    if (static_cast<std::int64_t>(info.st_blocks) * 512 > 64 * 1024 * 1024) {
      GTEST_SKIP() << "the file system stores no sparse files";
    }
    data_bytes_ = static_cast<std::int64_t>(info.st_size) - static_cast<std::int64_t>(head.size());
  }

  std::int64_t data_bytes_ = 0;
};

TEST_F(FarWindowTest, SixtyFourBitOffsetsReachPastTwoGiB) {
  std::int64_t offset = kFar;
  ASSERT_EQ("", Window(offset, 1));
  ASSERT_TRUE(first_);
  EXPECT_EQ("2 | ", RowText(*first_, 0));
  EXPECT_EQ(kFar + 2, offset);  // beyond what 32 bits hold
  EXPECT_EQ("", Window(offset, 0));
  EXPECT_EQ(kFar + 2, offset);
  EXPECT_EQ("Token (number) expected", Window(offset, 1));
  offset = data_bytes_ + 1;
  EXPECT_EQ("Unexpected end of file", Window(offset, 0));
}

TEST_F(FarWindowTest, ThirtyTwoBitOffsetThatWouldOverflowIsRefused) {
  std::int32_t offset = kFar;
  EXPECT_EQ("", Window(offset, 0));
  EXPECT_EQ(kFar, offset);
  EXPECT_EQ("Window offset does not fit in 32 bits", Window(offset, 1));
  EXPECT_EQ(kFar, offset);  // not cut, not wrapped
  ASSERT_TRUE(first_);      // the row read stays with the caller
  EXPECT_EQ("2 | ", RowText(*first_, 0));

  Data* table = nullptr;
  EXPECT_EQ("Window offset does not fit in 32 bits", test::ReaderErrorOf([&] {
              LoadDatFileWindow(tools_, path_.c_str(), offset, 1, table);
            }));
  delete table;
}

TEST_F(FarWindowTest, SizeGuardCountsTheBytesAfterTheOffset) {
  // 240 MB of tables would fit the whole file's 2 GiB, but not the few bytes
  // after the offset: refused before allocation, not read into the end tag.
  std::int64_t offset = kFar;
  EXPECT_EQ("Unexpected end of file", Window(offset, 10000000));
  EXPECT_FALSE(first_);
}

}  // namespace
}  // namespace mbrk
