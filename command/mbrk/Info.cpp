// mbrk info: what a dataset file's header says, read alone.
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "command/mbrk/Common.h"
#include "command/mbrk/Files.h"

namespace mbrk::cli {

namespace {

const char kHelp[] =
    "Usage: mbrk info [--json] FILE...\n"
    "Show what each dataset file's header says: the rows, the widths of the inputs,\n"
    "expected outputs, generated outputs and errors, which vectors are label lists,\n"
    "the format version, the file's size in bytes and its compression. Only the\n"
    "header is read, however large the file.\n"
    "\n"
    "  --json      one JSON object per file and line\n"
    "  -h, --help  this help\n"
    "\n"
    "Exit status: 0 all files read, 1 any could not be, 2 a usage error.\n";

struct FileInfo {
  std::string path;
  DatasetShape shape;
  std::int64_t size = -1;
  std::string compression;
};

std::string LabelsText(const DatasetShape& shape) {
  if (shape.expected_labels && shape.generated_labels) return "expected,generated";
  if (shape.expected_labels) return "expected";
  if (shape.generated_labels) return "generated";
  return "-";
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string Json(const FileInfo& info) {
  const DatasetShape& s = info.shape;
  auto flag = [](bool on) { return on ? "true" : "false"; };
  std::string version = "null";
  // JSON has no infinities or NaN.
  if (s.format_version && std::isfinite(*s.format_version)) version = ExactText(*s.format_version);
  return "{\"file\":" + JsonString(info.path) + ",\"rows\":" + std::to_string(s.rows) +
         ",\"inputs\":" + std::to_string(s.inputs) + ",\"expected\":" + std::to_string(s.expected) +
         ",\"generated\":" + std::to_string(s.generated) +
         ",\"errors\":" + std::to_string(s.errors) +
         ",\"expected_labels\":" + flag(s.expected_labels) +
         ",\"generated_labels\":" + flag(s.generated_labels) + ",\"format_version\":" + version +
         ",\"size\":" + (info.size < 0 ? "null" : std::to_string(info.size)) +
         ",\"compression\":" + JsonString(info.compression) + "}";
}

std::vector<std::string> Cells(const FileInfo& info) {
  const DatasetShape& s = info.shape;
  return {info.path,
          std::to_string(s.rows),
          std::to_string(s.inputs),
          std::to_string(s.expected),
          std::to_string(s.generated),
          std::to_string(s.errors),
          LabelsText(s),
          s.format_version ? ExactText(*s.format_version) : "-",
          info.size < 0 ? "-" : std::to_string(info.size),
          info.compression};
}

FileInfo Probe(const std::string& path) {
  FileInfo info;
  info.path = path;
  info.shape = ProbeDataset(path);
  struct stat status;
  if (::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) info.size = status.st_size;
  info.compression = CompressionOf(path);
  return info;
}

}  // namespace

int RunInfo(const std::vector<std::string>& words, const Console& console) {
  if (WantsHelp(words)) {
    console.out << kHelp << std::flush;
    return 0;
  }
  const Arguments args = ParseArguments(words, {{"json", 0, false}});
  if (args.operands.empty()) throw UsageError("no file given");
  for (const std::string& path : args.operands) {
    if (path == "-") throw UsageError("info reads files by name, not standard input");
  }
  const bool json = args.Has("json");
  std::vector<std::vector<std::string>> rows;
  int status = 0;
  for (const std::string& path : args.operands) {
    try {
      const FileInfo info = Probe(path);
      if (json) {
        console.out << Json(info) << '\n';
      } else {
        rows.push_back(Cells(info));
      }
    } catch (const std::exception& error) {
      console.out << std::flush;
      console.err << "mbrk info: " << Describe(path, error) << std::endl;
      status = 1;
    }
  }
  if (!json && !rows.empty()) {
    PrintTable(console.out,
               {"FILE", "ROWS", "INPUTS", "EXPECTED", "GENERATED", "ERRORS", "LABELS", "VERSION",
                "SIZE", "COMPRESSION"},
               rows, {false, true, true, true, true, true, false, true, true, false});
  }
  console.out << std::flush;
  return status;
}

}  // namespace mbrk::cli
