// What the readers of the value-type interface share: datasets shaped by a
// header as the row reader's destination, and errors turned into FormatError
// with their position. Internal: not installed.
#ifndef MBRK_DATASET_INTERNAL_READING_H
#define MBRK_DATASET_INTERNAL_READING_H

#include <cstdint>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "DataObject/LabelList.h"
#include "Dataset/Dataset.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/RowDestination.h"

namespace mbrk {

// A dataset shaped by the header, with `rows` rows of zeros.
inline Dataset ShapedDataset(const RowLayout& layout, std::int32_t count) {
  const auto rows = static_cast<std::size_t>(count);
  Dataset dataset;
  dataset.inputs = Matrix(rows, static_cast<std::size_t>(layout.inputs));
  dataset.expected = Matrix(rows, static_cast<std::size_t>(layout.expected));
  dataset.generated = Matrix(rows, static_cast<std::size_t>(layout.generated));
  dataset.errors = Matrix(rows, static_cast<std::size_t>(layout.errors));
  if (layout.labels1) dataset.expected_labels.emplace(rows);
  if (layout.labels2) dataset.generated_labels.emplace(rows);
  return dataset;
}

// Row `row`'s label list into `lists`, the labels copied.
inline void CopyLabels(std::optional<std::vector<Labels>>& lists, std::int32_t row,
                       const TLabelList& list) {
  Labels& labels = (*lists)[static_cast<std::size_t>(row)];
  labels.reserve(static_cast<std::size_t>(list.MbrLngCount));
  for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
    const TLabel& label = list.MbrDyaItems[i];
    labels.push_back(Label{label.MbrStrName, label.MbrDblValue});
  }
}

// A dataset shaped for every row as the row reader's destination: the
// numbers go straight into the matrices' rows.
class DatasetRows final : public RowDestination {
 public:
  explicit DatasetRows(Dataset& dataset) : dataset_(dataset) {}

  RowPlaces Places(std::int32_t row) override {
    const auto r = static_cast<std::size_t>(row);
    return RowPlaces{dataset_.inputs.Row(r), dataset_.expected.Row(r), dataset_.generated.Row(r),
                     dataset_.errors.Row(r)};
  }

  void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) override {
    CopyLabels(part == TablePart::kFirst ? dataset_.expected_labels : dataset_.generated_labels,
               row, list);
  }

 private:
  Dataset& dataset_;
};

/// The shape the header gives.
DatasetShape ShapeOf(const DataBlock& block);

/// Turns the reader's error into a FormatError saying where reading stopped:
/// in the decoded text for a compressed input, and where the damage was met
/// for a damaged one. `start` is where the input began in `raw`; with a
/// `path` the file is read once more from its start, else the stream is (and
/// left where it stopped).
[[noreturn]] void ThrowReadingError(FileTools::Error& error, const DecodedInput& input,
                                    std::istream& raw, std::streamoff start,
                                    const std::string& path);

}  // namespace mbrk

#endif  // MBRK_DATASET_INTERNAL_READING_H
