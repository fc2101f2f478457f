#include "DataObject/LabelList.h"

#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "Base/internal/Assert.h"
#include "Base/internal/NameIndex.h"
#include "Base/internal/Text.h"

namespace mbrk {

namespace {

// Names match byte for byte. Below eight labels a list is searched from its
// start and grows by one label at a time: for a handful of labels an index
// and spare room would cost more than they save. The index keeps the room of
// a long list's array. A name held twice (only a list put together from
// outside can hold one) is found at its first place.
constexpr TableRules kLabels{NameMatch::kExact, NameWalk::kFromFirst, 8};

// The labels of `list` as a table, with `index` its name index.
auto Labels(const TLabelList& list, std::unique_ptr<TableIndex>& index) noexcept {
  const auto name_at = [&list](std::int32_t i) { return list.MbrDyaItems[i].MbrStrName; };
  return IndexedTable<decltype(name_at)>(kLabels, index, list.MbrDyaItems, list.MbrLngCount,
                                         name_at);
}

// The room a long list grows to when it is full: twice its labels.
std::int32_t GrownRoom(std::int32_t count) {
  constexpr std::int32_t kMost = std::numeric_limits<std::int32_t>::max();
  return count > kMost / 2 ? kMost : 2 * count;
}

}  // namespace

// ---- TLabel ----

TLabel::TLabel(const TLabel& other)
    : MbrDblValue(other.MbrDblValue), MbrStrName(CopyText(other.MbrStrName)) {}

TLabel::TLabel(TLabel&& other) noexcept
    : MbrDblValue(other.MbrDblValue), MbrStrName(std::exchange(other.MbrStrName, nullptr)) {}

TLabel& TLabel::operator=(const TLabel& other) {
  if (this != &other) {
    // Copy first, so a failed allocation leaves this label as it was.
    char* name = CopyText(other.MbrStrName);
    delete[] MbrStrName;
    MbrStrName = name;
    MbrDblValue = other.MbrDblValue;
  }
  return *this;
}

TLabel& TLabel::operator=(TLabel&& other) noexcept {
  if (this != &other) {
    delete[] MbrStrName;
    MbrStrName = std::exchange(other.MbrStrName, nullptr);
    MbrDblValue = other.MbrDblValue;
  }
  return *this;
}

TLabel::~TLabel() { delete[] MbrStrName; }

// ---- TLabelList ----

TLabel* TLabelList::FindLabel(const char* name) noexcept {
  const std::int32_t i = Labels(*this, MbrPtrIndex).Find(name);
  return i < 0 ? nullptr : &MbrDyaItems[i];
}

// Out of line, as every member that creates or destroys the index.
TLabelList::TLabelList() noexcept = default;

TLabelList::TLabelList(const char* name, double value) {
  MBRK_ASSERT(name != nullptr);
  std::unique_ptr<TLabel[]> items(new TLabel[1]);
  items[0].MbrStrName = CopyText(name);
  items[0].MbrDblValue = value;
  MbrDyaItems = items.release();
  MbrLngCount = 1;
}

TLabelList::TLabelList(const TLabelList& other) {
  if (other.MbrLngCount <= 0) return;
  std::unique_ptr<TLabel[]> items(new TLabel[other.MbrLngCount]);
  for (std::int32_t i = 0; i < other.MbrLngCount; ++i) items[i] = other.MbrDyaItems[i];
  MbrDyaItems = items.release();
  MbrLngCount = other.MbrLngCount;
}

TLabelList::TLabelList(TLabelList&& other) noexcept
    : MbrLngCount(std::exchange(other.MbrLngCount, 0)),
      MbrDyaItems(std::exchange(other.MbrDyaItems, nullptr)),
      MbrPtrIndex(std::move(other.MbrPtrIndex)) {}

TLabelList& TLabelList::operator=(const TLabelList& other) {
  if (this != &other) {
    // The whole copy is built before the old labels go, so a failed
    // allocation half way leaves this list intact.
    TLabelList copy(other);
    *this = std::move(copy);
  }
  return *this;
}

TLabelList& TLabelList::operator=(TLabelList&& other) noexcept {
  if (this != &other) {
    delete[] MbrDyaItems;
    MbrLngCount = std::exchange(other.MbrLngCount, 0);
    MbrDyaItems = std::exchange(other.MbrDyaItems, nullptr);
    MbrPtrIndex = std::move(other.MbrPtrIndex);
  }
  return *this;
}

TLabelList::~TLabelList() { delete[] MbrDyaItems; }

void TLabelList::AppendLabel(const char* name, double value) {
  MBRK_ASSERT(name != nullptr);
  if (TLabel* label = FindLabel(name)) {
    label->MbrDblValue = value + label->MbrDblValue;
    return;
  }
  // The count is a 32-bit number: a list that long cannot grow any further.
  if (MbrLngCount == std::numeric_limits<std::int32_t>::max()) throw std::bad_alloc();
  const std::int32_t count = MbrLngCount;

  // Everything that can fail happens before the list changes.
  auto labels = Labels(*this, MbrPtrIndex);
  const std::int32_t room = labels.Room();
  labels.PrepareAppend();
  std::unique_ptr<TLabel[]> grown;
  std::int32_t grown_room = room;
  if (count == room) {
    grown_room = count + 1 < kLabels.indexed_from ? count + 1 : GrownRoom(count);
    grown.reset(new TLabel[static_cast<std::size_t>(grown_room)]);
  }
  std::unique_ptr<char[]> copy(CopyText(name));

  if (grown != nullptr) {
    // Moving hands each name array over instead of copying it.
    for (std::int32_t i = 0; i < count; ++i) grown[i] = std::move(MbrDyaItems[i]);
    delete[] MbrDyaItems;
    MbrDyaItems = grown.release();
  }
  TLabel& label = MbrDyaItems[count];
  label.MbrStrName = copy.release();
  label.MbrDblValue = value;
  MbrLngCount = count + 1;
  labels.Appended(MbrDyaItems, grown_room);  // the index's space was made above
}

}  // namespace mbrk
