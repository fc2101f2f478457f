// Comparing tables in the fuzz targets: shapes, values and label lists, row
// by row, each value passed through a function that says what the reader
// should have made of it (the identity, or the rounding of a writer).
#ifndef MBRK_FUZZ_TABLES_H
#define MBRK_FUZZ_TABLES_H

#include <cstdint>
#include <cstring>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "fuzz/FuzzSupport.h"

namespace mbrk::fuzz {

inline double Same(double value) { return value; }

/// Rows `first` .. `first + count - 1` of `expected` (slots) against rows
/// 0 .. count - 1 of `actual`: widths, label flags, every value as
/// `value(expected)` and every label list as `label(expected)`, names
/// byte for byte.
template <typename ValueRule, typename LabelRule>
void CheckRows(Data& expected, std::int32_t first, Data& actual, std::int32_t count,
               ValueRule value, LabelRule label) {
  MBRK_FUZZ_CHECK(expected.MbrLngInputs == actual.MbrLngInputs);
  MBRK_FUZZ_CHECK(expected.MbrLngOutputs == actual.MbrLngOutputs);
  MBRK_FUZZ_CHECK(expected.MbrBlnLabels == actual.MbrBlnLabels);
  MBRK_FUZZ_CHECK(actual.MbrNdxDataRows == count);
  // Rows of no table may be two billion values wide; only real rows get room.
  if (count == 0) return;
  const std::size_t width = static_cast<std::size_t>(expected.MbrLngInputs > expected.MbrLngOutputs
                                                         ? expected.MbrLngInputs
                                                         : expected.MbrLngOutputs) +
                            1;
  std::vector<double> a(width), b(width);
  for (std::int32_t row = 0; row < count; ++row) {
    expected.GetInputRow(first + row, a.data());
    actual.GetInputRow(row, b.data());
    for (std::int32_t k = 0; k < expected.MbrLngInputs; ++k) {
      MBRK_FUZZ_CHECK(SameValue(value(a[k]), b[k]));
    }
    expected.GetOutputRow(first + row, a.data());
    actual.GetOutputRow(row, b.data());
    for (std::int32_t k = 0; k < expected.MbrLngOutputs; ++k) {
      MBRK_FUZZ_CHECK(SameValue(value(a[k]), b[k]));
    }
    if (!expected.MbrBlnLabels) continue;
    TLabelList* x = nullptr;
    TLabelList* y = nullptr;
    expected.GetLabels(first + row, &x);
    actual.GetLabels(row, &y);
    MBRK_FUZZ_CHECK(x != nullptr && y != nullptr && x->MbrLngCount == y->MbrLngCount);
    for (std::int32_t k = 0; k < x->MbrLngCount; ++k) {
      MBRK_FUZZ_CHECK(std::strcmp(x->MbrDyaItems[k].MbrStrName, y->MbrDyaItems[k].MbrStrName) == 0);
      MBRK_FUZZ_CHECK(
          SameValue(label(x->MbrDyaItems[k].MbrDblValue), y->MbrDyaItems[k].MbrDblValue));
    }
  }
}

}  // namespace mbrk::fuzz

#endif  // MBRK_FUZZ_TABLES_H
