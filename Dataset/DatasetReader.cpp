// The readers of the value-type interface: a dataset file's values go from
// the stream buffer straight into the matrices, once.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <istream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "DataObject/LabelList.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk {

namespace {

using Text = std::unique_ptr<char[]>;

constexpr int kEof = std::char_traits<char>::eof();

// A few hundred system calls for a file of a hundred megabytes, and small
// beside the matrices.
constexpr std::size_t kReadBufferSize = 256 * 1024;

// Rows read between two checks of the matrices' size when they grow.
constexpr std::size_t kGrowthRows = 1 << 16;

[[noreturn]] void Fail(std::istream& in, const char* message) {
  throw FileTools::Error{FileTools::DuplicateString(message), &in, 0};
}

// Where the stream buffer stands, or -1 for a stream without positions. The
// buffer answers also after the stream has seen the end of the input.
std::streamoff Tell(std::istream& in) {
  return in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
}

// ---- The first element ------------------------------------------------------------
//
// The element reader consumes format version elements without a word; the
// one before the dataset block is the file's version. So the first element is
// read here, exactly as ReadElement(nullptr, in, false) reads it (same
// results, same errors), noting the versions on the way.

int PeekPastSeparators(std::istream& in) {
  if (!in.good()) return kEof;
  std::streambuf* const sb = in.rdbuf();
  int c = sb->sgetc();
  while (IsSeparator(c)) c = sb->snextc();
  if (c == kEof) in.setstate(std::ios::eofbit);
  return c;
}

void CheckItem(std::istream& in, const char* item) {
  if (item[0] == '\0') Fail(in, "Unexpected end of file");
  if (IsSpecial(ByteOf(item[0]))) {
    Fail(in, "Unexpected special character");
  }
}

TElement MakeElement(std::int32_t kind, Text name, Text value, bool open) {
  TElement element;
  element.MbrLngKind = kind;
  element.MbrStrName = name.release();
  element.MbrStrValue = value.release();
  element.MbrBlnOpen = open;
  return element;
}

TElement ReadFirstElement(FileTools& tools, std::istream& in, std::optional<double>& version) {
  for (;;) {
    Text token(tools.GetToken(in));
    if (token[0] == '\0') return TElement{};
    if (std::strcmp(token.get(), "]") == 0) Fail(in, "Unexpected ']'");
    if (std::strcmp(token.get(), "[~") == 0) Fail(in, "Unexpected End Tag");  // no block open
    if (std::strcmp(token.get(), "[") != 0) {
      return MakeElement(ekToken, std::move(token), nullptr, false);
    }
    Text name(tools.GetToken(in));
    CheckItem(in, name.get());
    const int c = PeekPastSeparators(in);
    if (c == ']') {
      in.rdbuf()->sbumpc();
      return MakeElement(ekStart, std::move(name), nullptr, false);
    }
    if (c != '=') return MakeElement(ekStart, std::move(name), nullptr, true);
    in.rdbuf()->sbumpc();
    Text value(tools.GetToken(in));
    CheckItem(in, value.get());
    const bool closed = PeekPastSeparators(in) == ']';
    if (closed) in.rdbuf()->sbumpc();
    if (strcasecmp(name.get(), "FORMATVERSION") != 0) {
      return MakeElement(ekField, std::move(name), std::move(value), !closed);
    }
    if (!closed) Fail(in, "Illegal Format of FormatVersion");
    const double number = FileTools::TokenToNumber(in, value.get());
    if (number > 1.0) Fail(in, "Illegal Format Version");
    if (!version) version = number;
  }
}

// ---- The header ---------------------------------------------------------------

// What the header makes of a row, as the table readers see it: the four
// widths (a negative output width cleared to 0), the label-list flags and
// which of the two tables the file has.
struct Layout {
  std::int32_t inputs = 0, expected = 0, generated = 0, errors = 0;
  bool labels1 = false, labels2 = false;
  bool table1 = false, table2 = false;

  bool HasNumbers() const { return inputs != 0 || expected != 0 || generated != 0 || errors != 0; }
  bool ReadsAnything() const { return table1 || table2; }
};

// Everything before the rows.
struct Head {
  std::optional<double> version;
  Text dataset_name;  // the blocks' names as written
  Text data_name;
  std::int32_t rows = 0;
  Layout layout;
};

Layout LayoutOf(std::int32_t inputs, std::int32_t expected, std::int32_t generated,
                std::int32_t errors) {
  Layout layout;
  layout.inputs = inputs;
  layout.expected = expected < 0 ? 0 : expected;
  layout.generated = generated < 0 ? 0 : generated;
  layout.errors = errors;
  layout.labels1 = expected == -1;
  layout.labels2 = generated == -1;
  layout.table1 = layout.inputs != 0 || layout.expected != 0 || layout.labels1;
  layout.table2 = layout.generated != 0 || layout.errors != 0 || layout.labels2;
  return layout;
}

// Reads up to and including the data block's start tag, with the checks and
// messages of the table readers.
Head ReadHead(FileTools& tools, std::istream& in) {
  Head head;
  head.dataset_name.reset(
      FileTools::ExpectBlockStart(ReadFirstElement(tools, in, head.version), in, "DATASET"));
  std::int32_t inputs, expected, generated, errors, rows;
  TElement after_header{};
  ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after_header);
  if (rows < 0) {
    const Text name(after_header.MbrStrName);
    const Text value(after_header.MbrStrValue);
    Fail(in, "[Rows = <integer>] expected");
  }
  head.data_name.reset(FileTools::ExpectBlockStart(after_header, in, "DATA"));
  head.rows = rows;
  head.layout = LayoutOf(inputs, expected, generated, errors);
  return head;
}

// Throws "Unexpected end of file", as the table readers do, when tables of
// `rows` rows would be large and the rest of the input cannot hold their
// values. Returns whether the question could be asked at all (a stream
// without positions cannot tell its size).
bool RefuseHostileSize(std::istream& in, std::int32_t rows, const Layout& layout) {
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff here = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  if (here < 0) return false;
  const std::streamoff end = sb->pubseekoff(0, std::ios::end, std::ios::in);
  sb->pubseekpos(here, std::ios::in);
  if (end < 0) return false;

  const double values = static_cast<double>(layout.inputs) + layout.expected +
                        static_cast<double>(layout.generated) + layout.errors;
  const double lists = (layout.labels1 ? 1.0 : 0.0) + (layout.labels2 ? 1.0 : 0.0);
  constexpr double kSmallTables = 64.0 * 1024 * 1024;
  const double table_bytes =
      rows * (values * sizeof(double) + 2 * sizeof(void*)) + lists * rows * 16;
  // Every value takes at least one character and every label list two ("[]").
  const double least_bytes = rows * (values + 2 * lists);
  if (table_bytes > kSmallTables && least_bytes > static_cast<double>(end - here)) {
    Fail(in, "Unexpected end of file");
  }
  return true;
}

// ---- Rows -------------------------------------------------------------------------

// A dataset shaped by the header, with `rows` rows of room (zeros).
Dataset ShapedDataset(const Layout& layout, std::size_t rows) {
  Dataset dataset;
  dataset.inputs = Matrix(rows, static_cast<std::size_t>(layout.inputs));
  dataset.expected = Matrix(rows, static_cast<std::size_t>(layout.expected));
  dataset.generated = Matrix(rows, static_cast<std::size_t>(layout.generated));
  dataset.errors = Matrix(rows, static_cast<std::size_t>(layout.errors));
  if (layout.labels1) dataset.expected_labels.emplace(rows);
  if (layout.labels2) dataset.generated_labels.emplace(rows);
  return dataset;
}

void ResizeRows(Dataset& dataset, std::size_t rows) {
  dataset.inputs.ResizeRows(rows);
  dataset.expected.ResizeRows(rows);
  dataset.generated.ResizeRows(rows);
  dataset.errors.ResizeRows(rows);
  if (dataset.expected_labels) dataset.expected_labels->resize(rows);
  if (dataset.generated_labels) dataset.generated_labels->resize(rows);
}

// Reads the rows of the data block into a dataset's matrices and lists.
class RowReader {
 public:
  RowReader(FileTools& tools, std::istream& in, Head& head)
      : tools_(tools), in_(in), block_(head.data_name), layout_(head.layout) {}

  // Rows first .. first + count - 1 of `dataset`, which has room for them.
  void Read(Dataset& dataset, std::size_t first, std::size_t count) {
    const Layout& l = layout_;
    for (std::size_t row = first; row < first + count; ++row) {
      Numbers(dataset.inputs.Row(row), l.inputs);
      Numbers(dataset.expected.Row(row), l.expected);
      Numbers(dataset.generated.Row(row), l.generated);
      Numbers(dataset.errors.Row(row), l.errors);
      if (l.labels1) (*dataset.expected_labels)[row] = List();
      if (l.labels2) (*dataset.generated_labels)[row] = List();
    }
  }

  // The element after the rows; the data block's end tag gives its name up.
  TElement NextInBlock() {
    TElement element = tools_.ReadElement(block_.get(), in_, false);
    if (element.MbrLngKind == ekEnd) static_cast<void>(block_.release());
    return element;
  }

 private:
  // Plain words are read in place; anything else (a comment, a format
  // version element, the end tag, a word at the end of the buffered
  // characters) takes the element reader's road, with the same values and
  // the same errors.
  void Numbers(double* values, std::int32_t count) {
    for (std::int32_t k = 0; k < count; ++k) {
      if (!ReadNumberWord(in_, &values[k])) {
        values[k] = FileTools::ExpectNumber(NextInBlock(), in_);
      }
    }
  }

  Labels List() {
    const std::unique_ptr<TLabelList> list(ReadLabelList(tools_, in_));
    Labels labels;
    labels.reserve(static_cast<std::size_t>(list->MbrLngCount));
    for (std::int32_t i = 0; i < list->MbrLngCount; ++i) {
      const TLabel& label = list->MbrDyaItems[i];
      labels.push_back(Label{label.MbrStrName, label.MbrDblValue});
    }
    return labels;
  }

  FileTools& tools_;
  std::istream& in_;
  Text& block_;
  const Layout& layout_;
};

// Reads `rows` rows. With `sized` the dataset already holds them all;
// otherwise it grows as rows arrive, so that a stream that cannot tell its
// size never makes the reader claim more than the rows it has read.
void ReadRows(RowReader& reader, const Layout& layout, Dataset& dataset, std::size_t rows,
              bool sized) {
  // Rows of nothing hold nothing to read: no need to count through two
  // billion of them.
  if (!layout.ReadsAnything()) return;
  for (std::size_t done = 0; done < rows;) {
    const std::size_t batch = std::min(rows - done, kGrowthRows);
    if (!sized) ResizeRows(dataset, done + batch);
    reader.Read(dataset, done, batch);
    done += batch;
  }
}

Dataset ReadWhole(std::istream& in) {
  FileTools tools;
  Head head = ReadHead(tools, in);
  const bool sized = RefuseHostileSize(in, head.rows, head.layout);
  const auto rows = static_cast<std::size_t>(head.rows);
  Dataset dataset = ShapedDataset(head.layout, sized ? rows : 0);
  RowReader reader(tools, in, head);
  ReadRows(reader, head.layout, dataset, rows, sized);
  if (!sized) ResizeRows(dataset, rows);  // rows of nothing, when nothing was read

  FileTools::ExpectBlockEnd(reader.NextInBlock(), in);
  TElement dataset_end = tools.ReadElement(head.dataset_name.get(), in, false);
  if (dataset_end.MbrLngKind == ekEnd) static_cast<void>(head.dataset_name.release());
  FileTools::ExpectBlockEnd(dataset_end, in);
  FileTools::ExpectBlockEnd(tools.ReadElement(nullptr, in, false), in);
  dataset.format_version = head.version;
  return dataset;
}

// ---- Windows ----------------------------------------------------------------------

// Moves `in` forward by `offset` bytes from the window base, where it
// stands, and returns the base. An offset past the end is refused.
std::streamoff SeekWindow(std::istream& in, std::int64_t offset) {
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff base = Tell(in);
  if (base < 0) Fail(in, "Unable to seek in file");
  const std::streamoff end = sb->pubseekoff(0, std::ios::end, std::ios::in);
  if (end < 0) Fail(in, "Unable to seek in file");
  if (offset > end - base) Fail(in, "Unexpected end of file");
  if (std::streamoff(sb->pubseekoff(base + offset, std::ios::beg, std::ios::in)) < 0) {
    Fail(in, "Unable to seek in file");
  }
  in.clear();  // an open start tag at the very end had marked the end
  return base;
}

// Whether the data block's end tag stands next where a row of label lists
// only is due: a list reader would take "[~Data]" for a list holding the
// label "~Data". Separators and comments before it are consumed, as the list
// reader would; anything else is left as it was.
bool AtDataBlockEnd(FileTools& tools, std::istream& in, const char* data_name) {
  std::streambuf* const sb = in.rdbuf();
  int c;
  for (;;) {
    c = sb->sgetc();
    if (c == kEof) return false;  // the list reader reports it
    if (IsSeparator(c)) {
      sb->sbumpc();
      continue;
    }
    if (c != '/') break;
    sb->sbumpc();
    if (sb->sgetc() != '*') {
      sb->sungetc();
      return false;
    }
    FileTools::SkipComment(in);
  }
  if (c != '[') return false;
  sb->sbumpc();
  const int next = sb->sgetc();
  sb->sungetc();
  if (next != '~') return false;

  const std::streamoff at = Tell(in);
  const Text opening(tools.GetToken(in));
  const Text name(tools.GetToken(in));
  const Text close(tools.GetToken(in));
  const bool end = strcasecmp(name.get(), data_name) == 0 && std::strcmp(close.get(), "]") == 0;
  in.clear();
  if (at < 0 || std::streamoff(sb->pubseekoff(at, std::ios::beg, std::ios::in)) < 0) {
    Fail(in, "Unable to seek in file");
  }
  return end;
}

Window ReadWindowFrom(std::istream& in, std::int64_t offset, std::int32_t count) {
  FileTools tools;
  Head head = ReadHead(tools, in);
  head.dataset_name.reset();  // the window never reaches the dataset's end tag
  const std::streamoff base = SeekWindow(in, offset);
  RefuseHostileSize(in, count, head.layout);
  const auto rows = static_cast<std::size_t>(count);
  Window window;
  window.rows = ShapedDataset(head.layout, rows);
  window.rows.format_version = head.version;

  RowReader reader(tools, in, head);
  const Layout& layout = head.layout;
  if (!layout.ReadsAnything()) {
    // nothing to read
  } else if (layout.HasNumbers()) {
    // A row past the last one meets the end tag where its first number is due.
    reader.Read(window.rows, 0, rows);
  } else {
    for (std::size_t row = 0; row < rows; ++row) {
      if (AtDataBlockEnd(tools, in, head.data_name.get())) Fail(in, "Unexpected End Tag");
      reader.Read(window.rows, row, 1);
    }
  }
  const std::streamoff here = Tell(in);
  if (here < 0) Fail(in, "Unable to seek in file");
  window.next_offset = here - base;
  return window;
}

// ---- Positions of errors -----------------------------------------------------------

struct Position {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int64_t offset = -1;
};

// Reads `length` bytes of `sb` from where it stands and finds the point just
// past the last byte among them that is not a separator. Only ever run once
// reading has failed: the reader itself keeps no count of lines.
Position Locate(std::streambuf& sb, std::int64_t length) {
  Position mark{1, 1, 0};
  std::int64_t line = 1, column = 1, offset = 0;
  bool after_cr = false;
  std::unique_ptr<char[]> chunk(new char[kReadBufferSize]);
  while (offset < length) {
    const auto wanted = static_cast<std::streamsize>(
        std::min<std::int64_t>(length - offset, static_cast<std::int64_t>(kReadBufferSize)));
    const std::streamsize got = sb.sgetn(chunk.get(), wanted);
    if (got <= 0) break;
    for (std::streamsize i = 0; i < got; ++i) {
      const auto c = static_cast<unsigned char>(chunk[static_cast<std::size_t>(i)]);
      if (c == '\n') {
        if (!after_cr) ++line;
        column = 1;
        after_cr = false;
      } else if (c == '\r') {
        ++line;
        column = 1;
        after_cr = true;
      } else {
        after_cr = false;
        ++column;
        if (!IsSeparator(c)) mark = Position{line, column, offset + i + 1};
      }
    }
    offset += got;
  }
  return mark;
}

// Turns the reader's error into a FormatError saying where reading stopped.
// `start` is where the input began in `in`; with a `path` the file is read
// once more from its start, else the stream is (and left where it stopped).
[[noreturn]] void ThrowFormatError(FileTools::Error& error, std::istream& in, std::streamoff start,
                                   const std::string& path) {
  const Text message(error.MbrStrMessage);
  const std::string text = message != nullptr ? message.get() : "";
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff stop = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  Position at;
  if (start >= 0 && stop >= start) {
    if (!path.empty()) {
      std::ifstream again(path, std::ios::in | std::ios::binary);
      if (again.is_open()) at = Locate(*again.rdbuf(), stop);
    } else if (std::streamoff(sb->pubseekpos(start, std::ios::in)) == start) {
      at = Locate(*sb, stop - start);
      sb->pubseekpos(stop, std::ios::in);
    }
  }
  throw FormatError(text, path, at.line, at.column, at.offset);
}

// Runs `read` on the file `path`, opened for it, and reports its format
// errors with their position.
template <typename Read>
auto WithFile(const std::string& path, Read read) -> decltype(read(std::declval<std::istream&>())) {
  const std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);  // outlives the stream
  std::ifstream in;
  files::OpenForReading(in, path, buffer.get(), kReadBufferSize);
  try {
    return read(in);
  } catch (FileTools::Error& error) {
    ThrowFormatError(error, in, 0, path);
  }
}

}  // namespace

Dataset ReadDataset(const std::string& path, const ReadOptions&) {
  return WithFile(path, [](std::istream& in) { return ReadWhole(in); });
}

Dataset ReadDataset(std::istream& in, const ReadOptions&) {
  const std::streamoff start = Tell(in);
  try {
    return ReadWhole(in);
  } catch (FileTools::Error& error) {
    ThrowFormatError(error, in, start, std::string());
  }
}

Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count) {
  if (offset < 0) throw std::invalid_argument("ReadWindow: negative offset");
  if (count < 0) throw std::invalid_argument("ReadWindow: negative row count");
  return WithFile(path, [&](std::istream& in) { return ReadWindowFrom(in, offset, count); });
}

DatasetShape ProbeDataset(const std::string& path) {
  return WithFile(path, [](std::istream& in) {
    FileTools tools;
    const Head head = ReadHead(tools, in);
    DatasetShape shape;
    shape.rows = head.rows;
    shape.inputs = head.layout.inputs;
    shape.expected = head.layout.expected;
    shape.generated = head.layout.generated;
    shape.errors = head.layout.errors;
    shape.expected_labels = head.layout.labels1;
    shape.generated_labels = head.layout.labels2;
    shape.format_version = head.version;
    return shape;
  });
}

}  // namespace mbrk
