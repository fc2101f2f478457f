// The writers of the value-type interface: a dataset file with the bytes
// SaveDatFile writes, and a flat file with the bytes the converter writes,
// each built in memory block by block and handed to the system in blocks.
#include <cstdint>
#include <cstring>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "Base/internal/NumberText.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk {

namespace {

constexpr auto kMaxCount = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

[[noreturn]] void Refuse(const std::string& what) {
  throw std::invalid_argument("WriteDataset: " + what);
}

void CheckLists(const std::optional<std::vector<Labels>>& lists, const Matrix& replaced,
                std::size_t rows, const char* name) {
  if (!lists) return;
  if (lists->size() != rows) Refuse(std::string(name) + " has another row count");
  if (replaced.Width() != 0) Refuse(std::string(name) + " stand for a vector that has values");
  for (const Labels& list : *lists) {
    for (const Label& label : list) {
      if (!IsWord(label.name.data(), label.name.size()))
        Refuse("the label name '" + label.name + "' is not a word");
    }
  }
}

void CheckDataset(const Dataset& dataset) {
  const std::size_t rows = dataset.Rows();
  if (rows > kMaxCount) Refuse("more rows than the format counts");
  const Matrix* matrices[] = {&dataset.inputs, &dataset.expected, &dataset.generated,
                              &dataset.errors};
  for (const Matrix* matrix : matrices) {
    if (matrix->Rows() != rows) Refuse("the matrices have different row counts");
    if (matrix->Width() > kMaxCount) Refuse("a vector wider than the format counts");
  }
  CheckLists(dataset.expected_labels, dataset.expected, rows, "expected_labels");
  CheckLists(dataset.generated_labels, dataset.generated, rows, "generated_labels");
}

// A stream for the element writer that passes a failed allocation on: a
// stream on its own would swallow it and leave the text cut short.
struct TextStream : std::ostringstream {
  TextStream() { exceptions(std::ios::badbit); }
};

// The header and the tail, from the element writer itself.
std::string HeaderText(std::int32_t rows, std::int32_t inputs, std::int32_t expected,
                       std::int32_t generated, std::int32_t errors) {
  TextStream out;
  FileTools::WriteFormatVersion(out);
  FileTools::WriteStartTag(out, "DataSet", true);
  FileTools::WriteIntegerField(out, "Rows", rows, true);
  FileTools::WriteIntegerField(out, "Inputs", inputs, true);
  const char* const names[] = {"ExpectedOutputs", "GeneratedOutputs"};
  const std::int32_t widths[] = {expected, generated};
  for (int k = 0; k < 2; ++k) {
    if (widths[k] == -1) {
      FileTools::WriteStringField(out, names[k], "Labels", true);
    } else {
      FileTools::WriteIntegerField(out, names[k], widths[k], true);
    }
  }
  FileTools::WriteIntegerField(out, "Error", errors, true);
  FileTools::WriteEndOfLine(out);
  FileTools::WriteStartTag(out, "Data", true);
  return out.str();
}

std::string TailText() {
  TextStream out;
  FileTools::WriteEndTag(out, "Data");
  FileTools::WriteEndOfLine(out);
  FileTools::WriteEndTag(out, "DataSet");
  return out.str();
}

// Each value as "%.15g" writes it, and one blank.
void AppendValues(std::string& line, const Matrix& matrix, std::size_t row) {
  const double* values = matrix.Row(row);
  for (std::size_t k = 0; k < matrix.Width(); ++k) {
    AppendGeneral15(line, values[k]);
    line.push_back(' ');
  }
}

// "[", each label as "name " (value exactly 1.0) or "name=value " with the
// value as "%.9f" writes it, "] ".
void AppendList(std::string& line, const Labels& list) {
  line.push_back('[');
  for (const Label& label : list) {
    line += label.name;
    if (label.value != 1.0) {
      line.push_back('=');
      line += FixedText(label.value, 9);
    }
    line.push_back(' ');
  }
  line += "] ";
}

Codec CodecFor(const std::optional<Compression>& compression, const std::string& path) {
  if (!compression) return CodecOfName(path);
  switch (*compression) {
    case Compression::kGzip: return Codec::kGzip;
    case Compression::kXz: return Codec::kXz;
    case Compression::kZstd: return Codec::kZstd;
    case Compression::kNone: break;
  }
  return Codec::kPlain;
}

const char* const kStreamName = "<stream>";

void WriteRows(files::BlockWriter& out, const Dataset& dataset);
void WriteFlatRows(files::BlockWriter& out, const Dataset& dataset);

void CheckFlat(const Dataset& dataset) {
  if (dataset.inputs.Rows() != dataset.expected.Rows()) {
    throw std::invalid_argument("WriteFlat: inputs and expected outputs have different row counts");
  }
}

}  // namespace

void WriteDataset(const std::string& path, const Dataset& dataset, const WriteOptions& options) {
  CheckDataset(dataset);
  files::BlockWriter out(path, CodecFor(options.compression, path));
  WriteRows(out, dataset);
}

void WriteDataset(std::ostream& out, const Dataset& dataset, const WriteOptions& options) {
  CheckDataset(dataset);
  const std::string name = kStreamName;
  files::BlockWriter writer(
      out.rdbuf(), name, options.compression ? CodecFor(options.compression, name) : Codec::kPlain);
  WriteRows(writer, dataset);
}

void WriteFlat(const std::string& path, const Dataset& dataset) {
  CheckFlat(dataset);
  files::BlockWriter out(path);
  WriteFlatRows(out, dataset);
}

void WriteFlat(std::ostream& out, const Dataset& dataset) {
  CheckFlat(dataset);
  files::BlockWriter writer(out.rdbuf(), kStreamName);
  WriteFlatRows(writer, dataset);
}

namespace {

void WriteRows(files::BlockWriter& out, const Dataset& dataset) {
  const std::size_t rows = dataset.Rows();
  const Matrix& inputs = dataset.inputs;
  const Matrix& expected = dataset.expected;
  const Matrix& generated = dataset.generated;
  const Matrix& errors = dataset.errors;
  const bool labels1 = dataset.expected_labels.has_value();
  const bool labels2 = dataset.generated_labels.has_value();
  const bool table1 = inputs.Width() > 0 || expected.Width() > 0 || labels1;
  const bool table2 = generated.Width() > 0 || errors.Width() > 0 || labels2;
  // The reader takes every row's values before its label lists: a list that
  // values would follow moves to the end of the line.
  const bool defer1 = labels1 && table2 && (generated.Width() > 0 || errors.Width() > 0);
  const bool defer2 = labels2 && errors.Width() > 0;

  out.Append(HeaderText(static_cast<std::int32_t>(rows), static_cast<std::int32_t>(inputs.Width()),
                        labels1 ? -1 : static_cast<std::int32_t>(expected.Width()),
                        labels2 ? -1 : static_cast<std::int32_t>(generated.Width()),
                        static_cast<std::int32_t>(errors.Width())));
  std::string line;
  for (std::size_t row = 0; row < rows; ++row) {
    line.clear();
    if (table1) {
      AppendValues(line, inputs, row);
      line += "  ";
      if (!labels1) {
        AppendValues(line, expected, row);
      } else if (!defer1) {
        AppendList(line, (*dataset.expected_labels)[row]);
      }
    }
    if (table2) {
      line += "  ";
      if (!labels2) {
        AppendValues(line, generated, row);
      } else if (!defer2) {
        AppendList(line, (*dataset.generated_labels)[row]);
      }
      line += "  ";
      AppendValues(line, errors, row);
    }
    if (defer1) AppendList(line, (*dataset.expected_labels)[row]);
    if (defer2) AppendList(line, (*dataset.generated_labels)[row]);
    line.push_back('\n');
    out.Append(line);
  }
  out.Append(TailText());
  out.Close();
}

void WriteFlatRows(files::BlockWriter& out, const Dataset& dataset) {
  const Matrix& inputs = dataset.inputs;
  const Matrix& outputs = dataset.expected;
  for (std::size_t row = 0; row < inputs.Rows(); ++row) {
    const Matrix* parts[] = {&inputs, &outputs};
    for (const Matrix* part : parts) {
      const double* values = part->Row(row);
      for (std::size_t k = 0; k < part->Width(); ++k) {
        char* at = out.Reserve(kMaxValueText + 1);
        at += FormatValue(values[k], at);
        *at++ = ' ';
        out.Commit(at);
      }
    }
    out.Append("\n", 1);
  }
  out.Close();
}

}  // namespace

}  // namespace mbrk
