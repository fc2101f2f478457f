// mbrk stats: per column figures in one numerically stable pass, and a
// distribution drawn with block characters.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "command/mbrk/Columns.h"
#include "command/mbrk/Common.h"

namespace mbrk::cli {

namespace {

const char kHelp[] =
    "Usage: mbrk stats [--bins N] [--quiet] FILE\n"
    "Per column of a dataset file: the values (count, NaN apart), the NaN values,\n"
    "min, max, mean and standard deviation (of a sample: n - 1), and the values'\n"
    "distribution as a line of block characters, N bins of equal width from the\n"
    "smallest finite value to the largest. Columns are named as 'mbrk head' and\n"
    "'mbrk convert' name them; a label's column holds the rows that carry it.\n"
    "FILE '-' is standard input.\n"
    "\n"
    "  -b, --bins N  the bins of the distribution (default 16, 1 to 200)\n"
    "  -q, --quiet   no progress display\n"
    "  -h, --help    this help\n"
    "\n"
    "Exit status: 0 shown, 1 the file cannot be read, 2 a usage error.\n";

// Count, mean and the sum of squared deviations by Welford's updates, over
// the finite values; infinities and NaN are counted apart.
struct Figures {
  std::int64_t finite = 0;
  std::int64_t nans = 0;
  std::int64_t above = 0;  // +inf
  std::int64_t below = 0;  // -inf
  double mean = 0;
  double squares = 0;
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();

  void Add(double value) {
    if (std::isnan(value)) {
      ++nans;
    } else if (std::isinf(value)) {
      ++(value > 0 ? above : below);
    } else {
      ++finite;
      const double delta = value - mean;
      mean += delta / static_cast<double>(finite);
      squares += delta * (value - mean);
      low = std::min(low, value);
      high = std::max(high, value);
    }
  }
  std::int64_t Count() const { return finite + above + below; }
};

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::vector<std::string> Cells(const Column& column, const Figures& f, const std::string& bars) {
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<std::string> cells = {column.name, std::to_string(f.Count()), std::to_string(f.nans)};
  if (f.Count() == 0) {
    cells.insert(cells.end(), {"-", "-", "-", "-", bars});
    return cells;
  }
  const double low = f.below > 0 ? -inf : f.low;
  const double high = f.above > 0 ? inf : f.high;
  double mean = f.mean;
  if (f.above > 0 || f.below > 0) {
    mean = f.above > 0 && f.below > 0 ? std::nan("") : (f.above > 0 ? inf : -inf);
  }
  std::string deviation = "-";
  if (f.above > 0 || f.below > 0) {
    deviation = "nan";
  } else if (f.finite > 1) {
    deviation = Number(std::sqrt(f.squares / static_cast<double>(f.finite - 1)));
  }
  cells.insert(cells.end(), {Number(low), Number(high), Number(mean), deviation, bars});
  return cells;
}

// The finite values of `column` in `bins` bins from its low to its high, as
// block characters: a bin's height against the fullest bin's.
std::string Distribution(const Column& column, std::size_t rows, const Figures& f,
                         std::size_t bins) {
  if (f.finite == 0) return "";
  std::vector<std::int64_t> counts(bins, 0);
  const double span = f.high - f.low;
  for (std::size_t r = 0; r < rows; ++r) {
    double value = 0;
    if (!column.ValueAt(r, value) || !std::isfinite(value)) continue;
    std::size_t bin = 0;
    if (span > 0) {
      bin = static_cast<std::size_t>((value - f.low) / span * static_cast<double>(bins));
      bin = std::min(bin, bins - 1);
    }
    ++counts[bin];
  }
  static const char* const kBlocks[] = {" ", "▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
  const std::int64_t most = *std::max_element(counts.begin(), counts.end());
  std::string bars;
  for (const std::int64_t count : counts) {
    // Any value at all shows at least the lowest block.
    bars += kBlocks[count == 0 ? 0 : 1 + (count * 7) / most];
  }
  return bars;
}

void PrintStats(const Dataset& dataset, std::size_t bins, std::ostream& out) {
  const std::vector<Column> columns = AllColumns(dataset);
  std::vector<Figures> figures(columns.size());
  // The one pass over the values.
  for (std::size_t r = 0; r < dataset.Rows(); ++r) {
    for (std::size_t c = 0; c < columns.size(); ++c) {
      double value = 0;
      if (columns[c].ValueAt(r, value)) figures[c].Add(value);
    }
  }
  std::vector<std::vector<std::string>> rows;
  for (std::size_t c = 0; c < columns.size(); ++c) {
    rows.push_back(
        Cells(columns[c], figures[c], Distribution(columns[c], dataset.Rows(), figures[c], bins)));
  }
  PrintTable(out, {"COLUMN", "COUNT", "NAN", "MIN", "MAX", "MEAN", "STD", "DISTRIBUTION"}, rows,
             {false, true, true, true, true, true, true, false});
}

}  // namespace

int RunStats(const std::vector<std::string>& words, const Console& console) {
  if (WantsHelp(words)) {
    console.out << kHelp << std::flush;
    return 0;
  }
  const Arguments args = ParseArguments(words, {{"bins", 'b', true}, {"quiet", 'q', false}});
  if (args.operands.size() != 1) throw UsageError("one file wanted");
  const auto bins =
      static_cast<std::size_t>(ParseCount(args.Value("bins", "16"), "--bins", 1, 200));
  const std::string& path = args.operands.front();
  std::string failure;
  Dataset dataset;
  {
    Progress progress(ShowProgress(console, args), console.err);
    try {
      progress.Stage("reading", -1, -1);
      dataset = ReadSource(path, console, progress);
    } catch (const std::exception& error) {
      failure = Describe(path, error);
    }
  }
  try {
    if (failure.empty()) PrintStats(dataset, bins, console.out);
  } catch (const std::exception& error) {
    failure = Describe(path, error);
  }
  console.out << std::flush;
  if (failure.empty()) return 0;
  console.err << "mbrk stats: " << failure << std::endl;
  return 1;
}

}  // namespace mbrk::cli
