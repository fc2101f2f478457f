#include "FileHandler/Filer.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "DataObject/Assert.h"
#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "KQmessage/KQML.h"

namespace mbrk {

namespace {

[[noreturn]] void Fail(std::istream& in, const char* message) {
  throw FileTools::Error{FileTools::DuplicateString(message), &in, 0};
}

// Runs `read`, a reader of a file that it opens itself. Once an error leaves
// it that stream is gone, so the error names no stream rather than a
// destroyed one.
template <typename Read>
auto WithOwnStream(Read read) -> decltype(read()) {
  try {
    return read();
  } catch (FileTools::Error& error) {
    error.MbrPtrStream = nullptr;
    throw;
  }
}

// The element's texts, owned until the end of the scope.
struct ElementTexts {
  explicit ElementTexts(const TElement& element)
      : name(element.MbrStrName), value(element.MbrStrValue) {}
  std::unique_ptr<char[]> name;
  std::unique_ptr<char[]> value;
};

inline bool IsSeparator(int c) { return c < 33 || c > 126 || c == ','; }

// The next character of `in`, or EOF once the input has ended or the stream
// has failed.
inline int NextChar(std::istream& in) {
  if (!in) return std::char_traits<char>::eof();
  const int c = in.rdbuf()->sbumpc();
  if (c == std::char_traits<char>::eof()) in.setstate(std::ios::eofbit);
  return c;
}

inline void PutBack(std::istream& in) { in.rdbuf()->sungetc(); }

// Reads an element inside the block named by `block`. Reading the block's end
// tag releases the name (the element reader takes it over), so the owner
// gives it up then.
TElement ReadInBlock(FileTools& tools, std::unique_ptr<char[]>& block, std::istream& in) {
  TElement element = tools.ReadElement(block.get(), in, false);
  if (element.MbrLngKind == ekEnd) static_cast<void>(block.release());
  return element;
}

// Reads `count` numbers of the data block into `values`. Plain words are read
// in place; anything else (a comment, a format version element, the end tag,
// a word at the end of the buffered characters) takes the element reader's
// road, which gives the same values and the same errors.
void ReadNumbers(FileTools& tools, std::unique_ptr<char[]>& block, std::istream& in,
                 double* values, std::int32_t count) {
  for (std::int32_t k = 0; k < count; ++k) {
    if (!tools.ReadNumberWord(in, &values[k])) {
      values[k] = tools.ExpectNumber(ReadInBlock(tools, block, in), in);
    }
  }
}

// The scratch rows of one row of the data block, one per vector.
struct RowBuffers {
  RowBuffers(std::int32_t inputs, std::int32_t expected, std::int32_t generated,
             std::int32_t errors)
      : input(static_cast<std::size_t>(inputs)),
        expected(static_cast<std::size_t>(expected)),
        generated(static_cast<std::size_t>(generated)),
        error(static_cast<std::size_t>(errors)) {}
  std::vector<double> input, expected, generated, error;
};

// Reads row `row` of the data block (its numbers, then its label lists) and
// appends it to the tables that exist; `labels1` and `labels2` say whether
// the rows of the first and the second table carry label lists.
void ReadRow(FileTools& tools, std::unique_ptr<char[]>& block, std::istream& in,
             RowBuffers& scratch, std::int32_t row, Data* table1, bool labels1, Data* table2,
             bool labels2) {
  ReadNumbers(tools, block, in, scratch.input.data(), static_cast<std::int32_t>(scratch.input.size()));
  ReadNumbers(tools, block, in, scratch.expected.data(),
              static_cast<std::int32_t>(scratch.expected.size()));
  ReadNumbers(tools, block, in, scratch.generated.data(),
              static_cast<std::int32_t>(scratch.generated.size()));
  ReadNumbers(tools, block, in, scratch.error.data(), static_cast<std::int32_t>(scratch.error.size()));
  if (table1 != nullptr) {
    table1->AppendRow(scratch.input.data(), scratch.expected.data(), nullptr);
    if (labels1) {
      std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
      table1->SetLabels(row, list.get());
    }
  }
  if (table2 != nullptr) {
    table2->AppendRow(scratch.generated.data(), scratch.error.data(), nullptr);
    if (labels2) {
      std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
      table2->SetLabels(row, list.get());
    }
  }
}

// Size of the buffer a dataset file is read through: a few hundred system
// calls for a file of a hundred megabytes instead of tens of thousands, and
// still small beside the tables.
constexpr std::size_t kReadBufferSize = 256 * 1024;

// Whether a header's tables, declared by a file too small to hold their
// values, would be large enough to be worth refusing before allocation: a
// tiny hostile file must not make the reader claim gigabytes.
bool DeclaresMoreThanItHolds(std::istream& in, double rows, double table_values,
                             double all_values, double label_lists) {
  constexpr double kSmallTables = 64.0 * 1024 * 1024;
  const double table_bytes = rows * (table_values * sizeof(double) + 2 * sizeof(void*)) +
                             label_lists * rows * sizeof(TLabelList);
  if (table_bytes <= kSmallTables) return false;
  // Asked of the buffer, not the stream: when the data block's start tag ends
  // the input, the stream already has its end-of-file state and tellg would
  // answer -1, letting a file of a few bytes claim gigabytes.
  std::streambuf* const sb = in.rdbuf();
  const std::istream::pos_type here = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  if (here == std::istream::pos_type(-1)) return false;
  const std::istream::pos_type end = sb->pubseekoff(0, std::ios::end, std::ios::in);
  sb->pubseekpos(here, std::ios::in);
  if (end == std::istream::pos_type(-1)) return false;
  // Every value takes at least one character and every label list two ("[]").
  const double least_bytes = rows * (all_values + 2 * label_lists);
  return least_bytes > static_cast<double>(end - here);
}

}  // namespace

std::int32_t ReadDatFileHeader(FileTools& tools, std::istream& in, std::int32_t& inputs,
                               std::int32_t& expected_outputs, std::int32_t& generated_outputs,
                               std::int32_t& errors, std::int32_t& rows, TElement& element) {
  inputs = expected_outputs = generated_outputs = errors = 0;
  rows = -1;
  int stage = 0;
  element = tools.ReadElement(nullptr, in, false);
  while (element.MbrLngKind == ekField) {
    if (element.MbrBlnOpen) return UNEXPECTED_CONTENT;
    // The field's texts are released here whatever happens, unless the field
    // is handed back to the caller as the one that ended the header.
    ElementTexts texts(element);
    const char* name = texts.name.get();
    const char* value = texts.value.get();
    const std::int32_t v =
        strcasecmp(value, "LABELS") == 0 ? -1 : tools.TokenToInteger(in, value);
    if (strcasecmp(name, "INPUTS") == 0 && stage < 1) {
      if (v < 0) Fail(in, "No labels in inputs");
      inputs = v;
      stage = 1;
    } else if (strcasecmp(name, "EXPECTEDOUTPUTS") == 0 && stage < 2) {
      expected_outputs = v;
      stage = 2;
    } else if (strcasecmp(name, "GENERATEDOUTPUTS") == 0 && stage < 3) {
      generated_outputs = v;
      stage = 3;
    } else if (strcasecmp(name, "ERROR") == 0 && stage < 4) {
      if (v < 0) Fail(in, "No labels in inputs");
      errors = v;
      stage = 4;
    } else if (strcasecmp(name, "ROWS") == 0) {
      if (v < 0) Fail(in, "No labels in inputs");
      rows = v;
    } else {
      static_cast<void>(texts.name.release());
      static_cast<void>(texts.value.release());
      return UNEXPECTED_CONTENT;
    }
    element = TElement{};
    element = tools.ReadElement(nullptr, in, false);
  }
  return SUCCESS;
}

TLabelList* ReadLabelList(FileTools& tools, std::istream& in) {
  auto list = std::make_unique<TLabelList>();
  // Separators and comments up to the opening bracket. Here "/" followed by
  // "*" opens a comment whose first character is that "*", so "/*/" is a
  // whole comment.
  int c;
  for (;;) {
    c = NextChar(in);
    if (c == std::char_traits<char>::eof()) Fail(in, "Unexpected end of file");
    if (IsSeparator(c)) continue;
    if (c == '/' && in.rdbuf()->sgetc() == '*') {
      tools.SkipComment(in);
      continue;
    }
    break;
  }
  if (c != '[') Fail(in, "Expected '['");
  do {
    c = NextChar(in);
  } while (c != std::char_traits<char>::eof() && IsSeparator(c));
  if (c == std::char_traits<char>::eof()) Fail(in, "Unexpected end of file");
  if (c == ']') return list.release();
  PutBack(in);

  for (;;) {
    const TElement item = tools.ReadElement(nullptr, in, true);
    ElementTexts texts(item);
    if (item.MbrLngKind == ekStart) {
      list->AppendLabel(texts.name.get(), 1.0);
    } else if (item.MbrLngKind == ekField) {
      list->AppendLabel(texts.name.get(), tools.TokenToNumber(in, texts.value.get()));
    } else {
      Fail(in, "Unexpected end of file");
    }
    if (!item.MbrBlnOpen) break;
  }
  return list.release();
}

namespace {

// What the header makes of a row: the widths of its four vectors (a negative
// output width cleared to 0), whether each table carries label lists, and
// which of the two tables the file calls for.
struct RowLayout {
  RowLayout(std::int32_t header_inputs, std::int32_t header_expected,
            std::int32_t header_generated, std::int32_t header_errors)
      : inputs(header_inputs),
        expected(header_expected < 0 ? 0 : header_expected),
        generated(header_generated < 0 ? 0 : header_generated),
        errors(header_errors),
        labels1(header_expected == -1),
        labels2(header_generated == -1),
        table1(inputs != 0 || expected != 0 || labels1),
        table2(generated != 0 || errors != 0 || labels2) {}

  // False for rows made of label lists only (or of nothing at all).
  bool HasNumbers() const { return inputs != 0 || expected != 0 || generated != 0 || errors != 0; }

  std::int32_t inputs, expected, generated, errors;
  bool labels1, labels2;
  bool table1, table2;
};

// The part of a dataset file before its rows.
struct DataBlock {
  std::unique_ptr<char[]> dataset_name;  // the blocks' names as written
  std::unique_ptr<char[]> data_name;
  std::int32_t rows;
  RowLayout layout;
};

// Reads from the dataset block's start tag up to and including the data
// block's start tag.
DataBlock ReadToDataBlock(FileTools& tools, std::istream& in) {
  std::unique_ptr<char[]> dataset_name(
      tools.ExpectBlockStart(tools.ReadElement(nullptr, in, false), in, "DATASET"));

  std::int32_t inputs, expected, generated, errors, rows;
  TElement after_header{};
  ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after_header);
  if (rows < 0) {
    ElementTexts discard(after_header);
    Fail(in, "[Rows = <integer>] expected");
  }
  std::unique_ptr<char[]> data_name(tools.ExpectBlockStart(after_header, in, "DATA"));
  return DataBlock{std::move(dataset_name), std::move(data_name), rows,
                   RowLayout(inputs, expected, generated, errors)};
}

// Throws "Unexpected end of file" when tables of `rows` rows would be large
// and the rest of the file, from where `in` stands, cannot hold their values.
void RefuseHostileSize(std::istream& in, std::int32_t rows, const RowLayout& layout) {
  const double values1 =
      layout.table1 ? static_cast<double>(layout.inputs) + layout.expected : 0.0;
  const double values2 =
      layout.table2 ? static_cast<double>(layout.generated) + layout.errors : 0.0;
  const double all_values = static_cast<double>(layout.inputs) + layout.expected +
                            static_cast<double>(layout.generated) + layout.errors;
  const double label_lists = (layout.labels1 ? 1.0 : 0.0) + (layout.labels2 ? 1.0 : 0.0);
  if (DeclaresMoreThanItHolds(in, rows, values1 + values2, all_values, label_lists)) {
    Fail(in, "Unexpected end of file");
  }
}

// Stores the tables the layout calls for, each of `capacity` rows, in the
// places at once, so that they stay with the caller whatever follows.
void CreateTables(const RowLayout& layout, std::int32_t capacity, Data*& first, Data*& second) {
  if (layout.table1) first = new Data(capacity, layout.inputs, layout.expected, layout.labels1);
  if (layout.table2) second = new Data(capacity, layout.generated, layout.errors, layout.labels2);
}

// Reads `count` rows of the data block into the tables present, the first of
// them into slot `first_row`. A row is its four vectors of numbers, then the
// label lists of the tables that carry them. Every row is appended as soon as
// its numbers are read, so a failure leaves the rows before it in the tables.
void ReadRows(FileTools& tools, std::unique_ptr<char[]>& data_name, std::istream& in,
              const RowLayout& layout, std::int32_t first_row, std::int32_t count,
              Data* PtrDatFileData1, Data* PtrDatFileData2) {
  // Without tables a row holds nothing at all: no need to count through a
  // header's two billion empty rows. Without rows, the scratch rows below
  // are not made: a header of zero rows may declare widths of two billion.
  if (PtrDatFileData1 == nullptr && PtrDatFileData2 == nullptr) return;
  if (count <= 0) return;
  const std::int32_t inputs = layout.inputs, expected = layout.expected;
  const std::int32_t generated = layout.generated, errors = layout.errors;
  const bool labels1 = layout.labels1, labels2 = layout.labels2;

  RowBuffers scratch(inputs, expected, generated, errors);
  for (std::int32_t i = first_row; i - first_row < count; ++i) {
    ReadRow(tools, data_name, in, scratch, i, PtrDatFileData1, labels1, PtrDatFileData2, labels2);
  }
}

}  // namespace

static std::int32_t ReadWholeFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
                                  Data*& PtrDatFileData2) {
  // A folder opens like a file here but reads as nothing; it is no dataset
  // file at all.
  std::error_code ignored;
  if (std::filesystem::is_directory(filename, ignored)) return FILE_OPEN_ERROR;
  // The buffer is installed before the file is opened and outlives the stream.
  const std::unique_ptr<char[]> buffer(new char[kReadBufferSize]);
  std::ifstream in;
  in.rdbuf()->pubsetbuf(buffer.get(), static_cast<std::streamsize>(kReadBufferSize));
  in.open(filename);
  if (!in.good()) return FILE_OPEN_ERROR;
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;

  DataBlock block = ReadToDataBlock(tools, in);
  RefuseHostileSize(in, block.rows, block.layout);
  CreateTables(block.layout, block.rows, PtrDatFileData1, PtrDatFileData2);
  ReadRows(tools, block.data_name, in, block.layout, 0, block.rows, PtrDatFileData1,
           PtrDatFileData2);

  tools.ExpectBlockEnd(ReadInBlock(tools, block.data_name, in), in);
  tools.ExpectBlockEnd(ReadInBlock(tools, block.dataset_name, in), in);
  tools.ExpectBlockEnd(tools.ReadElement(nullptr, in, false), in);
  return SUCCESS;
}

std::int32_t ReadDatFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
                         Data*& PtrDatFileData2) {
  return WithOwnStream(
      [&] { return ReadWholeFile(tools, filename, PtrDatFileData1, PtrDatFileData2); });
}

std::int32_t LoadDatFile(FileTools& tools, const char* filename, Data*& PtrDatFileData) {
  Data* second = nullptr;
  std::int32_t result;
  try {
    result = ReadDatFile(tools, filename, PtrDatFileData, second);
  } catch (...) {
    delete second;
    throw;
  }
  if (result != SUCCESS) return result;
  if (second != nullptr) {
    delete second;
    return UNEXPECTED_CONTENT;
  }
  return SUCCESS;
}

// ---- Windows of rows -------------------------------------------------------------

namespace {

// Where the stream buffer stands, or -1. Asked of the buffer, not the
// stream: a window may end where the input ends, and the stream's own tell
// refuses to answer once it has seen the end.
std::streamoff Tell(std::istream& in) {
  return in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in);
}

// Moves `in` forward by `offset` bytes from where it stands, the window base,
// and returns the base. One seek, however far: the rows skipped are never
// read. An offset past the end of the file is refused rather than taken for
// an empty window.
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
  // An open data start tag at the very end of the file has marked the end,
  // which no longer holds at the new position.
  in.clear();
  return base;
}

// Whether the data block's end tag stands next where a row made of label
// lists only is due. Nothing else gives such a row away as one too many: a
// list reader would take "[~Data]" for a list holding the label "~Data".
// Separators and comments before it are consumed (the list reader skips them
// just the same); anything else is left as it was.
bool AtDataBlockEnd(FileTools& tools, std::istream& in, const char* data_name) {
  std::streambuf* const sb = in.rdbuf();
  int c;
  for (;;) {
    c = sb->sgetc();
    if (c == std::char_traits<char>::eof()) return false;  // the list reader reports it
    if (IsSeparator(c)) {
      sb->sbumpc();
      continue;
    }
    if (c != '/') break;
    // "/*" opens a comment whose first character is that "*", as in a list.
    sb->sbumpc();
    if (sb->sgetc() != '*') {
      sb->sungetc();
      return false;
    }
    tools.SkipComment(in);
  }
  if (c != '[') return false;
  sb->sbumpc();
  const int next = sb->sgetc();
  sb->sungetc();
  if (next != '~') return false;

  // "[~" is the end tag, or a list whose first label begins with "~": the
  // name and the "]" after it tell, and the stream goes back to the "[".
  const std::streamoff at = Tell(in);
  const std::unique_ptr<char[]> opening(tools.GetToken(in));
  const std::unique_ptr<char[]> name(tools.GetToken(in));
  const std::unique_ptr<char[]> close(tools.GetToken(in));
  const bool end = strcasecmp(name.get(), data_name) == 0 && std::strcmp(close.get(), "]") == 0;
  in.clear();
  if (at < 0 || std::streamoff(sb->pubseekoff(at, std::ios::beg, std::ios::in)) < 0) {
    Fail(in, "Unable to seek in file");
  }
  return end;
}

// The window reader behind both offset widths. A next offset above
// `largest_offset` is refused, leaving `offset` as it was.
std::int32_t ReadWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                        std::int32_t count, std::int64_t largest_offset, Data*& PtrDatFileData1,
                        Data*& PtrDatFileData2) {
  std::error_code ignored;
  if (std::filesystem::is_directory(filename, ignored)) return FILE_OPEN_ERROR;
  std::ifstream in(filename);
  if (!in.good()) return FILE_OPEN_ERROR;
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;
  if (count < 0) Fail(in, "Invalid window count");
  if (offset < 0) Fail(in, "Invalid window offset");

  DataBlock block = ReadToDataBlock(tools, in);
  block.dataset_name.reset();  // the window never reaches the dataset's end tag
  const std::streamoff base = SeekWindow(in, offset);
  RefuseHostileSize(in, count, block.layout);
  CreateTables(block.layout, count, PtrDatFileData1, PtrDatFileData2);

  const RowLayout& layout = block.layout;
  if (layout.HasNumbers() || !(layout.labels1 || layout.labels2)) {
    // A row past the last one meets the data block's end tag where its first
    // number is due: "Token (number) expected".
    ReadRows(tools, block.data_name, in, layout, 0, count, PtrDatFileData1, PtrDatFileData2);
  } else {
    for (std::int32_t i = 0; i < count; ++i) {
      if (AtDataBlockEnd(tools, in, block.data_name.get())) Fail(in, "Unexpected End Tag");
      ReadRows(tools, block.data_name, in, layout, i, 1, PtrDatFileData1, PtrDatFileData2);
    }
  }

  const std::streamoff here = Tell(in);
  if (here < 0) Fail(in, "Unable to seek in file");
  const std::int64_t next = here - base;
  if (next > largest_offset) Fail(in, "Window offset does not fit in 32 bits");
  offset = next;
  return SUCCESS;
}

// LoadDatFileWindow for either offset width.
template <typename Offset>
std::int32_t LoadWindow(FileTools& tools, const char* filename, Offset& offset,
                        std::int32_t count, Data*& PtrDatFileData) {
  Data* second = nullptr;
  struct DropSecond {
    Data*& table;
    ~DropSecond() { delete table; }
  } drop{second};
  return ReadDatFileWindow(tools, filename, offset, count, PtrDatFileData, second);
}

}  // namespace

std::int32_t ReadDatFileWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                               std::int32_t count, Data*& PtrDatFileData1,
                               Data*& PtrDatFileData2) {
  return WithOwnStream([&] {
    return ReadWindow(tools, filename, offset, count, std::numeric_limits<std::int64_t>::max(),
                      PtrDatFileData1, PtrDatFileData2);
  });
}

std::int32_t ReadDatFileWindow(FileTools& tools, const char* filename, std::int32_t& offset,
                               std::int32_t count, Data*& PtrDatFileData1,
                               Data*& PtrDatFileData2) {
  std::int64_t wide = offset;
  const std::int32_t result =
      WithOwnStream([&] {
        return ReadWindow(tools, filename, wide, count, std::numeric_limits<std::int32_t>::max(),
                          PtrDatFileData1, PtrDatFileData2);
      });
  offset = static_cast<std::int32_t>(wide);  // within range: the reader checked it
  return result;
}

std::int32_t LoadDatFileWindow(FileTools& tools, const char* filename, std::int64_t& offset,
                               std::int32_t count, Data*& PtrDatFileData) {
  return LoadWindow(tools, filename, offset, count, PtrDatFileData);
}

std::int32_t LoadDatFileWindow(FileTools& tools, const char* filename, std::int32_t& offset,
                               std::int32_t count, Data*& PtrDatFileData) {
  return LoadWindow(tools, filename, offset, count, PtrDatFileData);
}

// ---- Header probe -----------------------------------------------------------

namespace {

// The answer for a dataset block whose start tag has just been read. The
// values go out as the header wrote them, before a reader would turn -1 into
// label lists: the caller learns what the file says, not what a load makes
// of it.
std::unique_ptr<TKQstructure> ProbeDataSetHeader(FileTools& tools, std::istream& in) {
  std::int32_t inputs, expected, generated, errors, rows;
  TElement after_header{};
  const std::int32_t result =
      ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after_header);
  // Whatever ended the header is handed to us; the probe looks no further.
  const ElementTexts discard(after_header);
  if (result != SUCCESS) return std::unique_ptr<TKQstructure>(MakeErrorReply("bad-header"));
  auto answer = std::make_unique<TKQstructure>("data");
  answer->SetIntegerParameter("rows", rows);
  answer->SetIntegerParameter("inputs", inputs);
  answer->SetIntegerParameter("actual-outputs", expected);
  answer->SetIntegerParameter("calc-outputs", generated);
  answer->SetIntegerParameter("errors", errors);
  return answer;
}

}  // namespace

static TKQstructure* ProbeFile(FileTools& tools, const char* filename) {
  // A folder opens like a file on some systems but reads as nothing; like a
  // missing file, it is a file that cannot be read.
  std::error_code ignored;
  if (filename == nullptr || std::filesystem::is_directory(filename, ignored)) {
    return MakeErrorReply("file-read-error");
  }
  std::ifstream in(filename);
  if (!in.good()) return MakeErrorReply("file-read-error");

  const std::unique_ptr<char[]> name(
      tools.ExpectBlockStart(tools.ReadElement(nullptr, in, false), in, nullptr));
  if (strcasecmp(name.get(), "DATASET") == 0) return ProbeDataSetHeader(tools, in).release();
  if (strcasecmp(name.get(), "NETWORK") == 0) return new TKQstructure("network");
  std::unique_ptr<TKQstructure> answer(MakeErrorReply("unknown-header"));
  answer->SetTextParameter("header", name.get());
  return answer.release();
}

// ---- Writing dataset files ----------------------------------------------------------

namespace {

// The header fields a pair of tables makes; -1 stands for Labels.
struct FileShape {
  std::int32_t LngRows = -1;
  std::int32_t LngInputs = 0;
  std::int32_t LngExpectedOutputs = 0;
  std::int32_t LngCalculatedOutputs = 0;
  std::int32_t LngErrors = 0;
};

// A label name reads back as itself only when it is one word of the format.
bool IsWord(const char* name) {
  if (name == nullptr || *name == '\0') return false;
  for (; *name != '\0'; ++name) {
    const auto c = static_cast<unsigned char>(*name);
    if (FileTools::IsSeparator(c) || FileTools::IsSpecial(c)) return false;
  }
  return true;
}

bool HasWritableLabels(const Data* table) {
  if (table == nullptr || !table->MbrBlnLabels) return true;
  for (std::int32_t slot = 0; slot < table->MbrNdxRows; ++slot) {
    const TLabelList& list = table->MbrDyaLabels[slot];
    for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
      if (!IsWord(list.MbrDyaItems[i].MbrStrName)) return false;
    }
  }
  return true;
}

std::int32_t ShapeOf(const Data* first, const Data* second, FileShape& shape) {
  if (first != nullptr) {
    shape.LngRows = first->MbrNdxRows;
    shape.LngInputs = first->MbrLngInputs;
    const std::int32_t LngExpectedOutputs = first->MbrLngOutputs;
    if (first->MbrBlnLabels) MBRK_ASSERT(LngExpectedOutputs == 0);
    shape.LngExpectedOutputs = first->MbrBlnLabels ? -1 : LngExpectedOutputs;
  }
  if (second != nullptr) {
    if (first == nullptr) {
      shape.LngRows = second->MbrNdxRows;
    } else if (second->MbrNdxRows != shape.LngRows) {
      return BAD_TABLES;
    }
    const std::int32_t LngCalculatedOutputs = second->MbrLngInputs;
    if (second->MbrBlnLabels) MBRK_ASSERT(LngCalculatedOutputs == 0);
    shape.LngCalculatedOutputs = second->MbrBlnLabels ? -1 : LngCalculatedOutputs;
    shape.LngErrors = second->MbrLngOutputs;
  }
  if (shape.LngRows < 0) return BAD_TABLES;
  if (!HasWritableLabels(first) || !HasWritableLabels(second)) return BAD_TABLES;
  return SUCCESS;
}

// Closes a pass's file and tells whether everything reached it: a failed
// write (a full disk) shows in the stream's state, a failed final flush in
// the close.
std::int32_t ClosePass(std::ofstream& out) {
  const bool written = out.good();
  out.close();
  return written && !out.fail() ? SUCCESS : FILE_OPEN_ERROR;
}

// Appends the text of a row value, as "%.15g" writes it, and one blank.
void AppendRowValue(std::string& line, double value) {
  char text[32];
  std::to_chars_result done =
      std::to_chars(text, text + sizeof text, value, std::chars_format::general, 15);
  MBRK_ASSERT(done.ec == std::errc());
  // Right below the largest double, 15 digits can round up past it
  // ("1.79769313486232e+308"), a text that reads back as infinity; 17 digits
  // always read back as the value itself.
  if (std::isfinite(value) && std::fabs(value) >= 1.7976931348623e308) {
    double back = 0.0;
    if (std::from_chars(text, done.ptr, back).ec == std::errc::result_out_of_range) {
      done = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 17);
      MBRK_ASSERT(done.ec == std::errc());
    }
  }
  line.append(text, done.ptr);
  line.push_back(' ');
}

void AppendVector(std::string& line, double* const* rows, std::int32_t slot, std::int32_t width) {
  for (std::int32_t k = 0; k < width; ++k) AppendRowValue(line, rows[slot][k]);
}

// Hands the line built so far to the stream.
void PutLine(std::ostream& out, std::string& line) {
  out.write(line.data(), static_cast<std::streamsize>(line.size()));
  line.clear();
}

// The row lines. The line of a slot is laid out as
//   inputs  expected  [generated  errors]   (each value and one blank, the
//                                           vectors apart by two blanks)
// with a label list, "[...] ", in the place of the vector it stands for.
// The reader takes all four vectors of a row before its label lists, so a
// list that would be followed by values moves to the end of the line: the
// first table's list when the second table has values, the second table's
// when it has errors. Both then end the line, the first table's first. A list
// followed by no values keeps its place, blanks and all.
std::int32_t WriteRows(FileTools& tools, const char* filename, const Data* first,
                       const Data* second, std::int32_t rows) {
  std::ofstream out(filename, std::ios::out | std::ios::app);
  if (!out.good()) return FILE_OPEN_ERROR;
  const bool labels1 = first != nullptr && first->MbrBlnLabels;
  const bool labels2 = second != nullptr && second->MbrBlnLabels;
  const bool defer1 =
      labels1 && second != nullptr && (second->MbrLngInputs > 0 || second->MbrLngOutputs > 0);
  const bool defer2 = labels2 && second->MbrLngOutputs > 0;

  std::string line;
  for (std::int32_t slot = 0; slot < rows; ++slot) {
    if (first != nullptr) {
      AppendVector(line, first->MbrDyaRtpInputs, slot, first->MbrLngInputs);
      line += "  ";
      if (!labels1) {
        AppendVector(line, first->MbrDyaRtpOutputs, slot, first->MbrLngOutputs);
      } else if (!defer1) {
        PutLine(out, line);
        WriteLabelList(tools, out, &first->MbrDyaLabels[slot]);
      }
    }
    if (second != nullptr) {
      line += "  ";
      if (!labels2) {
        AppendVector(line, second->MbrDyaRtpInputs, slot, second->MbrLngInputs);
      } else if (!defer2) {
        PutLine(out, line);
        WriteLabelList(tools, out, &second->MbrDyaLabels[slot]);
      }
      line += "  ";
      AppendVector(line, second->MbrDyaRtpOutputs, slot, second->MbrLngOutputs);
    }
    if (defer1 || defer2) {
      PutLine(out, line);
      if (defer1) WriteLabelList(tools, out, &first->MbrDyaLabels[slot]);
      if (defer2) WriteLabelList(tools, out, &second->MbrDyaLabels[slot]);
    }
    // The lines go out through the stream's buffer and are flushed when the
    // pass closes: a flush per line would cost a system call per row, and
    // the file is not complete before its tail anyway.
    line.push_back('\n');
    PutLine(out, line);
    // A full disk fails every write after it; there is no use going on.
    if (!out.good()) break;
  }
  return ClosePass(out);
}

void WriteOutputWidth(FileTools& tools, std::ostream& out, const char* name, std::int32_t width) {
  if (width == -1) {
    tools.WriteStringField(out, name, "Labels", true);
  } else {
    tools.WriteIntegerField(out, name, width, true);
  }
}

}  // namespace

void WriteLabelList(FileTools& tools, std::ostream& out, const TLabelList* list) {
  tools.WriteOpenBracket(out, true);
  for (std::int32_t i = 0; list != nullptr && i < list->MbrLngCount; ++i) {
    const TLabel& label = list->MbrDyaItems[i];
    // A bare name reads back as 1.0, exactly.
    if (label.MbrDblValue == 1.0) {
      tools.WriteStartTag(out, label.MbrStrName, false);
    } else {
      tools.WriteNumberField(out, label.MbrStrName, label.MbrDblValue, 9, false);
    }
  }
  tools.WriteCloseBracket(out, true, false);
  out.put(' ');
}

std::int32_t WriteDatFileHeader(FileTools& tools, const char* filename, std::int32_t inputs,
                                std::int32_t expected_outputs, std::int32_t generated_outputs,
                                std::int32_t errors, std::int32_t rows) {
  MBRK_ASSERT(filename != nullptr);
  if (rows < 0 || inputs < 0 || errors < 0 || expected_outputs < -1 || generated_outputs < -1) {
    return BAD_TABLES;
  }
  std::ofstream out(filename, std::ios::out | std::ios::trunc);
  if (!out.good()) return FILE_OPEN_ERROR;
  tools.WriteFormatVersion(out);
  tools.WriteStartTag(out, "DataSet", true);
  tools.WriteIntegerField(out, "Rows", rows, true);
  tools.WriteIntegerField(out, "Inputs", inputs, true);
  WriteOutputWidth(tools, out, "ExpectedOutputs", expected_outputs);
  WriteOutputWidth(tools, out, "GeneratedOutputs", generated_outputs);
  tools.WriteIntegerField(out, "Error", errors, true);
  tools.WriteEndOfLine(out);
  tools.WriteStartTag(out, "Data", true);
  return ClosePass(out);
}

std::int32_t WriteDatFileRows(FileTools& tools, const char* filename,
                              const Data* PtrDatFileData1, const Data* PtrDatFileData2) {
  MBRK_ASSERT(filename != nullptr);
  FileShape shape;
  const std::int32_t err = ShapeOf(PtrDatFileData1, PtrDatFileData2, shape);
  if (err != SUCCESS) return err;
  return WriteRows(tools, filename, PtrDatFileData1, PtrDatFileData2, shape.LngRows);
}

std::int32_t WriteDatFileTail(FileTools& tools, const char* filename) {
  MBRK_ASSERT(filename != nullptr);
  std::ofstream out(filename, std::ios::out | std::ios::app);
  if (!out.good()) return FILE_OPEN_ERROR;
  tools.WriteEndTag(out, "Data");
  tools.WriteEndOfLine(out);
  tools.WriteEndTag(out, "DataSet");
  return ClosePass(out);
}

std::int32_t SaveDatFile(FileTools& tools, const char* filename, const Data* PtrDatFileData1,
                         const Data* PtrDatFileData2) {
  MBRK_ASSERT(filename != nullptr);
  FileShape shape;
  std::int32_t err = ShapeOf(PtrDatFileData1, PtrDatFileData2, shape);
  if (err != SUCCESS) return err;
  err = WriteDatFileHeader(tools, filename, shape.LngInputs, shape.LngExpectedOutputs,
                           shape.LngCalculatedOutputs, shape.LngErrors, shape.LngRows);
  if (err != SUCCESS) return err;
  err = WriteRows(tools, filename, PtrDatFileData1, PtrDatFileData2, shape.LngRows);
  if (err != SUCCESS) return err;
  return WriteDatFileTail(tools, filename);
}

TKQstructure* ProbeFileHeader(FileTools& tools, const char* filename) {
  return WithOwnStream([&] { return ProbeFile(tools, filename); });
}

}  // namespace mbrk
