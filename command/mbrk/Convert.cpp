// mbrk convert: a dataset to CSV, TSV, .npy, a flat file or a dataset file,
// written through a temporary file that is renamed into place when complete.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "command/mbrk/Columns.h"
#include "command/mbrk/Common.h"
#include "command/mbrk/Files.h"
#include "command/mbrk/Writers.h"

namespace mbrk::cli {

namespace {

const char kHelp[] =
    "Usage: mbrk convert [--to FORMAT] [--columns LIST] [--quiet] SRC DST\n"
    "Convert the dataset file SRC into DST. FORMAT is one of\n"
    "  csv, tsv  a header row naming the columns (input_0 ..., expected_0 ...,\n"
    "            generated_0 ..., error_0 ...; expected:NAME, generated:NAME for\n"
    "            the labels of label lists, empty where a row lacks one), then one\n"
    "            line per row; each value the shortest text that reads back to the\n"
    "            same number (inf, -inf, nan for those)\n"
    "  npy       one float64 array, rows x columns (NaN for a missing label)\n"
    "  flat      the flat file mbrkd2flat writes (inputs, expected outputs)\n"
    "  mbrk      a dataset file again, compressed when DST ends in .gz (gzip),\n"
    "            .xz or .zst (zstd)\n"
    "Without --to the format follows DST's suffix (.csv, .tsv, .npy, .flat, .mbrk;\n"
    "a name ending in .gz, .xz or .zst alone is a dataset file). SRC '-' is\n"
    "standard input, DST '-' standard output (never compressed). DST is written\n"
    "to a temporary file beside it and renamed when complete; it may not be SRC.\n"
    "\n"
    "  -t, --to FORMAT      the format to write\n"
    "  -c, --columns LIST   the columns to write, in this order: names separated by\n"
    "                       commas, each a column (input_3, expected:setosa) or a\n"
    "                       whole vector (inputs, expected, generated, errors);\n"
    "                       flat and mbrk take whole vectors only\n"
    "  -q, --quiet          no progress display\n"
    "  -h, --help           this help\n"
    "\n"
    "Exit status: 0 converted, 1 SRC cannot be read or DST written, 2 a usage error.\n";

enum class Format { kCsv, kTsv, kNpy, kFlat, kMbrk };

struct Request {
  std::string source;
  std::string destination;
  Format format = Format::kCsv;
  std::vector<std::string> columns;  // empty: every column
};

bool FormatNamed(const std::string& name, Format& format) {
  static const std::pair<const char*, Format> kNames[] = {{"csv", Format::kCsv},
                                                          {"tsv", Format::kTsv},
                                                          {"npy", Format::kNpy},
                                                          {"flat", Format::kFlat},
                                                          {"mbrk", Format::kMbrk}};
  for (const auto& [known, value] : kNames) {
    if (name == known) {
      format = value;
      return true;
    }
  }
  return false;
}

// The compression a file name's suffix asks for, as the dataset writer reads
// it: ".gz", ".xz", ".zst"; `stem` is the name without it.
std::optional<Compression> SuffixCompression(const std::string& path, std::string& stem) {
  static const std::pair<const char*, Compression> kSuffixes[] = {
      {".gz", Compression::kGzip}, {".xz", Compression::kXz}, {".zst", Compression::kZstd}};
  for (const auto& [suffix, compression] : kSuffixes) {
    const std::string s = suffix;
    if (path.size() > s.size() && path.compare(path.size() - s.size(), s.size(), s) == 0) {
      stem = path.substr(0, path.size() - s.size());
      return compression;
    }
  }
  stem = path;
  return std::nullopt;
}

// The format a file name's suffix names, if any.
bool SuffixFormat(const std::string& name, Format& format) {
  const std::size_t dot = name.rfind('.');
  const std::size_t slash = name.rfind('/');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
         FormatNamed(name.substr(dot + 1), format);
}

Format FormatOf(const Arguments& args, const std::string& destination) {
  Format format = Format::kCsv;
  std::string stem;
  // Only a dataset file is written compressed: DST.mbrk.gz, or DST.gz alone.
  const bool compressed = destination != "-" && SuffixCompression(destination, stem).has_value();
  if (args.Has("to")) {
    if (!FormatNamed(args.Value("to"), format)) {
      throw UsageError("unknown format '" + args.Value("to") + "' (csv, tsv, npy, flat, mbrk)");
    }
  } else if (compressed) {
    if (!SuffixFormat(stem, format)) format = Format::kMbrk;
  } else if (!SuffixFormat(destination, format)) {
    throw UsageError("cannot tell the format from '" + destination + "': use --to");
  }
  if (compressed && format != Format::kMbrk) {
    throw UsageError("only a dataset file can be compressed: '" + destination + "'");
  }
  return format;
}

Request RequestOf(const Arguments& args) {
  if (args.operands.size() != 2) throw UsageError("a source and a destination wanted");
  Request request;
  request.source = args.operands[0];
  request.destination = args.operands[1];
  request.format = FormatOf(args, request.destination);
  if (args.Has("columns")) request.columns = ParseColumnList(args.Value("columns"));
  if (request.format == Format::kFlat || request.format == Format::kMbrk) {
    for (const std::string& item : request.columns) {
      int v = 0;
      if (!IsVectorName(item, v)) {
        throw UsageError("flat and mbrk take whole vectors, not '" + item + "'");
      }
    }
  }
  return request;
}

// Empties the vectors `items` leaves out (whole vectors only), keeping the rows.
void KeepVectors(Dataset& dataset, const std::vector<std::string>& items) {
  if (items.empty()) return;
  bool keep[4] = {false, false, false, false};
  for (const std::string& item : items) {
    int v = 0;
    if (IsVectorName(item, v)) keep[v] = true;
  }
  Matrix* matrices[4] = {&dataset.inputs, &dataset.expected, &dataset.generated, &dataset.errors};
  for (int v = 0; v < 4; ++v) {
    if (keep[v]) continue;
    *matrices[v] = Matrix(dataset.Rows(), 0);
    if (v == kExpected) dataset.expected_labels.reset();
    if (v == kGenerated) dataset.generated_labels.reset();
  }
}

// A flat file holds inputs and expected outputs; without either there is no
// table to write.
void CheckFlatContent(const Dataset& dataset) {
  if (dataset.inputs.Width() == 0 && dataset.expected.Width() == 0 && !dataset.expected_labels) {
    throw std::invalid_argument("No inputs or expected outputs to convert");
  }
}

// Writes the table formats into `output`.
void WriteTable(const Request& request, const Dataset& dataset, Output& output,
                Progress& progress) {
  output.CountInto(&progress.Bytes());
  const std::vector<Column> columns =
      request.columns.empty() ? AllColumns(dataset) : SelectColumns(dataset, request.columns);
  // A text table without columns would be nothing but line ends, one per row.
  if (columns.empty() && request.format != Format::kNpy) {
    throw std::invalid_argument("No columns to write");
  }
  if (request.format == Format::kNpy) {
    WriteNpy(output, columns, dataset.Rows(), progress.Rows());
  } else {
    WriteText(output, columns, dataset.Rows(), request.format == Format::kTsv ? '\t' : ',',
              progress.Rows());
  }
}

// Writes `dataset` as the file `path` in the request's format.
void WriteFile(const Request& request, Dataset& dataset, const std::string& path,
               Progress& progress) {
  if (request.format == Format::kFlat || request.format == Format::kMbrk) {
    KeepVectors(dataset, request.columns);
    if (request.format == Format::kFlat) {
      CheckFlatContent(dataset);
      WriteFlat(path, dataset);
      return;
    }
    // The destination's suffix, not the temporary name's, decides.
    std::string stem;
    WriteOptions options;
    options.compression = SuffixCompression(request.destination, stem).value_or(Compression::kNone);
    WriteDataset(path, dataset, options);
    return;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot write");
  struct Closer {
    int fd;
    ~Closer() {
      if (fd >= 0) ::close(fd);
    }
  } closer{fd};
  Output output(fd, request.destination);
  WriteTable(request, dataset, output, progress);
  closer.fd = -1;
  if (::close(fd) != 0) throw std::system_error(errno, std::generic_category(), "cannot write");
}

// Standard output: every format straight into the stream, uncompressed.
void WriteStandardOutput(const Request& request, Dataset& dataset, const Console& console,
                         Progress& progress) {
  if (request.format == Format::kFlat || request.format == Format::kMbrk) {
    KeepVectors(dataset, request.columns);
    if (request.format == Format::kFlat) {
      CheckFlatContent(dataset);
      WriteFlat(console.out, dataset);
    } else {
      WriteDataset(console.out, dataset);
    }
    return;
  }
  Output output(console.out);
  WriteTable(request, dataset, output, progress);
  console.out.flush();
}

void Write(const Request& request, Dataset& dataset, const Console& console, Progress& progress) {
  if (request.destination == "-") {
    WriteStandardOutput(request, dataset, console, progress);
    return;
  }
  Destination destination(request.destination);
  WriteFile(request, dataset, destination.TemporaryPath(), progress);
  // The destination may have become the source while it was read.
  if (SameFile(request.source, request.destination)) {
    throw std::invalid_argument("Source and destination are the same file");
  }
  destination.Commit();
}

// The bytes and rows a reading stage will take, as far as they are known.
void StageReading(Progress& progress, const std::string& path) {
  std::int64_t bytes = -1, rows = -1;
  struct stat status;
  if (progress.Shown() && path != "-" && ::stat(path.c_str(), &status) == 0 &&
      S_ISREG(status.st_mode) && CompressionOf(path) == "none") {
    bytes = status.st_size;
    try {
      rows = ProbeDataset(path).rows;
    } catch (const std::exception&) {
      // The reading proper reports it.
    }
  }
  progress.Stage("reading", bytes, rows);
}

// Reads and writes; returns the failure's line, or "" when converted. The
// progress line is gone when it returns.
std::string Convert(const Request& request, const Console& console, bool show) {
  Progress progress(show, console.err);
  Dataset dataset;
  try {
    StageReading(progress, request.source);
    dataset = ReadSource(request.source, console, progress);
  } catch (const std::exception& error) {
    return Describe(request.source, error);
  }
  try {
    progress.Stage("writing", -1, static_cast<std::int64_t>(dataset.Rows()));
    Write(request, dataset, console, progress);
  } catch (const UsageError&) {
    throw;
  } catch (const std::exception& error) {
    return Describe(request.destination == "-" ? "<stdout>" : request.destination, error);
  }
  return "";
}

}  // namespace

int RunConvert(const std::vector<std::string>& words, const Console& console) {
  if (WantsHelp(words)) {
    console.out << kHelp << std::flush;
    return 0;
  }
  const Arguments args =
      ParseArguments(words, {{"to", 't', true}, {"columns", 'c', true}, {"quiet", 'q', false}});
  const Request request = RequestOf(args);
  if (SameFile(request.source, request.destination)) {
    console.err << "mbrk convert: Source and destination are the same file" << std::endl;
    return 1;
  }
  const std::string failure = Convert(request, console, ShowProgress(console, args));
  if (failure.empty()) return 0;
  console.err << "mbrk convert: " << failure << std::endl;
  return 1;
}

}  // namespace mbrk::cli
