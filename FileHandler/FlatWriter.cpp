// The flat writer: a table as a flat file, one line per row.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/Deleters.h"
#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/internal/FormatText.h"

namespace mbrk {

namespace {

// Builds the line of each row, oldest first, and hands it whole, line end
// included, to `put(text, length)`; stops when `put` returns false and
// returns whether every line was taken. Moves the table's read cursor as
// WriteData promises, also when it stops early.
template <typename Put>
bool WriteLines(Data* table, Put put) {
  MBRK_ASSERT(table != nullptr);
  const std::int32_t rows = table->MbrNdxDataRows;
  const std::int32_t inputs = table->MbrLngInputs > 0 ? table->MbrLngInputs : 0;
  const std::int32_t outputs = table->MbrLngOutputs > 0 ? table->MbrLngOutputs : 0;
  table->MbrNdxCursor = table->MbrNdxLast;
  // A table without rows may still be two billion values wide: nothing is
  // made for rows that are not there.
  if (rows <= 0) return true;
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
  const auto width = static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs);
  std::vector<char> line(width * (kMaxValueText + 1) + 1);

  for (std::int32_t row = 0; row < rows; ++row) {
    table->GetNextRow(input_row.data(), output_row.data(), nullptr);
    char* p = WriteValuesText(line.data(), input_row.data(), static_cast<std::size_t>(inputs),
                              ValueText::kFlat9);
    p = WriteValuesText(p, output_row.data(), static_cast<std::size_t>(outputs), ValueText::kFlat9);
    *p++ = '\n';
    if (!put(line.data(), static_cast<std::size_t>(p - line.data()))) {
      // Where the rest of the rows would have left it.
      table->MbrNdxCursor = table->MbrNdxLast;
      return false;
    }
  }
  return true;
}

}  // namespace

void TFlatFiler::WriteData(std::ostream& out, Data* table) {
  WriteLines(table, [&out](const char* text, std::size_t length) {
    out.write(text, static_cast<std::streamsize>(length));
    out.flush();
    return true;  // every row is written, whatever the stream's state
  });
}

void TFlatFiler::SaveData(const char* filename, Data* table) {
  // Without a buffer, each line goes to the file in one write of its own
  // bytes as soon as it is complete: the cheapest way to have the file hold
  // every line written so far, so that a failure later on leaves each row
  // written before it in place and anyone reading the file meanwhile sees
  // every finished line. (A buffer flushed after each line adds a copy and the
  // buffer's bookkeeping to that same write; an unbuffered std::filebuf hands
  // each line to the system as a vector of two pieces, the first empty, which
  // costs the system more than a plain write.) A write that the file takes only
  // in part (a full disk) ends the writing and is reported once the file is
  // closed.
  std::unique_ptr<std::FILE, CloseFile> file(std::fopen(filename, "w"));
  if (file == nullptr || std::setvbuf(file.get(), nullptr, _IONBF, 0) != 0) {
    throw TException("Unable to open file", "File Error", "TFlatFiler::SaveData", nullptr);
  }
  bool written = WriteLines(table, [&file](const char* text, std::size_t length) {
    return std::fwrite(text, 1, length, file.get()) == length;
  });
  if (std::fclose(file.release()) != 0) written = false;
  if (!written) {
    throw TException("Unable to write file", "File Error", "TFlatFiler::SaveData", nullptr);
  }
}

}  // namespace mbrk
