#include "Dataset/internal/StrictFlat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace mbrk::files {
namespace {

struct Shape {
  std::optional<std::int32_t> rows;
  std::int32_t inputs;
  std::int32_t outputs;
};

// "rows:v v v|v v;..." for a dataset read, or "MESSAGE@LINE:COLUMN".
std::string Outcome(const std::string& text, Shape shape) {
  std::istringstream in(text);
  try {
    const Dataset data = ReadFlatStrict(in, "f.flat", shape.rows, shape.inputs, shape.outputs);
    std::ostringstream out;
    out << data.Rows() << ":";
    const bool values = data.inputs.Width() + data.expected.Width() > 0;
    for (std::size_t row = 0; values && row < data.Rows(); ++row) {
      for (std::size_t k = 0; k < data.inputs.Width(); ++k) out << data.inputs(row, k) << " ";
      out << "|";
      for (std::size_t k = 0; k < data.expected.Width(); ++k) out << data.expected(row, k) << " ";
      out << ";";
    }
    return out.str();
  } catch (const FormatError& error) {
    EXPECT_EQ("f.flat", error.Path());
    return error.Message() + "@" + std::to_string(error.Line()) + ":" +
           std::to_string(error.Column());
  }
}

TEST(StrictFlat, CountsAndWords) {
  const struct {
    const char* text;
    Shape shape;
    const char* outcome;
  } cases[] = {
      {"1 2 3 \n4 5 6 \n", {2, 2, 1}, "2:1 2 |3 ;4 5 |6 ;"},
      {"1 2 3 4\n5 6", {2, 2, 1}, "2:1 2 |3 ;4 5 |6 ;"},  // lines do not matter
      {"1 2 3 \n4 5 6 \n", {std::nullopt, 1, 2}, "2:1 |2 3 ;4 |5 6 ;"},
      {"1 2 3 \n4 5 6 \n", {std::nullopt, 2, 0}, "3:1 2 |;3 4 |;5 6 |;"},
      {"", {std::nullopt, 3, 1}, "0:"},
      {"", {0, 2147483647, 0}, "0:"},
      {"", {200000000, 0, 0}, "200000000:"},
      {"+INF -INF 1e-400 .5 -2. 1E+2", {1, 6, 0}, "1:inf -inf 0 0.5 -2 100 |;"},
      {"1 2 3 \n4 5 \n", {2, 2, 1}, "Unexpected end of file@2:4"},
      {"1 2 3 \n4 5 \n", {std::nullopt, 2, 1}, "Unexpected end of file@2:4"},
      {"1 2 3 4 5 6 7\n", {2, 2, 1}, "End of file expected@1:14"},
      {"1 2\r\n3 4x 5 6\n", {3, 2, 0}, "Token (number) expected@2:5"},
      {"1 2\r3 12abc\n", {2, 2, 0}, "Token (number) expected@2:8"},
      {"1 1e", {1, 2, 0}, "Token (number) expected@1:5"},
      {"1 1e999", {1, 2, 0}, "Token (number) expected@1:8"},
      {"1 +NAN1", {1, 2, 0}, "Token (number) expected@1:8"},
      {"1 inf", {1, 2, 0}, "Token (number) expected@1:6"},
      {"1 2", {5, 0, 0}, "End of file expected@1:2"},
      {"[FormatVersion = 1.0]\n[DataSet]", {1, 2, 0}, "Dataset file, not a flat file@1:15"},
      {"/* sensors */ [DataSet]", {1, 2, 0}, "Dataset file, not a flat file@1:3"},
      {"1 [DataSet]", {1, 2, 0}, "Token (number) expected@1:12"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.outcome, Outcome(c.text, c.shape)) << c.text;
}

TEST(StrictFlat, NaNsKeepTheirSign) {
  std::istringstream in("+NAN -NAN");
  const Dataset data = ReadFlatStrict(in, "f", 1, 2, 0);
  EXPECT_TRUE(std::isnan(data.inputs(0, 0)) && !std::signbit(data.inputs(0, 0)));
  EXPECT_TRUE(std::isnan(data.inputs(0, 1)) && std::signbit(data.inputs(0, 1)));
}

// A word that straddles two loads of the reader's buffer is read whole.
TEST(StrictFlat, WordsAcrossBufferLoads) {
  std::string text;
  std::vector<double> values;
  for (int i = 0; text.size() < 600000; ++i) {
    values.push_back(i * 0.25 - 1000);
    std::ostringstream word;
    word.precision(17);
    word << values.back() << (i % 7 == 0 ? "\n" : "  ");
    text += word.str();
  }
  std::istringstream in(text);
  const auto rows = static_cast<std::int32_t>(values.size());
  const Dataset data = ReadFlatStrict(in, "f", rows, 1, 0);
  for (std::size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], data.inputs(i, 0)) << i;
}

}  // namespace
}  // namespace mbrk::files
