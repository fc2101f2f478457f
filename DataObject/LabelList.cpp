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

// Below this many labels a list is searched from its start and grows by one
// label at a time: for a handful of labels an index and spare room would
// cost more than they save.
constexpr std::int32_t kIndexedFrom = 8;

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

// The array and count it describes tell whether the index still belongs to
// the list: a list whose members were replaced from outside is indexed anew,
// and its array taken to have no spare room.
struct TLabelList::Index {
  Index(const TLabel* described, std::int32_t labels) noexcept
      : items(described), count(labels), room(labels) {}

  const TLabel* items;  // the array described
  std::int32_t count;   // labels recorded, from the first
  std::int32_t room;    // labels the array has space for
  NameIndex names{NameMatch::kExact};
};

bool TLabelList::IndexIsCurrent() const noexcept {
  return MbrPtrIndex != nullptr && MbrPtrIndex->items == MbrDyaItems &&
         MbrPtrIndex->count == MbrLngCount;
}

// An index of the labels as they stand, with space for `room` names. A name
// that appears twice (only a list put together from outside can hold one) is
// found at its first place, as a walk from the start would find it.
std::unique_ptr<TLabelList::Index> TLabelList::MakeIndex(std::int32_t room) const {
  auto index = std::make_unique<Index>(MbrDyaItems, MbrLngCount);
  index->names.Reserve(room);
  const auto name_at = [this](std::int32_t i) { return MbrDyaItems[i].MbrStrName; };
  for (std::int32_t i = 0; i < MbrLngCount; ++i) {
    const char* name = MbrDyaItems[i].MbrStrName;
    if (name != nullptr && index->names.Find(name, name_at) < 0) index->names.Insert(name, i);
  }
  return index;
}

// A long list without a current index gets one here. Should there be no
// memory for it, the walk from the start still finds the label: adding to
// an existing name never fails.
TLabel* TLabelList::FindLabel(const char* name) noexcept {
  if (MbrLngCount >= kIndexedFrom && !IndexIsCurrent()) {
    try {
      MbrPtrIndex = MakeIndex(MbrLngCount);
    } catch (const std::bad_alloc&) {
      MbrPtrIndex.reset();
    }
  }
  if (IndexIsCurrent()) {
    const std::int32_t i =
        MbrPtrIndex->names.Find(name, [this](std::int32_t k) { return MbrDyaItems[k].MbrStrName; });
    return i < 0 ? nullptr : &MbrDyaItems[i];
  }
  for (std::int32_t i = 0; i < MbrLngCount; ++i) {
    TLabel& label = MbrDyaItems[i];
    if (label.MbrStrName != nullptr && std::strcmp(label.MbrStrName, name) == 0) return &label;
  }
  return nullptr;
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
  const bool indexed = IndexIsCurrent();
  const std::int32_t room = indexed ? MbrPtrIndex->room : count;

  // Everything that can fail happens before the list changes.
  std::unique_ptr<Index> fresh;
  if (indexed) {
    MbrPtrIndex->names.Reserve(count + 1);
  } else if (count + 1 >= kIndexedFrom) {
    fresh = MakeIndex(count + 1);
  }
  std::unique_ptr<TLabel[]> grown;
  std::int32_t grown_room = room;
  if (count == room) {
    grown_room = count + 1 < kIndexedFrom ? count + 1 : GrownRoom(count);
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

  if (indexed || fresh != nullptr) {
    if (fresh != nullptr) MbrPtrIndex = std::move(fresh);
    Index& index = *MbrPtrIndex;
    index.items = MbrDyaItems;
    index.count = MbrLngCount;
    index.room = grown_room;
    index.names.Insert(label.MbrStrName, count);  // the space was reserved above
  } else {
    MbrPtrIndex.reset();  // a short list: any index left is of members replaced from outside
  }
}

}  // namespace mbrk
