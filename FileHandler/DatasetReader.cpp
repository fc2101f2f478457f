// The dataset reader: a whole dataset file, its header and its label lists.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/ElementTexts.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/RowReader.h"

namespace mbrk {

namespace {

// The value of a header field: a width, the row count, or -1 for Labels.
std::int32_t HeaderValue(FileTools& tools, std::istream& in, const char* value) {
  return strcasecmp(value, "LABELS") == 0 ? -1 : tools.TokenToInteger(in, value);
}

std::int32_t ReadWholeFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
                           Data*& PtrDatFileData2) {
  // A folder opens like a file here but reads as nothing; it is no dataset
  // file at all.
  std::error_code ignored;
  if (std::filesystem::is_directory(filename, ignored)) return FILE_OPEN_ERROR;
  InputFile file;
  if (!file.Open(filename)) return FILE_OPEN_ERROR;
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;

  DecodedInput decoded(file.stream());
  const auto read = [&](std::istream& source) {
    DatasetInput input(source);
    std::istream& in = input.stream();
    DataBlock block = ReadToDataBlock(tools, in);
    RefuseHostileSize(in, block.rows, block.layout);
    CreateTables(block.layout, block.rows, PtrDatFileData1, PtrDatFileData2);
    TableRows tables(block.layout, PtrDatFileData1, PtrDatFileData2);
    RowReader(tools, in, block, tables).ReadRows(0, block.rows);
    ReadDataBlockEnd(tools, in, block);
    return SUCCESS;
  };
  // What a damaged stream made is dropped before the file is read as it is.
  const auto restart = [&] {
    delete PtrDatFileData1;
    delete PtrDatFileData2;
    PtrDatFileData1 = PtrDatFileData2 = nullptr;
  };
  return ReadDecoded(decoded, read, restart);
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
    ElementTexts field(element);
    const char* name = field.name.get();
    const std::int32_t v = HeaderValue(tools, in, field.value.get());
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
      field.GiveBack();
      return UNEXPECTED_CONTENT;
    }
    element = TElement{};
    element = tools.ReadElement(nullptr, in, false);
  }
  return SUCCESS;
}

TLabelList* ReadLabelList(FileTools& tools, std::istream& in) {
  auto list = std::make_unique<TLabelList>();
  // Separators and comments up to the opening bracket, which is consumed
  // whatever it turns out to be.
  const int opening = PeekPastComments(in);
  if (opening == kEndOfInput) Fail(in, "Unexpected end of file");
  ByteReader(in).Skip();
  if (opening != '[') Fail(in, "Expected '['");
  const int first = PeekPastSeparators(in);
  if (first == kEndOfInput) Fail(in, "Unexpected end of file");
  if (first == ']') {
    ByteReader(in).Skip();
    return list.release();
  }

  for (;;) {
    const TElement item = tools.ReadElement(nullptr, in, true);
    const ElementTexts texts(item);
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

}  // namespace mbrk
