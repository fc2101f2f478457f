// The row loop: the rows of a data block, read into a destination.
#include "FileHandler/internal/RowReader.h"

#include <algorithm>
#include <memory>

#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk {

RowReader::RowReader(FileTools& tools, std::istream& in, DataBlock& block,
                     RowDestination& destination)
    : tools_(tools),
      in_(in),
      block_name_(block.data_name),
      layout_(block.layout),
      destination_(destination) {}

void RowReader::ReadRows(std::int32_t first_row, std::int32_t count) {
  // Without tables a row holds nothing at all: no need to count through a
  // header's two billion empty rows.
  if (!layout_.table1 && !layout_.table2) return;
  for (std::int32_t row = first_row; row - first_row < count; ++row) ReadRow(row, 0);
}

void RowReader::ReadRowRest(std::int32_t row, std::int64_t first_value) {
  ReadRow(row, first_value);
}

void RowReader::ReadRow(std::int32_t row, std::int64_t first_value) {
  const RowPlaces places = destination_.Places(row);
  std::int64_t skip = first_value;
  ReadNumbers(places.inputs, layout_.inputs, skip);
  ReadNumbers(places.expected, layout_.expected, skip);
  ReadNumbers(places.generated, layout_.generated, skip);
  ReadNumbers(places.errors, layout_.errors, skip);
  if (layout_.table1) {
    destination_.PartRead(TablePart::kFirst, row);
    if (layout_.labels1) ReadLabels(TablePart::kFirst, row);
  }
  if (layout_.table2) {
    destination_.PartRead(TablePart::kSecond, row);
    if (layout_.labels2) ReadLabels(TablePart::kSecond, row);
  }
}

// Plain words are read in place; anything else (a comment, a format version
// element, the end tag, a word at the end of the buffered bytes) takes the
// element reader's road, which gives the same values and the same errors.
void RowReader::ReadNumbers(double* values, std::int32_t count, std::int64_t& skip) {
  const auto first = static_cast<std::int32_t>(std::min<std::int64_t>(skip, count));
  skip -= first;
  for (std::int32_t k = first; k < count; ++k) {
    if (!ReadNumberWord(in_, &values[k])) {
      values[k] = FileTools::ExpectNumber(ReadInBlock(tools_, block_name_, in_), in_);
    }
  }
}

void RowReader::ReadLabels(TablePart part, std::int32_t row) {
  const std::unique_ptr<TLabelList> list(ReadLabelList(tools_, in_));
  destination_.TakeLabels(part, row, *list);
}

}  // namespace mbrk
