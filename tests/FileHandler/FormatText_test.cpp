// The format's text as every writer writes it, and the cutting of a data
// block into chunks.
#include "FileHandler/internal/FormatText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FileHandler/internal/Chunks.h"

namespace mbrk {
namespace {

TEST(FormatText, HeaderAndTail) {
  EXPECT_EQ(
      "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = 3]\n[Inputs = 2]\n[ExpectedOutputs = Labels]\n"
      "[GeneratedOutputs = 0]\n[Error = 2147483647]\n\n[Data]\n",
      HeaderText({3, 2, -1, 0, 2147483647}));
  EXPECT_EQ("[~Data]\n\n[~DataSet]\n", TailText());
}

TEST(FormatText, RowsMoveLabelListsBehindTheValues) {
  const double third = 1.0 / 3;
  const double values[] = {third, -2, 1e300, 0.5};
  const RowValues row{values, values + 1, values + 2, values + 3};
  // widths inputs/expected/generated/errors, tables, label lists.
  const struct {
    RowTextLayout layout;
    ValueText format;
    const char* line;
  } cases[] = {
      {{1, 1, 0, 0, true, false, false, false}, ValueText::kGeneral15, "0.333333333333333   -2 \n"},
      {{1, 1, 0, 0, true, false, false, false}, ValueText::kFlat9, "0.333333333   -2 \n"},
      {{1, 0, 1, 1, true, true, true, false},
       ValueText::kGeneral15,
       "0.333333333333333     1e+300   0.5 [L1 ] \n"},
      {{1, 0, 0, 1, true, true, true, true},
       ValueText::kGeneral15,
       "0.333333333333333       0.5 [L1 ] [L2 ] \n"},
      {{0, 0, 0, 0, true, true, true, true}, ValueText::kGeneral15, "  [L1 ]   [L2 ]   \n"},
      {{0, 0, 1, 0, false, true, false, true}, ValueText::kGeneral15, "  [L2 ]   \n"},
      {{0, 0, 0, 0, false, false, false, false}, ValueText::kGeneral15, "\n"},
  };
  for (const auto& c : cases) {
    std::string line;
    AppendRowText(line, c.layout, row, c.format, [](std::string& text, bool second) {
      AppendListStart(text);
      text += second ? "L2 " : "L1 ";
      AppendListEnd(text);
    });
    EXPECT_EQ(c.line, line);
  }
}

TEST(FormatText, LabelsAndFlatValues) {
  std::string list;
  AppendListStart(list);
  AppendLabelText(list, "a", 1, 1.0);
  AppendLabelText(list, "bc", 2, -0.25);
  AppendListEnd(list);
  EXPECT_EQ("[a bc=-0.250000000 ] ", list);
  const double values[] = {1e-10, -1.0 / 0.0, 123456789012.0};
  char text[3 * (kMaxValueText + 1)];
  const char* end = WriteValuesText(text, values, 3, ValueText::kFlat9);
  const char* begin = text;
  EXPECT_EQ("1e-10 -INF 1.23456789e+11 ", std::string(begin, end));
  std::string general;
  AppendValuesText(general, values, 3, ValueText::kGeneral15);
  EXPECT_EQ("1e-10 -inf 123456789012 ", general);
}

TEST(Chunks, CutAtSeparatorsPastTheWordsTheyWouldCut) {
  const struct {
    const char* piece;
    std::size_t chunk_bytes;
    std::size_t complete;
    std::vector<std::size_t> ends;
  } cases[] = {
      {"12 345 6 ", 4, 9, {7, 9}}, {"1 2 3 4 ", 2, 8, {2, 4, 6, 8}},
      {"123456 78", 1, 7, {7}},    {"12345678", 3, 0, {}},
      {"1 2 ", 100, 4, {4}},
  };
  for (const auto& c : cases) {
    const std::string piece = c.piece;
    const std::size_t length = CompleteLength(piece.data(), piece.size());
    EXPECT_EQ(c.complete, length) << c.piece;
    std::vector<ByteRange> chunks(1);  // storage is reused, not trusted
    const std::size_t count = CutChunks(piece.data(), length, c.chunk_bytes, chunks);
    ASSERT_EQ(c.ends.size(), count) << c.piece;
    std::size_t begin = 0;
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(begin, chunks[i].begin) << c.piece << " " << i;
      EXPECT_EQ(c.ends[i], chunks[i].end) << c.piece << " " << i;
      begin = chunks[i].end;
    }
  }
}

}  // namespace
}  // namespace mbrk
