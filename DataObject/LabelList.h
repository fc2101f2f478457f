// Label lists: the named numbers a row of a dataset table may carry.
//
// A list is ordered and, when built with AppendLabel, holds each name once in
// the order the names were first added. Names are compared byte for byte,
// letter case included: "Cat" and "cat" are two labels.
#ifndef MBRK_DATAOBJECT_LABELLIST_H
#define MBRK_DATAOBJECT_LABELLIST_H

#include <cstdint>

namespace mbrk {

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
/// `MbrDyaItems` is a new[] array of `MbrLngCount` labels, or null while the
/// list is empty. Readers may walk both members directly.
class TLabelList {
 public:
  /// An empty list: count 0, no array.
  TLabelList() noexcept = default;
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
  /// none. Existing labels keep their positions. `name` must not be null; the
  /// caller keeps it. On std::bad_alloc the list is unchanged.
  void AppendLabel(const char* name, double value);

  std::int32_t MbrLngCount = 0;
  TLabel* MbrDyaItems = nullptr;
};

}  // namespace mbrk

#endif  // MBRK_DATAOBJECT_LABELLIST_H
