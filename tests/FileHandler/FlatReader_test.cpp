// Flat files read back: the lenient reading of short or malformed files,
// refused arguments, and the round trip through the flat writer.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
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

std::string Hex(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%a ", value);
  return text;
}

// The rows of a table the reader made (it never wraps), as "i1 i2 | o1;".
std::string RowsOf(const Data& t) {
  std::ostringstream text;
  for (std::int32_t r = 0; r < t.MbrNdxDataRows; ++r) {
    for (std::int32_t k = 0; k < t.MbrLngInputs; ++k) text << t.MbrDyaRtpInputs[r][k] << ' ';
    text << '|';
    for (std::int32_t k = 0; k < t.MbrLngOutputs; ++k) text << ' ' << t.MbrDyaRtpOutputs[r][k];
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
      {"+INF 2", 1, 1, 1, "inf | 2;"},
      {"-NAN\n-INF", 1, 1, 1, "-nan | -inf;"},
      {"+INX 2", 1, 1, 1, "0 | 0;"},
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
    EXPECT_EQ(c.want, RowsOf(*table)) << c.file;
  }
}

// The texts of the exception `read` throws, "" when none; a refusal leaves
// the table's place alone.
template <typename Read>
std::string Refusal(Read read) {
  Data* const untouched = reinterpret_cast<Data*>(0x1);
  Data* table = untouched;
  const std::string thrown = test::ExceptionOf([&] { read(table); });
  EXPECT_EQ(thrown.empty(), table != untouched);
  if (table != untouched) delete table;
  return thrown;
}

TEST(FlatReader, RefusedArgumentsLeaveTheTablePlaceAlone) {
  test::TempDir dir;
  const std::string file = dir.File("f"), missing = dir.File("missing");
  test::WriteFile(file, "1 2");
  std::istringstream in("1 2");
  const std::string unable = "Unable to open file for input | File Error | TFlatFiler::LoadData";
  EXPECT_EQ(unable, Refusal([&](Data*& t) { TFlatFiler::LoadData(missing.c_str(), t, 1, 1, 1); }));
  EXPECT_EQ(unable,
            Refusal([&](Data*& t) { TFlatFiler::LoadData(dir.path().c_str(), t, 1, 1, 1); }));
  EXPECT_EQ("Invalid Number of Rows | Bad Parameter | TFlatFiler::LoadData",
            Refusal([&](Data*& t) { TFlatFiler::LoadData(file.c_str(), t, -1, 1, 1); }));
  EXPECT_EQ("Invalid Number of Inputs | Bad Parameter | TFlatFiler::LoadData",
            Refusal([&](Data*& t) { TFlatFiler::LoadData(file.c_str(), t, 1, -1, 1); }));
  EXPECT_EQ("Invalid Number of Outputs | Bad Parameter | TFlatFiler::ReadData",
            Refusal([&](Data*& t) { TFlatFiler::ReadData(in, t, 1, 1, -3); }));
}

// The reader takes numbers exactly as `in >> value` does: same values (to
// the bit), same stream state, same characters left unread; also when the
// stream's buffer hands the text out in pieces, so that numbers straddle the
// ends of what it holds (the reader reads them in place where it can).
TEST(FlatReader, ReadsNumbersExactlyAsFormattedExtraction) {
  const char* const pieces[] = {"0",     "00",     "1",      "9",        "12345678901234567890",
                                ".",     "e",      "E",      "+",        "-",
                                " ",     "\t\n",   "\v",     "x",        ",",
                                "1e400", "-1e400", "1e-400", "2.5e-320", "4.9e-324",
                                "0x1p3", "inf",    "nan",    "1e+",      "-.5"};
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    std::string file;
    for (auto n = 1 + random() % 10; n > 0; --n) file += pieces[random() % std::size(pieces)];
    const bool noskipws = random() % 8 == 0;
    const int piece = static_cast<int>(random() % 6) - 1;  // random sizes, whole, 1..4

    std::istringstream reference(file);
    if (noskipws) reference >> std::noskipws;
    std::string want;
    double row[2] = {0, 0};
    for (int r = 0; r < 3; ++r) {
      for (double& v : row) reference >> v;
      want.append(reinterpret_cast<const char*>(row), sizeof row);
    }

    test::PieceBuffer buffer(file, piece, round);
    std::istream in(&buffer);
    if (noskipws) in >> std::noskipws;
    Data* table = nullptr;
    TFlatFiler::ReadData(in, table, 3, 2, 0);
    const std::unique_ptr<Data> own(table);
    std::string got;
    for (int r = 0; r < 3; ++r) {
      got.append(reinterpret_cast<const char*>(table->MbrDyaRtpInputs[r]), sizeof row);
    }
    ASSERT_EQ(want, got) << file << " in pieces of " << piece;
    ASSERT_EQ(reference.rdstate(), in.rdstate()) << file << " in pieces of " << piece;
    reference.clear();
    ASSERT_EQ(reference.rdbuf()->str().substr(static_cast<std::size_t>(reference.tellg())),
              buffer.Rest())
        << file << " in pieces of " << piece;
  }
}

// The writer's texts of non-finite values are read letter by letter, in a
// buffer that holds them whole or not: what does not continue one stays
// unread, and what follows a whole one is the next number.
TEST(FlatReader, ReadsTextsOfNonFiniteValuesUpToTheirLastLetter) {
  const struct {
    const char* file;
    const char* want;
    const char* rest;
    std::ios::iostate state;
  } cases[] = {
      {"+INF3 4", "inf 3 |;", " 4", std::ios::goodbit},
      {"-INx 5 6", "0 0 |;", "x 5 6", std::ios::failbit},
      {"+NA", "0 0 |;", "", std::ios::eofbit | std::ios::failbit},
      {"-NAN-INF", "-nan -inf |;", "", std::ios::eofbit},
      {"+Inf 1", "0 0 |;", "nf 1", std::ios::failbit},
  };
  for (const auto& c : cases) {
    for (int piece = -1; piece <= 4; ++piece) {
      test::PieceBuffer buffer(c.file, piece, 0);
      std::istream in(&buffer);
      Data* table = nullptr;
      TFlatFiler::ReadData(in, table, 1, 2, 0);
      const std::unique_ptr<Data> own(table);
      EXPECT_EQ(c.want, RowsOf(*table)) << c.file << " in pieces of " << piece;
      EXPECT_EQ(c.rest, buffer.Rest()) << c.file << " in pieces of " << piece;
      EXPECT_EQ(c.state, in.rdstate()) << c.file << " in pieces of " << piece;
    }
  }
}

// Every finite value comes back as the value of its 9-digit text, oldest
// row first (the written ring has wrapped).
TEST(FlatReader, SaveThenLoadGivesTheValuesToNineDigits) {
  test::TempDir dir;
  const std::string path = dir.File("t.flat");
  std::mt19937_64 random(99);
  for (int round = 0; round < 100; ++round) {
    const auto rows = static_cast<std::int32_t>(random() % 5);
    const auto inputs = static_cast<std::int32_t>(random() % 4);
    const auto outputs = static_cast<std::int32_t>(random() % 4);
    Data written(rows, inputs, outputs, false);
    std::vector<std::string> appended;  // each row's values rounded to 9 digits
    double values[8];
    for (auto n = random() % (2 * rows + 1); n > 0; --n) {
      appended.emplace_back();
      for (int k = 0; k < 8; ++k) {
        values[k] = random() % 5 == 0
                        ? -DBL_MAX
                        : std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random),
                                     std::uniform_int_distribution<int>(-1074, 1024)(random));
        char text[32];
        std::snprintf(text, sizeof text, "%.9g", values[k]);
        if (k % 4 < (k < 4 ? inputs : outputs)) appended.back() += Hex(std::strtod(text, nullptr));
      }
      written.AppendRow(values, values + 4, nullptr);
    }
    TFlatFiler::SaveData(path.c_str(), &written);
    Data* table = nullptr;
    TFlatFiler::LoadData(path.c_str(), table, written.MbrNdxDataRows, inputs, outputs);
    const std::unique_ptr<Data> read(table);
    std::string want, got;
    for (std::size_t r = appended.size() - static_cast<std::size_t>(read->MbrNdxDataRows);
         r < appended.size(); ++r) {
      want += appended[r];
    }
    for (std::int32_t r = 0; r < read->MbrNdxDataRows; ++r) {
      for (std::int32_t k = 0; k < inputs; ++k) got += Hex(read->MbrDyaRtpInputs[r][k]);
      for (std::int32_t k = 0; k < outputs; ++k) got += Hex(read->MbrDyaRtpOutputs[r][k]);
    }
    ASSERT_EQ(want, got) << round;
  }
}

}  // namespace
}  // namespace mbrk
