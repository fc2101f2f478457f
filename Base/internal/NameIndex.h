// A hash index from names to positions, for the ordered tables of the
// toolkit (label lists, KQML parameters) whose lookups by name must not cost
// a walk over the whole table. Internal: not installed.
//
// The index stores positions only; the names stay in the caller's table and
// are reached through a function the caller passes to Find. Hashes are keyed
// with a secret drawn once per process, so a file of names made to collide
// cannot turn the index back into a linear search.
#ifndef MBRK_BASE_INTERNAL_NAMEINDEX_H
#define MBRK_BASE_INTERNAL_NAMEINDEX_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mbrk {

/// How names are matched: byte for byte, or ignoring the letter case of
/// A..Z / a..z exactly as mbrk::strcasecmp does.
enum class NameMatch { kExact, kIgnoreCase };

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
  bool Same(const char* a, const char* b) const noexcept;
  std::size_t SlotOf(const char* name, std::int32_t position) const noexcept;
  void Place(Slot slot) noexcept;

  NameMatch match_;
  std::int32_t size_ = 0;
  std::vector<Slot> slots_;  // a power of two in size, at most half full
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_NAMEINDEX_H
