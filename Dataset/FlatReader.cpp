// The flat reader of the value-type interface.
#include <cstring>
#include <stdexcept>
#include <string>

#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "FileHandler/internal/FlatRows.h"

namespace mbrk {

namespace {

// The matrices of a dataset as the flat reader's destination.
class MatrixRows final : public FlatDestination {
 public:
  explicit MatrixRows(Dataset& dataset) : dataset_(dataset) {}

  void TakeRow(std::int32_t row, const double* inputs, const double* outputs) override {
    const auto r = static_cast<std::size_t>(row);
    Copy(dataset_.inputs, r, inputs);
    Copy(dataset_.expected, r, outputs);
  }

 private:
  static void Copy(Matrix& matrix, std::size_t row, const double* values) {
    if (matrix.Width() != 0) std::memcpy(matrix.Row(row), values, matrix.Width() * sizeof(double));
  }

  Dataset& dataset_;
};

}  // namespace

Dataset ReadFlat(const std::string& path, std::int32_t rows, std::int32_t inputs,
                 std::int32_t outputs) {
  if (rows < 0 || inputs < 0 || outputs < 0) {
    throw std::invalid_argument("ReadFlat: negative row count or width");
  }
  InputFile file;
  files::OpenForReading(file, path);
  Dataset dataset;
  const auto count = static_cast<std::size_t>(rows);
  dataset.inputs = Matrix(count, static_cast<std::size_t>(inputs));
  dataset.expected = Matrix(count, static_cast<std::size_t>(outputs));
  dataset.generated = Matrix(count, 0);
  dataset.errors = Matrix(count, 0);
  MatrixRows destination(dataset);
  ReadFlatRows(file.stream(), rows, inputs, outputs, destination);
  return dataset;
}

}  // namespace mbrk
