// The cursor of a table and its column selections: which rows GetNextRow and
// GetPreviousRow deliver, and which of their columns, in which order.
#include <cstring>
#include <memory>

#include "Base/internal/Assert.h"
#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"

namespace mbrk {

namespace {

[[noreturn]] void Fail(const char* message, const char* location) {
  throw TException(message, "Bad Parameter", location, nullptr);
}

// A checked copy of a column selection. A null array with count 0 means no
// selection (null result); anything else must name columns of the row.
std::unique_ptr<std::int32_t[]> CopyColumns(std::int32_t count, const std::int32_t* columns,
                                            std::int32_t width, const char* message,
                                            const char* location) {
  if (columns == nullptr && count == 0) return nullptr;
  if (count < 0 || columns == nullptr) Fail(message, location);
  for (std::int32_t k = 0; k < count; ++k) {
    if (columns[k] < 0 || columns[k] >= width) Fail(message, location);
  }
  std::unique_ptr<std::int32_t[]> copy(new std::int32_t[static_cast<std::size_t>(count)]);
  if (count > 0) {
    std::memcpy(copy.get(), columns, static_cast<std::size_t>(count) * sizeof(*columns));
  }
  return copy;
}

// memmove: a caller may hand a table its own row back.
void MoveValues(double* to, const double* from, std::int32_t count) {
  if (count > 0) std::memmove(to, from, static_cast<std::size_t>(count) * sizeof(double));
}

}  // namespace

// ---- The cursor ----

void Data::StepCursor(std::int32_t step) noexcept {
  if (MbrNdxDataRows <= 0 || step == 0) return;
  if (MbrNdxDataRows == 1) {
    MbrNdxCursor = MbrNdxFirst;
    return;
  }
  // The cursor is public; one left on a slot that holds no row restarts the
  // walk at the oldest (forward) or the newest (backward) row instead of
  // wandering into storage that holds no data, or none at all.
  if (!HoldsSlot(MbrNdxCursor)) {
    MbrNdxCursor = step > 0 ? MbrNdxFirst : MbrNdxLast;
  } else if (step > 0) {
    MbrNdxCursor = MbrNdxCursor == MbrNdxLast       ? MbrNdxFirst
                   : MbrNdxCursor + 1 == MbrNdxRows ? 0
                                                    : MbrNdxCursor + 1;
  } else {
    MbrNdxCursor = MbrNdxCursor == MbrNdxFirst ? MbrNdxLast
                   : MbrNdxCursor == 0         ? MbrNdxRows - 1
                                               : MbrNdxCursor - 1;
  }
}

void Data::CopyRowOut(std::int32_t slot, double* inputs, double* outputs, TLabelList** labels) {
  if (MbrDyaNdxInputSelection == nullptr) {
    if (inputs != nullptr && MbrLngInputs > 0) {
      MoveValues(inputs, MbrDyaRtpInputs[slot], MbrLngInputs);
    }
    if (outputs != nullptr && MbrLngOutputs > 0) {
      MoveValues(outputs, MbrDyaRtpOutputs[slot], MbrLngOutputs);
    }
    if (labels != nullptr) *labels = MbrBlnLabels ? &MbrDyaLabels[slot] : nullptr;
    return;
  }
  // With a selection the label place is left alone.
  if (inputs != nullptr) {
    for (std::int32_t k = 0; k < MbrLngInputSelection; ++k) {
      inputs[k] = MbrDyaRtpInputs[slot][MbrDyaNdxInputSelection[k]];
    }
  }
  if (outputs == nullptr) return;
  if (MbrDyaNdxOutputSelection == nullptr) {
    if (MbrLngOutputs > 0) MoveValues(outputs, MbrDyaRtpOutputs[slot], MbrLngOutputs);
  } else {
    for (std::int32_t k = 0; k < MbrLngOutputSelection; ++k) {
      outputs[k] = MbrDyaRtpOutputs[slot][MbrDyaNdxOutputSelection[k]];
    }
  }
}

void Data::GetNextRow(double* inputs, double* outputs, TLabelList** labels) {
  if (MbrNdxDataRows <= 0) Fail("Invalid Data Row", "Data::GetNextRow");
  StepCursor(+1);
  CopyRowOut(MbrNdxCursor, inputs, outputs, labels);
}

void Data::GetPreviousRow(double* inputs, double* outputs) {
  if (MbrNdxDataRows <= 0) Fail("Invalid Data Row", "Data::GetPreviousRow");
  StepCursor(-1);
  CopyRowOut(MbrNdxCursor, inputs, outputs, nullptr);
}

// ---- Column selections ----

void Data::SetInputSelection(std::int32_t count, const std::int32_t* columns) {
  std::unique_ptr<std::int32_t[]> copy = CopyColumns(
      count, columns, MbrLngInputs, "Invalid Input Data Column", "Data::SetInputSelection");
  delete[] MbrDyaNdxInputSelection;
  MbrLngInputSelection = copy ? count : 0;
  MbrDyaNdxInputSelection = copy.release();
}

void Data::GetInputSelection(std::int32_t* count, std::int32_t** columns) const {
  MBRK_ASSERT(count != nullptr && columns != nullptr);
  std::unique_ptr<std::int32_t[]> copy(
      new std::int32_t[static_cast<std::size_t>(MbrLngInputSelection)]);
  if (MbrLngInputSelection > 0) {
    std::memcpy(copy.get(), MbrDyaNdxInputSelection,
                static_cast<std::size_t>(MbrLngInputSelection) * sizeof(std::int32_t));
  }
  *count = MbrLngInputSelection;
  *columns = copy.release();
}

void Data::SetSelection(std::int32_t input_count, const std::int32_t* input_columns,
                        std::int32_t output_count, const std::int32_t* output_columns) {
  std::unique_ptr<std::int32_t[]> inputs = CopyColumns(
      input_count, input_columns, MbrLngInputs, "Invalid Input Data Column", "Data::SetSelection");
  std::unique_ptr<std::int32_t[]> outputs =
      CopyColumns(output_count, output_columns, MbrLngOutputs, "Invalid Output Data Column",
                  "Data::SetSelection");
  delete[] MbrDyaNdxInputSelection;
  delete[] MbrDyaNdxOutputSelection;
  MbrLngInputSelection = inputs ? input_count : 0;
  MbrDyaNdxInputSelection = inputs.release();
  MbrLngOutputSelection = outputs ? output_count : 0;
  MbrDyaNdxOutputSelection = outputs.release();
}

}  // namespace mbrk
