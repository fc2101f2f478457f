// The dataset writer: tables as a dataset file, written in three passes.
#include <cstdint>
#include <cstring>
#include <fstream>
#include <ostream>
#include <string>

#include "Base/internal/Assert.h"
#include "Base/internal/Text.h"
#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/internal/FormatText.h"
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

// The label list of `list` (null: an empty one), as every writer writes it.
void AppendList(std::string& text, const TLabelList* list) {
  AppendListStart(text);
  for (std::int32_t i = 0; list != nullptr && i < list->MbrLngCount; ++i) {
    const TLabel& label = list->MbrDyaItems[i];
    AppendLabelText(text, label.MbrStrName, std::strlen(label.MbrStrName), label.MbrDblValue);
  }
  AppendListEnd(text);
}

RowTextLayout LayoutOf(const Data* first, const Data* second) {
  RowTextLayout layout{};
  const auto width = [](std::int32_t w) { return static_cast<std::size_t>(w > 0 ? w : 0); };
  layout.table1 = first != nullptr;
  layout.table2 = second != nullptr;
  layout.labels1 = first != nullptr && first->MbrBlnLabels;
  layout.labels2 = second != nullptr && second->MbrBlnLabels;
  if (first != nullptr) {
    layout.inputs = width(first->MbrLngInputs);
    layout.expected = layout.labels1 ? 0 : width(first->MbrLngOutputs);
  }
  if (second != nullptr) {
    layout.generated = layout.labels2 ? 0 : width(second->MbrLngInputs);
    layout.errors = width(second->MbrLngOutputs);
  }
  return layout;
}

// The row lines, as the format's text writer lays them out.
std::int32_t WriteRows(const char* filename, const Data* first, const Data* second,
                       std::int32_t rows) {
  std::ofstream out(filename, std::ios::out | std::ios::app);
  if (!out.good()) return FILE_OPEN_ERROR;
  const RowTextLayout layout = LayoutOf(first, second);
  std::string line;
  for (std::int32_t slot = 0; slot < rows; ++slot) {
    // A vector of width 0 may have no rows at all.
    const RowValues values{layout.inputs > 0 ? first->MbrDyaRtpInputs[slot] : nullptr,
                           layout.expected > 0 ? first->MbrDyaRtpOutputs[slot] : nullptr,
                           layout.generated > 0 ? second->MbrDyaRtpInputs[slot] : nullptr,
                           layout.errors > 0 ? second->MbrDyaRtpOutputs[slot] : nullptr};
    line.clear();
    AppendRowText(line, layout, values, ValueText::kGeneral15, [&](std::string& text, bool two) {
      AppendList(text, &(two ? second : first)->MbrDyaLabels[slot]);
    });
    // The lines go out through the stream's buffer and are flushed when the
    // pass closes: a flush per line would cost a system call per row, and
    // the file is not complete before its tail anyway.
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    // A full disk fails every write after it; there is no use going on.
    if (!out.good()) break;
  }
  return ClosePass(out);
}

// Writes `text` as a pass of its own, the file opened with `mode`.
std::int32_t WritePass(const char* filename, std::ios::openmode mode, const std::string& text) {
  std::ofstream out(filename, std::ios::out | mode);
  if (!out.good()) return FILE_OPEN_ERROR;
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return ClosePass(out);
}

}  // namespace

void WriteLabelList(FileTools&, std::ostream& out, const TLabelList* list) {
  std::string text;
  AppendList(text, list);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::int32_t WriteDatFileHeader(FileTools&, const char* filename, std::int32_t inputs,
                                std::int32_t expected_outputs, std::int32_t generated_outputs,
                                std::int32_t errors, std::int32_t rows) {
  MBRK_ASSERT(filename != nullptr);
  if (rows < 0 || inputs < 0 || errors < 0 || expected_outputs < -1 || generated_outputs < -1) {
    return BAD_TABLES;
  }
  return WritePass(filename, std::ios::trunc,
                   HeaderText({rows, inputs, expected_outputs, generated_outputs, errors}));
}

std::int32_t WriteDatFileRows(FileTools&, const char* filename, const Data* PtrDatFileData1,
                              const Data* PtrDatFileData2) {
  MBRK_ASSERT(filename != nullptr);
  FileShape shape;
  const std::int32_t err = ShapeOf(PtrDatFileData1, PtrDatFileData2, shape);
  if (err != SUCCESS) return err;
  return WriteRows(filename, PtrDatFileData1, PtrDatFileData2, shape.rows);
}

std::int32_t WriteDatFileTail(FileTools&, const char* filename) {
  MBRK_ASSERT(filename != nullptr);
  return WritePass(filename, std::ios::app, TailText());
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
  err = WriteRows(filename, PtrDatFileData1, PtrDatFileData2, shape.rows);
  if (err != SUCCESS) return err;
  return WriteDatFileTail(tools, filename);
}

}  // namespace mbrk
