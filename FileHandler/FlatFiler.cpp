#include "FileHandler/FlatFiler.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <locale>
#include <sstream>
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
  table->MbrNdxCursor = table->MbrNdxLast;
  // A table without rows may still be two billion values wide: nothing is
  // made for rows that are not there.
  if (rows <= 0) return;
  std::vector<double> input_row(static_cast<std::size_t>(inputs));
  std::vector<double> output_row(static_cast<std::size_t>(outputs));
  // A line is built whole and handed to the stream in one piece.
  std::string line;
  line.reserve((static_cast<std::size_t>(inputs) + static_cast<std::size_t>(outputs)) *
                   (kMaxValueText + 1) + 1);
  char text[kMaxValueText];

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

inline bool IsClassicSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The collected text as the library converts it: the whole text must be a
// number, else 0 and a failed stream.
std::ios::iostate ConvertCollected(const std::string& text, double& value) {
  const char* first = text.data();
  const char* const last = first + text.size();
  if (first != last && *first == '+') ++first;  // from_chars takes no "+"
  double result = 0.0;
  const std::from_chars_result done = std::from_chars(first, last, result);
  if (done.ec == std::errc() && done.ptr == last) {
    // Correctly rounded, as the library's strtod is.
    value = result;
    return std::ios::goodbit;
  }
  if (done.ec == std::errc::result_out_of_range) {
    // Beyond the range of a double (the largest double and a failed stream)
    // or below it (the nearest tiny value, accepted): the library itself
    // decides, on the same text, which it collects again unchanged.
    std::istringstream again(text);
    again.imbue(std::locale::classic());
    again >> value;
    return again.fail() ? std::ios::failbit : std::ios::goodbit;
  }
  value = 0.0;
  return std::ios::failbit;
}

// `in >> value` for a stream that reads numbers as the classic locale does,
// skips white space and throws nothing, with the characters taken straight
// from its buffer: a sentry and the locale's machinery per number cost
// several times the scanning itself. Step by step it is the library's
// extraction: white space is skipped (the end of the input there fails the
// stream and leaves the value alone); then [+-], leading zeros (kept as one
// "0"), digits, one "." before any exponent, and "e" or "E" after a mantissa
// digit with an optional sign are collected, and the first other character
// ends the number and stays unread; the collected text is converted as a
// whole; reaching the end of the input adds the end-of-file state.
void ExtractClassic(std::istream& in, double& value, std::string& text) {
  constexpr int kEof = std::char_traits<char>::eof();
  if (!in.good()) {
    in.setstate(std::ios::failbit);
    return;
  }
  std::streambuf* const sb = in.rdbuf();
  std::ios::iostate state = std::ios::goodbit;
  try {
    int c = sb->sgetc();
    while (c != kEof && IsClassicSpace(c)) c = sb->snextc();
    if (c == kEof) {
      in.setstate(std::ios::eofbit | std::ios::failbit);
      return;
    }
    text.clear();
    if (c == '+' || c == '-') {
      text.push_back(static_cast<char>(c));
      c = sb->snextc();
    }
    bool mantissa = false;
    while (c == '0') {
      if (!mantissa) text.push_back('0');
      mantissa = true;
      c = sb->snextc();
    }
    bool point = false;
    bool exponent = false;
    while (c != kEof) {
      if (c >= '0' && c <= '9') {
        text.push_back(static_cast<char>(c));
        mantissa = true;
      } else if (c == '.' && !point && !exponent) {
        text.push_back('.');
        point = true;
      } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
        text.push_back('e');
        exponent = true;
        c = sb->snextc();
        if (c == '+' || c == '-') {
          text.push_back(static_cast<char>(c));
        } else {
          continue;  // the character after "e" is looked at afresh
        }
      } else {
        break;
      }
      c = sb->snextc();
    }
    if (c == kEof) state |= std::ios::eofbit;
    state |= ConvertCollected(text, value);
  } catch (...) {
    // A buffer that throws is reported as the library reports it.
    in.setstate(std::ios::badbit);
    return;
  }
  in.setstate(state);
}

// Whether ExtractClassic is exactly `in >> value` on this stream.
bool ReadsAsClassic(const std::istream& in) {
  return (in.flags() & std::ios::skipws) != 0 && in.exceptions() == std::ios::goodbit &&
         in.getloc() == std::locale::classic();
}

// Extracts the row's values one by one. Once the stream has failed, an
// extraction's sentry would leave the value untouched; skipping it does the
// same without the cost.
void ReadValues(std::istream& in, bool classic, std::string& text, std::vector<double>& values) {
  for (double& value : values) {
    if (!in) return;
    if (classic) {
      ExtractClassic(in, value, text);
    } else {
      in >> value;
    }
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
  const bool classic = ReadsAsClassic(in);
  // What each extraction's sentry would do first; nothing is written to the
  // tied stream in between.
  if (classic && rows > 0 && (inputs > 0 || outputs > 0) && in.good() && in.tie() != nullptr) {
    in.tie()->flush();
  }
  std::string text;
  for (std::int32_t row = 0; row < rows; ++row) {
    ReadValues(in, classic, text, input_row);
    ReadValues(in, classic, text, output_row);
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
