#include "Base/internal/NameIndex.h"

#include <chrono>
#include <cstring>
#include <new>
#include <random>

#include "Base/internal/Assert.h"
#include "Base/internal/Text.h"

namespace mbrk {

namespace {

// The letter case folding of mbrk::strcasecmp: names equal ignoring case
// hash alike.
inline unsigned char FoldCase(unsigned char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

struct HashKey {
  std::uint64_t k0;
  std::uint64_t k1;
};

// Drawn once per process. Should the system have no source of randomness,
// the clock and the place the program was loaded at still differ from run
// to run.
HashKey DrawKey() noexcept {
  try {
    std::random_device source;
    const auto draw = [&source] {
      return (std::uint64_t{source()} << 32) ^ std::uint64_t{source()};
    };
    const std::uint64_t k0 = draw();
    return HashKey{k0, draw()};
  } catch (...) {
    const auto now =
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    static const int anchor = 0;
    return HashKey{now, reinterpret_cast<std::uintptr_t>(&anchor)};
  }
}

const HashKey& Key() noexcept {
  static const HashKey key = DrawKey();
  return key;
}

inline std::uint64_t RotateLeft(std::uint64_t x, int bits) noexcept {
  return (x << bits) | (x >> (64 - bits));
}

// SipHash-1-3 of a NUL-terminated text, letters folded when asked: a keyed
// hash whose collisions cannot be found without the key.
class SipHash {
 public:
  explicit SipHash(const HashKey& key) noexcept
      : v0_(key.k0 ^ 0x736f6d6570736575ULL),
        v1_(key.k1 ^ 0x646f72616e646f6dULL),
        v2_(key.k0 ^ 0x6c7967656e657261ULL),
        v3_(key.k1 ^ 0x7465646279746573ULL) {}

  std::uint64_t Of(const char* text, bool fold) noexcept {
    std::uint64_t word = 0;
    std::uint64_t length = 0;
    for (const char* p = text; *p != '\0'; ++p, ++length) {
      auto c = static_cast<unsigned char>(*p);
      if (fold) c = FoldCase(c);
      word |= std::uint64_t{c} << (8 * (length % 8));
      if (length % 8 == 7) {
        Compress(word);
        word = 0;
      }
    }
    Compress(word | (length << 56));
    v2_ ^= 0xff;
    Round();
    Round();
    Round();
    return v0_ ^ v1_ ^ v2_ ^ v3_;
  }

 private:
  void Compress(std::uint64_t word) noexcept {
    v3_ ^= word;
    Round();
    v0_ ^= word;
  }
  void Round() noexcept {
    v0_ += v1_;
    v1_ = RotateLeft(v1_, 13);
    v1_ ^= v0_;
    v0_ = RotateLeft(v0_, 32);
    v2_ += v3_;
    v3_ = RotateLeft(v3_, 16);
    v3_ ^= v2_;
    v0_ += v3_;
    v3_ = RotateLeft(v3_, 21);
    v3_ ^= v0_;
    v2_ += v1_;
    v1_ = RotateLeft(v1_, 17);
    v1_ ^= v2_;
    v2_ = RotateLeft(v2_, 32);
  }

  std::uint64_t v0_, v1_, v2_, v3_;
};

constexpr std::size_t kFewestSlots = 16;
// Half of the slots at most are in use, and a slot count is a power of two
// that a 32-bit hash can still address.
constexpr std::int32_t kMostNames = std::int32_t{1} << 30;

}  // namespace

std::uint32_t NameIndex::Hash(const char* name) const noexcept {
  const std::uint64_t hash = SipHash(Key()).Of(name, match_ == NameMatch::kIgnoreCase);
  return static_cast<std::uint32_t>(hash ^ (hash >> 32));
}

bool SameName(NameMatch match, const char* a, const char* b) noexcept {
  if (a == nullptr || b == nullptr) return false;
  return match == NameMatch::kExact ? std::strcmp(a, b) == 0 : strcasecmp(a, b) == 0;
}

void NameIndex::Reserve(std::int32_t count) {
  if (count < 0 || count > kMostNames) throw std::bad_alloc();
  std::size_t wanted = slots_.empty() ? kFewestSlots : slots_.size();
  while (wanted < 2 * static_cast<std::size_t>(count)) wanted *= 2;
  if (wanted == slots_.size()) return;
  // The stored hashes place every name again; no name is read.
  std::vector<Slot> old(wanted, Slot{-1, 0});
  old.swap(slots_);
  for (const Slot& slot : old) {
    if (slot.position >= 0) Place(slot);
  }
}

void NameIndex::Place(Slot slot) noexcept {
  std::size_t i = slot.hash & Mask();
  while (slots_[i].position >= 0) i = (i + 1) & Mask();
  slots_[i] = slot;
}

void NameIndex::Insert(const char* name, std::int32_t position) {
  MBRK_ASSERT(name != nullptr && position >= 0);
  Reserve(size_ + 1);
  Place(Slot{position, Hash(name)});
  ++size_;
}

// The slot recording `position` for `name`, or kNoSlot when it is not
// recorded (a name that its table held twice is recorded once).
std::size_t NameIndex::SlotOf(const char* name, std::int32_t position) const noexcept {
  if (name == nullptr || slots_.empty()) return kNoSlot;
  for (std::size_t i = Hash(name) & Mask(); slots_[i].position >= 0; i = (i + 1) & Mask()) {
    if (slots_[i].position == position) return i;
  }
  return kNoSlot;
}

// With linear probing a freed slot is filled from behind: every later slot
// of the same run whose home is not between the gap and itself moves into
// the gap, so no search ever stops early at a hole.
void NameIndex::Erase(const char* name, std::int32_t position) noexcept {
  std::size_t gap = SlotOf(name, position);
  if (gap == kNoSlot) return;
  for (std::size_t next = (gap + 1) & Mask(); slots_[next].position >= 0;
       next = (next + 1) & Mask()) {
    const std::size_t home = slots_[next].hash & Mask();
    const bool stays = gap <= next ? (gap < home && home <= next) : (gap < home || home <= next);
    if (stays) continue;
    slots_[gap] = slots_[next];
    gap = next;
  }
  slots_[gap].position = -1;
  --size_;
}

void NameIndex::Move(const char* name, std::int32_t from, std::int32_t to) noexcept {
  MBRK_ASSERT(to >= 0);
  const std::size_t slot = SlotOf(name, from);
  if (slot != kNoSlot) slots_[slot].position = to;
}

}  // namespace mbrk
