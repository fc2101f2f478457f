// The tables of the specified interface as a row destination.
#include "FileHandler/internal/TableRows.h"

#include <cstddef>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"

namespace mbrk {

void CreateTables(const RowLayout& layout, std::int32_t capacity, Data*& first, Data*& second) {
  if (layout.table1) first = new Data(capacity, layout.inputs, layout.expected, layout.labels1);
  if (layout.table2) second = new Data(capacity, layout.generated, layout.errors, layout.labels2);
}

TableRows::TableRows(const RowLayout& layout, Data* first, Data* second)
    : layout_(layout), first_(first), second_(second) {}

RowPlaces TableRows::Places(std::int32_t) {
  if (!scratch_made_) {
    inputs_.resize(static_cast<std::size_t>(layout_.inputs));
    expected_.resize(static_cast<std::size_t>(layout_.expected));
    generated_.resize(static_cast<std::size_t>(layout_.generated));
    errors_.resize(static_cast<std::size_t>(layout_.errors));
    scratch_made_ = true;
  }
  return RowPlaces{inputs_.data(), expected_.data(), generated_.data(), errors_.data()};
}

void TableRows::PartRead(TablePart part, std::int32_t) {
  if (part == TablePart::kFirst) {
    first_->AppendRow(inputs_.data(), expected_.data(), nullptr);
  } else {
    second_->AppendRow(generated_.data(), errors_.data(), nullptr);
  }
}

void TableRows::TakeLabels(TablePart part, std::int32_t row, TLabelList& list) {
  (part == TablePart::kFirst ? first_ : second_)->SetLabels(row, &list);
}

}  // namespace mbrk
