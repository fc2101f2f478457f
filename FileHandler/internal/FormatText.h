// The text of a dataset file and of a flat file, as every writer of either
// writes it: the header, the rows (label lists moved behind the values), the
// tail, and the flat lines. The writers differ only in where the text goes
// and in how their values are written (ValueText).
#ifndef MBRK_FILEHANDLER_INTERNAL_FORMATTEXT_H
#define MBRK_FILEHANDLER_INTERNAL_FORMATTEXT_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "Base/internal/NumberText.h"

namespace mbrk {

/// How a writer writes its values.
enum class ValueText {
  /// "%.15g" (seventeen digits where fifteen would round past the largest
  /// double): the rows of a dataset file.
  kGeneral15,
  /// "%.9g", infinities and NaNs as "+INF", "-INF", "+NAN", "-NAN": flat files.
  kFlat9,
  /// The text of kGeneral15 where it reads back to the same double, else the
  /// fewest digits that do (FormatExact); label values likewise with the 9
  /// decimals: the value-type interface's dataset files.
  kExact,
};

/// Writes the text of `value` into `buffer` (kMaxValueText characters), no
/// terminator, and returns its length.
inline std::size_t WriteValueText(ValueText format, double value, char* buffer) noexcept {
  switch (format) {
    case ValueText::kFlat9: return FormatValue(value, buffer);
    case ValueText::kExact: return FormatExact(value, buffer);
    case ValueText::kGeneral15: break;
  }
  return FormatGeneral15(value, buffer);
}

/// Writes each of `count` values followed by one blank from `at` on (room for
/// count * (kMaxValueText + 1) characters) and returns the end.
inline char* WriteValuesText(char* at, const double* values, std::size_t count,
                             ValueText format) noexcept {
  for (std::size_t k = 0; k < count; ++k) {
    at += WriteValueText(format, values[k], at);
    *at++ = ' ';
  }
  return at;
}

/// Appends what WriteValuesText writes.
void AppendValuesText(std::string& text, const double* values, std::size_t count, ValueText format);

/// The fields of a dataset file's header; -1 for an outputs vector given as
/// label lists.
struct HeaderFields {
  std::int32_t rows;
  std::int32_t inputs;
  std::int32_t expected;
  std::int32_t generated;
  std::int32_t errors;
};

/// From the start of the file up to and including the data block's start tag.
std::string HeaderText(const HeaderFields& fields);
/// The data block's and the dataset block's end tags.
std::string TailText();

/// Appends a label list's opening "[".
inline void AppendListStart(std::string& text) { text.push_back('['); }
/// Appends a label, "name " for the value 1.0 exactly (a bare name reads back
/// as 1.0), else "name=value " with the value as "%.9f" writes it (with
/// kExact: as AppendExactLabelValue writes it).
void AppendLabelText(std::string& text, const char* name, std::size_t length, double value,
                     ValueText format = ValueText::kGeneral15);
/// Appends a label list's closing "] ".
inline void AppendListEnd(std::string& text) { text += "] "; }

/// What a row line holds: the widths of its four vectors, which of the two
/// tables it has, and which of them carry a label list in the place of their
/// outputs.
struct RowTextLayout {
  std::size_t inputs, expected, generated, errors;
  bool table1, table2;
  bool labels1, labels2;
};

/// The numbers of one row, a vector's values where the layout gives it any.
struct RowValues {
  const double* inputs;
  const double* expected;
  const double* generated;
  const double* errors;
};

/// Appends the line of a row, line end included. It is laid out as
///   inputs  expected  [generated  errors]   (each value and one blank, the
///                                           vectors apart by two blanks)
/// with a label list in the place of the vector it stands for, appended by
/// `append_list(text, second)` (second: the second table's list). The reader
/// takes all four vectors of a row before its label lists, so a list that
/// values would follow moves to the end of the line: the first table's when
/// the second table has values, the second table's when it has errors; both
/// then end the line, the first table's first.
template <typename AppendList>
void AppendRowText(std::string& text, const RowTextLayout& layout, const RowValues& row,
                   ValueText format, AppendList append_list) {
  const bool defer1 =
      layout.labels1 && layout.table2 && (layout.generated > 0 || layout.errors > 0);
  const bool defer2 = layout.labels2 && layout.errors > 0;
  if (layout.table1) {
    AppendValuesText(text, row.inputs, layout.inputs, format);
    text += "  ";
    if (!layout.labels1) {
      AppendValuesText(text, row.expected, layout.expected, format);
    } else if (!defer1) {
      append_list(text, false);
    }
  }
  if (layout.table2) {
    text += "  ";
    if (!layout.labels2) {
      AppendValuesText(text, row.generated, layout.generated, format);
    } else if (!defer2) {
      append_list(text, true);
    }
    text += "  ";
    AppendValuesText(text, row.errors, layout.errors, format);
  }
  if (defer1) append_list(text, false);
  if (defer2) append_list(text, true);
  text.push_back('\n');
}

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_FORMATTEXT_H
