// The part of a dataset file around its rows.
#include "FileHandler/internal/DataBlock.h"

#include <algorithm>
#include <memory>
#include <new>
#include <streambuf>
#include <utility>

#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/ElementReader.h"
#include "FileHandler/internal/ElementTexts.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/Vocabulary.h"

namespace mbrk {

namespace {

// Tables up to this size are made without asking how much input follows.
constexpr double kSmallTables = 64.0 * 1024 * 1024;

// The most bytes kept when reading ahead to learn whether enough follow.
// Tables that need more bytes than this (at least one per value) hold at
// least eight times as many bytes of values: no machine has that memory, so
// beyond it the bytes are only counted.
constexpr double kMostHeldAhead = 1099511627776.0;  // 2^40

// Whether at least `count` bytes follow where `in` stands; empty when the
// stream cannot tell. Asked of the buffer, not the stream: when the data
// block's start tag ends the input, the stream already has its end-of-file
// state and tellg would answer -1, letting a file of a few bytes claim
// gigabytes.
std::optional<bool> Follow(std::istream& in, double count) {
  std::streambuf* const sb = in.rdbuf();
  const std::istream::pos_type here = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  if (here != std::istream::pos_type(-1)) {
    const std::istream::pos_type end = sb->pubseekoff(0, std::ios::end, std::ios::in);
    sb->pubseekpos(here, std::ios::in);
    if (end == std::istream::pos_type(-1)) return std::nullopt;
    return count <= static_cast<double>(end - here);
  }
  auto* const ahead = dynamic_cast<ReadAheadBuffer*>(sb);
  if (ahead == nullptr) return std::nullopt;
  if (count <= kMostHeldAhead) return ahead->Holds(static_cast<std::uint64_t>(count));
  // As a file would be: too small, refused; large enough, its tables are
  // more than any allocation can give.
  if (!ahead->Delivers(static_cast<std::uint64_t>(std::min(count, 9.2e18)))) return false;
  throw std::bad_alloc();
}

}  // namespace

DataBlock ReadToDataBlock(FileTools& tools, std::istream& in) {
  std::optional<double> version;
  std::unique_ptr<char[]> dataset_name(
      tools.ExpectBlockStart(ReadFirstElement(tools, in, version), in, vocabulary::kDataSetKey));

  std::int32_t inputs, expected, generated, errors, rows;
  TElement after_header{};
  ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after_header);
  if (rows < 0) {
    const ElementTexts discard(after_header);
    Fail(in, "[Rows = <integer>] expected");
  }
  std::unique_ptr<char[]> data_name(tools.ExpectBlockStart(after_header, in, vocabulary::kDataKey));
  return DataBlock{std::move(dataset_name), std::move(data_name), rows,
                   RowLayout(inputs, expected, generated, errors), version};
}

void RefuseHostileSize(std::istream& in, std::int32_t rows, const RowLayout& layout) {
  const double values1 = layout.table1 ? static_cast<double>(layout.inputs) + layout.expected : 0.0;
  const double values2 =
      layout.table2 ? static_cast<double>(layout.generated) + layout.errors : 0.0;
  const double all_values = static_cast<double>(layout.inputs) + layout.expected +
                            static_cast<double>(layout.generated) + layout.errors;
  const double label_lists = (layout.labels1 ? 1.0 : 0.0) + (layout.labels2 ? 1.0 : 0.0);
  const double table_bytes = rows * ((values1 + values2) * sizeof(double) + 2 * sizeof(void*)) +
                             label_lists * rows * sizeof(TLabelList);
  if (table_bytes <= kSmallTables) return;
  // Every value takes at least one byte and every label list two ("[]").
  const double least_bytes = rows * (all_values + 2 * label_lists);
  const std::optional<bool> follows = Follow(in, least_bytes);
  if (follows.has_value() && !*follows) Fail(in, "Unexpected end of file");
}

DatasetInput::DatasetInput(std::istream& in) : in_(in), through_(nullptr) {
  std::streambuf* const sb = in.rdbuf();
  if (sb == nullptr || sb->pubseekoff(0, std::ios::cur, std::ios::in) != std::streampos(-1)) {
    return;
  }
  ahead_ = std::make_unique<ReadAheadBuffer>(sb);
  through_.rdbuf(ahead_.get());
  // A stream that is not good has no input to give, through the buffer or not.
  through_.setstate(in.rdstate());
}

void ReadDataBlockEnd(FileTools& tools, std::istream& in, DataBlock& block) {
  tools.ExpectBlockEnd(ReadInBlock(tools, block.data_name, in), in);
  tools.ExpectBlockEnd(ReadInBlock(tools, block.dataset_name, in), in);
  tools.ExpectBlockEnd(tools.ReadElement(nullptr, in, false), in);
}

TElement ReadInBlock(FileTools& tools, std::unique_ptr<char[]>& name, std::istream& in) {
  TElement element = tools.ReadElement(name.get(), in, false);
  if (element.MbrLngKind == ekEnd) static_cast<void>(name.release());
  return element;
}

}  // namespace mbrk
