// mbrk head: the first rows of a dataset as a table, reading no further.
#include <algorithm>
#include <cstdint>
#include <iostream>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "command/mbrk/Columns.h"
#include "command/mbrk/Common.h"
#include "command/mbrk/Files.h"

namespace mbrk::cli {

namespace {

const char kHelp[] =
    "Usage: mbrk head [-n N] FILE\n"
    "Show the first N rows of a dataset file as a table whose header names the\n"
    "columns input_0 ..., expected_0 ..., generated_0 ..., error_0 ...; a vector of\n"
    "label lists is one column of name=value pairs. Values are shown exactly (the\n"
    "shortest text that reads back to the same number). Reading stops after N rows;\n"
    "FILE '-' is standard input.\n"
    "\n"
    "  -n, --lines N  the rows to show (default 10)\n"
    "  -h, --help     this help\n"
    "\n"
    "Exit status: 0 shown, 1 the file cannot be read, 2 a usage error.\n";

// The first `count` rows, read in order on one open input: a plain file,
// a compressed one or standard input alike, reading no further than they
// take (and what the reader reads ahead).
Dataset FirstRows(const std::string& path, std::int64_t count) {
  const auto rows = static_cast<std::int32_t>(
      std::min<std::int64_t>(count, std::numeric_limits<std::int32_t>::max()));
  if (path == "-") return WindowStream(std::cin).Next(rows);
  return WindowStream(path).Next(rows);
}

std::string ListText(const Labels& labels) {
  if (labels.empty()) return "-";
  std::string text;
  for (const Label& label : labels) {
    if (!text.empty()) text += ' ';
    text += label.name + "=" + ExactText(label.value);
  }
  return text;
}

void PrintRows(const Dataset& dataset, std::ostream& out) {
  RequireShowableWidth(dataset);
  std::vector<std::string> header;
  std::vector<bool> right;
  for (int v = 0; v < 4; ++v) {
    if (VectorLabels(dataset, v)) {
      header.push_back(kVectorNames[v]);
      right.push_back(false);
      continue;
    }
    for (std::size_t i = 0; i < VectorMatrix(dataset, v).Width(); ++i) {
      header.push_back(kColumnPrefixes[v] + std::to_string(i));
      right.push_back(true);
    }
  }
  std::vector<std::vector<std::string>> rows(dataset.Rows());
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (int v = 0; v < 4; ++v) {
      if (const auto& lists = VectorLabels(dataset, v)) {
        rows[r].push_back(ListText((*lists)[r]));
        continue;
      }
      const Matrix& matrix = VectorMatrix(dataset, v);
      for (std::size_t i = 0; i < matrix.Width(); ++i) rows[r].push_back(ExactText(matrix(r, i)));
    }
  }
  PrintTable(out, header, rows, right);
}

}  // namespace

int RunHead(const std::vector<std::string>& words, const Console& console) {
  if (WantsHelp(words)) {
    console.out << kHelp << std::flush;
    return 0;
  }
  const Arguments args = ParseArguments(words, {{"lines", 'n', true}});
  if (args.operands.size() != 1) throw UsageError("one file wanted");
  const std::int64_t count =
      ParseCount(args.Value("lines", "10"), "-n", 0, std::numeric_limits<std::int32_t>::max());
  const std::string& path = args.operands.front();
  try {
    PrintRows(FirstRows(path, count), console.out);
  } catch (const std::exception& error) {
    console.out << std::flush;
    console.err << "mbrk head: " << Describe(path, error) << std::endl;
    return 1;
  }
  console.out << std::flush;
  return 0;
}

}  // namespace mbrk::cli
