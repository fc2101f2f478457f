#include "FileHandler/Filer.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "DataObject/Assert.h"
#include "DataObject/Data.h"
#include "DataObject/LabelList.h"

namespace mbrk {

namespace {

[[noreturn]] void Fail(std::istream& in, const char* message) {
  throw FileTools::Error{FileTools::DuplicateString(message), &in, 0};
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
  return c == std::char_traits<char>::eof() ? c : static_cast<signed char>(c);
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
                             label_lists * rows * 16;
  if (table_bytes <= kSmallTables) return false;
  const std::istream::pos_type here = in.tellg();
  if (here == std::istream::pos_type(-1)) return false;
  in.seekg(0, std::ios::end);
  const std::istream::pos_type end = in.tellg();
  in.seekg(here);
  if (end == std::istream::pos_type(-1) || !in) {
    in.clear();
    in.seekg(here);
    return false;
  }
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

std::int32_t ReadDatFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
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

  const bool labels1 = expected == -1;
  const bool labels2 = generated == -1;
  if (expected < 0) expected = 0;
  if (generated < 0) generated = 0;
  const bool table1 = inputs != 0 || expected != 0 || labels1;
  const bool table2 = generated != 0 || errors != 0 || labels2;

  const double values1 = table1 ? static_cast<double>(inputs) + expected : 0.0;
  const double values2 = table2 ? static_cast<double>(generated) + errors : 0.0;
  const double all_values =
      static_cast<double>(inputs) + expected + static_cast<double>(generated) + errors;
  const double label_lists = (labels1 ? 1.0 : 0.0) + (labels2 ? 1.0 : 0.0);
  if (DeclaresMoreThanItHolds(in, rows, values1 + values2, all_values, label_lists)) {
    Fail(in, "Unexpected end of file");
  }

  if (table1) PtrDatFileData1 = new Data(rows, inputs, expected, labels1);
  if (table2) PtrDatFileData2 = new Data(rows, generated, errors, labels2);

  RowBuffers scratch(inputs, expected, generated, errors);
  for (std::int32_t i = 0; i < rows; ++i) {
    ReadRow(tools, data_name, in, scratch, i, PtrDatFileData1, labels1, PtrDatFileData2, labels2);
  }

  tools.ExpectBlockEnd(ReadInBlock(tools, data_name, in), in);
  tools.ExpectBlockEnd(ReadInBlock(tools, dataset_name, in), in);
  tools.ExpectBlockEnd(tools.ReadElement(nullptr, in, false), in);
  return SUCCESS;
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

}  // namespace mbrk
