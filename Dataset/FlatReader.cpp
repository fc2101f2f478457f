// The flat reader of the value-type interface.
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>

#include "DataObject/Data.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "FileHandler/FlatFiler.h"

namespace mbrk {

namespace {

void CopyRows(double* const* rows, std::int32_t count, Matrix& matrix) {
  const std::size_t bytes = matrix.Width() * sizeof(double);
  if (bytes == 0) return;
  for (std::int32_t row = 0; row < count; ++row) {
    std::memcpy(matrix.Row(static_cast<std::size_t>(row)), rows[row], bytes);
  }
}

}  // namespace

Dataset ReadFlat(const std::string& path, std::int32_t rows, std::int32_t inputs,
                 std::int32_t outputs) {
  if (rows < 0 || inputs < 0 || outputs < 0) {
    throw std::invalid_argument("ReadFlat: negative row count or width");
  }
  InputFile file;
  files::OpenForReading(file, path);
  Data* read = nullptr;
  try {
    TFlatFiler::ReadData(file.stream(), read, rows, inputs, outputs);
  } catch (...) {
    delete read;  // the table is ours from its creation on
    throw;
  }
  const std::unique_ptr<Data> table(read);

  // The table holds exactly `rows` rows, row i in slot i.
  Dataset dataset;
  const auto count = static_cast<std::size_t>(rows);
  dataset.inputs = Matrix(count, static_cast<std::size_t>(inputs));
  dataset.expected = Matrix(count, static_cast<std::size_t>(outputs));
  dataset.generated = Matrix(count, 0);
  dataset.errors = Matrix(count, 0);
  CopyRows(table->MbrDyaRtpInputs, rows, dataset.inputs);
  CopyRows(table->MbrDyaRtpOutputs, rows, dataset.expected);
  return dataset;
}

}  // namespace mbrk
