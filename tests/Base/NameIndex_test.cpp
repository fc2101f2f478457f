#include "Base/internal/NameIndex.h"

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace mbrk {
namespace {

// Names kept in an array the way the KQML structure keeps its keywords:
// removal moves the last one into the gap. Random insertions and removals on
// small tables, whose runs of slots wrap around the end, must leave every
// name findable at its place and no removed one findable.
TEST(NameIndex, FindsEveryNameThroughInsertionsRemovalsAndMoves) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 200; ++round) {
    NameIndex index(NameMatch::kIgnoreCase);
    std::vector<std::string> names;
    const auto name_at = [&names](std::int32_t i) {
      return names[static_cast<std::size_t>(i)].c_str();
    };
    for (int step = 0; step < 60; ++step) {
      const std::string name = "Key" + std::to_string(random() % 24);
      const std::int32_t found = index.Find(name.c_str(), name_at);
      if (found < 0) {
        index.Insert(name.c_str(), static_cast<std::int32_t>(names.size()));
        names.push_back(name);
        continue;
      }
      const auto last = static_cast<std::int32_t>(names.size()) - 1;
      index.Erase(names[static_cast<std::size_t>(found)].c_str(), found);
      if (found != last) index.Move(names.back().c_str(), last, found);
      names[static_cast<std::size_t>(found)] = names.back();
      names.pop_back();
      ASSERT_EQ(-1, index.Find(name.c_str(), name_at));
    }
    ASSERT_EQ(static_cast<std::int32_t>(names.size()), index.Size());
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::string shouted = names[i];
      for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      ASSERT_EQ(static_cast<std::int32_t>(i), index.Find(shouted.c_str(), name_at));
    }
  }
}

TEST(NameIndex, ExactMatchingKeepsLetterCase) {
  const std::vector<std::string> names{"Cat", "cat", ""};
  const auto name_at = [&names](std::int32_t i) {
    return names[static_cast<std::size_t>(i)].c_str();
  };
  NameIndex index(NameMatch::kExact);
  for (std::int32_t i = 0; i < 3; ++i) index.Insert(names[static_cast<std::size_t>(i)].c_str(), i);
  EXPECT_EQ(0, index.Find("Cat", name_at));
  EXPECT_EQ(1, index.Find("cat", name_at));
  EXPECT_EQ(2, index.Find("", name_at));
  EXPECT_EQ(-1, index.Find("CAT", name_at));
}

// A table put together from outside may hold a name twice and entries without
// one: walked (short) or indexed (long), a search finds the entry its walk
// meets first, and a table replaced behind the index's back is indexed anew.
TEST(IndexedTable, FindsWhatItsWalkFindsIndexedOrNot) {
  struct Case {
    NameWalk walk;
    std::int32_t indexed_from;
    std::int32_t twice_found;  // of "b" at 1 and 3
  };
  for (const Case c : {Case{NameWalk::kFromFirst, 100, 1}, Case{NameWalk::kFromFirst, 2, 1},
                       Case{NameWalk::kFromLast, 100, 3}, Case{NameWalk::kFromLast, 2, 3}}) {
    std::vector<const char*> names{"a", "B", nullptr, "b", "c"};
    const auto name_at = [&names](std::int32_t i) { return names[static_cast<std::size_t>(i)]; };
    const TableRules rules{NameMatch::kIgnoreCase, c.walk, c.indexed_from};
    std::unique_ptr<TableIndex> index;
    IndexedTable<decltype(name_at)> table(rules, index, names.data(), 5, name_at);
    EXPECT_EQ(c.twice_found, table.Find("b"));
    EXPECT_EQ(-1, table.Find("d"));
    EXPECT_EQ(c.indexed_from <= 5, table.IsCurrent());
    names[4] = "d";  // an array replaced from outside: the count tells
    names.push_back("e");
    IndexedTable<decltype(name_at)> longer(rules, index, names.data(), 6, name_at);
    EXPECT_EQ(4, longer.Find("D"));
    EXPECT_EQ(5, longer.Find("e"));
  }
}

}  // namespace
}  // namespace mbrk
