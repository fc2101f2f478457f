// The dataset writer: tables as a dataset file, written in three passes.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>

#include "Base/internal/Assert.h"
#include "Base/internal/NumberText.h"
#include "Base/internal/Text.h"
#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk {

namespace {

// The header fields a pair of tables makes; -1 stands for Labels.
struct FileShape {
  std::int32_t rows = -1;
  std::int32_t inputs = 0;
  std::int32_t expected_outputs = 0;
  std::int32_t generated_outputs = 0;
  std::int32_t errors = 0;
};

bool IsWordName(const char* name) { return name != nullptr && IsWord(name, std::strlen(name)); }

bool HasWritableLabels(const Data* table) {
  if (table == nullptr || !table->MbrBlnLabels) return true;
  for (std::int32_t slot = 0; slot < table->MbrNdxRows; ++slot) {
    const TLabelList& list = table->MbrDyaLabels[slot];
    for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
      if (!IsWordName(list.MbrDyaItems[i].MbrStrName)) return false;
    }
  }
  return true;
}

std::int32_t ShapeOf(const Data* first, const Data* second, FileShape& shape) {
  if (first != nullptr) {
    shape.rows = first->MbrNdxRows;
    shape.inputs = first->MbrLngInputs;
    const std::int32_t expected_outputs = first->MbrLngOutputs;
    if (first->MbrBlnLabels) MBRK_ASSERT(expected_outputs == 0);
    shape.expected_outputs = first->MbrBlnLabels ? -1 : expected_outputs;
  }
  if (second != nullptr) {
    if (first == nullptr) {
      shape.rows = second->MbrNdxRows;
    } else if (second->MbrNdxRows != shape.rows) {
      return BAD_TABLES;
    }
    const std::int32_t generated_outputs = second->MbrLngInputs;
    if (second->MbrBlnLabels) MBRK_ASSERT(generated_outputs == 0);
    shape.generated_outputs = second->MbrBlnLabels ? -1 : generated_outputs;
    shape.errors = second->MbrLngOutputs;
  }
  if (shape.rows < 0) return BAD_TABLES;
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
  AppendGeneral15(line, value);
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

std::int32_t WriteDatFileRows(FileTools& tools, const char* filename, const Data* PtrDatFileData1,
                              const Data* PtrDatFileData2) {
  MBRK_ASSERT(filename != nullptr);
  FileShape shape;
  const std::int32_t err = ShapeOf(PtrDatFileData1, PtrDatFileData2, shape);
  if (err != SUCCESS) return err;
  return WriteRows(tools, filename, PtrDatFileData1, PtrDatFileData2, shape.rows);
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
  err = WriteDatFileHeader(tools, filename, shape.inputs, shape.expected_outputs,
                           shape.generated_outputs, shape.errors, shape.rows);
  if (err != SUCCESS) return err;
  err = WriteRows(tools, filename, PtrDatFileData1, PtrDatFileData2, shape.rows);
  if (err != SUCCESS) return err;
  return WriteDatFileTail(tools, filename);
}

}  // namespace mbrk
