// Flat files read back: the lenient reading of short or malformed files,
// refused arguments, and the round trip through the flat writer.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/FlatFiler.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// The rows of `table` oldest first, each as "i1 i2 | o1 " in %g.
std::string RowsOf(Data* table) {
  std::ostringstream text;
  std::vector<double> in(static_cast<std::size_t>(table->MbrLngInputs));
  std::vector<double> out(static_cast<std::size_t>(table->MbrLngOutputs));
  table->MbrNdxCursor = table->MbrNdxLast;
  for (std::int32_t r = 0; r < table->MbrNdxDataRows; ++r) {
    table->GetNextRow(in.data(), out.data(), nullptr);
    for (const double v : in) text << v << ' ';
    text << '|';
    for (const double v : out) text << ' ' << v;
    text << ';';
  }
  return text.str();
}

TEST(FlatReader, ShortOrMalformedFilesStillGiveEveryRow) {
  const struct {
    const char* file;
    std::int32_t rows, inputs, outputs;
    const char* want;
  } cases[] = {
      {"1 2\n3 4 ", 2, 1, 1, "1 | 2;3 | 4;"},
      {"1 2 3 4 5 6", 1, 3, 1, "1 2 3 | 4;"},  // regrouped; the rest unread
      {"1\t2\n\n3", 2, 2, 0, "1 2 |;3 2 |;"},  // ended: the previous row's value
      {"5", 2, 1, 2, "5 | 0 0;5 | 0 0;"},      // first row: 0.0 where nothing came
      {"1 x 3", 2, 2, 0, "1 0 |;1 0 |;"},      // not a number: 0, then nothing more
      {"+INF 2", 1, 1, 1, "0 | 0;"},
      {"1e400 7", 1, 2, 0, "1.79769e+308 0 |;"},  // out of range: the largest double
      {"", 2, 0, 1, "| 0;| 0;"},
      {"9", 0, 2, 1, ""},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.file);
    Data* table = nullptr;
    TFlatFiler::ReadData(in, table, c.rows, c.inputs, c.outputs);
    const std::unique_ptr<Data> own(table);
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(c.rows, table->MbrNdxRows);
    EXPECT_EQ(c.inputs, table->MbrLngInputs);
    EXPECT_FALSE(table->MbrBlnLabels);
    EXPECT_EQ(c.want, RowsOf(table)) << c.file;
  }
}

TEST(FlatReader, RefusedArgumentsLeaveTheTablePlaceAlone) {
  test::TempDir dir;
  test::WriteFile(dir.File("f"), "1 2");
  const auto expect_throw = [](auto action, const char* message, const char* category,
                               const char* location) {
    Data* table = reinterpret_cast<Data*>(0x1);  // must stay as it is
    try {
      action(table);
      ADD_FAILURE() << "no exception";
    } catch (const TException& e) {
      EXPECT_STREQ(message, e.MbrStrMessage);
      EXPECT_STREQ(category, e.MbrStrCategory);
      EXPECT_STREQ(location, e.MbrStrLocation);
      EXPECT_EQ(nullptr, e.MbrPtrDetail);
    }
    EXPECT_EQ(reinterpret_cast<Data*>(0x1), table);
  };
  const std::string missing = dir.File("missing"), file = dir.File("f");
  for (const std::string& name : {missing, dir.path()}) {
    expect_throw([&](Data*& t) { TFlatFiler::LoadData(name.c_str(), t, 1, 1, 1); },
                 "Unable to open file for input", "File Error", "TFlatFiler::LoadData");
  }
  expect_throw([&](Data*& t) { TFlatFiler::LoadData(file.c_str(), t, -1, 1, 1); },
               "Invalid Number of Rows", "Bad Parameter", "TFlatFiler::LoadData");
  expect_throw([&](Data*& t) { TFlatFiler::LoadData(file.c_str(), t, 1, -1, 1); },
               "Invalid Number of Inputs", "Bad Parameter", "TFlatFiler::LoadData");
  std::istringstream in("1 2");
  expect_throw([&](Data*& t) { TFlatFiler::ReadData(in, t, 1, 1, -3); },
               "Invalid Number of Outputs", "Bad Parameter", "TFlatFiler::ReadData");
}

// Every finite value comes back as the value of its 9-digit text, in order.
TEST(FlatReader, SaveThenLoadGivesTheValuesToNineDigits) {
  test::TempDir dir;
  const std::string path = dir.File("t.flat");
  std::mt19937_64 random(99);
  for (int round = 0; round < 100; ++round) {
    const auto rows = static_cast<std::int32_t>(random() % 5);
    const auto inputs = static_cast<std::int32_t>(random() % 4);
    const auto outputs = static_cast<std::int32_t>(random() % 4);
    Data written(rows, inputs, outputs, false);
    std::vector<double> in(4), out(4);
    for (auto n = random() % (2 * rows + 1); n > 0; --n) {
      for (auto* row : {&in, &out}) {
        for (double& v : *row) {
          v = random() % 5 == 0 ? DBL_MAX * (random() % 2 ? 1 : -1)
                                : std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random),
                                             std::uniform_int_distribution<int>(-1074, 1024)(random));
        }
      }
      written.AppendRow(in.data(), out.data(), nullptr);
    }
    TFlatFiler::SaveData(path.c_str(), &written);
    Data* table = nullptr;
    TFlatFiler::LoadData(path.c_str(), table, written.MbrNdxDataRows, inputs, outputs);
    const std::unique_ptr<Data> read(table);

    std::vector<double> win(4), wout(4), rin(4), rout(4);
    written.MbrNdxCursor = written.MbrNdxLast;
    read->MbrNdxCursor = read->MbrNdxLast;
    for (std::int32_t r = 0; r < written.MbrNdxDataRows; ++r) {
      written.GetNextRow(win.data(), wout.data(), nullptr);
      read->GetNextRow(rin.data(), rout.data(), nullptr);
      for (std::int32_t k = 0; k < inputs + outputs; ++k) {
        const double w = k < inputs ? win[k] : wout[k - inputs];
        const double g = k < inputs ? rin[k] : rout[k - inputs];
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", w);
        ASSERT_EQ(std::strtod(text, nullptr), g) << text << " round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace mbrk
