// Label lists: the named numbers a row of a dataset table may carry.
//
// A list is ordered and, when built with AppendLabel, holds each name once in
// the order the names were first added. Names are compared byte for byte,
// letter case included: "Cat" and "cat" are two labels.
#ifndef MBRK_DATAOBJECT_LABELLIST_H
#define MBRK_DATAOBJECT_LABELLIST_H

#include <cstdint>
#include <memory>

namespace mbrk {

struct TableIndex;

/// One named number. The name is a new[] array owned by this label alone.
class TLabel {
 public:
  /// No name, value 0.0.
  TLabel() noexcept = default;
  /// Deep copy: a new array holding the other's name (null stays null).
  TLabel(const TLabel& other);
  /// Takes over the other's name; the other is left without one.
  TLabel(TLabel&& other) noexcept;
  /// Self-assignment does nothing; otherwise the name is replaced by a copy
  /// of the other's name and the value is copied. On std::bad_alloc the label
  /// is unchanged.
  TLabel& operator=(const TLabel& other);
  TLabel& operator=(TLabel&& other) noexcept;
  ~TLabel();

  double MbrDblValue = 0.0;
  char* MbrStrName = nullptr;
};

/// An ordered list of labels. Copies are deep and independent.
///
/// `MbrDyaItems` is a new[] array holding the `MbrLngCount` labels of the
/// list first, or null while the list is empty. From eight labels on, a list
/// keeps room for more at the end of its array (labels without a name) and an
/// index of its names, so that appending costs constant time on average
/// however long the list grows. Readers may walk both members directly;
/// changes go through the operations (an array or count installed from
/// outside is taken as it stands, with no spare room, but a name changed in
/// place escapes the index).
class TLabelList {
 public:
  /// An empty list: count 0, no array.
  TLabelList() noexcept;
  /// A list of one label holding a copy of `name` and `value`.
  TLabelList(const char* name, double value);
  TLabelList(const TLabelList& other);
  /// Takes over the other's labels; the other is left empty.
  TLabelList(TLabelList&& other) noexcept;
  /// Self-assignment does nothing; otherwise the list becomes a deep copy of
  /// `other`. On std::bad_alloc the list is unchanged.
  TLabelList& operator=(const TLabelList& other);
  TLabelList& operator=(TLabelList&& other) noexcept;
  ~TLabelList();

  /// Adds `value` to the label called `name` (exact, case-sensitive match),
  /// or appends a new label holding a copy of `name` and `value` when there is
  /// none. Existing labels keep their positions and their name arrays (a
  /// growing array moves them over, it does not copy them). Constant time on
  /// average, whatever the length of the list. `name` must not be null; the
  /// caller keeps it. On std::bad_alloc the list is unchanged; adding to an
  /// existing name never fails.
  void AppendLabel(const char* name, double value);

  std::int32_t MbrLngCount = 0;
  TLabel* MbrDyaItems = nullptr;

 private:
  TLabel* FindLabel(const char* name) noexcept;

  // Present only on a long list: its room and its names. Copies do without
  // one until they are appended to.
  std::unique_ptr<TableIndex> MbrPtrIndex;
};

}  // namespace mbrk

#endif  // MBRK_DATAOBJECT_LABELLIST_H
