#include "DataObject/Data.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "Base/internal/Assert.h"
#include "Base/internal/Deleters.h"
#include "Base/internal/Memory.h"
#include "DataObject/Exceptions.h"

namespace mbrk {

namespace {

// Zero-filled storage is taken from calloc: all-zero bytes are 0.0 here, the
// pages of a large table arrive already cleared, and a request that cannot be
// met comes back as null (under the sanitizers too), which becomes
// std::bad_alloc below.
static_assert(std::numeric_limits<double>::is_iec559, "0.0 must be all-zero bytes");

[[noreturn]] void Fail(const char* message, const char* location) {
  throw TException(message, "Bad Parameter", location, nullptr);
}

// `count` elements of `size` bytes, all zero; the size is worked out in 64
// bits so no product of two 32-bit counts can wrap.
//
// A large block arrives from calloc as fresh pages not yet touched, and the
// first touch of each page costs a fault. With huge pages a table of a
// million rows is mapped in a few hundred faults instead of tens of
// thousands, which is most of the time it takes to fill it.
void* AllocateZeroed(std::uint64_t count, std::size_t size) {
  if (count > std::numeric_limits<std::size_t>::max() / size) throw std::bad_alloc();
  const std::size_t bytes = static_cast<std::size_t>(count) * size;
  void* memory = std::calloc(static_cast<std::size_t>(count), size);
  if (memory == nullptr) throw std::bad_alloc();
  if (bytes >= kHugePageWorthy) AdviseHugePages(memory, bytes);
  return memory;
}

using ValueBlock = std::unique_ptr<double, FreeMemory>;
using RowPointers = std::unique_ptr<double*, FreeMemory>;

ValueBlock NewValueBlock(std::uint64_t values) {
  if (values == 0) return ValueBlock();
  return ValueBlock(static_cast<double*>(AllocateZeroed(values, sizeof(double))));
}

// The label lists live in calloc'd memory too, constructed in place, so that
// their destruction has to run by hand.
void DestroyLabelArray(TLabelList* lists, std::int32_t count) noexcept {
  if (lists == nullptr) return;
  for (std::int32_t i = 0; i < count; ++i) lists[i].~TLabelList();
  std::free(lists);
}

struct FreeLabels {
  std::int32_t count;
  void operator()(TLabelList* lists) const noexcept { DestroyLabelArray(lists, count); }
};
using LabelArray = std::unique_ptr<TLabelList, FreeLabels>;

RowPointers NewRowPointers(double* block, std::int32_t rows, std::int32_t width) {
  if (block == nullptr) return RowPointers();
  RowPointers pointers(
      static_cast<double**>(AllocateZeroed(static_cast<std::uint64_t>(rows), sizeof(double*))));
  for (std::int32_t i = 0; i < rows; ++i) {
    pointers.get()[i] = block + static_cast<std::size_t>(i) * static_cast<std::size_t>(width);
  }
  return pointers;
}

LabelArray NewLabelArray(std::int32_t rows) {
  if (rows == 0) return LabelArray(nullptr, FreeLabels{0});
  auto* lists = static_cast<TLabelList*>(
      AllocateZeroed(static_cast<std::uint64_t>(rows), sizeof(TLabelList)));
  for (std::int32_t i = 0; i < rows; ++i) new (lists + i) TLabelList();  // noexcept
  return LabelArray(lists, FreeLabels{rows});
}

std::int32_t* CopySelection(const std::int32_t* columns, std::int32_t count) {
  if (columns == nullptr) return nullptr;
  auto* copy = new std::int32_t[static_cast<std::size_t>(count)];
  if (count > 0) std::memcpy(copy, columns, static_cast<std::size_t>(count) * sizeof(*columns));
  return copy;
}

inline void CopyValues(double* to, const double* from, std::int32_t count) {
  // memmove: a caller may hand a table its own row back.
  if (count > 0) std::memmove(to, from, static_cast<std::size_t>(count) * sizeof(double));
}

}  // namespace

Data::Data(std::int32_t rows, std::int32_t inputs, std::int32_t outputs, bool labels)
    : MbrNdxRows(rows),
      MbrLngInputs(inputs > 0 ? inputs : 0),
      MbrLngOutputs(outputs > 0 ? outputs : 0),
      MbrBlnLabels(labels) {
  if (rows < 0) Fail("Invalid Number of Rows", "Data::Data");
  // The value blocks are by far the largest requests, so they are made first:
  // a capacity that cannot be had fails before anything else is touched.
  // Whatever was obtained is released by its owner if a later request fails.
  const auto input_values =
      static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(MbrLngInputs);
  const auto output_values =
      static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(MbrLngOutputs);
  ValueBlock input_block = NewValueBlock(input_values);
  ValueBlock output_block = NewValueBlock(output_values);
  RowPointers input_rows = NewRowPointers(input_block.get(), rows, MbrLngInputs);
  RowPointers output_rows = NewRowPointers(output_block.get(), rows, MbrLngOutputs);
  LabelArray label_lists = labels ? NewLabelArray(rows) : LabelArray(nullptr, FreeLabels{0});

  MbrBlkInputs = input_block.release();
  MbrBlkOutputs = output_block.release();
  MbrDyaRtpInputs = input_rows.release();
  MbrDyaRtpOutputs = output_rows.release();
  MbrDyaLabels = label_lists.release();
}

Data::~Data() {
  std::free(MbrBlkInputs);
  std::free(MbrBlkOutputs);
  std::free(MbrDyaRtpInputs);
  std::free(MbrDyaRtpOutputs);
  DestroyLabelArray(MbrDyaLabels, MbrNdxRows);
  delete[] MbrDyaNdxInputSelection;
  delete[] MbrDyaNdxOutputSelection;
}

// ---- Checks and helpers ----

// Nothing reads the counter but Clone, so after 2^32 changes it simply wraps
// (done in unsigned arithmetic, which is defined to wrap).
void Data::CountChange() noexcept {
  MbrLngChanges = static_cast<std::int32_t>(static_cast<std::uint32_t>(MbrLngChanges) + 1u);
}

bool Data::HoldsSlot(std::int32_t slot) const noexcept {
  if (!IsValidRow(slot)) return false;
  std::int32_t offset = slot - MbrNdxFirst;
  if (offset < 0) offset += MbrNdxRows;
  return offset < MbrNdxDataRows;
}

void Data::CheckRow(std::int32_t row, const char* location) const {
  if (!IsValidRow(row)) Fail("Invalid Data Row", location);
}

void Data::CheckLabelRow(std::int32_t row, const char* location) const {
  CheckRow(row, location);
  if (!MbrBlnLabels) Fail("No Labels in Table", location);
}

// ---- Single values ----

void Data::GetInputDatum(std::int32_t row, std::int32_t column, double* value) const {
  CheckRow(row, "Data::GetInputDatum");
  if (column < 0 || column >= MbrLngInputs) {
    Fail("Invalid Input Data Column", "Data::GetInputDatum");
  }
  MBRK_ASSERT(value != nullptr);
  *value = MbrDyaRtpInputs[row][column];
}

void Data::GetOutputDatum(std::int32_t row, std::int32_t column, double* value) const {
  CheckRow(row, "Data::GetOutputDatum");
  if (column < 0 || column >= MbrLngOutputs) {
    Fail("Invalid Output Data Column", "Data::GetOutputDatum");
  }
  MBRK_ASSERT(value != nullptr);
  *value = MbrDyaRtpOutputs[row][column];
}

void Data::SetInputDatum(std::int32_t row, std::int32_t column, double value) {
  CheckRow(row, "Data::SetInputDatum");
  if (column < 0 || column >= MbrLngInputs) {
    Fail("Invalid Input Data Column", "Data::SetInputDatum");
  }
  MbrDyaRtpInputs[row][column] = value;
  CountChange();
}

void Data::SetOutputDatum(std::int32_t row, std::int32_t column, double value) {
  CheckRow(row, "Data::SetOutputDatum");
  if (column < 0 || column >= MbrLngOutputs) {
    Fail("Invalid Output Data Column", "Data::SetOutputDatum");
  }
  MbrDyaRtpOutputs[row][column] = value;
  CountChange();
}

// ---- Rows ----

void Data::GetInputRow(std::int32_t row, double* values) const {
  CheckRow(row, "Data::GetInputRow");
  if (MbrLngInputs > 0) CopyValues(values, MbrDyaRtpInputs[row], MbrLngInputs);
}

void Data::GetInputRow(std::int32_t row, double* values, std::int32_t count,
                       const std::int32_t* columns) const {
  CheckRow(row, "Data::GetInputRow");
  if (count > 0 && columns == nullptr) Fail("Invalid Input Data Column", "Data::GetInputRow");
  for (std::int32_t k = 0; k < count; ++k) {
    if (columns[k] < 0 || columns[k] >= MbrLngInputs) {
      Fail("Invalid Input Data Column", "Data::GetInputRow");
    }
  }
  for (std::int32_t k = 0; k < count; ++k) values[k] = MbrDyaRtpInputs[row][columns[k]];
}

void Data::GetOutputRow(std::int32_t row, double* values) const {
  CheckRow(row, "Data::GetOutputRow");
  if (MbrLngOutputs > 0) CopyValues(values, MbrDyaRtpOutputs[row], MbrLngOutputs);
}

void Data::GetOutputRow(std::int32_t row, double* values, std::int32_t count,
                        const std::int32_t* columns) const {
  CheckRow(row, "Data::GetOutputRow");
  if (count > 0 && columns == nullptr) Fail("Invalid Output Data Column", "Data::GetOutputRow");
  for (std::int32_t k = 0; k < count; ++k) {
    if (columns[k] < 0 || columns[k] >= MbrLngOutputs) {
      Fail("Invalid Output Data Column", "Data::GetOutputRow");
    }
  }
  for (std::int32_t k = 0; k < count; ++k) values[k] = MbrDyaRtpOutputs[row][columns[k]];
}

void Data::SetRow(std::int32_t row, const double* inputs, const double* outputs,
                  const TLabelList* labels) {
  CheckRow(row, "Data::SetRow");
  // The slot's new label list is built before any value is written, so a
  // failed copy leaves the whole row as it was.
  TLabelList new_labels;
  if (MbrBlnLabels && labels != nullptr) new_labels = *labels;
  if (inputs != nullptr && MbrLngInputs > 0) CopyValues(MbrDyaRtpInputs[row], inputs, MbrLngInputs);
  if (outputs != nullptr && MbrLngOutputs > 0) {
    CopyValues(MbrDyaRtpOutputs[row], outputs, MbrLngOutputs);
  }
  if (MbrBlnLabels) {
    MbrDyaLabels[row] = std::move(new_labels);
    CountChange();  // the label change is a change of its own
  }
  CountChange();
}

// ---- Labels ----

void Data::GetLabels(std::int32_t row, TLabelList** labels) {
  CheckRow(row, "Data::GetLabels");
  MBRK_ASSERT(labels != nullptr);
  *labels = MbrBlnLabels ? &MbrDyaLabels[row] : nullptr;
}

void Data::SetLabels(std::int32_t row, const TLabelList* labels) {
  CheckLabelRow(row, "Data::SetLabels");
  if (labels != nullptr) {
    MbrDyaLabels[row] = *labels;
  } else {
    MbrDyaLabels[row] = TLabelList();
  }
  CountChange();
}

void Data::ClearLabels(std::int32_t row) {
  CheckLabelRow(row, "Data::ClearLabels");
  MbrDyaLabels[row] = TLabelList();
  CountChange();
}

void Data::AppendLabel(std::int32_t row, double value, const char* name) {
  CheckLabelRow(row, "Data::AppendLabel");
  MbrDyaLabels[row].AppendLabel(name, value);
  CountChange();
}

// ---- The ring ----

void Data::AppendRow(const double* inputs, const double* outputs, const TLabelList* labels) {
  MBRK_ASSERT(MbrNdxDataRows <= MbrNdxRows);
  CountChange();
  if (MbrNdxDataRows < MbrNdxRows || MbrNdxRows == 0) {
    // Filling (a capacity of 0 gets here too and has slot 0 rejected).
    SetRow(MbrNdxDataRows, inputs, outputs, labels);
    ++MbrNdxDataRows;
    MbrNdxLast = MbrNdxDataRows - 1;
    return;
  }
  // Full: the newest row takes the oldest row's slot. The ring moves on only
  // once the slot is written, so a failed copy leaves the ring as it was.
  const std::int32_t slot = MbrNdxLast + 1 == MbrNdxRows ? 0 : MbrNdxLast + 1;
  SetRow(slot, inputs, outputs, labels);
  MbrNdxLast = slot;
  MbrNdxFirst = MbrNdxFirst + 1 == MbrNdxRows ? 0 : MbrNdxFirst + 1;
}

void Data::AppendRows(const double* const* inputs, const double* const* outputs, std::int32_t count,
                      const TLabelList* labels) {
  for (std::int32_t i = 0; i < count; ++i) {
    AppendRow(inputs != nullptr ? inputs[i] : nullptr, outputs != nullptr ? outputs[i] : nullptr,
              labels != nullptr ? &labels[i] : nullptr);
  }
}

void Data::GetBlock(double* const* inputs, double* const* outputs, std::int32_t from,
                    std::int32_t to, std::int32_t* count) const {
  MBRK_ASSERT(count != nullptr);
  *count = 0;
  if (!IsValidRow(from)) Fail("Data Block Fault", "Data::GetBlock");
  // An empty table has MbrNdxLast 0 but no row in slot 0 to hand out.
  if (MbrNdxDataRows == 0) return;
  if (to > MbrNdxLast) to = MbrNdxLast;
  std::int32_t copied = 0;
  for (std::int32_t slot = from; slot <= to; ++slot, ++copied) {
    if (MbrLngInputs > 0) CopyValues(inputs[copied], MbrDyaRtpInputs[slot], MbrLngInputs);
    if (MbrLngOutputs > 0) CopyValues(outputs[copied], MbrDyaRtpOutputs[slot], MbrLngOutputs);
  }
  *count = copied;
}

Data* Data::Clone() const {
  std::unique_ptr<Data> clone(new Data(MbrNdxRows, MbrLngInputs, MbrLngOutputs, MbrBlnLabels));
  const auto rows = static_cast<std::size_t>(MbrNdxRows);
  if (MbrBlkInputs != nullptr) {
    std::memcpy(clone->MbrBlkInputs, MbrBlkInputs,
                rows * static_cast<std::size_t>(MbrLngInputs) * sizeof(double));
  }
  if (MbrBlkOutputs != nullptr) {
    std::memcpy(clone->MbrBlkOutputs, MbrBlkOutputs,
                rows * static_cast<std::size_t>(MbrLngOutputs) * sizeof(double));
  }
  if (MbrBlnLabels) {
    for (std::int32_t i = 0; i < MbrNdxRows; ++i) clone->MbrDyaLabels[i] = MbrDyaLabels[i];
  }
  clone->MbrNdxDataRows = MbrNdxDataRows;
  clone->MbrNdxFirst = MbrNdxFirst;
  clone->MbrNdxLast = MbrNdxLast;
  clone->MbrLngChanges = MbrLngChanges;
  clone->MbrNdxCursor = MbrNdxCursor;
  // The selections were checked when they were set and the widths are equal.
  clone->MbrDyaNdxInputSelection = CopySelection(MbrDyaNdxInputSelection, MbrLngInputSelection);
  clone->MbrLngInputSelection = MbrLngInputSelection;
  clone->MbrDyaNdxOutputSelection = CopySelection(MbrDyaNdxOutputSelection, MbrLngOutputSelection);
  clone->MbrLngOutputSelection = MbrLngOutputSelection;
  return clone.release();
}

}  // namespace mbrk
