#include "command/mbrk/Common.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <istream>
#include <new>
#include <ostream>
#include <system_error>

#include "command/mbrk/Files.h"

namespace mbrk::cli {

namespace {

// The reader's strict number reading, where its options have one: the
// overload taking `int` is chosen when `options.strict` exists.
template <typename Options>
auto SetStrict(Options& options, bool strict, int) -> decltype(options.strict = strict, true) {
  options.strict = strict;
  return true;
}
template <typename Options>
bool SetStrict(Options&, bool, long) {
  return false;
}

// Characters a terminal shows for `text`: UTF-8 continuation bytes take none.
std::size_t ShownWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::string ShownName(const std::string& path) { return path == "-" ? "<stdin>" : path; }

std::string Describe(const std::string& path, const std::exception& error) {
  const std::string name = ShownName(path);
  if (const auto* format = dynamic_cast<const FormatError*>(&error)) {
    if (format->Line() <= 0) return name + ": " + format->Message();
    return name + ":" + std::to_string(format->Line()) + ":" + std::to_string(format->Column()) +
           ": " + format->Message();
  }
  if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
    return name + ": " + system->code().message();
  }
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) {
    return name + ": Not enough memory";
  }
  return name + ": " + error.what();
}

bool StrictReadingAvailable() {
  ReadOptions options;
  return SetStrict(options, true, 0);
}

Dataset ReadSource(const std::string& path, const Console& console, Progress& progress, bool strict,
                   unsigned threads) {
  ReadOptions options;
  options.threads = threads;
  SetStrict(options, strict, 0);
  // A compressed file is left to the reader, which knows how to open it.
  if (path != "-" && CompressionOf(path) != "none") return ReadDataset(path, options);
  const OpenedSource source = OpenSource(path, console.in_fd);
  CountingBuffer buffer(source.fd, source.owned, &progress.Bytes());
  std::istream in(&buffer);
  return ReadDataset(in, options);
}

char* WriteExact(double value, char* to) {
  if (std::isnan(value)) return std::copy_n("nan", 3, to);
  if (std::isinf(value)) return value < 0 ? std::copy_n("-inf", 4, to) : std::copy_n("inf", 3, to);
  return std::to_chars(to, to + 32, value).ptr;
}

std::string ExactText(double value) {
  char text[32];
  return std::string(text, WriteExact(value, text));
}

void PrintTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& right) {
  std::vector<std::size_t> widths(header.size(), 0);
  for (std::size_t c = 0; c < header.size(); ++c) widths[c] = ShownWidth(header[c]);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], ShownWidth(row[c]));
    }
  }
  std::string line;
  auto print = [&](const std::vector<std::string>& cells) {
    line.clear();
    for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
      const std::string pad(widths[c] - ShownWidth(cells[c]), ' ');
      if (c != 0) line += "  ";
      const bool last = c + 1 == cells.size();
      if (c < right.size() && right[c]) {
        line += pad + cells[c];
      } else {
        line += cells[c];
        if (!last) line += pad;
      }
    }
    line += '\n';
    out << line;
  };
  print(header);
  for (const auto& row : rows) print(row);
}

}  // namespace mbrk::cli
