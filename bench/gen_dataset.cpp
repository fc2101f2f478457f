// gen_dataset: writes a deterministic benchmark dataset in the bracketed format.
//
//   gen_dataset [--rows N] [--inputs N] [--outputs N] [--seed N] [--output PATH]
//
// Defaults: 1,000,000 rows, 10 inputs, 2 expected outputs, seed 1, standard output.
// The same options always give the same bytes: the generator uses its own random
// source, not the library's distributions, whose results differ between libraries.
//
// The file is laid out the way the toolkit's dataset writer lays it out (format
// version, DataSet block, all five header fields, Data block, one line per row with
// two blanks between inputs and expected outputs, end tags), preceded by a comment.
// Values are printed with 15 significant digits in general notation, i.e. the text
// "%.15g" gives. Each column has a character of its own so that the numbers look like
// real measurements: counts, flags, readings with a few decimals, full-precision
// values, tiny and huge magnitudes in exponent form, both signs.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

namespace {

// splitmix64: tiny, fast, and fully specified, so the dataset is the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Uniform in [0, 1) with 53 random bits.
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  // Uniform in [lo, hi).
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }

  // Uniform integer in [0, n).
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }

  // Roughly normal (sum of four uniforms, centred and scaled), cheap and portable.
  double Gauss() { return (Unit() + Unit() + Unit() + Unit() - 2.0) * 1.7320508075688772; }

 private:
  std::uint64_t state_;
};

// Rounds to a number of decimals, the way a measurement is recorded.
double RoundTo(double v, int decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(v * scale) / scale;
}

// Signed only when the column calls for it, and never negative zero.
double WithSign(Random& rng, double v) { return (rng.Next() & 1) != 0 && v != 0.0 ? -v : v; }

// One input value of column `col`; the kind of column repeats every ten columns.
double InputValue(Random& rng, int col) {
  switch (col % 10) {
    case 0:  // a full-precision reading in [-1, 1)
      return rng.Uniform(-1.0, 1.0);
    case 1:  // a count
      return static_cast<double>(rng.Below(100000));
    case 2:  // a temperature with three decimals
      return RoundTo(rng.Uniform(-40.0, 60.0), 3);
    case 3:  // a tiny positive quantity, 1e-7 to 1e-3, full precision
      return std::pow(10.0, rng.Uniform(-7.0, -3.0));
    case 4:  // a price-like amount, 1e3 to 1e9, three decimals
      return RoundTo(std::pow(10.0, rng.Uniform(3.0, 9.0)), 3);
    case 5:  // a probability, full precision
      return rng.Unit();
    case 6:  // a signed full-precision value around zero, spread 100
      return rng.Gauss() * 100.0;
    case 7:  // a flag
      return static_cast<double>(rng.Below(2));
    case 8:  // a huge magnitude, 1e10 to 1e20, either sign
      return WithSign(rng, std::pow(10.0, rng.Uniform(10.0, 20.0)));
    default:  // a signed reading with four decimals
      return RoundTo(rng.Uniform(-1000.0, 1000.0), 4);
  }
}

// One expected-output value of column `col`, derived from the row's inputs so that
// the outputs are a plausible function of them plus noise.
double OutputValue(Random& rng, int col, const std::vector<double>& inputs) {
  double score = 0.0;
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    const double x = inputs[i];
    // Squash every input to a comparable range before mixing.
    score += ((i % 3) == 0 ? 1.0 : -0.5) * std::tanh(x / (1.0 + std::fabs(x)));
  }
  score += 0.1 * rng.Gauss();
  switch (col % 3) {
    case 0:  // a probability, full precision
      return 1.0 / (1.0 + std::exp(-score));
    case 1:  // a class index
      return score < -0.5 ? 0.0 : (score < 0.5 ? 1.0 : 2.0);
    default:  // a regression target with six decimals
      return RoundTo(score * 10.0, 6);
  }
}

// Buffered writer of the dataset text.
class Output {
 public:
  explicit Output(std::FILE* file) : file_(file) { buffer_.reserve(kFlushAt + 1024); }
  ~Output() { Flush(); }

  void Text(const char* s) { buffer_.append(s); }
  void Text(const std::string& s) { buffer_.append(s); }
  void Char(char c) { buffer_.push_back(c); }

  // "%.15g" text of v followed by one blank.
  void Number(double v) {
    char digits[64];
    // General notation at precision 15 is exactly what printf's %.15g writes.
    const std::to_chars_result r =
        std::to_chars(digits, digits + sizeof digits, v, std::chars_format::general, 15);
    buffer_.append(digits, r.ptr);
    buffer_.push_back(' ');
  }

  void EndLine() {
    buffer_.push_back('\n');
    if (buffer_.size() >= kFlushAt) Flush();
  }

  void Flush() {
    if (!buffer_.empty() &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      std::perror("gen_dataset: write");
      std::exit(1);
    }
    buffer_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 20;
  std::FILE* file_;
  std::string buffer_;
};

[[noreturn]] void Usage(const char* message) {
  if (message != nullptr) std::fprintf(stderr, "gen_dataset: %s\n", message);
  std::fprintf(stderr,
               "usage: gen_dataset [--rows N] [--inputs N] [--outputs N] [--seed N] "
               "[--output PATH]\n");
  std::exit(2);
}

long ParseCount(const char* option, const char* text, long max) {
  long value = 0;
  const char* end = text + std::strlen(text);
  const std::from_chars_result r = std::from_chars(text, end, value);
  if (r.ec != std::errc() || r.ptr != end || value < 0 || value > max) {
    std::string message = std::string("bad value for ") + option + ": " + text;
    Usage(message.c_str());
  }
  return value;
}

}  // namespace

int main(int argc, char** argv) {
  long rows = 1000000;
  long inputs = 10;
  long outputs = 2;
  long seed = 1;
  const char* path = "-";
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "-h" || option == "--help") Usage(nullptr);
    if (i + 1 >= argc) Usage(("missing value for " + option).c_str());
    const char* value = argv[++i];
    // Rows and widths are 32-bit signed counts in the dataset header.
    if (option == "--rows") {
      rows = ParseCount("--rows", value, 2147483647L);
    } else if (option == "--inputs") {
      inputs = ParseCount("--inputs", value, 100000);
    } else if (option == "--outputs") {
      outputs = ParseCount("--outputs", value, 100000);
    } else if (option == "--seed") {
      seed = ParseCount("--seed", value, 2147483647L);
    } else if (option == "--output" || option == "-o") {
      path = value;
    } else {
      Usage(("unknown option " + option).c_str());
    }
  }

  std::FILE* file = std::strcmp(path, "-") == 0 ? stdout : std::fopen(path, "wb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }

  {
    Output out(file);
    const std::string shape = std::to_string(rows) + " rows, " + std::to_string(inputs) +
                              " inputs, " + std::to_string(outputs) + " expected outputs, seed " +
                              std::to_string(seed);
    out.Text("/* Benchmark dataset written by gen_dataset: " + shape + ".\n");
    out.Text("   Values have 15 significant digits; one row per line. */\n");
    out.Text("[FormatVersion = 1.0]\n\n[DataSet]\n");
    out.Text("[Rows = " + std::to_string(rows) + "]\n");
    out.Text("[Inputs = " + std::to_string(inputs) + "]\n");
    out.Text("[ExpectedOutputs = " + std::to_string(outputs) + "]\n");
    out.Text("[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n");

    Random rng(static_cast<std::uint64_t>(seed) * 0x2545F4914F6CDD1DULL + 1);
    std::vector<double> row(static_cast<std::size_t>(inputs));
    for (long r = 0; r < rows; ++r) {
      for (long c = 0; c < inputs; ++c) {
        row[static_cast<std::size_t>(c)] = InputValue(rng, static_cast<int>(c));
        out.Number(row[static_cast<std::size_t>(c)]);
      }
      out.Text("  ");  // the writer puts two blanks between inputs and expected outputs
      for (long c = 0; c < outputs; ++c) out.Number(OutputValue(rng, static_cast<int>(c), row));
      out.EndLine();
    }
    out.Text("[~Data]\n\n[~DataSet]\n");
  }

  if (std::fflush(file) != 0 || (file != stdout && std::fclose(file) != 0)) {
    std::perror(path);
    return 1;
  }
  return 0;
}
