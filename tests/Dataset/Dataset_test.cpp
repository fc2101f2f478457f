#include "Dataset/Dataset.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

namespace fs = std::filesystem;

// Every file the table readers are tested on: the samples, the hostile files
// and the fuzz corpora of the whole-file readers.
std::vector<std::string> AllInputFiles() {
  std::vector<std::string> files;
  const std::string root = MBRK_SOURCE_DIR;
  for (const char* folder : {"samples", "tests/hostile", "fuzz/corpus/convert",
                             "fuzz/corpus/writer", "fuzz/regressions/convert"}) {
    for (const auto& entry : fs::directory_iterator(root + "/" + folder)) {
      if (entry.is_regular_file() && entry.path().extension() != ".expect" &&
          entry.path().extension() != ".flat") {
        files.push_back(entry.path().string());
      }
    }
  }
  return files;
}

std::string Sample(const std::string& name) {
  return std::string(MBRK_SOURCE_DIR) + "/samples/" + name;
}

bool SameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// "" when `table` (or its absence) holds what `inputs` / `outputs` and
// `labels` hold, else the first difference.
std::string CompareTable(const Data* table, const Matrix& inputs, const Matrix& outputs,
                         const std::optional<std::vector<Labels>>& labels) {
  if (table == nullptr) {
    if (inputs.Width() != 0 || outputs.Width() != 0 || labels) return "no table, yet values";
    return "";
  }
  if (static_cast<std::size_t>(table->MbrNdxDataRows) != inputs.Rows()) return "row count";
  if (static_cast<std::size_t>(table->MbrLngInputs) != inputs.Width()) return "input width";
  if (static_cast<std::size_t>(table->MbrLngOutputs) != outputs.Width()) return "output width";
  if (table->MbrBlnLabels != labels.has_value()) return "label flag";
  for (std::size_t row = 0; row < inputs.Rows(); ++row) {
    for (std::size_t k = 0; k < inputs.Width(); ++k) {
      if (!SameDouble(table->MbrDyaRtpInputs[row][k], inputs(row, k))) return "input value";
    }
    for (std::size_t k = 0; k < outputs.Width(); ++k) {
      if (!SameDouble(table->MbrDyaRtpOutputs[row][k], outputs(row, k))) return "output value";
    }
    if (!labels) continue;
    const TLabelList& list = table->MbrDyaLabels[row];
    const Labels& mine = (*labels)[row];
    if (static_cast<std::size_t>(list.MbrLngCount) != mine.size()) return "label count";
    for (std::size_t i = 0; i < mine.size(); ++i) {
      if (mine[i].name != list.MbrDyaItems[i].MbrStrName ||
          !SameDouble(mine[i].value, list.MbrDyaItems[i].MbrDblValue)) {
        return "label";
      }
    }
  }
  return "";
}

// The outcome of ReadDatFile on `path`: its error message or, read with
// ReadDataset, the first difference ("" when all agree).
std::string Differences(const std::string& path) {
  FileTools tools;
  Data* first = nullptr;
  Data* second = nullptr;
  const std::string expected_error =
      test::ReaderErrorOf([&] { ReadDatFile(tools, path.c_str(), first, second); });
  const std::unique_ptr<Data> table1(first), table2(second);
  try {
    const Dataset dataset = ReadDataset(path);
    if (!expected_error.empty()) return "read, but the table reader says " + expected_error;
    std::string diff =
        CompareTable(table1.get(), dataset.inputs, dataset.expected, dataset.expected_labels);
    if (diff.empty()) {
      diff =
          CompareTable(table2.get(), dataset.generated, dataset.errors, dataset.generated_labels);
    }
    return diff;
  } catch (const FormatError& error) {
    if (error.Message() != expected_error) {
      return "'" + error.Message() + "' where the table reader says '" + expected_error + "'";
    }
    return "";
  }
}

TEST(ReadDataset, AgreesWithTheTableReaderOnEveryKnownFile) {
  const std::vector<std::string> files = AllInputFiles();
  ASSERT_GT(files.size(), 500U);
  for (const std::string& path : files) EXPECT_EQ("", Differences(path)) << path;
}

TEST(ReadDataset, SamplesHoldTheirValuesLabelsAndVersion) {
  const Dataset iris = ReadDataset(Sample("iris-labels.mbrk"));
  EXPECT_EQ(6U, iris.Rows());
  EXPECT_EQ(4U, iris.inputs.Width());
  EXPECT_EQ(0U, iris.expected.Width());
  EXPECT_EQ(5.1, iris.inputs(0, 0));
  ASSERT_TRUE(iris.expected_labels.has_value());
  EXPECT_FALSE(iris.generated_labels.has_value());
  EXPECT_EQ((Labels{{"virginica", 0.75}, {"versicolor", 0.25}}), (*iris.expected_labels)[5]);
  EXPECT_EQ(std::optional<double>(1.0), iris.format_version);

  const Dataset crlf = ReadDataset(Sample("compact-crlf.mbrk"));
  EXPECT_EQ(std::nullopt, crlf.format_version);
  EXPECT_EQ((std::vector<double>{1, 2, 3, 4, 5, 6, -1, -2, -3, 0.5, 0.25, 0.125}),
            crlf.inputs.Values());
}

TEST(ReadDataset, ReadsAStreamAsItReadsAFile) {
  for (const char* name : {"sensors.mbrk", "iris-labels.mbrk", "model-run.mbrk"}) {
    std::istringstream in(test::ReadFile(Sample(name)));
    EXPECT_EQ(ReadDataset(Sample(name)), ReadDataset(in)) << name;
  }
}

// A stream buffer that hands out its characters one by one and knows no
// positions, like a pipe.
class PipeBuffer : public std::streambuf {
 public:
  explicit PipeBuffer(std::string text) : text_(std::move(text)) {}

 protected:
  int_type underflow() override {
    if (at_ == text_.size()) return traits_type::eof();
    setg(&text_[at_], &text_[at_], &text_[at_] + 1);
    ++at_;
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string text_;
  std::size_t at_ = 0;
};

TEST(ReadDataset, ReadsAStreamWithoutPositions) {
  PipeBuffer good(test::ReadFile(Sample("model-run.mbrk")));
  std::istream in(&good);
  EXPECT_EQ(ReadDataset(Sample("model-run.mbrk")), ReadDataset(in));

  PipeBuffer bad("[DataSet] [Rows = x]");
  std::istream broken(&bad);
  try {
    ReadDataset(broken);
    FAIL() << "no error";
  } catch (const FormatError& error) {
    EXPECT_EQ("integer-expected", error.Message());
    EXPECT_EQ(0, error.Line());
    EXPECT_EQ(-1, error.Offset());
  }
}

// What a call on a named pipe gives against the same call on the file:
// equal datasets and shapes, the same messages, windows refused.
TEST(ReadDataset, ReadsANamedPipeAsItsFile) {
  test::TempDir dir;
  const std::string hostile =
      std::string(MBRK_SOURCE_DIR) + "/tests/hostile/pipe-absurd-rows-of-label-lists.mbrk";
  auto message_of = [](const std::function<void()>& action) -> std::string {
    try {
      action();
    } catch (const FormatError& error) {
      return error.Message();
    }
    return "";
  };
  for (const std::string& path : {Sample("iris-labels.mbrk"), Sample("model-run.mbrk"), hostile}) {
    SCOPED_TRACE(path);
    const std::string bytes = test::ReadFile(path);
    const std::string fifo = dir.File("fifo");
    Dataset file, piped;
    const std::string by_name = message_of([&] { file = ReadDataset(path); });
    {
      const test::FifoSource pipe(fifo, bytes);
      EXPECT_EQ(by_name, message_of([&] { piped = ReadDataset(fifo); }));
    }
    EXPECT_EQ(file, piped);
    fs::remove(fifo);
    {
      const test::FifoSource pipe(fifo, bytes);
      const DatasetShape file = ProbeDataset(path), piped = ProbeDataset(fifo);
      EXPECT_EQ(file.rows, piped.rows);
      EXPECT_EQ(file.expected_labels, piped.expected_labels);
      EXPECT_EQ(file.format_version, piped.format_version);
    }
    fs::remove(fifo);
    {
      const test::FifoSource pipe(fifo, bytes);
      EXPECT_EQ("Unable to seek in file", message_of([&] { ReadWindow(fifo, 0, 1); }));
    }
    fs::remove(fifo);
  }
  PipeBuffer absurd(test::ReadFile(hostile));
  std::istream in(&absurd);
  EXPECT_EQ("Unexpected end of file", message_of([&] { ReadDataset(in); }));
}

struct PositionCase {
  const char* text;
  const char* message;
  std::int64_t line, column, offset;
};

TEST(FormatError, SaysWhereReadingStopped) {
  const std::string head = "[DataSet]\n[Rows = 2]\n[Inputs = 2]\n[Data]\n";  // 41 bytes, 4 lines
  const PositionCase cases[] = {
      {"[DataSet]\n[Rows = many]\n", "integer-expected", 2, 14, 23},
      {"/* a\r\n b */\r\n[DataSet]\r\n[Rows = -2]\r\n", "No labels in inputs", 4, 12, 35},
      {"\r\r[Model]", "[DATASET] expected", 3, 8, 9},
      {"", "[DATASET] expected", 1, 1, 0},
  };
  const std::string rows_cases[][2] = {
      {"1 2\n3 x4\n[~Data][~DataSet]\n", "number-expected"},
      {"1 2\n3\n[~Data][~DataSet]\n", "Token (number) expected"},
      {"1 2\n3 4 5\n[~Data][~DataSet]\n", "End Tag expected"},
      {"1 2\n3 4\n   \n", "Unexpected end of file"},
  };
  const PositionCase row_positions[] = {{nullptr, nullptr, 6, 5, 49},
                                        {nullptr, nullptr, 7, 8, 54},
                                        {nullptr, nullptr, 6, 6, 50},
                                        {nullptr, nullptr, 6, 4, 48}};
  test::TempDir dir;
  const std::string path = dir.File("broken.mbrk");
  auto check = [&](const std::string& text, const std::string& message, std::int64_t line,
                   std::int64_t column, std::int64_t offset) {
    test::WriteFile(path, text);
    std::istringstream in("12345" + text);
    in.seekg(5);
    for (int from_stream = 0; from_stream < 2; ++from_stream) {
      try {
        if (from_stream != 0) {
          ReadDataset(in);
        } else {
          ReadDataset(path);
        }
        ADD_FAILURE() << "no error for " << text;
      } catch (const FormatError& error) {
        const std::string where = from_stream != 0 ? "<stream>" : path;
        EXPECT_EQ(message, error.Message()) << text;
        EXPECT_EQ(line, error.Line()) << text;
        EXPECT_EQ(column, error.Column()) << text;
        EXPECT_EQ(offset, error.Offset()) << text;
        EXPECT_EQ(
            where + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message,
            error.what());
      }
    }
  };
  for (const PositionCase& c : cases) check(c.text, c.message, c.line, c.column, c.offset);
  for (std::size_t i = 0; i < 4; ++i) {
    const PositionCase& at = row_positions[i];
    check(head + rows_cases[i][0], rows_cases[i][1], at.line, at.column, at.offset);
  }
}

TEST(FormatError, CopiesShareTheirDetails) {
  const FormatError error("End Tag expected", "a.mbrk", 3, 4, 20);
  const FormatError copy = error;
  EXPECT_STREQ(error.what(), copy.what());
  EXPECT_EQ("a.mbrk", copy.Path());
  EXPECT_EQ(20, copy.Offset());
}

// Every file operation refuses a missing file and a folder with the
// system's own codes.
TEST(DatasetFiles, FailuresCarryTheSystemsCode) {
  test::TempDir dir;
  const std::string missing = dir.File("missing/nothing.mbrk");
  const Dataset dataset = ReadDataset(Sample("sensors.mbrk"));
  const std::vector<std::function<void(const std::string&)>> operations = {
      [](const std::string& p) { ReadDataset(p); },
      [](const std::string& p) { ReadWindow(p, 0, 1); },
      [](const std::string& p) { ProbeDataset(p); },
      [](const std::string& p) { ReadFlat(p, 1, 1, 1); },
      [&](const std::string& p) { WriteDataset(p, dataset); },
      [&](const std::string& p) { WriteFlat(p, dataset); },
  };
  for (std::size_t i = 0; i < operations.size(); ++i) {
    const std::pair<std::string, int> cases[] = {{missing, ENOENT}, {dir.path(), EISDIR}};
    for (const auto& [path, code] : cases) {
      try {
        operations[i](path);
        ADD_FAILURE() << "operation " << i << " on " << path;
      } catch (const std::system_error& error) {
        EXPECT_EQ(code, error.code().value()) << "operation " << i << " on " << path;
        EXPECT_EQ(std::generic_category(), error.code().category());
      }
    }
  }
}

// Dataset files of every layout the writer knows, label lists moved to the
// end of the line included.
const char* const kLayouts[] = {
    "[DataSet][Rows=2][Inputs=2][ExpectedOutputs=1][Data] 0.1 1e20 -0  3 4 5 [~Data][~DataSet]",
    "[DataSet][Rows=2][Inputs=1][ExpectedOutputs=Labels][GeneratedOutputs=1][Error=1][Data]"
    " 1 2 3 [a b=1.5] 4 5 6 [] [~Data][~DataSet]",
    "[DataSet][Rows=1][GeneratedOutputs=Labels][Error=2][Data] 1 2 [x=1 y=-2e9][~Data][~DataSet]",
    "[DataSet][Rows=1][ExpectedOutputs=Labels][GeneratedOutputs=Labels][Data] [a] [b=0.5]"
    "[~Data][~DataSet]",
    "[DataSet][Rows=1][Inputs=3][Data] inf -nan 1.7976931348623157e308 [~Data][~DataSet]",
    "[DataSet][Rows=0][Inputs=3][Error=2][Data][~Data][~DataSet]",
};

TEST(WriteDataset, EveryLayoutReadsBackAsWritten) {
  test::TempDir dir;
  for (const char* layout : kLayouts) {
    test::WriteFile(dir.File("source.mbrk"), layout);
    const Dataset read = ReadDataset(dir.File("source.mbrk"));
    WriteDataset(dir.File("once.mbrk"), read);
    const Dataset again = ReadDataset(dir.File("once.mbrk"));
    WriteDataset(dir.File("twice.mbrk"), again);
    EXPECT_EQ(test::ReadFile(dir.File("once.mbrk")), test::ReadFile(dir.File("twice.mbrk")))
        << layout;
    EXPECT_EQ(read.Rows(), again.Rows()) << layout;
    EXPECT_EQ(read.expected_labels, again.expected_labels) << layout;
    EXPECT_EQ(read.generated_labels, again.generated_labels) << layout;
  }
}

TEST(WriteDataset, ADatasetOfNothingKeepsItsRows) {
  test::TempDir dir;
  Dataset empty;
  for (Matrix* m : {&empty.inputs, &empty.expected, &empty.generated, &empty.errors}) {
    *m = Matrix(2, 0);
  }
  WriteDataset(dir.File("empty.mbrk"), empty);
  EXPECT_EQ(
      "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = 2]\n[Inputs = 0]\n[ExpectedOutputs = 0]\n"
      "[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n\n\n[~Data]\n\n[~DataSet]\n",
      test::ReadFile(dir.File("empty.mbrk")));
  EXPECT_EQ(2U, ReadDataset(dir.File("empty.mbrk")).Rows());
}

TEST(WriteDataset, RefusesDatasetsTheFormatCannotHold) {
  test::TempDir dir;
  const Dataset iris = ReadDataset(Sample("iris-labels.mbrk"));
  std::vector<std::function<void(Dataset&)>> breakers = {
      [](Dataset& d) { d.errors = Matrix(1, 1); },
      [](Dataset& d) { d.expected_labels->pop_back(); },
      [](Dataset& d) { d.expected = Matrix(6, 1); },
      [](Dataset& d) { (*d.expected_labels)[0][0].name = "two words"; },
      [](Dataset& d) { (*d.expected_labels)[0][0].name = "a=b"; },
      [](Dataset& d) { (*d.expected_labels)[0][0].name = ""; },
  };
  for (std::size_t i = 0; i < breakers.size(); ++i) {
    Dataset broken = iris;
    breakers[i](broken);
    EXPECT_THROW(WriteDataset(dir.File("broken.mbrk"), broken), std::invalid_argument) << i;
    EXPECT_FALSE(test::FileExists(dir.File("broken.mbrk"))) << i;
  }
}

TEST(WriteFlat, RefusesMatricesOfDifferentRowCounts) {
  test::TempDir dir;
  Dataset mismatched;
  mismatched.inputs = Matrix(2, 1);
  EXPECT_THROW(WriteFlat(dir.File("x.flat"), mismatched), std::invalid_argument);
}

TEST(ReadFlat, ReadsWhatTheFlatReaderReadsAndNothingElse) {
  test::TempDir dir;
  test::WriteFile(dir.File("a.flat"), "1 2 3\n4 5e-3 +6\n+INF -NAN 0.5\n");
  Data* read = nullptr;
  TFlatFiler::LoadData(dir.File("a.flat").c_str(), read, 2, 2, 1);
  const std::unique_ptr<Data> table(read);
  const Dataset dataset = ReadFlat(dir.File("a.flat"), std::nullopt, 2, 1);
  EXPECT_EQ(3U, dataset.Rows());
  const Dataset two = ReadFlat(dir.File("a.flat"), 3, 1, 2);
  EXPECT_EQ(dataset.inputs(2, 0), two.inputs(2, 0));
  Dataset first_two = dataset;
  first_two.inputs = Matrix(2, 2, {1, 2, 4, 5e-3});
  first_two.expected = Matrix(2, 1, {3, 6});
  EXPECT_EQ("", CompareTable(table.get(), first_two.inputs, first_two.expected, std::nullopt));
  EXPECT_EQ(0U, dataset.generated.Width());
  EXPECT_EQ(3U, dataset.errors.Rows());
  EXPECT_THROW(ReadFlat(dir.File("a.flat"), -1, 1, 1), std::invalid_argument);
  try {
    ReadFlat(dir.File("a.flat"), 2, 2, 1);
    ADD_FAILURE() << "read";
  } catch (const FormatError& error) {
    EXPECT_EQ(dir.File("a.flat") + ":3:5: End of file expected", std::string(error.what()));
  }
}

// Values whose fifteen digits do not read back get the digits that do; the
// rest of the bytes stay SaveDatFile's (all of them for the samples, whose
// values fifteen digits hold).
TEST(WriteDataset, WritesMoreDigitsOnlyWhereFifteenDoNotReadBack) {
  test::TempDir dir;
  const std::pair<std::string, std::string> longer[] = {
      {"2.2250738585072e-308", "2.2250738585072014e-308"},
      {"123456789.123457", "123456789.12345679"}};
  for (const char* name : {"sensors.mbrk", "iris-labels.mbrk", "model-run.mbrk", "extremes.mbrk"}) {
    FileTools tools;
    Data* first = nullptr;
    Data* second = nullptr;
    ReadDatFile(tools, Sample(name).c_str(), first, second);
    const std::unique_ptr<Data> table1(first), table2(second);
    ASSERT_EQ(SUCCESS, SaveDatFile(tools, dir.File("tables.mbrk").c_str(), first, second));
    WriteDataset(dir.File("dataset.mbrk"), ReadDataset(Sample(name)));
    std::string fifteen = test::ReadFile(dir.File("tables.mbrk"));
    if (std::string(name) == "extremes.mbrk") {
      for (const auto& [from, to] : longer) {
        ASSERT_NE(std::string::npos, fifteen.find(from));
        fifteen.replace(fifteen.find(from), from.size(), to);
      }
    }
    EXPECT_EQ(fifteen, test::ReadFile(dir.File("dataset.mbrk"))) << name;
  }
}

TEST(ReadWindow, ChainedWindowsReadTheWholeFile) {
  for (const char* name : {"sensors.mbrk", "iris-labels.mbrk", "model-run.mbrk"}) {
    const std::string path = Sample(name);
    const Dataset whole = ReadDataset(path);
    const Window first = ReadWindow(path, 0, 4);
    const Window second =
        ReadWindow(path, first.next_offset, static_cast<std::int32_t>(whole.Rows() - 4));
    Dataset joined = first.rows;
    Matrix* parts[] = {&joined.inputs, &joined.expected, &joined.generated, &joined.errors};
    const Matrix* tails[] = {&second.rows.inputs, &second.rows.expected, &second.rows.generated,
                             &second.rows.errors};
    for (int k = 0; k < 4; ++k) {
      std::vector<double> values = parts[k]->Values();
      const std::vector<double> tail = tails[k]->Values();
      values.insert(values.end(), tail.begin(), tail.end());
      *parts[k] = Matrix(whole.Rows(), parts[k]->Width(), values);
    }
    if (joined.expected_labels) {
      joined.expected_labels->insert(joined.expected_labels->end(),
                                     second.rows.expected_labels->begin(),
                                     second.rows.expected_labels->end());
    }
    EXPECT_EQ(whole, joined) << name;

    // The offsets are those of the table window loader.
    FileTools tools;
    std::int64_t offset = 0;
    Data* table = nullptr;
    LoadDatFileWindow(tools, path.c_str(), offset, 4, table);
    delete table;
    EXPECT_EQ(offset, first.next_offset) << name;
  }
}

TEST(ReadWindow, RefusesWindowsBeyondTheRows) {
  const std::string labels_only =
      "[DataSet][Rows=1][ExpectedOutputs=Labels][Data] [a] [~Data][~DataSet]";
  test::TempDir dir;
  test::WriteFile(dir.File("labels.mbrk"), labels_only);
  test::WriteFile(dir.File("version.mbrk"),
                  "[DataSet][Rows=1][ExpectedOutputs=Labels][Data] [a] [FormatVersion = 1.0] "
                  "[~Data][~DataSet]");
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[] { ReadWindow(Sample("sensors.mbrk"), 0, 13); }, "Token (number) expected"},
      {[&] { ReadWindow(dir.File("labels.mbrk"), 0, 2); }, "Unexpected End Tag"},
      {[&] { ReadWindow(dir.File("version.mbrk"), 0, 2); }, "Unexpected End Tag"},
      {[] { ReadWindow(Sample("sensors.mbrk"), 1 << 20, 1); }, "Unexpected end of file"},
  };
  for (const auto& [action, message] : cases) {
    try {
      action();
      ADD_FAILURE() << message;
    } catch (const FormatError& error) {
      EXPECT_EQ(message, error.Message());
    }
  }
  EXPECT_THROW(ReadWindow(Sample("sensors.mbrk"), -1, 1), std::invalid_argument);
  EXPECT_THROW(ReadWindow(Sample("sensors.mbrk"), 0, -1), std::invalid_argument);
}

TEST(ProbeDataset, GivesTheHeadersShape) {
  const DatasetShape iris = ProbeDataset(Sample("iris-labels.mbrk"));
  EXPECT_EQ(6, iris.rows);
  EXPECT_EQ(4, iris.inputs);
  EXPECT_EQ(0, iris.expected);
  EXPECT_TRUE(iris.expected_labels);
  EXPECT_FALSE(iris.generated_labels);
  EXPECT_EQ(std::optional<double>(1.0), iris.format_version);
  const DatasetShape run = ProbeDataset(Sample("model-run.mbrk"));
  EXPECT_EQ(5, run.rows);
  EXPECT_EQ(1, run.generated);
  EXPECT_EQ(1, run.errors);
}

TEST(Matrix, IsAValue) {
  Matrix m(2, 3);
  m(1, 2) = 5.0;
  Matrix copy = m;
  copy(0, 0) = 1.0;
  EXPECT_EQ(0.0, m(0, 0));
  const Matrix moved = std::move(copy);
  EXPECT_EQ(1.0, moved.Row(0)[0]);
  Matrix taker = m;
  const ValueBlock block = taker.TakeValues();
  EXPECT_EQ(5.0, block[5]);
  EXPECT_EQ(0U, taker.Rows());
  EXPECT_EQ(nullptr, taker.Data());
  const std::vector<double> values = m.Values();
  EXPECT_EQ(Matrix(2, 3, values), m);
  EXPECT_THROW(Matrix(2, 2, values), std::invalid_argument);
  EXPECT_THROW(Matrix(std::numeric_limits<std::size_t>::max() / 2, 4), std::bad_alloc);
  EXPECT_EQ(7U, Matrix(7, 0).Rows());
}

}  // namespace
}  // namespace mbrk
