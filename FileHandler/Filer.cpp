#include "FileHandler/Filer.h"

#include <charconv>
#include <cmath>
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

// Reads `count` numbers of the data block into `values`.
void ReadNumbers(FileTools& tools, std::unique_ptr<char[]>& block, std::istream& in,
                 double* values, std::int32_t count) {
  for (std::int32_t k = 0; k < count; ++k) {
    values[k] = tools.ExpectNumber(ReadInBlock(tools, block, in), in);
  }
}

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
  std::ifstream in(filename);
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

  std::vector<double> input_row(static_cast<std::size_t>(inputs));
  std::vector<double> expected_row(static_cast<std::size_t>(expected));
  std::vector<double> generated_row(static_cast<std::size_t>(generated));
  std::vector<double> error_row(static_cast<std::size_t>(errors));

  for (std::int32_t i = 0; i < rows; ++i) {
    ReadNumbers(tools, data_name, in, input_row.data(), inputs);
    ReadNumbers(tools, data_name, in, expected_row.data(), expected);
    ReadNumbers(tools, data_name, in, generated_row.data(), generated);
    ReadNumbers(tools, data_name, in, error_row.data(), errors);
    if (Data* table = PtrDatFileData1) {
      table->AppendRow(input_row.data(), expected_row.data(), nullptr);
      if (labels1) {
        std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
        table->SetLabels(i, list.get());
      }
    }
    if (Data* table = PtrDatFileData2) {
      table->AppendRow(generated_row.data(), error_row.data(), nullptr);
      if (labels2) {
        std::unique_ptr<TLabelList> list(ReadLabelList(tools, in));
        table->SetLabels(i, list.get());
      }
    }
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

}  // namespace mbrk
