// The tables of the specified interface (Data) as a row destination.
#ifndef MBRK_FILEHANDLER_INTERNAL_TABLEROWS_H
#define MBRK_FILEHANDLER_INTERNAL_TABLEROWS_H

#include <cstdint>
#include <vector>

#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/RowDestination.h"

namespace mbrk {

class Data;
class TLabelList;

/// Stores the tables the layout calls for, each of `capacity` rows, in the
/// places at once, so that they stay with the caller whatever follows.
void CreateTables(const RowLayout& layout, std::int32_t capacity, Data*& first, Data*& second);

/// The tables of ReadDatFile and the window loader (either may be null, as
/// the layout calls for them) as a destination. The numbers go into scratch
/// rows, and each part is appended to its table (AppendRow) as soon as it has
/// been read, so a failure leaves in each table the parts read before it, as
/// whole rows. A label list is handed to the table with SetLabels, for the
/// table's row of the same number.
class TableRows final : public RowDestination {
 public:
  TableRows(const RowLayout& layout, Data* first, Data* second);

  RowPlaces Places(std::int32_t row) override;
  void PartRead(TablePart part, std::int32_t row) override;
  void TakeLabels(TablePart part, std::int32_t row, TLabelList& list) override;

 private:
  const RowLayout& layout_;
  Data* first_;
  Data* second_;
  // One scratch row per vector, made for the first row read: a header of
  // zero rows may declare widths of two billion.
  std::vector<double> inputs_, expected_, generated_, errors_;
  bool scratch_made_ = false;
};

}  // namespace mbrk

#endif  // MBRK_FILEHANDLER_INTERNAL_TABLEROWS_H
