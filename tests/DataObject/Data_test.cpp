#include "DataObject/Data.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "DataObject/Exceptions.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

static_assert(std::has_virtual_destructor_v<Data>, "tables are deleted through Data*");
static_assert(!std::is_copy_constructible_v<Data>, "Clone is the copy operation");

using test::ExceptionOf;

std::string Show(const TLabelList* list) {
  if (list == nullptr) return "<none>";
  std::ostringstream out;
  for (std::int32_t i = 0; i < list->MbrLngCount; ++i) {
    out << (i > 0 ? " " : "") << list->MbrDyaItems[i].MbrStrName << '='
        << list->MbrDyaItems[i].MbrDblValue;
  }
  return out.str();
}

std::string Join(const double* values, std::int32_t count) {
  std::ostringstream out;
  for (std::int32_t i = 0; i < count; ++i) out << (i > 0 ? " " : "") << values[i];
  return out.str();
}

// Slot `slot` as "inputs | outputs".
std::string Slot(const Data& data, std::int32_t slot) {
  std::vector<double> in(data.MbrLngInputs + 1), out(data.MbrLngOutputs + 1);
  data.GetInputRow(slot, in.data());
  data.GetOutputRow(slot, out.data());
  return Join(in.data(), data.MbrLngInputs) + " | " + Join(out.data(), data.MbrLngOutputs);
}

// `steps` GetNextRow calls, each row as "inputs | outputs", joined by ", ".
std::string Walk(Data& data, int steps, bool forward = true) {
  std::string walked;
  for (int i = 0; i < steps; ++i) {
    double in[8] = {}, out[8] = {};
    if (forward) {
      data.GetNextRow(in, out, nullptr);
    } else {
      data.GetPreviousRow(in, out);
    }
    walked +=
        (i > 0 ? ", " : "") + Join(in, data.MbrLngInputs) + " | " + Join(out, data.MbrLngOutputs);
  }
  return walked;
}

// Appends a row whose inputs are n, n+0.1, ... and outputs -n, -n-0.1, ...
void AppendNumbered(Data& data, double n, const TLabelList* labels = nullptr) {
  double in[8], out[8];
  for (int i = 0; i < 8; ++i) {
    in[i] = n + 0.1 * i;
    out[i] = -n - 0.1 * i;
  }
  data.AppendRow(in, out, labels);
}

std::string Ring(const Data& data) {
  return "first " + std::to_string(data.MbrNdxFirst) + " last " + std::to_string(data.MbrNdxLast) +
         " rows " + std::to_string(data.MbrNdxDataRows);
}

// ---- Construction ----

TEST(Data, NewTableIsEmptyAndAllZero) {
  Data data(4, 3, 2, true);
  EXPECT_EQ(4, data.MbrNdxRows);
  EXPECT_EQ(3, data.MbrLngInputs);
  EXPECT_EQ(2, data.MbrLngOutputs);
  EXPECT_TRUE(data.MbrBlnLabels);
  EXPECT_EQ("first 0 last 0 rows 0", Ring(data));
  EXPECT_EQ(0, data.MbrLngChanges);
  EXPECT_EQ(0, data.MbrNdxCursor);
  EXPECT_EQ(nullptr, data.MbrDyaNdxInputSelection);
  EXPECT_EQ(nullptr, data.MbrDyaNdxOutputSelection);
  for (std::int32_t slot = 0; slot < 4; ++slot) {
    EXPECT_EQ("0 0 0 | 0 0", Slot(data, slot));
    EXPECT_EQ(0, data.MbrDyaLabels[slot].MbrLngCount);
  }
}

// The rows of a vector share one block: each row pointer is the previous
// one plus the width.
TEST(Data, RowsOfAVectorAreContiguous) {
  Data data(5, 3, 2, false);
  for (std::int32_t slot = 1; slot < 5; ++slot) {
    EXPECT_EQ(data.MbrDyaRtpInputs[slot - 1] + 3, data.MbrDyaRtpInputs[slot]);
    EXPECT_EQ(data.MbrDyaRtpOutputs[slot - 1] + 2, data.MbrDyaRtpOutputs[slot]);
  }
  EXPECT_EQ(nullptr, data.MbrDyaLabels);
}

// Blocks of several mebibytes are asked onto huge pages where the system has
// them; the table holds the same: zeros until written, every row in its place.
TEST(Data, LargeBlocksHoldWhatSmallOnesHold) {
  const std::int32_t rows = 600000;  // 9.6 MB of inputs, 4.8 MB of each pointer array
  Data data(rows, 2, 1, false);
  for (std::int32_t slot : {0, rows / 2, rows - 1}) EXPECT_EQ("0 0 | 0", Slot(data, slot));
  const double inputs[] = {1.5, -2.5}, output = 3.0;
  for (std::int32_t r = 0; r < rows; ++r) data.AppendRow(inputs, &output, nullptr);
  EXPECT_EQ(data.MbrDyaRtpInputs[0] + 2 * static_cast<std::size_t>(rows - 1),
            data.MbrDyaRtpInputs[rows - 1]);
  for (std::int32_t slot : {0, rows / 2, rows - 1}) EXPECT_EQ("1.5 -2.5 | 3", Slot(data, slot));
}

TEST(Data, ZeroOrNegativeWidthsHaveNoStorage) {
  Data data(3, 0, -4, false);
  EXPECT_EQ(nullptr, data.MbrDyaRtpInputs);
  EXPECT_EQ(nullptr, data.MbrDyaRtpOutputs);
  EXPECT_EQ(0, data.MbrLngOutputs);  // a negative width is stored as 0
  data.AppendRow(nullptr, nullptr, nullptr);
  double ignored = 1.0;
  data.AppendRow(&ignored, &ignored, nullptr);  // nothing to copy for either
  data.MbrNdxCursor = data.MbrNdxLast;
  data.GetNextRow(nullptr, nullptr, nullptr);
  std::int32_t count = -1;
  data.GetBlock(nullptr, nullptr, 0, 9, &count);  // no buffers needed for width 0
  EXPECT_EQ(2, count);
  EXPECT_EQ("Invalid Input Data Column | Bad Parameter | Data::GetInputDatum",
            ExceptionOf([&] { data.GetInputDatum(0, 0, &ignored); }));
}

TEST(Data, CapacityZeroAcceptsNoRows) {
  Data data(0, 2, 2, true);
  EXPECT_EQ(nullptr, data.MbrDyaRtpInputs);
  EXPECT_EQ(nullptr, data.MbrDyaLabels);
  EXPECT_EQ("Invalid Data Row | Bad Parameter | Data::SetRow",
            ExceptionOf([&] { AppendNumbered(data, 1); }));
  EXPECT_EQ(0, data.MbrNdxDataRows);
  EXPECT_EQ(1, data.MbrLngChanges);  // AppendRow counted itself before SetRow refused
}

TEST(Data, NegativeCapacityIsRejected) {
  EXPECT_EQ("Invalid Number of Rows | Bad Parameter | Data::Data",
            ExceptionOf([] { Data data(-1, 2, 2, true); }));
}

// ---- The ring and the cursor ----

TEST(Data, ThreeAppendsFillACapacityOfThree) {
  Data data(3, 2, 1, false);
  for (int n = 1; n <= 3; ++n) AppendNumbered(data, n);
  EXPECT_EQ("first 0 last 2 rows 3", Ring(data));
  data.MbrNdxCursor = data.MbrNdxLast;
  EXPECT_EQ("1 1.1 | -1, 2 2.1 | -2, 3 3.1 | -3", Walk(data, 3));
  EXPECT_EQ(2, data.MbrNdxCursor);
}

// The fourth row overwrites slot 0; the cursor still yields insertion order.
TEST(Data, FourthAppendWrapsAndCursorFollowsInsertionOrder) {
  Data data(3, 2, 1, false);
  for (int n = 1; n <= 4; ++n) AppendNumbered(data, n);
  EXPECT_EQ("first 1 last 0 rows 3", Ring(data));
  double value = 0;
  data.GetInputDatum(0, 0, &value);
  EXPECT_EQ(4.0, value);

  data.MbrNdxCursor = data.MbrNdxLast;
  std::vector<std::int32_t> slots;
  for (int i = 0; i < 3; ++i) {
    data.GetNextRow(nullptr, nullptr, nullptr);
    slots.push_back(data.MbrNdxCursor);
  }
  EXPECT_EQ((std::vector<std::int32_t>{1, 2, 0}), slots);
  EXPECT_EQ("2 2.1 | -2, 3 3.1 | -3, 4 4.1 | -4", Walk(data, 3));  // the walk repeats

  AppendNumbered(data, 5);  // appending never moves the cursor
  EXPECT_EQ("first 2 last 1 rows 3", Ring(data));
  EXPECT_EQ(0, data.MbrNdxCursor);
}

TEST(Data, PreviousRowWalksBackAndWrapsFromOldestToNewest) {
  Data data(3, 1, 0, false);
  for (int n = 1; n <= 4; ++n) AppendNumbered(data, n);  // holds 2, 3, 4
  data.MbrNdxCursor = data.MbrNdxFirst;
  EXPECT_EQ("4 | , 3 | , 2 | , 4 | ", Walk(data, 4, false));
}

TEST(Data, OneRowIsAlwaysTheRowReturned) {
  Data data(5, 1, 1, false);
  AppendNumbered(data, 7);
  EXPECT_EQ("7 | -7, 7 | -7", Walk(data, 2));
  EXPECT_EQ("7 | -7, 7 | -7", Walk(data, 2, false));
  EXPECT_EQ(0, data.MbrNdxCursor);
}

// A cursor set to a slot holding no row restarts at the oldest row going
// forward and at the newest going back, instead of reading unused slots.
TEST(Data, CursorOutsideTheHeldRowsRestartsTheWalk) {
  Data data(10, 1, 0, false);
  for (int n = 1; n <= 3; ++n) AppendNumbered(data, n);
  for (std::int32_t cursor : {5, 10, -1, 1000000}) {
    data.MbrNdxCursor = cursor;
    EXPECT_EQ("1 | , 2 | ", Walk(data, 2)) << cursor;
    data.MbrNdxCursor = cursor;
    EXPECT_EQ("3 | , 2 | ", Walk(data, 2, false)) << cursor;
  }
}

TEST(Data, StepCursorFollowsTheRingAndIgnoresAZeroStep) {
  Data data(4, 0, 0, false);
  for (int i = 0; i < 6; ++i) data.AppendRow(nullptr, nullptr, nullptr);  // first 2, last 1
  data.MbrNdxCursor = 3;
  data.StepCursor(+1);
  EXPECT_EQ(0, data.MbrNdxCursor);
  data.StepCursor(+1);
  EXPECT_EQ(1, data.MbrNdxCursor);
  data.StepCursor(+1);
  EXPECT_EQ(2, data.MbrNdxCursor);
  data.StepCursor(-1);
  EXPECT_EQ(1, data.MbrNdxCursor);
  data.StepCursor(0);
  EXPECT_EQ(1, data.MbrNdxCursor);
}

// Reading at the cursor of an empty table is refused: nothing is moved and
// nothing is written to the places given.
TEST(Data, CursorReadsOnAnEmptyTableThrowAndWriteNothing) {
  for (std::int32_t capacity : {0, 3}) {
    Data data(capacity, 2, 1, true);
    double in[2] = {5, 5}, out[1] = {5};
    TLabelList sentinel;
    TLabelList* labels = &sentinel;
    EXPECT_EQ("Invalid Data Row | Bad Parameter | Data::GetNextRow",
              ExceptionOf([&] { data.GetNextRow(in, out, &labels); }));
    EXPECT_EQ("Invalid Data Row | Bad Parameter | Data::GetPreviousRow",
              ExceptionOf([&] { data.GetPreviousRow(in, out); }));
    EXPECT_EQ("5 5 | 5", Join(in, 2) + " | " + Join(out, 1));
    EXPECT_EQ(&sentinel, labels);
    EXPECT_EQ(0, data.MbrNdxCursor);
    data.StepCursor(+1);
    EXPECT_EQ(0, data.MbrNdxCursor);
  }
}

TEST(Data, UnappendedSlotsReadAsZero) {
  Data data(10, 2, 2, false);
  for (int n = 1; n <= 3; ++n) AppendNumbered(data, n);
  double value = -1;
  data.GetInputDatum(5, 0, &value);
  EXPECT_EQ(0.0, value);
  EXPECT_EQ("0 0 | 0 0", Slot(data, 9));
}

// ---- The change counter ----

TEST(Data, ChangeCounterCountsNestedChanges) {
  Data labelled(5, 1, 1, true);
  AppendNumbered(labelled, 1);
  EXPECT_EQ(3, labelled.MbrLngChanges);  // AppendRow, its SetRow, that SetRow's SetLabels
  AppendNumbered(labelled, 2);
  EXPECT_EQ(6, labelled.MbrLngChanges);

  Data plain(5, 1, 1, false);
  AppendNumbered(plain, 1);
  EXPECT_EQ(2, plain.MbrLngChanges);
  AppendNumbered(plain, 2);
  EXPECT_EQ(4, plain.MbrLngChanges);

  const std::int32_t before = labelled.MbrLngChanges;
  labelled.SetRow(0, nullptr, nullptr, nullptr);  // 2
  labelled.SetInputDatum(0, 0, 1.0);              // 1
  labelled.SetOutputDatum(0, 0, 1.0);             // 1
  labelled.SetLabels(0, nullptr);                 // 1
  labelled.ClearLabels(0);                        // 1
  labelled.AppendLabel(0, 1.0, "x");              // 1
  EXPECT_EQ(before + 7, labelled.MbrLngChanges);

  // Reads do not count, and neither does a rejected call.
  double value;
  TLabelList* labels;
  labelled.GetInputDatum(0, 0, &value);
  labelled.GetLabels(0, &labels);
  labelled.GetNextRow(nullptr, nullptr, nullptr);
  ExceptionOf([&] { labelled.SetInputDatum(0, 9, 1.0); });
  ExceptionOf([&] { labelled.SetRow(-1, nullptr, nullptr, nullptr); });
  EXPECT_EQ(before + 7, labelled.MbrLngChanges);
}

TEST(Data, ChangeCounterWrapsInsteadOfOverflowing) {
  Data data(1, 1, 0, false);
  data.MbrLngChanges = INT32_MAX;
  data.SetInputDatum(0, 0, 1.0);
  EXPECT_EQ(INT32_MIN, data.MbrLngChanges);
}

// ---- Rows and values ----

TEST(Data, DatumAccessorsReadAndWriteOneValue) {
  Data data(2, 3, 2, false);
  data.SetInputDatum(1, 2, 4.5);
  data.SetOutputDatum(1, 1, -2.25);
  EXPECT_EQ("0 0 0 | 0 0", Slot(data, 0));
  EXPECT_EQ("0 0 4.5 | 0 -2.25", Slot(data, 1));
  double value = 0;
  data.GetOutputDatum(1, 1, &value);
  EXPECT_EQ(-2.25, value);
}

TEST(Data, ListedColumnFormsCopyInListOrder) {
  Data data(2, 4, 3, false);
  AppendNumbered(data, 1);
  const std::int32_t in_columns[] = {3, 0, 3};
  const std::int32_t out_columns[] = {2, 1};
  double values[3] = {};
  data.GetInputRow(0, values, 3, in_columns);
  EXPECT_EQ("1.3 1 1.3", Join(values, 3));
  data.GetOutputRow(0, values, 2, out_columns);
  EXPECT_EQ("-1.2 -1.1", Join(values, 2));
}

TEST(Data, SetRowWithoutInputsChangesOnlyOutputsAndLabels) {
  Data data(2, 2, 2, true);
  AppendNumbered(data, 1, nullptr);
  TLabelList labels("tag", 1.0);
  const double outputs[] = {8, 9};
  data.SetRow(0, nullptr, outputs, &labels);
  EXPECT_EQ("1 1.1 | 8 9", Slot(data, 0));
  EXPECT_EQ("tag=1", Show(&data.MbrDyaLabels[0]));

  const std::int32_t before = data.MbrLngChanges;
  data.SetRow(0, nullptr, nullptr, nullptr);  // only the labels and the counter change
  EXPECT_EQ("1 1.1 | 8 9", Slot(data, 0));
  EXPECT_EQ("", Show(&data.MbrDyaLabels[0]));
  EXPECT_EQ(before + 2, data.MbrLngChanges);
}

TEST(Data, SetRowAcceptsTheTablesOwnRowAndLabels) {
  Data data(2, 3, 1, true);
  TLabelList labels("own", 2.0);
  AppendNumbered(data, 1, &labels);
  TLabelList* own = nullptr;
  data.GetLabels(0, &own);
  data.SetRow(0, data.MbrDyaRtpInputs[0], data.MbrDyaRtpOutputs[0], own);
  EXPECT_EQ("1 1.1 1.2 | -1", Slot(data, 0));
  EXPECT_EQ("own=2", Show(&data.MbrDyaLabels[0]));
  data.SetLabels(0, &data.MbrDyaLabels[0]);
  EXPECT_EQ("own=2", Show(&data.MbrDyaLabels[0]));
}

TEST(Data, AppendRowsAppendsEachRowInOrder) {
  Data data(3, 1, 1, true);
  const double in0[] = {1}, in1[] = {2}, out0[] = {-1}, out1[] = {-2};
  const double* inputs[] = {in0, in1};
  const double* outputs[] = {out0, out1};
  TLabelList lists[2] = {TLabelList("a", 1.0), TLabelList("b", 2.0)};
  data.AppendRows(inputs, outputs, 2, lists);
  data.AppendRows(inputs, nullptr, 2, nullptr);  // no outputs, no labels given
  EXPECT_EQ("first 1 last 0 rows 3", Ring(data));
  EXPECT_EQ("2 | -1", Slot(data, 0));  // outputs not given keep the old values
  EXPECT_EQ("2 | -2", Slot(data, 1));
  EXPECT_EQ("1 | 0", Slot(data, 2));
  EXPECT_EQ("b=2", Show(&data.MbrDyaLabels[1]));
  EXPECT_EQ("", Show(&data.MbrDyaLabels[0]));
  EXPECT_EQ(12, data.MbrLngChanges);
}

// ---- Labels ----

TEST(Data, TableKeepsItsOwnCopyOfLabels) {
  Data data(2, 1, 0, true);
  TLabelList labels;
  labels.AppendLabel("a", 1.0);
  AppendNumbered(data, 1, &labels);
  labels.AppendLabel("a", 5.0);
  labels.AppendLabel("b", 1.0);
  TLabelList* stored = nullptr;
  data.GetLabels(0, &stored);
  EXPECT_EQ(&data.MbrDyaLabels[0], stored);
  EXPECT_EQ("a=1", Show(stored));
}

TEST(Data, LabelOperationsWorkOnTheSlotsList) {
  Data data(2, 1, 0, true);
  AppendNumbered(data, 1);
  data.AppendLabel(0, 1.0, "Cat");
  data.AppendLabel(0, 1.0, "cat");
  data.AppendLabel(0, 2.0, "Cat");
  EXPECT_EQ("Cat=3 cat=1", Show(&data.MbrDyaLabels[0]));
  TLabelList other("dog", 4.0);
  data.SetLabels(1, &other);
  EXPECT_EQ("dog=4", Show(&data.MbrDyaLabels[1]));
  data.ClearLabels(0);
  EXPECT_EQ("", Show(&data.MbrDyaLabels[0]));
  data.SetLabels(1, nullptr);
  EXPECT_EQ("", Show(&data.MbrDyaLabels[1]));
}

// Overwriting a slot replaces its labels, emptying them when none are given.
TEST(Data, OverwrittenSlotLosesItsOldLabels) {
  Data data(2, 1, 0, true);
  TLabelList labels("old", 1.0);
  AppendNumbered(data, 1, &labels);
  AppendNumbered(data, 2, &labels);
  AppendNumbered(data, 3, nullptr);  // overwrites slot 0
  EXPECT_EQ("", Show(&data.MbrDyaLabels[0]));
  EXPECT_EQ("old=1", Show(&data.MbrDyaLabels[1]));
}

TEST(Data, TableWithoutLabelsIgnoresLabelArguments) {
  Data data(2, 1, 0, false);
  TLabelList labels("ignored", 1.0);
  AppendNumbered(data, 1, &labels);
  data.SetRow(0, nullptr, nullptr, &labels);
  TLabelList sentinel;
  TLabelList* got = &sentinel;
  data.GetLabels(0, &got);
  EXPECT_EQ(nullptr, got);
  got = &sentinel;
  data.MbrNdxCursor = data.MbrNdxLast;
  data.GetNextRow(nullptr, nullptr, &got);
  EXPECT_EQ(nullptr, got);
}

TEST(Data, NextRowHandsOutTheSlotsOwnLabels) {
  Data data(3, 1, 0, true);
  TLabelList a("a", 1.0), b("b", 2.0);
  AppendNumbered(data, 1, &a);
  AppendNumbered(data, 2, &b);
  data.MbrNdxCursor = data.MbrNdxLast;
  TLabelList* got = nullptr;
  data.GetNextRow(nullptr, nullptr, &got);
  EXPECT_EQ(&data.MbrDyaLabels[0], got);
  data.GetNextRow(nullptr, nullptr, &got);
  EXPECT_EQ("b=2", Show(got));
}

// ---- Column selections ----

TEST(Data, InputSelectionShapesNextRowAndLeavesLabelsAlone) {
  Data data(3, 3, 2, true);
  TLabelList labels("l", 1.0);
  AppendNumbered(data, 1, &labels);
  const std::int32_t columns[] = {2, 0};
  data.SetInputSelection(2, columns);
  double in[3] = {7, 7, 7}, out[2] = {};
  TLabelList sentinel;
  TLabelList* got = &sentinel;
  data.MbrNdxCursor = data.MbrNdxLast;
  data.GetNextRow(in, out, &got);
  EXPECT_EQ("1.2 1 7 | -1 -1.1", Join(in, 3) + " | " + Join(out, 2));
  EXPECT_EQ(&sentinel, got);
}

TEST(Data, BothSelectionsShapeBothVectors) {
  Data data(3, 3, 3, false);
  AppendNumbered(data, 1);
  AppendNumbered(data, 2);
  const std::int32_t in_columns[] = {1};
  const std::int32_t out_columns[] = {2, 2, 0};
  data.SetSelection(1, in_columns, 3, out_columns);
  data.MbrNdxCursor = data.MbrNdxLast;
  double in[3] = {}, out[3] = {};
  data.GetNextRow(in, out, nullptr);
  EXPECT_EQ("1.1 | -1.2 -1.2 -1", Join(in, 1) + " | " + Join(out, 3));
  data.GetPreviousRow(in, out);
  EXPECT_EQ("2.1 | -2.2 -2.2 -2", Join(in, 1) + " | " + Join(out, 3));
}

TEST(Data, OutputSelectionAloneHasNoEffect) {
  Data data(3, 2, 2, true);
  AppendNumbered(data, 1);
  const std::int32_t out_columns[] = {1};
  data.SetSelection(0, nullptr, 1, out_columns);
  data.MbrNdxCursor = data.MbrNdxLast;
  EXPECT_EQ("1 1.1 | -1 -1.1", Walk(data, 1));
  TLabelList* got = nullptr;
  data.GetNextRow(nullptr, nullptr, &got);
  EXPECT_EQ(&data.MbrDyaLabels[0], got);
}

TEST(Data, SelectionCanBeReplacedAndRemoved) {
  Data data(2, 3, 1, false);
  AppendNumbered(data, 1);
  const std::int32_t first[] = {0}, second[] = {2, 1};
  data.SetInputSelection(1, first);
  data.SetInputSelection(2, second);
  EXPECT_EQ(2, data.MbrLngInputSelection);
  EXPECT_EQ("1.2 1.1 0 | -1", Walk(data, 1));  // two selected columns, the third untouched
  data.SetInputSelection(0, nullptr);
  EXPECT_EQ(nullptr, data.MbrDyaNdxInputSelection);
  EXPECT_EQ(0, data.MbrLngInputSelection);
  EXPECT_EQ("1 1.1 1.2 | -1", Walk(data, 1));
}

TEST(Data, GetInputSelectionHandsOutACopy) {
  Data data(1, 4, 0, false);
  std::int32_t count = -1;
  std::int32_t* columns = nullptr;
  data.GetInputSelection(&count, &columns);  // no selection: an empty array
  EXPECT_EQ(0, count);
  ASSERT_NE(nullptr, columns);
  delete[] columns;

  const std::int32_t chosen[] = {3, 1};
  data.SetInputSelection(2, chosen);
  data.GetInputSelection(&count, &columns);
  EXPECT_EQ(2, count);
  EXPECT_NE(data.MbrDyaNdxInputSelection, columns);
  EXPECT_EQ(3, columns[0]);
  EXPECT_EQ(1, columns[1]);
  delete[] columns;
}

// A rejected selection leaves the one in force untouched.
TEST(Data, RejectedSelectionKeepsThePreviousOne) {
  Data data(1, 3, 2, false);
  const std::int32_t good[] = {2}, bad_in[] = {0, 3}, out[] = {1}, bad_out[] = {-1};
  data.SetSelection(1, good, 1, out);
  ExceptionOf([&] { data.SetInputSelection(2, bad_in); });
  ExceptionOf([&] { data.SetSelection(1, good, 1, bad_out); });
  ExceptionOf([&] { data.SetSelection(2, bad_in, 1, out); });
  ASSERT_EQ(1, data.MbrLngInputSelection);
  EXPECT_EQ(2, data.MbrDyaNdxInputSelection[0]);
  ASSERT_EQ(1, data.MbrLngOutputSelection);
  EXPECT_EQ(1, data.MbrDyaNdxOutputSelection[0]);
}

// ---- Blocks ----

struct BlockBuffers {
  explicit BlockBuffers(int rows)
      : in(rows, std::vector<double>(4, -9)), out(rows, std::vector<double>(4, -9)) {
    for (int i = 0; i < rows; ++i) {
      in_rows.push_back(in[i].data());
      out_rows.push_back(out[i].data());
    }
  }
  std::vector<std::vector<double>> in, out;
  std::vector<double*> in_rows, out_rows;
};

TEST(Data, BlockIsClippedToTheNewestSlot) {
  Data data(10, 2, 1, false);
  for (int n = 1; n <= 5; ++n) AppendNumbered(data, n);
  BlockBuffers buffers(10);
  std::int32_t count = -1;
  data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), 0, 99, &count);
  EXPECT_EQ(5, count);
  EXPECT_EQ("5 5.1", Join(buffers.in[4].data(), 2));
  EXPECT_EQ("-9 -9", Join(buffers.in[5].data(), 2));
  data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), 3, 1, &count);
  EXPECT_EQ(0, count);
  data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), 2, 3, &count);
  EXPECT_EQ(2, count);
  EXPECT_EQ("3 3.1 | -3", Join(buffers.in[0].data(), 2) + " | " + Join(buffers.out[0].data(), 1));
}

// After a wrap the block still follows slot order and stops at the newest
// slot, so slots after it are out of reach.
TEST(Data, BlockAfterAWrapFollowsSlotOrder) {
  Data data(3, 1, 1, false);
  for (int n = 1; n <= 4; ++n) AppendNumbered(data, n);  // slots: 4, 2, 3; last 0
  BlockBuffers buffers(3);
  std::int32_t count = -1;
  data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), 0, 2, &count);
  EXPECT_EQ(1, count);
  EXPECT_EQ("4", Join(buffers.in[0].data(), 1));
  data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), 1, 2, &count);
  EXPECT_EQ(0, count);
}

TEST(Data, BlockOfAnEmptyTableIsEmpty) {
  Data data(4, 1, 1, false);
  BlockBuffers buffers(4);
  std::int32_t count = -1;
  data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), 0, 3, &count);
  EXPECT_EQ(0, count);
  EXPECT_EQ("-9", Join(buffers.in[0].data(), 1));
}

TEST(Data, BadBlockStartStoresZeroBeforeThrowing) {
  Data data(4, 1, 1, false);
  AppendNumbered(data, 1);
  BlockBuffers buffers(4);
  for (std::int32_t from : {-1, 4}) {
    std::int32_t count = 77;
    EXPECT_EQ("Data Block Fault | Bad Parameter | Data::GetBlock", ExceptionOf([&] {
                data.GetBlock(buffers.in_rows.data(), buffers.out_rows.data(), from, 3, &count);
              }));
    EXPECT_EQ(0, count);
  }
}

// ---- Clone ----

TEST(Data, CloneIsAnIndependentEqualTable) {
  Data source(3, 2, 1, true);
  TLabelList labels("a", 1.0);
  for (int n = 1; n <= 4; ++n) AppendNumbered(source, n, &labels);
  source.MbrNdxCursor = 2;
  const std::int32_t in_columns[] = {1, 0};
  source.SetInputSelection(2, in_columns);

  std::unique_ptr<Data> clone(source.Clone());
  EXPECT_EQ(Ring(source), Ring(*clone));
  EXPECT_EQ(source.MbrLngChanges, clone->MbrLngChanges);
  EXPECT_EQ(2, clone->MbrNdxCursor);
  ASSERT_EQ(2, clone->MbrLngInputSelection);
  EXPECT_NE(source.MbrDyaNdxInputSelection, clone->MbrDyaNdxInputSelection);
  EXPECT_EQ(nullptr, clone->MbrDyaNdxOutputSelection);
  for (std::int32_t slot = 0; slot < 3; ++slot) EXPECT_EQ(Slot(source, slot), Slot(*clone, slot));

  // Changes to the source, labels included, do not reach the clone.
  source.SetInputDatum(0, 0, 100.0);
  source.AppendLabel(0, 5.0, "a");
  source.AppendLabel(1, 1.0, "b");
  EXPECT_EQ("4 4.1 | -4", Slot(*clone, 0));
  EXPECT_EQ("a=1", Show(&clone->MbrDyaLabels[0]));
  EXPECT_EQ("a=1", Show(&clone->MbrDyaLabels[1]));
  EXPECT_NE(source.MbrDyaLabels[0].MbrDyaItems, clone->MbrDyaLabels[0].MbrDyaItems);

  double in[2] = {}, out[1] = {};
  clone->GetNextRow(in, out, nullptr);  // cursor 2 -> slot 0, the newest row
  EXPECT_EQ("4.1 4 | -4", Join(in, 2) + " | " + Join(out, 1));
}

TEST(Data, CloneWithoutSelectionReturnsWholeRows) {
  Data source(4, 3, 2, false);
  for (int n = 1; n <= 2; ++n) AppendNumbered(source, n);
  std::unique_ptr<Data> clone(source.Clone());
  source.MbrNdxCursor = source.MbrNdxLast;
  clone->MbrNdxCursor = clone->MbrNdxLast;
  EXPECT_EQ(Walk(source, 2), Walk(*clone, 2));
  EXPECT_EQ("1 1.1 1.2 | -1 -1.1, 2 2.1 2.2 | -2 -2.1", Walk(*clone, 2));
  EXPECT_EQ(nullptr, clone->MbrDyaLabels);
}

TEST(Data, CloneOfAnEmptyTable) {
  Data source(0, 2, 2, true);
  std::unique_ptr<Data> clone(source.Clone());
  EXPECT_EQ(0, clone->MbrNdxRows);
  EXPECT_TRUE(clone->MbrBlnLabels);
}

// ---- The virtual interface ----

class CountingData : public Data {
 public:
  using Data::Data;
  void GetNextRow(double* inputs, double* outputs, TLabelList** labels) override {
    ++calls;
    Data::GetNextRow(inputs, outputs, labels);
  }
  int calls = 0;
};

TEST(Data, NextRowIsOverridableAndDeletionGoesThroughTheBase) {
  auto* counting = new CountingData(2, 1, 0, false);
  Data* table = counting;
  AppendNumbered(*table, 1);
  table->GetNextRow(nullptr, nullptr, nullptr);
  EXPECT_EQ(1, counting->calls);
  delete table;  // the sanitizer build checks that everything is released
}

// ---- Every rejected argument ----

struct FailureCase {
  const char* name;
  std::function<void(Data&)> call;
  const char* expected;  // "message | category | location"
};

// Each case runs on a fresh labelled table of 4 slots holding 2 rows, with
// 3 inputs and 2 outputs; a rejected call must leave the table unchanged.
TEST(Data, EveryRejectedArgumentThrowsItsException) {
  double value = 0;
  double buffer[4] = {};
  TLabelList* labels = nullptr;
  TLabelList list("x", 1.0);
  const std::int32_t in_bad[] = {0, 3}, in_negative[] = {-1}, out_bad[] = {2}, ok[] = {0};
  std::int32_t count = 0;
  double* rows[4] = {buffer, buffer, buffer, buffer};
  const std::vector<FailureCase> cases = {
      {"GetInputDatum row -1", [&](Data& d) { d.GetInputDatum(-1, 0, &value); },
       "Invalid Data Row | Bad Parameter | Data::GetInputDatum"},
      {"GetInputDatum row 4", [&](Data& d) { d.GetInputDatum(4, 0, &value); },
       "Invalid Data Row | Bad Parameter | Data::GetInputDatum"},
      {"GetInputDatum column -1", [&](Data& d) { d.GetInputDatum(0, -1, &value); },
       "Invalid Input Data Column | Bad Parameter | Data::GetInputDatum"},
      {"GetInputDatum column 3", [&](Data& d) { d.GetInputDatum(0, 3, &value); },
       "Invalid Input Data Column | Bad Parameter | Data::GetInputDatum"},
      {"GetInputDatum row before column", [&](Data& d) { d.GetInputDatum(9, 9, &value); },
       "Invalid Data Row | Bad Parameter | Data::GetInputDatum"},
      {"GetOutputDatum row", [&](Data& d) { d.GetOutputDatum(4, 0, &value); },
       "Invalid Data Row | Bad Parameter | Data::GetOutputDatum"},
      {"GetOutputDatum column", [&](Data& d) { d.GetOutputDatum(0, 2, &value); },
       "Invalid Output Data Column | Bad Parameter | Data::GetOutputDatum"},
      {"SetInputDatum row", [&](Data& d) { d.SetInputDatum(-1, 0, 1.0); },
       "Invalid Data Row | Bad Parameter | Data::SetInputDatum"},
      {"SetInputDatum column", [&](Data& d) { d.SetInputDatum(0, 3, 1.0); },
       "Invalid Input Data Column | Bad Parameter | Data::SetInputDatum"},
      {"SetOutputDatum row", [&](Data& d) { d.SetOutputDatum(4, 0, 1.0); },
       "Invalid Data Row | Bad Parameter | Data::SetOutputDatum"},
      {"SetOutputDatum column", [&](Data& d) { d.SetOutputDatum(0, -1, 1.0); },
       "Invalid Output Data Column | Bad Parameter | Data::SetOutputDatum"},
      {"GetLabels row", [&](Data& d) { d.GetLabels(4, &labels); },
       "Invalid Data Row | Bad Parameter | Data::GetLabels"},
      {"SetLabels row", [&](Data& d) { d.SetLabels(-1, &list); },
       "Invalid Data Row | Bad Parameter | Data::SetLabels"},
      {"ClearLabels row", [&](Data& d) { d.ClearLabels(4); },
       "Invalid Data Row | Bad Parameter | Data::ClearLabels"},
      {"AppendLabel row", [&](Data& d) { d.AppendLabel(-1, 1.0, "x"); },
       "Invalid Data Row | Bad Parameter | Data::AppendLabel"},
      {"SetRow row", [&](Data& d) { d.SetRow(4, buffer, buffer, &list); },
       "Invalid Data Row | Bad Parameter | Data::SetRow"},
      {"GetInputRow row", [&](Data& d) { d.GetInputRow(-1, buffer); },
       "Invalid Data Row | Bad Parameter | Data::GetInputRow"},
      {"GetInputRow listed row", [&](Data& d) { d.GetInputRow(4, buffer, 1, ok); },
       "Invalid Data Row | Bad Parameter | Data::GetInputRow"},
      {"GetInputRow listed column", [&](Data& d) { d.GetInputRow(0, buffer, 2, in_bad); },
       "Invalid Input Data Column | Bad Parameter | Data::GetInputRow"},
      {"GetInputRow negative column", [&](Data& d) { d.GetInputRow(0, buffer, 1, in_negative); },
       "Invalid Input Data Column | Bad Parameter | Data::GetInputRow"},
      {"GetOutputRow row", [&](Data& d) { d.GetOutputRow(4, buffer); },
       "Invalid Data Row | Bad Parameter | Data::GetOutputRow"},
      {"GetOutputRow listed row", [&](Data& d) { d.GetOutputRow(-1, buffer, 1, ok); },
       "Invalid Data Row | Bad Parameter | Data::GetOutputRow"},
      {"GetOutputRow listed column", [&](Data& d) { d.GetOutputRow(0, buffer, 1, out_bad); },
       "Invalid Output Data Column | Bad Parameter | Data::GetOutputRow"},
      {"GetBlock first row", [&](Data& d) { d.GetBlock(rows, rows, 4, 4, &count); },
       "Data Block Fault | Bad Parameter | Data::GetBlock"},
      {"SetInputSelection column", [&](Data& d) { d.SetInputSelection(2, in_bad); },
       "Invalid Input Data Column | Bad Parameter | Data::SetInputSelection"},
      {"SetInputSelection negative count", [&](Data& d) { d.SetInputSelection(-1, ok); },
       "Invalid Input Data Column | Bad Parameter | Data::SetInputSelection"},
      {"SetInputSelection missing array", [&](Data& d) { d.SetInputSelection(1, nullptr); },
       "Invalid Input Data Column | Bad Parameter | Data::SetInputSelection"},
      {"SetSelection input column", [&](Data& d) { d.SetSelection(1, in_negative, 1, ok); },
       "Invalid Input Data Column | Bad Parameter | Data::SetSelection"},
      {"SetSelection output column", [&](Data& d) { d.SetSelection(1, ok, 1, out_bad); },
       "Invalid Output Data Column | Bad Parameter | Data::SetSelection"},
  };
  for (const FailureCase& c : cases) {
    Data data(4, 3, 2, true);
    AppendNumbered(data, 1, &list);
    AppendNumbered(data, 2);
    const std::int32_t changes = data.MbrLngChanges;
    EXPECT_EQ(c.expected, ExceptionOf([&] { c.call(data); })) << c.name;
    EXPECT_EQ(changes, data.MbrLngChanges) << c.name;
    EXPECT_EQ("1 1.1 1.2 | -1 -1.1", Slot(data, 0)) << c.name;
    EXPECT_EQ("x=1", Show(&data.MbrDyaLabels[0])) << c.name;
    EXPECT_EQ(nullptr, data.MbrDyaNdxInputSelection) << c.name;
  }
}

// Label changes on a table made without labels are refused rather than
// silently dropped; the row is still checked first.
TEST(Data, LabelChangesOnATableWithoutLabelsAreRefused) {
  Data data(2, 1, 0, false);
  TLabelList list("x", 1.0);
  EXPECT_EQ("No Labels in Table | Bad Parameter | Data::SetLabels",
            ExceptionOf([&] { data.SetLabels(0, &list); }));
  EXPECT_EQ("No Labels in Table | Bad Parameter | Data::ClearLabels",
            ExceptionOf([&] { data.ClearLabels(1); }));
  EXPECT_EQ("No Labels in Table | Bad Parameter | Data::AppendLabel",
            ExceptionOf([&] { data.AppendLabel(0, 1.0, "x"); }));
  EXPECT_EQ("Invalid Data Row | Bad Parameter | Data::AppendLabel",
            ExceptionOf([&] { data.AppendLabel(2, 1.0, "x"); }));
  EXPECT_EQ(0, data.MbrLngChanges);
}

// ---- Capacities that cannot be had ----

#if defined(__SANITIZE_ADDRESS__)
#define MBRK_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MBRK_TEST_ASAN 1
#endif
#endif

// Under AddressSanitizer a failed allocation only comes back (and so turns
// into std::bad_alloc) when allocator_may_return_null=1, as the sanitize test
// preset sets; without it the sanitizer ends the process instead.
bool HugeAllocationsCanFail() {
#ifdef MBRK_TEST_ASAN
  const char* options = std::getenv("ASAN_OPTIONS");
  return options != nullptr && std::strstr(options, "allocator_may_return_null=1") != nullptr;
#else
  return true;
#endif
}

TEST(Data, CapacityBeyondTheAddressSpaceThrowsBadAlloc) {
  if (!HugeAllocationsCanFail()) GTEST_SKIP() << "ASAN_OPTIONS lacks allocator_may_return_null=1";
  // INT32_MAX squared doubles is more bytes than a 64-bit size can count.
  EXPECT_THROW(Data(INT32_MAX, INT32_MAX, 0, false), std::bad_alloc);
  EXPECT_THROW(Data(INT32_MAX, 0, INT32_MAX, true), std::bad_alloc);
}

TEST(Data, CapacityBeyondTheMemoryThrowsBadAllocWithoutLeaking) {
  if (!HugeAllocationsCanFail()) GTEST_SKIP() << "ASAN_OPTIONS lacks allocator_may_return_null=1";
  // 16 TB only fails where the kernel refuses what it cannot back.
  std::ifstream overcommit("/proc/sys/vm/overcommit_memory");
  int mode = 0;
  if (overcommit >> mode && mode == 1) GTEST_SKIP() << "the kernel grants any allocation";
  EXPECT_THROW(Data(2000000000, 1000, 0, true), std::bad_alloc);
  // The input block (8 MB) is had, the output block is not: the input block
  // must be released (the leak checker of the sanitizer build watches).
  EXPECT_THROW(Data(1000000, 1, 1000000000, true), std::bad_alloc);
}

}  // namespace
}  // namespace mbrk
