// The writers of the value-type interface: a dataset file laid out as
// SaveDatFile lays it out, with values that read back exactly, and a flat
// file with the bytes the converter writes, each built in memory block by
// block and handed to the system in blocks.
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <system_error>

#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "Dataset/internal/ReplaceFile.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/FormatText.h"
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

void AppendList(std::string& text, const Labels& list) {
  AppendListStart(text);
  for (const Label& label : list)
    AppendLabelText(text, label.name.data(), label.name.size(), label.value, ValueText::kExact);
  AppendListEnd(text);
}

}  // namespace

void WriteDataset(const std::string& path, const Dataset& dataset) {
  CheckDataset(dataset);
  const std::size_t rows = dataset.Rows();
  const Matrix& inputs = dataset.inputs;
  const Matrix& expected = dataset.expected;
  const Matrix& generated = dataset.generated;
  const Matrix& errors = dataset.errors;
  RowTextLayout layout{inputs.Width(),
                       expected.Width(),
                       generated.Width(),
                       errors.Width(),
                       false,
                       false,
                       dataset.expected_labels.has_value(),
                       dataset.generated_labels.has_value()};
  layout.table1 = layout.inputs > 0 || layout.expected > 0 || layout.labels1;
  layout.table2 = layout.generated > 0 || layout.errors > 0 || layout.labels2;

  files::BlockWriter out(path);
  const auto width = [](std::size_t w) { return static_cast<std::int32_t>(w); };
  out.Append(
      HeaderText({width(rows), width(layout.inputs), layout.labels1 ? -1 : width(layout.expected),
                  layout.labels2 ? -1 : width(layout.generated), width(layout.errors)}));
  std::string line;
  for (std::size_t row = 0; row < rows; ++row) {
    line.clear();
    const RowValues values{inputs.Row(row), expected.Row(row), generated.Row(row), errors.Row(row)};
    AppendRowText(line, layout, values, ValueText::kExact, [&](std::string& text, bool two) {
      AppendList(text, (*(two ? dataset.generated_labels : dataset.expected_labels))[row]);
    });
    out.Append(line);
  }
  out.Append(TailText());
  out.Close();
}

void WriteFlat(const std::string& path, const Dataset& dataset, const std::string& source) {
  const Matrix& inputs = dataset.inputs;
  const Matrix& outputs = dataset.expected;
  if (inputs.Rows() != outputs.Rows()) {
    throw std::invalid_argument("WriteFlat: inputs and expected outputs have different row counts");
  }
  // The converter's refusals, in its words.
  if (inputs.Width() == 0 && outputs.Width() == 0 && !dataset.expected_labels) {
    throw std::invalid_argument("No inputs or expected outputs to convert");
  }
  if (!source.empty() && files::SameFile(source, path)) {
    throw std::invalid_argument("Source and destination are the same file");
  }
  files::BlockWriter out(path);
  for (std::size_t row = 0; row < inputs.Rows(); ++row) {
    const Matrix* parts[] = {&inputs, &outputs};
    for (const Matrix* part : parts) {
      const double* values = part->Row(row);
      for (std::size_t k = 0; k < part->Width(); ++k) {
        out.Commit(
            WriteValuesText(out.Reserve(kMaxValueText + 1), values + k, 1, ValueText::kFlat9));
      }
    }
    out.Append("\n", 1);
  }
  out.Close();
}

}  // namespace mbrk
