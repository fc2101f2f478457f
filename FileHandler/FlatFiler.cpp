#include "FileHandler/FlatFiler.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "DataObject/Assert.h"
#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"

namespace mbrk {

std::size_t TFlatFiler::FormatValue(double value, char* buffer) noexcept {
  if (!std::isfinite(value)) {
    const char* text = std::isinf(value) ? (value < 0 ? "-INF" : "+INF")
                                         : (std::signbit(value) ? "-NAN" : "+NAN");
    std::memcpy(buffer, text, 4);
    return 4;
  }
  // General notation at precision 9 is exactly what "%.9g" writes, digit for
  // digit, without the locale and format-string parsing of printf.
  const std::to_chars_result done =
      std::to_chars(buffer, buffer + kMaxValueText, value, std::chars_format::general, 9);
  MBRK_ASSERT(done.ec == std::errc());
  return static_cast<std::size_t>(done.ptr - buffer);
}

void TFlatFiler::WriteData(std::ostream& out, Data* table) {
  MBRK_ASSERT(table != nullptr);
  const std::int32_t rows = table->MbrNdxDataRows;
  const std::int32_t inputs = table->MbrLngInputs > 0 ? table->MbrLngInputs : 0;
  const std::int32_t outputs = table->MbrLngOutputs > 0 ? table->MbrLngOutputs : 0;
  std::vector<double> input_row(static_cast<std::size_t>(inputs));
  std::vector<double> output_row(static_cast<std::size_t>(outputs));
  // A line is built whole and handed to the stream in one piece.
  std::string line;
  line.reserve((static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs)) *
                   (kMaxValueText + 1) + 1);
  char text[kMaxValueText];

  table->MbrNdxCursor = table->MbrNdxLast;
  for (std::int32_t row = 0; row < rows; ++row) {
    table->GetNextRow(input_row.data(), output_row.data(), nullptr);
    line.clear();
    for (double value : input_row) {
      line.append(text, FormatValue(value, text));
      line.push_back(' ');
    }
    for (double value : output_row) {
      line.append(text, FormatValue(value, text));
      line.push_back(' ');
    }
    line.push_back('\n');
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    // Every completed line reaches the file at once, so a failure later on
    // leaves every row written before it in place.
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

// ---- Reading flat files ---------------------------------------------------------

namespace {

void CheckShape(std::int32_t rows, std::int32_t inputs, std::int32_t outputs,
                const char* location) {
  const char* message = rows < 0     ? "Invalid Number of Rows"
                        : inputs < 0  ? "Invalid Number of Inputs"
                        : outputs < 0 ? "Invalid Number of Outputs"
                                      : nullptr;
  if (message != nullptr) throw TException(message, "Bad Parameter", location, nullptr);
}

// Extracts the row's values one by one. Once the stream has failed, an
// extraction's sentry would leave the value untouched; skipping it does the
// same without the cost.
void ReadValues(std::istream& in, std::vector<double>& values) {
  for (double& value : values) {
    if (!in) return;
    in >> value;
  }
}

}  // namespace

void TFlatFiler::ReadData(std::istream& in, Data*& table, std::int32_t rows, std::int32_t inputs,
                          std::int32_t outputs) {
  CheckShape(rows, inputs, outputs, "TFlatFiler::ReadData");
  // Zeroed: a position that the file cannot supply in the first row reads
  // as 0.0; later rows repeat the previous row's value there.
  std::vector<double> input_row(static_cast<std::size_t>(inputs));
  std::vector<double> output_row(static_cast<std::size_t>(outputs));
  table = new Data(rows, inputs, outputs, false);
  for (std::int32_t row = 0; row < rows; ++row) {
    ReadValues(in, input_row);
    ReadValues(in, output_row);
    table->AppendRow(inputs > 0 ? input_row.data() : nullptr,
                     outputs > 0 ? output_row.data() : nullptr, nullptr);
  }
}

void TFlatFiler::LoadData(const char* filename, Data*& table, std::int32_t rows,
                          std::int32_t inputs, std::int32_t outputs) {
  MBRK_ASSERT(filename != nullptr);
  CheckShape(rows, inputs, outputs, "TFlatFiler::LoadData");
  // A folder opens like a file here but reads as nothing at all.
  std::error_code ignored;
  std::ifstream in;
  if (!std::filesystem::is_directory(filename, ignored)) in.open(filename);
  if (!in.good() || !in.is_open()) {
    throw TException("Unable to open file for input", "File Error", "TFlatFiler::LoadData",
                     nullptr);
  }
  ReadData(in, table, rows, inputs, outputs);
  in.close();
}

}  // namespace mbrk
