// The dataset reader: a whole dataset file, its header and its label lists.
#include <cstdint>
#include <fstream>
#include <memory>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/ElementTexts.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReadRecipe.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/RowReader.h"
#include "FileHandler/internal/TableRows.h"
#include "FileHandler/internal/Vocabulary.h"

namespace mbrk {

namespace {

// The value of a header field: a width, the row count, or -1 for Labels.
std::int32_t HeaderValue(FileTools& tools, std::istream& in, const char* value) {
  return strcasecmp(value, vocabulary::kLabelsValue) == 0 ? -1 : tools.TokenToInteger(in, value);
}

std::int32_t ReadWholeFile(FileTools& tools, const char* filename, Data*& PtrDatFileData1,
                           Data*& PtrDatFileData2) {
  InputFile file;
  if (OpenInput(file, filename) != InputStatus::kOpen) return FILE_OPEN_ERROR;
  PtrDatFileData1 = nullptr;
  PtrDatFileData2 = nullptr;

  DatasetInput input(file.stream());
  WholeRead read(tools, input.stream());
  const DataBlock& block = read.block();
  CreateTables(block.layout, block.rows, PtrDatFileData1, PtrDatFileData2);
  TableRows tables(block.layout, PtrDatFileData1, PtrDatFileData2);
  read.ReadRows(tables);
  return SUCCESS;
}

}  // namespace

WholeRead::WholeRead(FileTools& tools, std::istream& in)
    : tools_(tools), in_(in), block_(ReadToDataBlock(tools, in)) {
  RefuseHostileSize(in, block_.rows, block_.layout);
}

void WholeRead::ReadRows(RowDestination& destination, const ParallelRowOptions* parallel) {
  RowReader reader(tools_, in_, block_, destination);
  // The leading plain numbers on every thread, the rest as one thread reads it.
  std::int32_t row = 0;
  if (parallel != nullptr && block_.rows > 0) {
    const RowLayout& layout = block_.layout;
    const std::uint64_t placed =
        ReadValuesInParallel(in_, layout, block_.rows, destination.Places(0), *parallel);
    if (placed != 0) {
      const std::uint64_t width =
          static_cast<std::uint64_t>(layout.inputs) + static_cast<std::uint64_t>(layout.expected) +
          static_cast<std::uint64_t>(layout.generated) + static_cast<std::uint64_t>(layout.errors);
      row = static_cast<std::int32_t>(placed / width);
      if (placed % width != 0) {
        reader.ReadRowRest(row, static_cast<std::int64_t>(placed % width));
        ++row;
      }
    }
  }
  reader.ReadRows(row, block_.rows - row);
  ReadDataBlockEnd(tools_, in_, block_);
}

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
    if (strcasecmp(name, vocabulary::kInputsField) == 0 && stage < 1) {
      if (v < 0) Fail(in, "No labels in inputs");
      inputs = v;
      stage = 1;
    } else if (strcasecmp(name, vocabulary::kExpectedOutputsField) == 0 && stage < 2) {
      expected_outputs = v;
      stage = 2;
    } else if (strcasecmp(name, vocabulary::kGeneratedOutputsField) == 0 && stage < 3) {
      generated_outputs = v;
      stage = 3;
    } else if (strcasecmp(name, vocabulary::kErrorField) == 0 && stage < 4) {
      if (v < 0) Fail(in, "No labels in inputs");
      errors = v;
      stage = 4;
    } else if (strcasecmp(name, vocabulary::kRowsField) == 0) {
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
