// The whole conversion, as the command does it: a dataset file read with
// LoadDatFile, then written in the flat format.
//
// A file the reader rejects must be rejected with one of the documented
// messages and leave nothing allocated. A file it accepts must convert, and
// the flat text must hold the table's values at nine significant digits: one
// line per row, oldest first, each value followed by one blank, each text
// the C library's "%.9g" (or +INF, -INF, +NAN, -NAN). Read back with the
// flat reader, it must give those values again, up to the first non-finite
// one, whose word the flat reader cannot read.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "fuzz/FuzzSupport.h"

namespace {

using mbrk::Data;

// The flat text `flat` against the table, row by row and value by value.
void CheckFlatText(const std::string& flat, Data& table) {
  const std::int32_t rows = table.MbrNdxDataRows;
  const std::int32_t inputs = table.MbrLngInputs;
  const std::int32_t outputs = table.MbrLngOutputs;
  std::vector<double> input_row(static_cast<std::size_t>(inputs) + 1);
  std::vector<double> output_row(static_cast<std::size_t>(outputs) + 1);
  std::size_t at = 0;
  for (std::int32_t row = 0; row < rows; ++row) {
    const std::size_t end = flat.find('\n', at);
    MBRK_FUZZ_CHECK(end != std::string::npos);
    const std::string line = flat.substr(at, end - at);
    at = end + 1;
    // A file's rows fill the ring exactly, so slot i holds row i.
    table.GetInputRow(row, input_row.data());
    table.GetOutputRow(row, output_row.data());
    std::size_t pos = 0;
    for (std::int32_t k = 0; k < inputs + outputs; ++k) {
      const std::size_t blank = line.find(' ', pos);
      MBRK_FUZZ_CHECK(blank != std::string::npos);
      const std::string text = line.substr(pos, blank - pos);
      pos = blank + 1;
      const double value = k < inputs ? input_row[static_cast<std::size_t>(k)]
                                      : output_row[static_cast<std::size_t>(k - inputs)];
      MBRK_FUZZ_CHECK(mbrk::fuzz::ReadsBackTo(text, value));
      MBRK_FUZZ_CHECK(text == mbrk::fuzz::FlatText(value));
    }
    MBRK_FUZZ_CHECK(pos == line.size());
  }
  MBRK_FUZZ_CHECK(at == flat.size());
}

// The flat text read back by the flat reader, in file order.
void CheckReadBack(const std::string& flat, Data& table) {
  const std::int32_t rows = table.MbrNdxDataRows;
  const std::int32_t inputs = table.MbrLngInputs;
  const std::int32_t outputs = table.MbrLngOutputs;
  std::istringstream in(flat);
  Data* read = nullptr;
  mbrk::TFlatFiler::ReadData(in, read, rows, inputs, outputs);
  const std::unique_ptr<Data> back(read);
  MBRK_FUZZ_CHECK(back != nullptr && back->MbrNdxDataRows == rows);
  const std::size_t width = static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs);
  std::vector<double> original(width + 1);
  std::vector<double> again(width + 1);
  for (std::int32_t row = 0; row < rows; ++row) {
    table.GetInputRow(row, original.data());
    table.GetOutputRow(row, original.data() + inputs);
    back->GetInputRow(row, again.data());
    back->GetOutputRow(row, again.data() + inputs);
    for (std::int32_t k = 0; k < inputs + outputs; ++k) {
      const double value = original[static_cast<std::size_t>(k)];
      if (!std::isfinite(value)) return;
      const double rounded = std::strtod(mbrk::fuzz::FlatText(value).c_str(), nullptr);
      MBRK_FUZZ_CHECK(mbrk::fuzz::SameValue(rounded, again[static_cast<std::size_t>(k)]));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mbrk::fuzz::ScratchFile file;
  file.Write(data, size);

  mbrk::FileTools tools;
  // The reader leaves a partly filled first table here also when it throws.
  Data* loaded = nullptr;
  std::int32_t result = mbrk::SUCCESS;
  try {
    result = mbrk::LoadDatFile(tools, file.name(), loaded);
  } catch (mbrk::FileTools::Error& error) {
    const std::unique_ptr<Data> partial(loaded);
    const std::unique_ptr<char[]> message(error.MbrStrMessage);
    MBRK_FUZZ_CHECK(mbrk::fuzz::IsReaderMessage(message.get()));
    // The reader's own stream is gone by now: the record must not point at it.
    MBRK_FUZZ_CHECK(error.MbrPtrStream == nullptr);
    return 0;
  }
  const std::unique_ptr<Data> table(loaded);
  MBRK_FUZZ_CHECK(result == mbrk::SUCCESS || result == mbrk::UNEXPECTED_CONTENT);
  if (table == nullptr) return 0;

  MBRK_FUZZ_CHECK(table->MbrNdxDataRows == table->MbrNdxRows);
  std::ostringstream flat;
  mbrk::TFlatFiler::WriteData(flat, table.get());
  MBRK_FUZZ_CHECK(flat.good());
  // Without rows the widths may be two billion: no room is made for them.
  if (table->MbrNdxRows == 0) {
    MBRK_FUZZ_CHECK(flat.str().empty());
    return 0;
  }
  CheckFlatText(flat.str(), *table);
  CheckReadBack(flat.str(), *table);
  return 0;
}
