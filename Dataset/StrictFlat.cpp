#include "Dataset/internal/StrictFlat.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <streambuf>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "Base/internal/NumberText.h"

namespace mbrk::files {

namespace {

// Whether [p, end) is wholly a number of the flat format's grammar.
bool IsNumberWord(const char* p, const char* end) {
  if (p != end && (*p == '+' || *p == '-')) ++p;
  const char* digits = p;
  while (p != end && IsDigit(*p)) ++p;
  bool mantissa = p != digits;
  if (p != end && *p == '.') {
    const char* fraction = ++p;
    while (p != end && IsDigit(*p)) ++p;
    mantissa = mantissa || p != fraction;
  }
  if (!mantissa) return false;
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p != end && (*p == '+' || *p == '-')) ++p;
    const char* exponent = p;
    while (p != end && IsDigit(*p)) ++p;
    if (p == exponent) return false;
  }
  return p == end;
}

// The value of a word that IsNumberWord accepts, correctly rounded; false
// beyond the largest double. Below the smallest it is the nearest, zero
// included.
bool ConvertWord(const char* p, const char* end, double* value) {
  if (ScanShortDecimal(p, end, value) == end) return true;
  const bool plus = *p == '+';
  const std::from_chars_result done = std::from_chars(p + (plus ? 1 : 0), end, *value);
  if (done.ec == std::errc()) return true;
  const std::string text(p, end);
  const double result = std::strtod(text.c_str(), nullptr);
  if (std::isinf(result)) return false;
  *value = result;
  return true;
}

// The words of a stream, each with where it ends. The unfinished word at the
// end of a load of the buffer moves to its front before the next load.
class Words {
 public:
  Words(std::istream& in, std::string path) : in_(in), path_(std::move(path)) {}

  // The next word as [*first, *last), or false at the end of the input.
  bool Next(const char** first, const char** last) {
    for (;;) {
      while (at_ != end_ && IsCSpace(static_cast<unsigned char>(buffer_[at_]))) Separator();
      if (at_ == end_) {
        if (!Load()) return false;
        continue;  // the new bytes may begin with separators
      }
      std::size_t stop = at_;
      while (stop != end_ && !IsCSpace(static_cast<unsigned char>(buffer_[stop]))) ++stop;
      if (stop == end_ && !finished_) {
        Load();
        continue;  // the word again, whole
      }
      *first = buffer_.data() + at_;
      *last = buffer_.data() + stop;
      Advance(stop);
      return true;
    }
  }

  [[noreturn]] void Fail(const char* message) const {
    throw FormatError(message, path_, last_line_, offset_ - last_line_start_ + 1, offset_);
  }

 private:
  // One separator byte; "\r\n" ends one line, as a lone "\r" or "\n" does.
  void Separator() {
    const char c = buffer_[at_];
    if (c == '\n' || c == '\r') {
      if (c == '\r' || !after_return_) ++line_;
      line_start_ = position_ + 1;
    }
    after_return_ = c == '\r';
    ++at_;
    ++position_;
  }
  void Advance(std::size_t stop) {
    position_ += static_cast<std::int64_t>(stop - at_);
    at_ = stop;
    after_return_ = false;
    offset_ = position_;
    last_line_start_ = line_start_;
    last_line_ = line_;
  }
  // Keeps the unread bytes, reads more after them; false at the end.
  bool Load() {
    if (finished_) return false;
    const std::size_t kept = end_ - at_;
    if (kept > 0) std::memmove(buffer_.data(), buffer_.data() + at_, kept);
    if (buffer_.size() < 2 * kept + kChunk) buffer_.resize(2 * kept + kChunk);
    at_ = 0;
    end_ = kept;
    std::streambuf* const source = in_.rdbuf();
    const std::streamsize got =
        source->sgetn(buffer_.data() + kept, static_cast<std::streamsize>(buffer_.size() - kept));
    if (got <= 0) {
      finished_ = true;
      return kept > 0;
    }
    end_ += static_cast<std::size_t>(got);
    return true;
  }

  static constexpr std::size_t kChunk = 256 * 1024;
  std::istream& in_;
  std::string path_;
  std::vector<char> buffer_;
  std::size_t at_ = 0;
  std::size_t end_ = 0;
  bool finished_ = false;
  bool after_return_ = false;
  std::int64_t position_ = 0;  // of buffer_[at_] in the input
  std::int64_t line_ = 1;
  std::int64_t line_start_ = 0;
  // Just past the last word: its offset, line and the offset of its line.
  std::int64_t offset_ = 0;
  std::int64_t last_line_ = 1;
  std::int64_t last_line_start_ = 0;
};

}  // namespace

Dataset ReadFlatStrict(std::istream& in, const std::string& path, std::optional<std::int32_t> rows,
                       std::int32_t inputs, std::int32_t outputs) {
  const auto in_width = static_cast<std::size_t>(inputs);
  const auto out_width = static_cast<std::size_t>(outputs);
  const std::size_t width = in_width + out_width;
  // Rows go here once read whole, so that nothing is made ahead of the file.
  std::vector<double> input_values;
  std::vector<double> output_values;
  std::vector<double> row;
  std::size_t count = 0;
  Words words(in, path);
  const char* first = nullptr;
  const char* last = nullptr;
  for (bool start = true; words.Next(&first, &last); start = false) {
    double value = 0.0;
    if (!(ScanFlatSpecial(first, last, &value) == last ||
          (IsNumberWord(first, last) && ConvertWord(first, last, &value)))) {
      const bool tag = *first == '[' || (last - first >= 2 && first[0] == '/' && first[1] == '*');
      words.Fail(start && tag ? kDatasetFile : kNotANumber);
    }
    if (width == 0 || (rows && count == static_cast<std::size_t>(*rows))) words.Fail(kTooMany);
    row.push_back(value);
    if (row.size() < width) continue;
    const auto split = row.begin() + static_cast<std::ptrdiff_t>(in_width);
    input_values.insert(input_values.end(), row.begin(), split);
    output_values.insert(output_values.end(), split, row.end());
    row.clear();
    ++count;
  }
  // Rows of no values cost nothing, however many are asked for.
  if (width == 0) count = static_cast<std::size_t>(rows.value_or(0));
  if (!row.empty() || (rows && count != static_cast<std::size_t>(*rows))) words.Fail(kTooFew);
  Dataset dataset;
  dataset.inputs = Matrix(count, in_width, input_values);
  std::vector<double>().swap(input_values);
  dataset.expected = Matrix(count, out_width, output_values);
  dataset.generated = Matrix(count, 0);
  dataset.errors = Matrix(count, 0);
  return dataset;
}

}  // namespace mbrk::files
