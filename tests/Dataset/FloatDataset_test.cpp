#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

namespace fs = std::filesystem;

// "" when `floats` holds each value of `doubles` rounded to float, else the
// first difference.
std::string CompareRounded(const FloatMatrix& floats, const Matrix& doubles) {
  if (floats.rows != doubles.Rows() || floats.width != doubles.Width()) return "shape";
  for (std::size_t i = 0; i < doubles.Size(); ++i) {
    const float want = static_cast<float>(doubles.Data()[i]);
    const float got = floats.values[i];
    if (std::memcmp(&want, &got, sizeof want) != 0 && !(std::isnan(want) && std::isnan(got))) {
      return "value " + std::to_string(i);
    }
  }
  return "";
}

// What a reader gives for `path`: the error's message and place, or "".
template <typename Read>
std::string ErrorOf(Read read) {
  try {
    read();
  } catch (const FormatError& error) {
    return error.what() + std::string(" @") + std::to_string(error.Offset());
  }
  return "";
}

// Every sample and hostile file: the same errors as ReadDataset, or its
// values rounded to float with the same label lists and version.
TEST(ReadFloatDataset, ReadsWhatReadDatasetReadsRoundedToFloat) {
  const std::string root = MBRK_SOURCE_DIR;
  int read = 0;
  for (const char* folder : {"samples", "tests/hostile"}) {
    for (const auto& entry : fs::directory_iterator(root + "/" + folder)) {
      if (entry.path().extension() != ".mbrk") continue;
      const std::string path = entry.path().string();
      SCOPED_TRACE(path);
      Dataset doubles;
      FloatDataset floats;
      const std::string error = ErrorOf([&] { doubles = ReadDataset(path); });
      ASSERT_EQ(ErrorOf([&] { floats = ReadFloatDataset(path); }), error);
      if (!error.empty()) continue;
      ++read;
      EXPECT_EQ(CompareRounded(floats.inputs, doubles.inputs), "");
      EXPECT_EQ(CompareRounded(floats.expected, doubles.expected), "");
      EXPECT_EQ(CompareRounded(floats.generated, doubles.generated), "");
      EXPECT_EQ(CompareRounded(floats.errors, doubles.errors), "");
      EXPECT_EQ(floats.expected_labels, doubles.expected_labels);
      EXPECT_EQ(floats.generated_labels, doubles.generated_labels);
      EXPECT_EQ(floats.format_version, doubles.format_version);
    }
  }
  EXPECT_GT(read, 5);
}

// Rounding to the nearest float at the edges of float's range.
TEST(ReadFloatDataset, RoundsToTheNearestFloat) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const struct {
    const char* text;
    float value;
  } cases[] = {
      {"0.1", 0.1f},
      {"16777217", 16777216.0f},         // halfway: to the even neighbour
      {"3.4028235e38", 3.40282347e38f},  // above the largest float, below halfway
      {"3.5e38", kInf},                  // beyond float's range
      {"-3.5e38", -kInf},
      {"1.4e-45", 1.40129846e-45f},  // the least subnormal
      {"1e-46", 0.0f},
  };
  test::TempDir dir;
  std::string text = "[DataSet][Rows=1][Inputs=7][Data]";
  for (const auto& c : cases) text += std::string(" ") + c.text;
  test::WriteFile(dir.File("edges.mbrk"), text + " [~Data][~DataSet]");
  const FloatDataset read = ReadFloatDataset(dir.File("edges.mbrk"));
  ASSERT_EQ(read.inputs.width, 7u);
  for (std::size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(read.inputs.values[i], cases[i].value) << cases[i].text;
  }
  EXPECT_EQ(read.expected.values, nullptr);
}

}  // namespace
}  // namespace mbrk
