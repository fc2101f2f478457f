#include "FileHandler/FlatFiler.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "DataObject/LabelList.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

using test::Format;
using test::Printf9;

TEST(FlatFilerFormat, MatchesTheTableOfValueTexts) {
  // clang-format off
  const struct {
    double value;
    const char* text;
  } cases[] = {
      {0.1, "0.1"},          {1.0 / 3, "0.333333333"}, {2.0 / 3, "0.666666667"},
      {100, "100"},          {123456789, "123456789"}, {1234567890, "1.23456789e+09"},
      {1e9, "1e+09"},        {0.0001, "0.0001"},       {0.00001, "1e-05"},
      {-0.5, "-0.5"},        {0, "0"},                 {-0.0, "-0"},
      {1.5e10, "1.5e+10"},   {-2.125e-05, "-2.125e-05"}, {999999999.5, "1e+09"},
      {5e-324, "4.94065646e-324"}, {1.7976931348623157e308, "1.79769313e+308"},
  };
  // clang-format on
  for (const auto& c : cases) EXPECT_EQ(c.text, Format(c.value)) << c.value;
}

TEST(FlatFilerFormat, NonFiniteValuesAreWords) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ("+INF", Format(inf));
  EXPECT_EQ("-INF", Format(-inf));
  EXPECT_EQ("+NAN", Format(nan));
  EXPECT_EQ("-NAN", Format(-nan));
}

// The formatter must agree with "%.9g" digit for digit; random bit patterns
// reach every exponent and the halfway cases of the rounding.
TEST(FlatFilerFormat, AgreesWithPrintfOverRandomDoubles) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    double value;
    const std::uint64_t bits = random();
    std::memcpy(&value, &bits, sizeof value);
    if (i % 2 == 1) value = unit(random) * std::pow(10.0, static_cast<int>(random() % 40) - 20);
    if (i % 7 == 3) value = std::round(value * 1e4) / 1e4 + 0.5e-9;
    if (!std::isfinite(value)) continue;
    ASSERT_EQ(Printf9(value), Format(value)) << std::hexfloat << value;
  }
}

Data* TwoRowTable() {
  auto* table = new Data(2, 2, 1, false);
  const double in1[] = {0.5, 1}, out1[] = {0.25};
  const double in2[] = {3, -2.125e-05}, out2[] = {1.5e10};
  table->AppendRow(in1, out1, nullptr);
  table->AppendRow(in2, out2, nullptr);
  return table;
}

TEST(FlatFilerWrite, WritesEachRowAsOneLineWithTrailingBlanks) {
  std::unique_ptr<Data> table(TwoRowTable());
  std::ostringstream out;
  TFlatFiler::WriteData(out, table.get());
  EXPECT_EQ("0.5 1 0.25 \n3 -2.125e-05 1.5e+10 \n", out.str());
  EXPECT_EQ(table->MbrNdxLast, table->MbrNdxCursor);
}

// A wrapped ring is written oldest row first; labels never appear.
TEST(FlatFilerWrite, FollowsInsertionOrderOfAWrappedRing) {
  Data table(3, 1, 0, true);
  TLabelList labels("a", 2.0);
  for (double v : {1.0, 2.0, 3.0, 4.0}) table.AppendRow(&v, nullptr, &labels);
  std::ostringstream out;
  TFlatFiler::WriteData(out, &table);
  EXPECT_EQ("2 \n3 \n4 \n", out.str());
  EXPECT_EQ(0, table.MbrNdxCursor);
}

TEST(FlatFilerWrite, ZeroWidthsGiveEmptyLines) {
  Data table(2, 0, 0, false);
  table.AppendRow(nullptr, nullptr, nullptr);
  table.AppendRow(nullptr, nullptr, nullptr);
  std::ostringstream out;
  TFlatFiler::WriteData(out, &table);
  EXPECT_EQ("\n\n", out.str());
}

// A table whose rows fail to come out reports through the table's own
// exception; every line written before it stays in the file.
class FailingTable : public Data {
 public:
  FailingTable() : Data(3, 1, 0, false) {}
  void GetNextRow(double* inputs, double* outputs, TLabelList** labels) override {
    if (++calls_ == 2) {
      throw TException("Invalid Data Row", "Bad Parameter", "Data::GetLabels", nullptr);
    }
    Data::GetNextRow(inputs, outputs, labels);
  }

 private:
  int calls_ = 0;
};

TEST(FlatFilerSave, KeepsTheLinesWrittenBeforeAFailure) {
  test::TempDir dir;
  FailingTable table;
  for (double v : {7.0, 8.0, 9.0}) table.AppendRow(&v, nullptr, nullptr);
  EXPECT_THROW(TFlatFiler::SaveData(dir.File("part.flat").c_str(), &table), TException);
  EXPECT_EQ("7 \n", test::ReadFile(dir.File("part.flat")));
}

// A table that reads the file being written each time a row is asked for.
class WatchedTable : public Data {
 public:
  explicit WatchedTable(std::string path) : Data(3, 1, 0, false), path_(std::move(path)) {}
  void GetNextRow(double* inputs, double* outputs, TLabelList** labels) override {
    seen.push_back(test::ReadFile(path_));
    Data::GetNextRow(inputs, outputs, labels);
  }
  std::vector<std::string> seen;  // the file before each row

 private:
  std::string path_;
};

TEST(FlatFilerSave, EveryLineIsInTheFileOnceItsRowIsWritten) {
  test::TempDir dir;
  WatchedTable table(dir.File("t.flat"));
  for (double v : {7.0, 8.0, 9.0}) table.AppendRow(&v, nullptr, nullptr);
  TFlatFiler::SaveData(dir.File("t.flat").c_str(), &table);
  EXPECT_EQ((std::vector<std::string>{"", "7 \n", "7 \n8 \n"}), table.seen);
  EXPECT_EQ("7 \n8 \n9 \n", test::ReadFile(dir.File("t.flat")));
}

// A file that takes a line only in part (the file size limit here; a disk
// filling up alike) ends the writing with the error; what was written stays.
TEST(FlatFilerSave, ReportsALineTheFileTakesOnlyInPart) {
  test::TempDir dir;
  const std::string path = dir.File("t.flat");
  Data table(3, 1, 0, false);
  for (double v : {1111.0, 2222.0, 3333.0}) table.AppendRow(&v, nullptr, nullptr);
  table.MbrNdxCursor = 1;
  rlimit saved{};
  ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &saved));
  rlimit limit = saved;
  limit.rlim_cur = 9;  // the first line of 6 bytes and half the second
  void (*const handler)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
  const std::string thrown = test::ExceptionOf([&] { TFlatFiler::SaveData(path.c_str(), &table); });
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, handler);
  EXPECT_EQ("Unable to write file | File Error | TFlatFiler::SaveData", thrown);
  EXPECT_EQ("1111 \n222", test::ReadFile(path));
  EXPECT_EQ(table.MbrNdxLast, table.MbrNdxCursor);
}

TEST(FlatFilerSave, ReportsFilesThatCannotBeOpenedOrWritten) {
  test::TempDir dir;
  std::unique_ptr<Data> table(TwoRowTable());
  const struct {
    std::string path;
    const char* message;
  } cases[] = {{dir.File("missing/x.flat"), "Unable to open file"},
               {dir.path(), "Unable to open file"},
               {"/dev/full", "Unable to write file"}};
  for (const auto& c : cases) {
    EXPECT_EQ(std::string(c.message) + " | File Error | TFlatFiler::SaveData",
              test::ExceptionOf([&] { TFlatFiler::SaveData(c.path.c_str(), table.get()); }))
        << c.path;
  }
}

TEST(FlatFilerSave, TruncatesAnExistingFile) {
  test::TempDir dir;
  const std::string path = dir.File("t.flat");
  test::WriteFile(path, std::string(1000, 'x'));
  Data empty(4, 2, 2, false);
  TFlatFiler::SaveData(path.c_str(), &empty);
  EXPECT_EQ("", test::ReadFile(path));
}

}  // namespace
}  // namespace mbrk
