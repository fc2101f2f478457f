// The flat reader: a flat file read back into a table of a given shape.
#include <charconv>
#include <cstdint>
#include <istream>
#include <locale>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "Base/internal/Assert.h"
#include "Base/internal/ByteReader.h"
#include "Base/internal/Interrupt.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"
#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/internal/FlatRows.h"
#include "FileHandler/internal/InputFile.h"

namespace mbrk {

namespace {

void CheckShape(std::int32_t rows, std::int32_t inputs, std::int32_t outputs,
                const char* location) {
  const char* message = rows < 0      ? "Invalid Number of Rows"
                        : inputs < 0  ? "Invalid Number of Inputs"
                        : outputs < 0 ? "Invalid Number of Outputs"
                                      : nullptr;
  if (message != nullptr) throw TException(message, "Bad Parameter", location, nullptr);
}

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

// The letters of the flat writer's texts of non-finite values, "+INF",
// "-INF", "+NAN" and "-NAN", that follow the sign and begin with `first`.
const char* SpecialWord(int first) { return first == 'I' ? "INF" : "NAN"; }

// The rest of one of those texts after its sign (in `text`), from `c`, the
// byte Peek gave. The letters are taken while they continue the text; the
// first that does not stays unread, and what does not complete a text is not
// a number: 0, and a failed stream, as for any other word that is not.
std::ios::iostate ExtractSpecial(ByteReader& bytes, int c, std::string& text, double& value) {
  const char* const word = SpecialWord(c);
  for (int k = 0; k < 3 && c == word[k]; ++k) {
    text.push_back(static_cast<char>(c));
    c = bytes.SkipAndPeek();
  }
  const std::ios::iostate end = c == kEndOfInput ? std::ios::eofbit : std::ios::goodbit;
  if (ScanFlatSpecial(text.data(), text.data() + text.size(), &value) == nullptr) {
    value = 0.0;
    return end | std::ios::failbit;
  }
  return end;
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
  if (!in.good()) {
    in.setstate(std::ios::failbit);
    return;
  }
  ByteReader bytes(in);
  std::ios::iostate state = std::ios::goodbit;
  try {
    int c = bytes.Peek();
    while (IsCSpace(c)) c = bytes.SkipAndPeek();
    if (c == kEndOfInput) {
      in.setstate(std::ios::eofbit | std::ios::failbit);
      return;
    }
    text.clear();
    if (c == '+' || c == '-') {
      text.push_back(static_cast<char>(c));
      c = bytes.SkipAndPeek();
      if (c == 'I' || c == 'N') {
        state |= ExtractSpecial(bytes, c, text, value);
        in.setstate(state);
        return;
      }
    }
    bool mantissa = false;
    while (c == '0') {
      if (!mantissa) text.push_back('0');
      mantissa = true;
      c = bytes.SkipAndPeek();
    }
    bool point = false;
    bool exponent = false;
    while (c != kEndOfInput) {
      if (IsDigit(c)) {
        text.push_back(static_cast<char>(c));
        mantissa = true;
      } else if (c == '.' && !point && !exponent) {
        text.push_back('.');
        point = true;
      } else if ((c == 'e' || c == 'E') && !exponent && mantissa) {
        text.push_back('e');
        exponent = true;
        c = bytes.SkipAndPeek();
        if (c == '+' || c == '-') {
          text.push_back(static_cast<char>(c));
        } else {
          continue;  // the character after "e" is looked at afresh
        }
      } else {
        break;
      }
      c = bytes.SkipAndPeek();
    }
    if (c == kEndOfInput) state |= std::ios::eofbit;
    state |= ConvertCollected(text, value);
  } catch (...) {
    // A buffer that throws is reported as the library reports it.
    in.setstate(std::ios::badbit);
    return;
  }
  in.setstate(state);
}

// Where the text that ExtractClassic collects from `p` on ends: the first
// byte it leaves unread; null when the text may go on past `end`.
const char* CollectedEnd(const char* p, const char* end) {
  if (p != end && (*p == '+' || *p == '-')) ++p;
  bool mantissa = false;
  bool point = false;
  bool exponent = false;
  for (; p != end; ++p) {
    if (IsDigit(ByteOf(*p))) {
      mantissa = true;
    } else if (*p == '.' && !point && !exponent) {
      point = true;
    } else if ((*p == 'e' || *p == 'E') && !exponent && mantissa) {
      exponent = true;
      if (end - p > 1 && (p[1] == '+' || p[1] == '-')) ++p;
    } else {
      return p;
    }
  }
  return nullptr;
}

// ExtractClassic on a good stream, done in place on the bytes its buffer
// holds when the number ends among them (every number but one per buffer
// load): the white space is skipped, and the text that ExtractClassic would
// collect is converted where it stands. Returns false when the number may run
// on past the buffered bytes, or none are buffered, having consumed nothing
// but white space (which ExtractClassic would skip all the same):
// ExtractClassic then reads it.
bool ExtractInPlace(std::istream& in, std::streambuf* sb, double& value, std::string& text) {
  const char* p = GetArea::Next(sb);
  const char* const end = GetArea::End(sb);
  while (p != end && IsCSpace(ByteOf(*p))) ++p;
  // Where the in-place scanner stops short of the end, the collected text
  // stops too: it has taken every digit, the one point and the exponent, and
  // what follows can continue none of them. Leading zeros and the letter case
  // of the exponent, which the collected text does not keep as written,
  // change nothing in the value.
  double number = 0.0;
  if (p != end && (*p == '+' || *p == '-')) {
    // A text of a non-finite value needs its four bytes here; one that may
    // run on past them is left to ExtractClassic.
    if (end - p < 5) {
      GetArea::MoveTo(sb, p);
      return false;
    }
    const char* special = ScanFlatSpecial(p, end, &number);
    if (special != nullptr) {
      value = number;
      GetArea::MoveTo(sb, special);
      return true;
    }
    if (p[1] == 'I' || p[1] == 'N') {
      // An unfinished one: its letters so far are read, as ExtractClassic
      // reads them, and the stream fails.
      const char* const word = SpecialWord(p[1]);
      special = p + 1;
      while (special - p < 4 && *special == word[special - p - 1]) ++special;
      value = 0.0;
      in.setstate(std::ios::failbit);
      GetArea::MoveTo(sb, special);
      return true;
    }
  }
  const char* stop = ScanShortDecimal(p, end, &number);
  if (stop != nullptr && stop != end) {
    value = number;
  } else {
    stop = p != end ? CollectedEnd(p, end) : nullptr;
    if (stop == nullptr) {
      if (p != end) GetArea::MoveTo(sb, p);
      return false;
    }
    text.assign(p, stop);
    const std::ios::iostate state = ConvertCollected(text, value);
    if (state != std::ios::goodbit) in.setstate(state);
  }
  GetArea::MoveTo(sb, stop);
  return true;
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
  std::streambuf* const sb = in.rdbuf();
  for (double& value : values) {
    if (!in) return;
    if (!classic) {
      in >> value;
    } else if (!in.good() || !ExtractInPlace(in, sb, value, text)) {
      ExtractClassic(in, value, text);
    }
  }
}

}  // namespace

void ReadFlatRows(std::istream& in, std::int32_t rows, std::int32_t inputs, std::int32_t outputs,
                  FlatDestination& destination) {
  // Zeroed: a position that the file cannot supply in the first row reads
  // as 0.0; later rows repeat the previous row's value there.
  std::vector<double> input_row(static_cast<std::size_t>(inputs));
  std::vector<double> output_row(static_cast<std::size_t>(outputs));
  destination.Start();
  const bool classic = ReadsAsClassic(in);
  // What each extraction's sentry would do first; nothing is written to the
  // tied stream in between.
  if (classic && rows > 0 && (inputs > 0 || outputs > 0) && in.good() && in.tie() != nullptr) {
    in.tie()->flush();
  }
  std::string text;
  for (std::int32_t row = 0; row < rows; ++row) {
    // Rows that read nothing still cost their time: the poll goes by rows.
    if ((row & 0xFFF) == 0) PollInterrupt();
    ReadValues(in, classic, text, input_row);
    ReadValues(in, classic, text, output_row);
    destination.TakeRow(row, inputs > 0 ? input_row.data() : nullptr,
                        outputs > 0 ? output_row.data() : nullptr);
  }
}

void TFlatFiler::ReadData(std::istream& in, Data*& table, std::int32_t rows, std::int32_t inputs,
                          std::int32_t outputs) {
  CheckShape(rows, inputs, outputs, "TFlatFiler::ReadData");
  // The table is made once the reader's own rows are: it is the caller's as
  // soon as it is made.
  struct TableDestination final : FlatDestination {
    TableDestination(Data*& made, std::int32_t count, std::int32_t in_width, std::int32_t out_width)
        : table(made), rows(count), inputs(in_width), outputs(out_width) {}
    void Start() override { table = new Data(rows, inputs, outputs, false); }
    void TakeRow(std::int32_t, const double* in_values, const double* out_values) override {
      table->AppendRow(in_values, out_values, nullptr);
    }
    Data*& table;
    std::int32_t rows, inputs, outputs;
  } destination(table, rows, inputs, outputs);
  ReadFlatRows(in, rows, inputs, outputs, destination);
}

void TFlatFiler::LoadData(const char* filename, Data*& table, std::int32_t rows,
                          std::int32_t inputs, std::int32_t outputs) {
  MBRK_ASSERT(filename != nullptr);
  CheckShape(rows, inputs, outputs, "TFlatFiler::LoadData");
  InputFile file;
  if (OpenInput(file, filename) != InputStatus::kOpen) {
    throw TException("Unable to open file for input", "File Error", "TFlatFiler::LoadData",
                     nullptr);
  }
  ReadData(file.stream(), table, rows, inputs, outputs);
}

}  // namespace mbrk
