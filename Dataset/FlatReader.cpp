// The flat reader of the value-type interface: the strict reading.
#include <optional>
#include <stdexcept>
#include <string>

#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "Dataset/internal/StrictFlat.h"

namespace mbrk {

Dataset ReadFlat(const std::string& path, std::optional<std::int32_t> rows, std::int32_t inputs,
                 std::int32_t outputs) {
  if ((rows && *rows < 0) || inputs < 0 || outputs < 0) {
    throw std::invalid_argument("ReadFlat: negative row count or width");
  }
  InputFile file;
  files::OpenForReading(file, path);
  return files::ReadFlatStrict(file.stream(), path, rows, inputs, outputs);
}

}  // namespace mbrk
