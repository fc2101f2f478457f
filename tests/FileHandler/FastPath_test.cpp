// The fast roads of a conversion against the general ones they stand in for:
// numbers read in place from the stream buffer against ReadElement and
// ExpectNumber, the dataset reader as a whole against a reader built from the
// general operations only, and the flat writer's lines as they reach the file.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Base/internal/NumberText.h"
#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/Lexer.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

using test::kScale;

using Text = std::unique_ptr<char[]>;

std::uint64_t Bits(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// What reading `count` numbers of a data block named Data left behind.
struct Outcome {
  std::vector<std::uint64_t> values;  // the numbers read, bit for bit
  std::string error;                  // the message that stopped the reading, or ""
  bool block_released = false;        // the block's end tag was read
  std::ios::iostate state = std::ios::goodbit;
  std::string rest;  // what the stream still held
  int fast = 0;      // numbers the fast road took (not compared)

  bool operator==(const Outcome& o) const {
    return values == o.values && error == o.error && block_released == o.block_released &&
           state == o.state && rest == o.rest;
  }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  out << o.values.size() << " values, error \"" << o.error << "\", released " << o.block_released
      << ", state " << o.state << ", rest \"" << o.rest.substr(0, 40) << "\"";
  return out;
}

Outcome ReadNumbers(const std::string& text, int count, bool fast, int piece, unsigned seed) {
  test::PieceBuffer buffer(text, piece, seed);
  std::istream in(&buffer);
  FileTools tools;
  Text block(FileTools::DuplicateString("Data"));
  Outcome outcome;
  outcome.error = test::ReaderErrorOf(
      [&] {
        for (int k = 0; k < count; ++k) {
          double value = 0.0;
          if (fast && ReadNumberWord(in, &value)) {
            ++outcome.fast;
          } else {
            const TElement element = tools.ReadElement(block.get(), in, false);
            if (element.MbrLngKind == ekEnd) {
              static_cast<void>(block.release());  // taken by the reader
            }
            value = FileTools::ExpectNumber(element, in);
          }
          outcome.values.push_back(Bits(value));
        }
      },
      &in);
  outcome.block_released = block == nullptr;
  outcome.state = in.rdstate();
  outcome.rest = buffer.Rest();
  return outcome;
}

// ---- Generated data blocks -------------------------------------------------------------

class Generator {
 public:
  explicit Generator(unsigned seed) : random_(seed) {}

  int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }

  std::string Digits(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += static_cast<char>('0' + Pick(10));
    return s;
  }

  // A plain decimal of every shape the fast conversion handles or hands on:
  // runs of digits around the 4 and 8 digit steps, 19 and 20 significant
  // digits, leading zeros, exponents around 22.
  std::string Decimal() {
    static const char* const kSigns[] = {"", "", "-", "+"};
    std::string text = kSigns[Pick(4)];
    if (Pick(4) == 0) text += std::string(static_cast<std::size_t>(Pick(4)), '0');
    text += Digits(Pick(21));
    if (Pick(3) != 0) {
      text += ".";
      if (Pick(4) == 0) text += std::string(static_cast<std::size_t>(Pick(6)), '0');
      text += Digits(Pick(21));
    }
    if (Pick(3) == 0) {
      text += Pick(2) ? "e" : "E";
      text += kSigns[Pick(4)];
      text += std::to_string(Pick(4) == 0 ? Pick(400) : Pick(30));
    }
    return text;
  }

  // A decimal that is surely a number.
  std::string Number() {
    std::string text = Pick(2) ? "-" : "";
    text += Digits(1 + Pick(12));
    if (Pick(2)) text += "." + Digits(Pick(12));
    if (Pick(4) == 0) text += "e" + std::to_string(Pick(40) - 20);
    return text;
  }

  // Any token a data block might hold, hostile ones included.
  std::string Token() {
    // clang-format off
    static const char* const kHostile[] = {
        "1.5abc", "abc", "-", "+", ".", "1e", "1e+", "inf", "-INF", "nan", "0x1p3", "1,5", "--1",
        "9007199254740993", "9007199254740992", "18446744073709551616", "1e22", "1e23", "1e-22",
        "4.9e-324", "1e-400", "1e400", "0e99999", "-0", "00000000000000000000001",
        "/* comment */", "/* nested /* inner */ */", "/*/ odd */", "*/", "/", "/x",
        "[FormatVersion = 1.0]", "[formatversion=0.5]", "[FormatVersion = 2]",
        "[FormatVersion = x]", "[FormatVersion = 1", "[~Data]", "[~data ]", "[~Other]", "[~Data x",
        "[x]", "[x = 1]", "]", "=", "<", ">", "[", "[~", "*",
    };
    // clang-format on
    switch (Pick(10)) {
      case 0:
      case 1: return kHostile[Pick(static_cast<int>(std::size(kHostile)))];
      case 2:  // words around the length of the work buffer
        return Pick(2) ? Digits(1020 + Pick(20))
                       : std::string(static_cast<std::size_t>(1020 + Pick(20)), 'w');
      default: return Decimal();
    }
  }

  // Separators between tokens; sometimes none at all, so that a word runs
  // straight into a special character or into the next word.
  std::string Separator() {
    static const char* const kSeparators[] = {" ", "  ",   "\t",   "\n", "\r\n",
                                              ",", "\x7f", "\xe9", ""};
    std::string s = kSeparators[Pick(static_cast<int>(std::size(kSeparators)))];
    if (Pick(20) == 0) s += std::string(1, '\0');
    return s;
  }

  // A data block body of `tokens` tokens, mostly numbers.
  std::string Body(int tokens, int hostile_in) {
    std::string text;
    for (int i = 0; i < tokens; ++i) {
      text += Pick(hostile_in) == 0 ? Token() : Decimal();
      text += Separator();
      if (text.back() != ' ' && Pick(2) == 0) text += ' ';
    }
    return text;
  }

 private:
  std::mt19937 random_;
};

// ---- Numbers read in place -------------------------------------------------------------

// The in-place road must leave exactly what the element reader leaves: the
// same values bit for bit, the same error, the same block state, stream state
// and unread characters, however the stream buffer hands its text out.
TEST(FastPath, NumbersReadInPlaceMatchTheElementReader) {
  Generator generate(4242);
  int fast_numbers = 0;
  int errors = 0;
  for (int i = 0; i < 400 * kScale; ++i) {
    const int tokens = 1 + generate.Pick(12);
    std::string text = generate.Body(tokens, 1 + generate.Pick(4));
    if (generate.Pick(3) == 0) text += "[~Data]";
    for (int piece : {0, -1, 1, 7}) {
      const auto seed = static_cast<unsigned>(i);
      const Outcome general = ReadNumbers(text, tokens + 1, false, piece, seed);
      const Outcome fast = ReadNumbers(text, tokens + 1, true, piece, seed);
      ASSERT_EQ(general, fast) << "piece " << piece << ", text \"" << text << "\"";
      fast_numbers += fast.fast;
      if (!general.error.empty()) ++errors;
    }
  }
  // Both roads were taken, and the hostile inputs failed in many ways.
  EXPECT_GT(fast_numbers, 1000 * kScale);
  EXPECT_GT(errors, 100 * kScale);
}

TEST(FastPath, HandsEverythingButAWordBack) {
  const struct {
    const char* text;
    bool taken;
    double value;
    const char* rest;
  } cases[] = {
      {"  1.25 x", true, 1.25, "x"},   // the separator after the word is consumed
      {" ,\t7[x]", true, 7.0, "[x]"},  // a special character is left for the next token
      {"1e3/* c */", true, 1000.0, "/* c */"},
      {"  [~Data]", false, 0.0, "[~Data]"},  // only separators are consumed
      {" /* c */ 5", false, 0.0, "/* c */ 5"},
      {"   ", false, 0.0, ""},
      {"12", false, 0.0, "12"},  // the word may go on past what is buffered
  };
  for (const auto& c : cases) {
    std::stringbuf held(c.text);
    std::istream in(&held);
    double value = -1.0;
    EXPECT_EQ(c.taken, ReadNumberWord(in, &value)) << c.text;
    if (c.taken) {
      EXPECT_EQ(c.value, value) << c.text;
    }
    std::string rest;
    for (int ch = held.sbumpc(); ch != EOF; ch = held.sbumpc()) rest += static_cast<char>(ch);
    EXPECT_EQ(c.rest, rest) << c.text;
  }
  // A stream that is not good is left alone.
  std::stringbuf held("1 ");
  std::istream failed(&held);
  failed.setstate(std::ios::failbit);
  double value = 0.0;
  EXPECT_FALSE(ReadNumberWord(failed, &value));
  EXPECT_EQ('1', held.sgetc());
}

TEST(FastPath, AWordThatIsNoNumberFailsAsExpectNumberFails) {
  std::stringbuf held("abc def");
  std::istream in(&held);
  double value = 0.0;
  EXPECT_EQ("number-expected", test::ReaderErrorOf([&] { ReadNumberWord(in, &value); }, &in));
  EXPECT_EQ('d', held.sgetc());  // the word and its separator were consumed
}

// ---- The dataset reader as a whole -----------------------------------------------------

struct Loaded {
  std::string error;
  std::vector<std::uint64_t> values;  // every value of both tables, bit for bit
  std::vector<std::string> labels;

  bool operator==(const Loaded& o) const {
    return error == o.error && values == o.values && labels == o.labels;
  }
};

void Dump(const Data* table, Loaded* loaded) {
  if (table == nullptr) {
    loaded->labels.push_back("<no table>");
    return;
  }
  for (std::int32_t row = 0; row < table->MbrNdxDataRows; ++row) {
    for (std::int32_t j = 0; j < table->MbrLngInputs; ++j) {
      loaded->values.push_back(Bits(table->MbrDyaRtpInputs[row][j]));
    }
    for (std::int32_t j = 0; j < table->MbrLngOutputs; ++j) {
      loaded->values.push_back(Bits(table->MbrDyaRtpOutputs[row][j]));
    }
    if (table->MbrBlnLabels) {
      std::string text;
      const TLabelList& list = table->MbrDyaLabels[row];
      for (std::int32_t k = 0; k < list.MbrLngCount; ++k) {
        text += std::string(list.MbrDyaItems[k].MbrStrName) + "=" +
                std::to_string(list.MbrDyaItems[k].MbrDblValue) + ";";
      }
      loaded->labels.push_back(text);
    }
  }
}

Loaded ReadWithTheReader(const std::string& path) {
  Loaded loaded;
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  loaded.error = test::ReaderErrorOf(
      [&] { EXPECT_EQ(SUCCESS, ReadDatFile(tools, path.c_str(), first, second)); }, nullptr);
  const std::unique_ptr<Data> one(first), two(second);
  Dump(first, &loaded);
  Dump(second, &loaded);
  return loaded;
}

// The reading loop written with the element reader only, for files whose
// header is well formed (the header is read by the same code either way).
Loaded ReadWithElements(const std::string& path) {
  Loaded loaded;
  FileTools tools;
  std::ifstream in(path);
  std::unique_ptr<Data> first, second;
  loaded.error = test::ReaderErrorOf(
      [&] {
        Text dataset(
            FileTools::ExpectBlockStart(tools.ReadElement(nullptr, in, false), in, "DATASET"));
        std::int32_t inputs, expected, generated, errors, rows;
        TElement after{};
        ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after);
        Text data(FileTools::ExpectBlockStart(after, in, "DATA"));
        const bool labels1 = expected == -1, labels2 = generated == -1;
        expected = std::max(expected, 0);
        generated = std::max(generated, 0);
        if (inputs != 0 || expected != 0 || labels1) {
          first.reset(new Data(rows, inputs, expected, labels1));
        }
        if (generated != 0 || errors != 0 || labels2) {
          second.reset(new Data(rows, generated, errors, labels2));
        }
        auto read_in = [&](Text& block) {
          const TElement element = tools.ReadElement(block.get(), in, false);
          if (element.MbrLngKind == ekEnd) static_cast<void>(block.release());
          return element;
        };
        std::vector<double> a(static_cast<std::size_t>(inputs)),
            b(static_cast<std::size_t>(expected)), c(static_cast<std::size_t>(generated)),
            d(static_cast<std::size_t>(errors));
        for (std::int32_t row = 0; row < rows; ++row) {
          for (auto* v : {&a, &b, &c, &d}) {
            for (double& x : *v) x = FileTools::ExpectNumber(read_in(data), in);
          }
          if (first) {
            first->AppendRow(a.data(), b.data(), nullptr);
            if (labels1) {
              std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
              first->SetLabels(row, list.get());
            }
          }
          if (second) {
            second->AppendRow(c.data(), d.data(), nullptr);
            if (labels2) {
              std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
              second->SetLabels(row, list.get());
            }
          }
        }
        FileTools::ExpectBlockEnd(read_in(data), in);
        FileTools::ExpectBlockEnd(read_in(dataset), in);
        FileTools::ExpectBlockEnd(tools.ReadElement(nullptr, in, false), in);
      },
      &in);
  Dump(first.get(), &loaded);
  Dump(second.get(), &loaded);
  return loaded;
}

// Generated files, hostile data blocks among them, read by the dataset reader
// and by the element reader alone: the same tables, values and labels, or the
// same error.
TEST(FastPath, DatasetReaderMatchesTheElementReaderOnGeneratedFiles) {
  test::TempDir dir;
  const std::string path = dir.File("g.mbrk");
  Generator generate(777);
  int failed = 0;
  for (int i = 0; i < 30 * kScale; ++i) {
    const int inputs = generate.Pick(4);
    const int outputs = generate.Pick(3);
    const int generated = generate.Pick(5) == 0 ? -1 : generate.Pick(2);
    const bool labels = generate.Pick(4) == 0;
    const int rows = generate.Pick(40);
    std::string text = "[FormatVersion = 1.0]\n[DataSet]\n[Rows = " + std::to_string(rows) +
                       "]\n[Inputs = " + std::to_string(inputs) + "]\n[ExpectedOutputs = " +
                       (labels ? std::string("Labels") : std::to_string(outputs)) +
                       "]\n[GeneratedOutputs = " + std::to_string(generated) + "]\n[Data]\n";
    const int hostile = generate.Pick(3) == 0 ? 40 : 1000000;  // some files are plain
    for (int row = 0; row < rows; ++row) {
      const int width = inputs + (labels ? 0 : outputs) + std::max(generated, 0);
      text += generate.Body(width, hostile);
      if (labels) text += generate.Pick(2) ? " [a b=0.5 a] " : " /* c */ [] ";
      if (generated == -1) text += "[g=2]";
      text += "\n";
    }
    if (generate.Pick(8) != 0) text += "[~Data]\n[~DataSet]\n";
    test::WriteFile(path, text);
    const Loaded expected = ReadWithElements(path);
    const Loaded actual = ReadWithTheReader(path);
    ASSERT_EQ(expected.error, actual.error) << text;
    ASSERT_TRUE(expected == actual) << text;
    if (!expected.error.empty()) ++failed;
  }
  EXPECT_GT(failed, 3 * kScale);
}

// A file larger than the reader's buffer: words, comments and a format version
// element cut by the buffer's ends read as anywhere else.
TEST(FastPath, DatasetReaderReadsAcrossItsBufferEnds) {
  test::TempDir dir;
  const std::string path = dir.File("big.mbrk");
  Generator generate(31337);
  const int rows = 12000;
  std::string text =
      "[DataSet][Rows = " + std::to_string(rows) + "][Inputs = 3][ExpectedOutputs = 1][Data]\n";
  for (int row = 0; row < rows; ++row) {
    for (int j = 0; j < 4; ++j) {
      text += generate.Pick(200) == 0 ? "/* a comment between numbers */ " : "";
      text += generate.Pick(500) == 0 ? "[FormatVersion = 1.0] " : "";
      text += generate.Pick(300) == 0 ? generate.Digits(1500) : generate.Number();
      text += generate.Pick(2) ? " " : "\n";
    }
  }
  text += "[~Data][~DataSet]\n";
  ASSERT_GT(text.size(), 600000u);
  test::WriteFile(path, text);
  const Loaded expected = ReadWithElements(path);
  const Loaded actual = ReadWithTheReader(path);
  EXPECT_EQ("", actual.error);
  EXPECT_EQ(static_cast<std::size_t>(rows) * 4, actual.values.size());
  EXPECT_TRUE(expected == actual);
}

// ---- The flat writer -------------------------------------------------------------------

// A table that looks at the destination before every row it hands out: the
// file must already hold every line completed so far, and nothing more.
class WatchingTable : public Data {
 public:
  WatchingTable(std::string path, std::int32_t rows)
      : Data(rows, 2, 1, false), path_(std::move(path)) {}
  void GetNextRow(double* inputs, double* outputs, TLabelList** labels) override {
    std::string expected;
    for (int row = 0; row < calls_; ++row) expected += std::to_string(row) + " 0.5 -1 \n";
    EXPECT_EQ(expected, test::ReadFile(path_)) << "before row " << calls_;
    ++calls_;
    Data::GetNextRow(inputs, outputs, labels);
  }

 private:
  std::string path_;
  int calls_ = 0;
};

TEST(FastPathWrite, TheFileHoldsEveryCompletedLineAfterEachRow) {
  test::TempDir dir;
  const std::string path = dir.File("w.flat");
  WatchingTable table(path, 50);
  for (int row = 0; row < 50; ++row) {
    const double inputs[] = {static_cast<double>(row), 0.5};
    const double output = -1.0;
    table.AppendRow(inputs, &output, nullptr);
  }
  TFlatFiler::SaveData(path.c_str(), &table);
  std::string all;
  for (int row = 0; row < 50; ++row) all += std::to_string(row) + " 0.5 -1 \n";
  EXPECT_EQ(all, test::ReadFile(path));
}

// A selection may name more columns than the row is wide (a column twice);
// the writer's row buffers take them and the lines keep the full widths.
TEST(FastPathWrite, SelectionsWiderThanTheRowStayInTheirBuffers) {
  Data table(2, 2, 1, false);
  const double a[] = {1, 2}, b[] = {3, 4}, out1 = 5, out2 = 6;
  table.AppendRow(a, &out1, nullptr);
  table.AppendRow(b, &out2, nullptr);
  const std::int32_t inputs[] = {1, 0, 1, 1, 0};
  const std::int32_t outputs[] = {0, 0, 0};
  table.SetSelection(5, inputs, 3, outputs);
  std::ostringstream out;
  TFlatFiler::WriteData(out, &table);
  EXPECT_EQ("2 1 5 \n4 3 6 \n", out.str());
}

}  // namespace
}  // namespace mbrk
