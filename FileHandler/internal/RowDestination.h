// Where the row reader puts the rows it reads: a destination hands out the
// places of a row's numbers and takes its label lists. Its calls are made
// once per row or part of a row, never per value: the numbers are read
// straight into the places it gives.
#ifndef MBRK_FILEHANDLER_INTERNAL_ROWDESTINATION_H
#define MBRK_FILEHANDLER_INTERNAL_ROWDESTINATION_H

#include <cstdint>
#include <string>
#include <vector>

namespace mbrk {

class TLabelList;

/// The places the numbers of one row are read into, one per vector, each
/// holding as many doubles as the layout's width for it (null for width 0).
struct RowPlaces {
  double* inputs;
  double* expected;
  double* generated;
  double* errors;
};

/// The two halves of a row: the first table's (inputs, expected outputs or
/// their label list) and the second table's (generated outputs or their label
/// list, errors).
enum class TablePart { kFirst, kSecond };

/// Where a RowReader puts the rows it reads. Rows are numbered from 0, the
/// first row of the read; their layout is the DataBlock's.
///
/// For each row, rows in increasing order, the reader calls, in this order:
///   Places(row)                    once, then reads the four vectors' numbers
///                                  into the places, left to right;
///   PartRead(kFirst, row)          when the layout has a first table;
///   TakeLabels(kFirst, row, list)  when that table carries label lists, with
///                                  the row's list, read just before;
///   PartRead(kSecond, row), TakeLabels(kSecond, row, list)
///                                  likewise for the second table.
/// A failure (a format error thrown by the reader, or anything a destination
/// throws) ends the sequence where it happens: the row being read is left
/// partly read, its later calls are not made, and the destination holds what
/// the calls made so far gave it.
class RowDestination {
 public:
  /// Where row `row`'s numbers go; the places stay valid until the next call
  /// of Places.
  virtual RowPlaces Places(std::int32_t row) = 0;
  /// The numbers of `part` of row `row` are in its places. Nothing to do for
  /// a destination whose places are the rows' own storage.
  virtual void PartRead(TablePart part, std::int32_t row) {
    static_cast<void>(part);
    static_cast<void>(row);
  }
  /// The label list of `part` of row `row`; the destination may take its
  /// labels over (moving them out of `list`).
  virtual void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) = 0;

 protected:
  ~RowDestination() = default;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_ROWDESTINATION_H
