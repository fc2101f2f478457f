// Windows read one after another against the whole file: WindowReader, and
// ReadWindow given each window's first row, must give exactly ReadDataset's
// rows, or ReadDataset's error at the same line, column and offset.
//
// The first byte gives the window size (1 to 8, low three bits) and strict
// reading (the high bit); the rest is the dataset file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>

#include "Dataset/Dataset.h"
#include "fuzz/DatasetOutcome.h"
#include "fuzz/FuzzSupport.h"

namespace {

// Appends the rows of `rows`, row by row: its four vectors' values, then its
// label lists.
void AppendRows(std::string& bytes, const mbrk::Dataset& rows) {
  for (std::size_t r = 0; r < rows.Rows(); ++r) {
    for (const mbrk::Matrix* m : {&rows.inputs, &rows.expected, &rows.generated, &rows.errors}) {
      if (m->Width() != 0) {
        bytes.append(reinterpret_cast<const char*>(m->Row(r)), m->Width() * sizeof(double));
      }
    }
    for (const auto* lists : {&rows.expected_labels, &rows.generated_labels}) {
      if (!lists->has_value()) continue;
      for (const mbrk::Label& label : (**lists)[r]) {
        bytes += label.name + "=";
        bytes.append(reinterpret_cast<const char*>(&label.value), sizeof label.value);
      }
      bytes += ";";
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static mbrk::fuzz::ScratchFile file;
  file.Write(data + 1, size - 1);
  const std::int32_t window = 1 + (data[0] & 7);
  mbrk::ReadOptions options;
  options.threads = 1;
  options.strict = (data[0] & 0x80) != 0;

  const std::string whole = mbrk::fuzz::ReadOutcome(
      [&](std::string& bytes) { AppendRows(bytes, mbrk::ReadDataset(file.name(), options)); });
  const std::string windows = mbrk::fuzz::ReadOutcome([&](std::string& bytes) {
    mbrk::WindowReader reader(file.name(), options);
    while (!reader.AtEnd()) {
      const std::int32_t row = reader.NextRow();
      AppendRows(bytes, reader.Next(window));
      MBRK_FUZZ_CHECK(reader.NextRow() == std::min(row + window, reader.Shape().rows));
    }
    MBRK_FUZZ_CHECK(reader.Next(window).Rows() == 0);
  });
  MBRK_FUZZ_CHECK(whole == windows);
  const std::string chain = mbrk::fuzz::ReadOutcome([&](std::string& bytes) {
    const std::int32_t rows = mbrk::ProbeDataset(file.name(), options).rows;
    mbrk::Window read = mbrk::ReadWindow(file.name(), 0, 0, 0, options);
    for (std::int32_t row = 0; row < rows; row += window) {
      read = mbrk::ReadWindow(file.name(), read.next_offset, std::min(window, rows - row), row,
                              options);
      AppendRows(bytes, read.rows);
    }
  });
  MBRK_FUZZ_CHECK(whole == chain);
  return 0;
}
