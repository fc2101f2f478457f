// The rows of a data block: the header's layout, the tables it calls for and
// the loop that fills them.
#include "FileHandler/internal/RowReader.h"

#include <cstddef>
#include <memory>
#include <streambuf>
#include <utility>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/ElementTexts.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"

namespace mbrk {

namespace {

// Whether a header's tables, declared by a file too small to hold their
// values, would be large enough to be worth refusing before allocation.
bool DeclaresMoreThanItHolds(std::istream& in, double rows, double table_values, double all_values,
                             double label_lists) {
  constexpr double kSmallTables = 64.0 * 1024 * 1024;
  const double table_bytes = rows * (table_values * sizeof(double) + 2 * sizeof(void*)) +
                             label_lists * rows * sizeof(TLabelList);
  if (table_bytes <= kSmallTables) return false;
  // Asked of the buffer, not the stream: when the data block's start tag ends
  // the input, the stream already has its end-of-file state and tellg would
  // answer -1, letting a file of a few bytes claim gigabytes.
  std::streambuf* const sb = in.rdbuf();
  const std::istream::pos_type here = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  if (here == std::istream::pos_type(-1)) return false;
  const std::istream::pos_type end = sb->pubseekoff(0, std::ios::end, std::ios::in);
  sb->pubseekpos(here, std::ios::in);
  if (end == std::istream::pos_type(-1)) return false;
  // Every value takes at least one character and every label list two ("[]").
  const double least_bytes = rows * (all_values + 2 * label_lists);
  return least_bytes > static_cast<double>(end - here);
}

}  // namespace

DataBlock ReadToDataBlock(FileTools& tools, std::istream& in) {
  std::unique_ptr<char[]> dataset_name(
      tools.ExpectBlockStart(tools.ReadElement(nullptr, in, false), in, "DATASET"));

  std::int32_t inputs, expected, generated, errors, rows;
  TElement after_header{};
  ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after_header);
  if (rows < 0) {
    const ElementTexts discard(after_header);
    Fail(in, "[Rows = <integer>] expected");
  }
  std::unique_ptr<char[]> data_name(tools.ExpectBlockStart(after_header, in, "DATA"));
  return DataBlock{std::move(dataset_name), std::move(data_name), rows,
                   RowLayout(inputs, expected, generated, errors)};
}

void RefuseHostileSize(std::istream& in, std::int32_t rows, const RowLayout& layout) {
  const double values1 = layout.table1 ? static_cast<double>(layout.inputs) + layout.expected : 0.0;
  const double values2 =
      layout.table2 ? static_cast<double>(layout.generated) + layout.errors : 0.0;
  const double all_values = static_cast<double>(layout.inputs) + layout.expected +
                            static_cast<double>(layout.generated) + layout.errors;
  const double label_lists = (layout.labels1 ? 1.0 : 0.0) + (layout.labels2 ? 1.0 : 0.0);
  if (DeclaresMoreThanItHolds(in, rows, values1 + values2, all_values, label_lists)) {
    Fail(in, "Unexpected end of file");
  }
}

void CreateTables(const RowLayout& layout, std::int32_t capacity, Data*& first, Data*& second) {
  if (layout.table1) first = new Data(capacity, layout.inputs, layout.expected, layout.labels1);
  if (layout.table2) second = new Data(capacity, layout.generated, layout.errors, layout.labels2);
}

TElement ReadInBlock(FileTools& tools, std::unique_ptr<char[]>& name, std::istream& in) {
  TElement element = tools.ReadElement(name.get(), in, false);
  if (element.MbrLngKind == ekEnd) static_cast<void>(name.release());
  return element;
}

// ---- The row loop ----------------------------------------------------------------

RowReader::RowReader(FileTools& tools, std::istream& in, DataBlock& block, Data* first,
                     Data* second)
    : tools_(tools),
      in_(in),
      block_name_(block.data_name),
      layout_(block.layout),
      first_(first),
      second_(second) {}

void RowReader::ReadRows(std::int32_t first_row, std::int32_t count) {
  // Without tables a row holds nothing at all: no need to count through a
  // header's two billion empty rows.
  if (first_ == nullptr && second_ == nullptr) return;
  if (count <= 0) return;
  inputs_.resize(static_cast<std::size_t>(layout_.inputs));
  expected_.resize(static_cast<std::size_t>(layout_.expected));
  generated_.resize(static_cast<std::size_t>(layout_.generated));
  errors_.resize(static_cast<std::size_t>(layout_.errors));
  for (std::int32_t row = first_row; row - first_row < count; ++row) ReadRow(row);
}

void RowReader::ReadRow(std::int32_t row) {
  ReadNumbers(inputs_);
  ReadNumbers(expected_);
  ReadNumbers(generated_);
  ReadNumbers(errors_);
  if (first_ != nullptr) {
    first_->AppendRow(inputs_.data(), expected_.data(), nullptr);
    if (layout_.labels1) ReadLabels(*first_, row);
  }
  if (second_ != nullptr) {
    second_->AppendRow(generated_.data(), errors_.data(), nullptr);
    if (layout_.labels2) ReadLabels(*second_, row);
  }
}

// Plain words are read in place; anything else (a comment, a format version
// element, the end tag, a word at the end of the buffered bytes) takes the
// element reader's road, which gives the same values and the same errors.
void RowReader::ReadNumbers(std::vector<double>& values) {
  for (double& value : values) {
    if (!ReadNumberWord(in_, &value)) {
      value = FileTools::ExpectNumber(ReadInBlock(tools_, block_name_, in_), in_);
    }
  }
}

void RowReader::ReadLabels(Data& table, std::int32_t row) {
  const std::unique_ptr<TLabelList> list(ReadLabelList(tools_, in_));
  table.SetLabels(row, list.get());
}

}  // namespace mbrk
