// A dataset's columns by name, as data frames name them: input_0 ...,
// expected_0 ..., generated_0 ..., error_0 ...; a vector of label lists
// gives a column per label name, in the order the names first appear:
// expected:NAME, generated:NAME.
#ifndef MBRK_COMMAND_MBRK_COLUMNS_H
#define MBRK_COMMAND_MBRK_COLUMNS_H

#include <cstddef>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"

namespace mbrk::cli {

/// The four vectors, in their order in a row.
enum VectorIndex { kInputs = 0, kExpected = 1, kGenerated = 2, kErrors = 3 };
/// "inputs", "expected", "generated", "errors".
extern const char* const kVectorNames[4];
/// "input_", "expected_", "generated_", "error_".
extern const char* const kColumnPrefixes[4];

/// One column: a column of a matrix, or one label of a vector's lists.
struct Column {
  std::string name;
  int vector = kInputs;
  const Matrix* matrix = nullptr;  // null for a label
  std::size_t index = 0;
  const std::vector<Labels>* lists = nullptr;  // null for a matrix column
  std::string label;

  /// The value at `row`; false when the row's list lacks the label.
  bool ValueAt(std::size_t row, double& value) const {
    if (matrix != nullptr) {
      value = (*matrix)(row, index);
      return true;
    }
    for (const Label& item : (*lists)[row]) {
      if (item.name == label) {
        value = item.value;
        return true;
      }
    }
    return false;
  }
};

/// The label names of `lists` in the order they first appear.
std::vector<std::string> LabelNames(const std::vector<Labels>& lists);

/// The matrix and the label lists of vector `v` of `dataset`.
const Matrix& VectorMatrix(const Dataset& dataset, int v);
const std::optional<std::vector<Labels>>& VectorLabels(const Dataset& dataset, int v);

/// The most columns a table of the command is made with: a header of more
/// names would not be read by anything.
constexpr std::size_t kMostColumns = std::size_t{1} << 20;

/// Throws std::length_error when the four widths of `dataset` add up to more
/// than kMostColumns.
void RequireShowableWidth(const Dataset& dataset);

/// Every column of `dataset`, vector after vector (RequireShowableWidth
/// first).
std::vector<Column> AllColumns(const Dataset& dataset);

/// The items of a --columns list: names separated by commas, none empty.
/// Throws UsageError.
std::vector<std::string> ParseColumnList(const std::string& list);

/// Whether `item` names a whole vector ("inputs", "expected", ...); its
/// index in `v`.
bool IsVectorName(const std::string& item, int& v);

/// The columns `items` name, in their order: a vector name stands for all
/// its columns. Throws UsageError for a name the dataset has no column of.
std::vector<Column> SelectColumns(const Dataset& dataset, const std::vector<std::string>& items);

}  // namespace mbrk::cli

#endif  // MBRK_COMMAND_MBRK_COLUMNS_H
