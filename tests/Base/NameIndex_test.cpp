#include "Base/internal/NameIndex.h"

#include <gtest/gtest.h>

#include <cctype>
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

}  // namespace
}  // namespace mbrk
