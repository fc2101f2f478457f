#include "command/mbrk/Columns.h"

#include <stdexcept>
#include <unordered_set>

#include "command/mbrk/Options.h"

namespace mbrk::cli {

const char* const kVectorNames[4] = {"inputs", "expected", "generated", "errors"};
const char* const kColumnPrefixes[4] = {"input_", "expected_", "generated_", "error_"};

namespace {

void AddVectorColumns(const Dataset& dataset, int v, std::vector<Column>& columns) {
  const auto& lists = VectorLabels(dataset, v);
  if (lists) {
    for (const std::string& name : LabelNames(*lists)) {
      Column column;
      column.name = std::string(kVectorNames[v]) + ":" + name;
      column.vector = v;
      column.lists = &*lists;
      column.label = name;
      columns.push_back(std::move(column));
    }
    return;
  }
  const Matrix& matrix = VectorMatrix(dataset, v);
  for (std::size_t i = 0; i < matrix.Width(); ++i) {
    Column column;
    column.name = kColumnPrefixes[v] + std::to_string(i);
    column.vector = v;
    column.matrix = &matrix;
    column.index = i;
    columns.push_back(std::move(column));
  }
}

}  // namespace

std::vector<std::string> LabelNames(const std::vector<Labels>& lists) {
  std::vector<std::string> names;
  std::unordered_set<std::string> seen;
  for (const Labels& list : lists) {
    for (const Label& label : list) {
      if (seen.insert(label.name).second) names.push_back(label.name);
    }
  }
  return names;
}

const Matrix& VectorMatrix(const Dataset& dataset, int v) {
  switch (v) {
    case kInputs: return dataset.inputs;
    case kExpected: return dataset.expected;
    case kGenerated: return dataset.generated;
    default: return dataset.errors;
  }
}

const std::optional<std::vector<Labels>>& VectorLabels(const Dataset& dataset, int v) {
  static const std::optional<std::vector<Labels>> kNone;
  if (v == kExpected) return dataset.expected_labels;
  if (v == kGenerated) return dataset.generated_labels;
  return kNone;
}

void RequireShowableWidth(const Dataset& dataset) {
  std::size_t width = 0;
  for (int v = 0; v < 4; ++v) width += VectorMatrix(dataset, v).Width();
  if (width > kMostColumns) {
    throw std::length_error("Too many columns for a table: " + std::to_string(width) +
                            " (at most " + std::to_string(kMostColumns) + ")");
  }
}

std::vector<Column> AllColumns(const Dataset& dataset) {
  RequireShowableWidth(dataset);
  std::vector<Column> columns;
  for (int v = 0; v < 4; ++v) AddVectorColumns(dataset, v, columns);
  return columns;
}

std::vector<std::string> ParseColumnList(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    const std::string item = list.substr(start, comma - start);
    if (item.empty()) throw UsageError("--columns has an empty name: '" + list + "'");
    items.push_back(item);
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

bool IsVectorName(const std::string& item, int& v) {
  for (v = 0; v < 4; ++v) {
    if (item == kVectorNames[v]) return true;
  }
  return false;
}

std::vector<Column> SelectColumns(const Dataset& dataset, const std::vector<std::string>& items) {
  const std::vector<Column> all = AllColumns(dataset);
  std::vector<Column> selected;
  for (const std::string& item : items) {
    int v = 0;
    const bool vector = IsVectorName(item, v);
    bool found = false;
    for (const Column& column : all) {
      if (vector ? column.vector == v : column.name == item) {
        selected.push_back(column);
        found = true;
      }
    }
    // A whole vector may be empty; a single column must exist.
    if (!found && !vector) throw UsageError("the dataset has no column '" + item + "'");
  }
  return selected;
}

}  // namespace mbrk::cli
