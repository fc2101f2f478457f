// Dataset files as written: exact bytes, the row layout with label lists,
// refused tables, files that cannot be written, and the round trip through
// the reader for random tables of every shape.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iomanip>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

using Table = std::unique_ptr<Data>;

Table MakeTable(std::int32_t rows, std::int32_t inputs, std::int32_t outputs, bool labels) {
  return Table(new Data(rows, inputs, outputs, labels));
}

class DatasetWriterTest : public ::testing::Test {
 protected:
  // The data lines of the file written, between [Data] and [~Data].
  std::string SaveRows(const Data* first, const Data* second) {
    EXPECT_EQ(SUCCESS, SaveDatFile(tools_, path_.c_str(), first, second));
    const std::string text = test::ReadFile(path_);
    const std::size_t begin = text.find("[Data]\n") + 7;
    return text.substr(begin, text.find("[~Data]") - begin);
  }

  FileTools tools_;
  test::TempDir dir_;
  std::string path_ = dir_.File("out.mbrk");
};

TEST_F(DatasetWriterTest, OneTableWithoutLabelsWholeFile) {
  const Table t = MakeTable(2, 2, 1, false);
  const double in1[] = {0.5, 1}, out1[] = {2}, in2[] = {0.1, 1.0 / 3}, out2[] = {1e20};
  t->AppendRow(in1, out1, nullptr);
  t->AppendRow(in2, out2, nullptr);
  ASSERT_EQ(SUCCESS, SaveDatFile(tools_, path_.c_str(), t.get(), nullptr));
  EXPECT_EQ(
      "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = 2]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n"
      "[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n"
      "0.5 1   2 \n0.1 0.333333333333333   1e+20 \n[~Data]\n\n[~DataSet]\n",
      test::ReadFile(path_));
}

TEST_F(DatasetWriterTest, LabelListsCapacityAndRingOrder) {
  // Capacity 3 holding one row: three lines, the unused ones zeros and "[] ".
  const Table labelled = MakeTable(3, 1, 0, true);
  TLabelList list("a", 1.0);
  list.AppendLabel("b", 0.5);
  const double half = 0.5;
  labelled->AppendRow(&half, nullptr, &list);
  EXPECT_EQ("0.5   [a b=0.500000000 ] \n0   [] \n0   [] \n", SaveRows(labelled.get(), nullptr));
  EXPECT_NE(std::string::npos, test::ReadFile(path_).find("[Rows = 3]\n[Inputs = 1]\n"
                                                          "[ExpectedOutputs = Labels]\n"));

  // A wrapped ring goes out in slot order: 3 took the slot of 1.
  const Table ring = MakeTable(2, 1, 0, false);
  for (const double v : {1.0, 2.0, 3.0}) ring->AppendRow(&v, nullptr, nullptr);
  EXPECT_EQ("3   \n2   \n", SaveRows(ring.get(), nullptr));

  // Only a second table: its part begins with two blanks.
  const Table second = MakeTable(1, 1, 1, false);
  // 15 digits of the largest double round up past it, to a text that would
  // read back as infinity; it is written with 17.
  const double g = 3, e = -DBL_MAX;
  second->AppendRow(&g, &e, nullptr);
  EXPECT_EQ("  3   -1.7976931348623157e+308 \n", SaveRows(nullptr, second.get()));
  EXPECT_NE(std::string::npos, test::ReadFile(path_).find("[Inputs = 0]\n[ExpectedOutputs = 0]\n"
                                                          "[GeneratedOutputs = 1]\n[Error = 1]\n"));
}

TEST_F(DatasetWriterTest, LabelListsFollowedByValuesMoveToTheEndOfTheLine) {
  const double one = 1, two = 2;
  const TLabelList x("x", 1.0), y("y", 2.0);
  // No values after the lists: each stays in the place of its vector.
  Table first = MakeTable(1, 1, 0, true), second = MakeTable(1, 0, 0, true);
  first->AppendRow(&one, nullptr, &x);
  second->AppendRow(nullptr, nullptr, &y);
  EXPECT_EQ("1   [x ]   [y=2.000000000 ]   \n", SaveRows(first.get(), second.get()));
  // Errors follow: both lists go after them, the first table's first.
  second = MakeTable(1, 0, 1, true);
  second->AppendRow(nullptr, &two, &y);
  EXPECT_EQ("1       2 [x ] [y=2.000000000 ] \n", SaveRows(first.get(), second.get()));

  Data* back1 = nullptr;
  Data* back2 = nullptr;
  ASSERT_EQ(SUCCESS, ReadDatFile(tools_, path_.c_str(), back1, back2));
  const Table own1(back1), own2(back2);
  ASSERT_TRUE(back1 && back2);
  EXPECT_STREQ("y", back2->MbrDyaLabels[0].MbrDyaItems[0].MbrStrName);
  EXPECT_EQ(2.0, back2->MbrDyaRtpOutputs[0][0]);
  EXPECT_STREQ("x", back1->MbrDyaLabels[0].MbrDyaItems[0].MbrStrName);
}

TEST_F(DatasetWriterTest, RefusedTablesWriteNothing) {
  const Table three = MakeTable(3, 1, 0, false), two = MakeTable(2, 1, 0, false);
  EXPECT_EQ(BAD_TABLES, SaveDatFile(tools_, path_.c_str(), nullptr, nullptr));
  EXPECT_EQ(BAD_TABLES, SaveDatFile(tools_, path_.c_str(), three.get(), two.get()));
  EXPECT_EQ(BAD_TABLES, WriteDatFileRows(tools_, path_.c_str(), two.get(), three.get()));
  EXPECT_EQ(BAD_TABLES, WriteDatFileHeader(tools_, path_.c_str(), 1, 0, 0, 0, -1));
  EXPECT_EQ(BAD_TABLES, WriteDatFileHeader(tools_, path_.c_str(), 1, -2, 0, 0, 1));
  // Label names that would not read back as themselves.
  for (const char* name : {"a b", "", "x]", "c=d", "\xC3\xA9"}) {
    const Table t = MakeTable(1, 0, 0, true);
    t->AppendLabel(0, 2.0, name);
    EXPECT_EQ(BAD_TABLES, SaveDatFile(tools_, path_.c_str(), t.get(), nullptr)) << name;
  }
  EXPECT_FALSE(test::FileExists(path_));
}

TEST_F(DatasetWriterTest, FilesThatCannotBeWrittenAreReported) {
  const Table t = MakeTable(1, 1, 0, false);
  EXPECT_EQ(FILE_OPEN_ERROR, SaveDatFile(tools_, "/dev/full", t.get(), nullptr));
  const std::string missing = dir_.File("no/such/folder.mbrk");
  EXPECT_EQ(FILE_OPEN_ERROR, SaveDatFile(tools_, missing.c_str(), t.get(), nullptr));
  EXPECT_EQ(FILE_OPEN_ERROR, SaveDatFile(tools_, dir_.path().c_str(), t.get(), nullptr));
  EXPECT_EQ(FILE_OPEN_ERROR, WriteDatFileRows(tools_, "/dev/full", t.get(), nullptr));
  EXPECT_EQ(FILE_OPEN_ERROR, WriteDatFileTail(tools_, missing.c_str()));
}

// ---- Round trip ---------------------------------------------------------------

double RandomValue(std::mt19937_64& random) {
  static const double kSpecial[] = {0.0,          -0.0,   HUGE_VAL, -HUGE_VAL,
                                    NAN,          -NAN,   DBL_MAX,  -1.7976931348623155e308,
                                    DBL_TRUE_MIN, 1e-310, 0.1,      -123456789012345678.0};
  switch (random() % 6) {
    case 0: return kSpecial[random() % std::size(kSpecial)];
    case 1: return static_cast<double>(static_cast<int>(random() % 2001) - 1000) / 8;
    default:
      return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random),
                        std::uniform_int_distribution<int>(-1074, 1024)(random));
  }
}

void AddRandomLabels(std::mt19937_64& random, TLabelList& list) {
  static const char kChars[] = "abcXYZ019_.-!~";
  for (int n = static_cast<int>(random() % 4); n > 0; --n) {
    std::string name(1 + random() % 3, ' ');
    for (char& c : name) c = kChars[random() % (sizeof kChars - 1)];
    list.AppendLabel(name.c_str(), random() % 3 == 0 ? 1.0 : RandomValue(random));
  }
}

// A table as text: shape, every slot's values to 15 significant digits, and
// label lists, a written label's value taken as its "%.9f" text reads back.
// A table that the format cannot record (no columns, no labels) is "none".
std::string Render(const Data* t, bool written) {
  if (t == nullptr || (t->MbrLngInputs == 0 && t->MbrLngOutputs == 0 && !t->MbrBlnLabels)) {
    return "none";
  }
  std::ostringstream text;
  text << t->MbrNdxRows << ' ' << t->MbrLngInputs << ' ' << t->MbrLngOutputs << ' '
       << t->MbrBlnLabels << std::scientific << std::setprecision(14);
  for (std::int32_t slot = 0; slot < t->MbrNdxRows; ++slot) {
    text << "\n";
    for (std::int32_t k = 0; k < t->MbrLngInputs; ++k) text << t->MbrDyaRtpInputs[slot][k] << ' ';
    for (std::int32_t k = 0; k < t->MbrLngOutputs; ++k) text << t->MbrDyaRtpOutputs[slot][k] << ' ';
    for (std::int32_t i = 0; t->MbrBlnLabels && i < t->MbrDyaLabels[slot].MbrLngCount; ++i) {
      const TLabel& label = t->MbrDyaLabels[slot].MbrDyaItems[i];
      char fixed[400];
      std::snprintf(fixed, sizeof fixed, "%.9f", label.MbrDblValue);
      text << label.MbrStrName << '=' << std::hexfloat
           << (written ? std::strtod(fixed, nullptr) : label.MbrDblValue) << std::scientific << ' ';
    }
  }
  return text.str();
}

TEST_F(DatasetWriterTest, RandomTablesReadBackAsWritten) {
  std::mt19937_64 random(2024);
  for (int round = 0; round < 200; ++round) {
    const auto rows = static_cast<std::int32_t>(random() % 4);
    const int which = 1 + static_cast<int>(random() % 3);  // 1 first, 2 second, 3 both
    Table tables[2];
    for (int t = 0; t < 2; ++t) {
      if ((which & (1 << t)) == 0) continue;
      const bool labels = random() % 3 == 0;
      // The first table's labels stand for its outputs, the second's for its inputs.
      auto inputs = static_cast<std::int32_t>(random() % 6);
      auto outputs = static_cast<std::int32_t>(random() % 6);
      if (labels) (t == 0 ? outputs : inputs) = 0;
      tables[t] = MakeTable(rows, inputs, outputs, labels);
      std::vector<double> in(6), out(6);
      for (auto n = random() % (2 * rows + 1); n > 0; --n) {
        for (double& v : in) v = RandomValue(random);
        for (double& v : out) v = RandomValue(random);
        TLabelList list;
        AddRandomLabels(random, list);
        tables[t]->AppendRow(in.data(), out.data(), &list);
      }
    }
    ASSERT_EQ(SUCCESS, SaveDatFile(tools_, path_.c_str(), tables[0].get(), tables[1].get()));
    Data* read1 = nullptr;
    Data* read2 = nullptr;
    ASSERT_EQ(SUCCESS, ReadDatFile(tools_, path_.c_str(), read1, read2)) << round;
    const Table own1(read1), own2(read2);
    ASSERT_EQ(Render(tables[0].get(), true), Render(read1, false)) << test::ReadFile(path_);
    ASSERT_EQ(Render(tables[1].get(), true), Render(read2, false)) << test::ReadFile(path_);
  }
}

}  // namespace
}  // namespace mbrk
