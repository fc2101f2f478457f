// A hash index from names to positions, for the ordered tables of the
// toolkit (label lists, KQML parameters) whose lookups by name must not cost
// a walk over the whole table, and the way such a table keeps one beside its
// entries (IndexedTable). Internal: not installed.
//
// The index stores positions only; the names stay in the caller's table and
// are reached through a function the caller passes to Find. Hashes are keyed
// with a secret drawn once per process, so a file of names made to collide
// cannot turn the index back into a linear search.
#ifndef MBRK_BASE_INTERNAL_NAMEINDEX_H
#define MBRK_BASE_INTERNAL_NAMEINDEX_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

namespace mbrk {

/// How names are matched: byte for byte, or ignoring the letter case of
/// A..Z / a..z exactly as mbrk::strcasecmp does.
enum class NameMatch { kExact, kIgnoreCase };

/// True when `a` and `b` are equal under `match`; a null name equals none.
bool SameName(NameMatch match, const char* a, const char* b) noexcept;

class NameIndex {
 public:
  explicit NameIndex(NameMatch match) noexcept : match_(match) {}

  /// Number of names recorded.
  std::int32_t Size() const noexcept { return size_; }

  /// The position recorded for a name equal to `name`, or -1. `name_at` maps a
  /// recorded position to the caller's name there.
  template <typename NameAt>
  std::int32_t Find(const char* name, NameAt name_at) const noexcept {
    if (size_ == 0) return -1;
    const std::uint32_t hash = Hash(name);
    for (std::size_t i = hash & Mask();; i = (i + 1) & Mask()) {
      const Slot& slot = slots_[i];
      if (slot.position < 0) return -1;
      if (slot.hash == hash && Same(name_at(slot.position), name)) return slot.position;
    }
  }

  /// Makes room for `count` names in all, so that Insert does not allocate
  /// until then. Throws std::bad_alloc and leaves the index as it was.
  void Reserve(std::int32_t count);
  /// Records `position` for `name`, which must not be recorded yet (the
  /// caller has looked it up). Allocates only beyond the reserved room.
  void Insert(const char* name, std::int32_t position);
  /// Forgets `position`, recorded for `name`; nothing when it is not recorded.
  void Erase(const char* name, std::int32_t position) noexcept;
  /// The entry named `name` moved from position `from` to `to`; nothing when
  /// `from` is not recorded.
  void Move(const char* name, std::int32_t from, std::int32_t to) noexcept;

 private:
  struct Slot {
    std::int32_t position;  // -1: empty
    std::uint32_t hash;
  };

  static constexpr std::size_t kNoSlot = ~std::size_t{0};

  std::size_t Mask() const noexcept { return slots_.size() - 1; }
  std::uint32_t Hash(const char* name) const noexcept;
  bool Same(const char* a, const char* b) const noexcept { return SameName(match_, a, b); }
  std::size_t SlotOf(const char* name, std::int32_t position) const noexcept;
  void Place(Slot slot) noexcept;

  NameMatch match_;
  std::int32_t size_ = 0;
  std::vector<Slot> slots_;  // a power of two in size, at most half full
};

// ---- A table's index ----------------------------------------------------------------

/// Which way a table without an index is searched, and so which of two
/// entries of one name (only a table put together from outside can hold
/// them) a search finds, with the index or without.
enum class NameWalk { kFromFirst, kFromLast };

/// How one kind of table is searched.
struct TableRules {
  NameMatch match;
  NameWalk walk;
  std::int32_t indexed_from;  // tables with fewer entries are walked, never indexed
};

/// The index a table keeps beside its entries, with the array and count it
/// describes: a table whose array or count was replaced from outside finds it
/// out of date and is indexed anew (a name changed in place is not noticed).
struct TableIndex {
  TableIndex(NameMatch match, const void* array, std::int32_t entries) noexcept
      : items(array), count(entries), room(entries), names(match) {}

  const void* items;   // the array described
  std::int32_t count;  // entries recorded, from the first
  std::int32_t room;   // entries the array has space for, where the table keeps that here
  NameIndex names;
};

/// One operation's view of a table of `count` entries at `items`, entry i
/// named `name_at(i)` (null: no name, never found), and of the table's index
/// `index` (null while it has none).
template <typename NameAt>
class IndexedTable {
 public:
  IndexedTable(const TableRules& rules, std::unique_ptr<TableIndex>& index, const void* items,
               std::int32_t count, NameAt name_at) noexcept
      : rules_(rules), index_(index), items_(items), count_(count), name_at_(name_at) {}

  /// True when the index describes the table as it stands.
  bool IsCurrent() const noexcept {
    return index_ != nullptr && index_->items == items_ && index_->count == count_;
  }
  /// The room the index records, or the count when it is not current.
  std::int32_t Room() const noexcept { return IsCurrent() ? index_->room : count_; }

  /// The position of the entry named `name`, or -1. A long table without a
  /// current index gets one here; without memory for it the table is walked,
  /// so a lookup never fails.
  std::int32_t Find(const char* name) const noexcept {
    if (count_ >= rules_.indexed_from && !IsCurrent()) {
      try {
        index_ = Make(count_);
      } catch (const std::bad_alloc&) {
        index_.reset();
      }
    }
    if (IsCurrent()) return index_->names.Find(name, name_at_);
    for (std::int32_t k = 0; k < count_; ++k) {
      const std::int32_t i = rules_.walk == NameWalk::kFromFirst ? k : count_ - 1 - k;
      if (SameName(rules_.match, name_at_(i), name)) return i;
    }
    return -1;
  }

  /// Readies the index for an entry about to be appended at position
  /// `count`: room for its name in the current index, or a new index once
  /// the table reaches `indexed_from`. Throws std::bad_alloc and leaves
  /// everything as it was. Call Appended once the entry is in.
  void PrepareAppend() {
    indexed_ = IsCurrent();
    if (indexed_) {
      index_->names.Reserve(count_ + 1);
    } else if (count_ + 1 >= rules_.indexed_from) {
      fresh_ = Make(count_ + 1);
    }
  }
  /// Records the entry appended at the former count, the array now at
  /// `items` with room for `room` entries; cannot fail after PrepareAppend.
  /// A short table drops any index left of entries replaced from outside.
  void Appended(const void* items, std::int32_t room) noexcept {
    if (!indexed_ && fresh_ == nullptr) {
      index_.reset();
      return;
    }
    if (fresh_ != nullptr) index_ = std::move(fresh_);
    index_->items = items;
    index_->count = count_ + 1;
    index_->room = room;
    index_->names.Insert(name_at_(count_), count_);
  }

  /// Records, before it happens, the removal of the entry at `position`
  /// with the last entry moved into its place.
  void Removing(std::int32_t position) noexcept {
    if (!IsCurrent()) return;
    const std::int32_t last = count_ - 1;
    index_->names.Erase(name_at_(position), position);
    if (position != last) index_->names.Move(name_at_(last), last, position);
    index_->count = last;
  }

 private:
  // An index of the entries as they stand, with space for `room` names; of
  // two entries of one name, the one the walk meets first is recorded.
  std::unique_ptr<TableIndex> Make(std::int32_t room) const {
    auto index = std::make_unique<TableIndex>(rules_.match, items_, count_);
    index->names.Reserve(room);
    for (std::int32_t k = 0; k < count_; ++k) {
      const std::int32_t i = rules_.walk == NameWalk::kFromFirst ? k : count_ - 1 - k;
      const char* name = name_at_(i);
      if (name != nullptr && index->names.Find(name, name_at_) < 0) index->names.Insert(name, i);
    }
    return index;
  }

  const TableRules& rules_;
  std::unique_ptr<TableIndex>& index_;
  const void* items_;
  std::int32_t count_;
  NameAt name_at_;
  bool indexed_ = false;
  std::unique_ptr<TableIndex> fresh_;
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_NAMEINDEX_H
