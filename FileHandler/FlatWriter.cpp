// The flat writer: a table as a flat file, one line per row.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"
#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/FlatFiler.h"

namespace mbrk {

void TFlatFiler::WriteData(std::ostream& out, Data* table) {
  MBRK_ASSERT(table != nullptr);
  const std::int32_t rows = table->MbrNdxDataRows;
  const std::int32_t inputs = table->MbrLngInputs > 0 ? table->MbrLngInputs : 0;
  const std::int32_t outputs = table->MbrLngOutputs > 0 ? table->MbrLngOutputs : 0;
  table->MbrNdxCursor = table->MbrNdxLast;
  // A table without rows may still be two billion values wide: nothing is
  // made for rows that are not there.
  if (rows <= 0) return;
  // A column selection makes GetNextRow deliver as many values as it selects,
  // which may be more than the row is wide (a column may be selected twice):
  // the row buffers take either count. The line holds the full widths.
  const std::int32_t input_room =
      table->MbrDyaNdxInputSelection != nullptr && table->MbrLngInputSelection > inputs
          ? table->MbrLngInputSelection
          : inputs;
  const std::int32_t output_room =
      table->MbrDyaNdxOutputSelection != nullptr && table->MbrLngOutputSelection > outputs
          ? table->MbrLngOutputSelection
          : outputs;
  std::vector<double> input_row(static_cast<std::size_t>(input_room));
  std::vector<double> output_row(static_cast<std::size_t>(output_room));
  // A line is built whole, every value straight into place, and handed to the
  // stream in one piece.
  const auto width = static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs);
  std::vector<char> line(width * (kMaxValueText + 1) + 1);

  for (std::int32_t row = 0; row < rows; ++row) {
    table->GetNextRow(input_row.data(), output_row.data(), nullptr);
    char* p = line.data();
    for (std::int32_t j = 0; j < inputs; ++j) {
      p += FormatValue(input_row[static_cast<std::size_t>(j)], p);
      *p++ = ' ';
    }
    for (std::int32_t j = 0; j < outputs; ++j) {
      p += FormatValue(output_row[static_cast<std::size_t>(j)], p);
      *p++ = ' ';
    }
    *p++ = '\n';
    out.write(line.data(), static_cast<std::streamsize>(p - line.data()));
    // Every completed line reaches the file at once, so a failure later on
    // leaves every row written before it in place, and anyone reading the file
    // meanwhile sees every line completed so far. This costs one write to the
    // system per line (on a large file about half of a conversion's time);
    // handing the system several lines at a time would be cheaper, but the
    // file would then lag behind the rows written, so the flush stays.
    out.flush();
  }
}

void TFlatFiler::SaveData(const char* filename, Data* table) {
  std::ofstream out(filename, std::ios::out | std::ios::trunc);
  if (!out.good()) {
    throw TException("Unable to open file", "File Error", "TFlatFiler::SaveData", nullptr);
  }
  WriteData(out, table);
  const bool written = out.good();
  out.close();
  if (!written || out.fail()) {
    throw TException("Unable to write file", "File Error", "TFlatFiler::SaveData", nullptr);
  }
}

}  // namespace mbrk
