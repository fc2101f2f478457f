// The in-memory dataset table: a ring of a fixed number of rows.
//
// Every slot holds an input row of MbrLngInputs doubles, an output row of
// MbrLngOutputs doubles and, on a table made with labels, a TLabelList. Rows
// are appended in order; once every slot is in use the next append overwrites
// the oldest row. Row arguments are slot indices 0 .. MbrNdxRows - 1, which
// equal insertion ranks only until the first overwrite; the cursor
// operations (GetNextRow, GetPreviousRow) follow insertion order.
//
// Invalid arguments throw TException by value with category "Bad Parameter"
// and a location "Data::<operation>". The row is checked before the column.
// A rejected call changes nothing, except that GetBlock stores 0 in its count
// and AppendRow has already counted one change when its slot is rejected.
// Allocation failures throw std::bad_alloc and leave the table as it was.
#ifndef MBRK_DATAOBJECT_DATA_H
#define MBRK_DATAOBJECT_DATA_H

#include <cstdint>

#include "LabelList.h"

namespace mbrk {

class Data {
 public:
  /// An empty table of `rows` slots, every value 0.0 and every label list
  /// empty. A width <= 0 means no storage for that vector and is stored as 0.
  /// Throws TException("Invalid Number of Rows", "Bad Parameter",
  /// "Data::Data") for a negative `rows`, and std::bad_alloc (releasing
  /// whatever it got) when the storage cannot be had.
  Data(std::int32_t rows, std::int32_t inputs, std::int32_t outputs, bool labels);
  virtual ~Data();

  // Clone is the copy operation; a table is handed around by pointer.
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  /// Advances the cursor one row in insertion order and copies that row out:
  /// the input values into `inputs`, the output values into `outputs` (each
  /// skipped when null), shaped by the column selection. Without an input
  /// selection `*labels` (when `labels` is not null) receives the slot's own
  /// list, or null on a table without labels; with one it is left untouched.
  /// Throws "Invalid Data Row" ("Data::GetNextRow") when the table holds no
  /// rows, moving nothing and writing nothing.
  virtual void GetNextRow(double* inputs, double* outputs, TLabelList** labels);
  /// GetNextRow backwards, without labels. Throws "Invalid Data Row"
  /// ("Data::GetPreviousRow") when the table holds no rows.
  void GetPreviousRow(double* inputs, double* outputs);
  /// Moves MbrNdxCursor one held row forward (step > 0) or back (step < 0) in
  /// insertion order, wrapping from the newest row to the oldest and back. A
  /// cursor that is not on a held row moves to the oldest row going forward
  /// and to the newest going back. Does nothing when the table holds no rows
  /// or step is 0.
  void StepCursor(std::int32_t step) noexcept;

  /// True when 0 <= row < MbrNdxRows.
  bool IsValidRow(std::int32_t row) const noexcept { return row >= 0 && row < MbrNdxRows; }

  // Single values. Column ranges: 0 <= column < MbrLngInputs (MbrLngOutputs).
  void GetInputDatum(std::int32_t row, std::int32_t column, double* value) const;
  void GetOutputDatum(std::int32_t row, std::int32_t column, double* value) const;
  /// Each counts one change.
  void SetInputDatum(std::int32_t row, std::int32_t column, double value);
  void SetOutputDatum(std::int32_t row, std::int32_t column, double value);

  /// Copies the whole input row (MbrLngInputs values).
  void GetInputRow(std::int32_t row, double* values) const;
  /// Copies the input values at the `count` listed columns, in list order.
  /// Every column is checked first ("Invalid Input Data Column",
  /// "Data::GetInputRow"); a count <= 0 copies nothing.
  void GetInputRow(std::int32_t row, double* values, std::int32_t count,
                   const std::int32_t* columns) const;
  void GetOutputRow(std::int32_t row, double* values) const;
  void GetOutputRow(std::int32_t row, double* values, std::int32_t count,
                    const std::int32_t* columns) const;

  /// Copies the input row when `inputs` is given, the output row when
  /// `outputs` is given and, on a table with labels, makes the slot's list a
  /// copy of `labels` (empty when null); labels are ignored on a table
  /// without. Counts one change, plus one for the labels on a table with them.
  void SetRow(std::int32_t row, const double* inputs, const double* outputs,
              const TLabelList* labels);

  /// Stores a pointer to the slot's own list (owned by the table, valid until
  /// the slot's labels next change), or null on a table without labels.
  void GetLabels(std::int32_t row, TLabelList** labels);
  /// The slot's list becomes a copy of `labels`, or empty when null.
  /// The three label changes count one change each and throw "No Labels in
  /// Table" (after the row check) on a table made without labels.
  void SetLabels(std::int32_t row, const TLabelList* labels);
  void ClearLabels(std::int32_t row);
  /// TLabelList::AppendLabel(name, value) on the slot's list.
  void AppendLabel(std::int32_t row, double value, const char* name);

  /// Appends one row to the ring, overwriting the oldest once the ring is
  /// full; arguments as for SetRow. Never moves the cursor. Counts one change
  /// plus SetRow's. On a table of capacity 0 throws "Invalid Data Row"
  /// ("Data::SetRow").
  void AppendRow(const double* inputs, const double* outputs, const TLabelList* labels);
  /// AppendRow for i = 0 .. count - 1 with inputs[i], outputs[i] and
  /// labels[i]. A null array stands for a null argument in every row.
  void AppendRows(const double* const* inputs, const double* const* outputs, std::int32_t count,
                  const TLabelList* labels);

  /// Copies the whole rows of slots from .. min(to, MbrNdxLast) into
  /// inputs[k] and outputs[k], k = 0, 1, ..., and stores how many in `count`
  /// (slot order, not insertion order). A table that holds no rows copies
  /// nothing. An invalid `from` stores 0 and throws "Data Block Fault".
  void GetBlock(double* const* inputs, double* const* outputs, std::int32_t from, std::int32_t to,
                std::int32_t* count) const;

  /// A new table equal to this one: values, labels, counters, ring position,
  /// cursor and column selections. The caller owns it.
  Data* Clone() const;

  /// Replaces the input column selection with a copy of `columns`. Every
  /// column must be within the input row ("Invalid Input Data Column",
  /// "Data::SetInputSelection"). A null `columns` with count 0 removes the
  /// selection.
  void SetInputSelection(std::int32_t count, const std::int32_t* columns);
  /// Stores the selection's size and a new[] copy of it (an empty array when
  /// there is no selection); the caller releases the copy with delete[].
  void GetInputSelection(std::int32_t* count, std::int32_t** columns) const;
  /// Installs copies of both selections, checked as for SetInputSelection
  /// (location "Data::SetSelection") before either is changed.
  void SetSelection(std::int32_t input_count, const std::int32_t* input_columns,
                    std::int32_t output_count, const std::int32_t* output_columns);

  // Row storage: MbrNdxRows pointers into one block per vector; null when the
  // width or the capacity is 0.
  double** MbrDyaRtpInputs = nullptr;
  double** MbrDyaRtpOutputs = nullptr;
  TLabelList* MbrDyaLabels = nullptr;  // MbrNdxRows lists; null without labels
  std::int32_t MbrNdxRows = 0;
  std::int32_t MbrNdxDataRows = 0;
  std::int32_t MbrLngInputs = 0;
  std::int32_t MbrLngOutputs = 0;
  bool MbrBlnLabels = false;
  std::int32_t MbrNdxFirst = 0;
  std::int32_t MbrNdxLast = 0;
  std::int32_t MbrLngChanges = 0;  // wraps around after 2^32 changes
  std::int32_t MbrNdxCursor = 0;
  std::int32_t MbrLngInputSelection = 0;
  std::int32_t* MbrDyaNdxInputSelection = nullptr;  // null: no selection
  std::int32_t MbrLngOutputSelection = 0;
  std::int32_t* MbrDyaNdxOutputSelection = nullptr;

 private:
  void CountChange() noexcept;
  bool HoldsSlot(std::int32_t slot) const noexcept;
  void CopyRowOut(std::int32_t slot, double* inputs, double* outputs, TLabelList** labels);
  void CheckRow(std::int32_t row, const char* location) const;
  void CheckLabelRow(std::int32_t row, const char* location) const;

  // The values behind MbrDyaRtpInputs / MbrDyaRtpOutputs, one zeroed
  // allocation each (or null), released by the destructor.
  double* MbrBlkInputs = nullptr;
  double* MbrBlkOutputs = nullptr;
};

}  // namespace mbrk

#endif  // MBRK_DATAOBJECT_DATA_H
