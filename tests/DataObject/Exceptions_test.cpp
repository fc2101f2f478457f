#include "DataObject/Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Base/internal/Assert.h"

namespace mbrk {
namespace {

std::string Text(const char* text) { return text == nullptr ? "<none>" : text; }

TEST(TException, DefaultHoldsNothing) {
  TException e;
  EXPECT_EQ(nullptr, e.MbrStrMessage);
  EXPECT_EQ(nullptr, e.MbrStrCategory);
  EXPECT_EQ(nullptr, e.MbrPtrDetail);
  EXPECT_EQ(nullptr, e.MbrStrLocation);
}

TEST(TException, MessageWithoutCategoryLeavesTheRestEmpty) {
  TException e("Invalid Data Row");
  EXPECT_EQ("Invalid Data Row", Text(e.MbrStrMessage));
  EXPECT_EQ(nullptr, e.MbrStrCategory);
  EXPECT_EQ(nullptr, e.MbrPtrDetail);
  EXPECT_EQ(nullptr, e.MbrStrLocation);

  TException f("Unable to open file", "File Error");
  EXPECT_EQ("File Error", Text(f.MbrStrCategory));
  EXPECT_EQ(nullptr, f.MbrStrLocation);
}

// The exception keeps copies of its own: the thrower's buffers may change or
// go away right after the throw.
TEST(TException, OwnsIndependentCopiesOfTheTexts) {
  char message[] = "Invalid Data Row";
  char category[] = "Bad Parameter";
  char location[] = "Data::SetRow";
  TException e(message, category, location, nullptr);
  message[0] = category[0] = location[0] = 'X';
  EXPECT_EQ("Invalid Data Row", Text(e.MbrStrMessage));
  EXPECT_EQ("Bad Parameter", Text(e.MbrStrCategory));
  EXPECT_EQ("Data::SetRow", Text(e.MbrStrLocation));
  EXPECT_NE(message, e.MbrStrMessage);
}

// Thrown, caught, copied, assigned and self-assigned: each text is released
// exactly once (the sanitizer build turns a double release or a leak into a
// failure).
TEST(TException, CopiesReleaseEachTextOnce) {
  try {
    throw TException("Unable to open file", "File Error", "TFlatFiler::SaveData", nullptr);
  } catch (TException& caught) {
    TException copy(caught);
    EXPECT_NE(copy.MbrStrMessage, caught.MbrStrMessage);
    EXPECT_EQ("TFlatFiler::SaveData", Text(copy.MbrStrLocation));

    TException assigned("old", "older");
    assigned = caught;
    EXPECT_EQ("File Error", Text(assigned.MbrStrCategory));
    assigned = *&assigned;
    EXPECT_EQ("Unable to open file", Text(assigned.MbrStrMessage));

    TException moved(std::move(copy));
    EXPECT_EQ(nullptr, copy.MbrStrMessage);
    EXPECT_EQ("Unable to open file", Text(moved.MbrStrMessage));
  }
}

TEST(TException, RethrownCopyStaysIntact) {
  try {
    try {
      throw TException("Data Block Fault", "Bad Parameter", "Data::GetBlock", nullptr);
    } catch (TException& inner) {
      throw TException(inner);
    }
  } catch (const TException& outer) {
    EXPECT_EQ("Data::GetBlock", Text(outer.MbrStrLocation));
  }
}

TEST(AssertDeathTest, WritesTheConditionFileAndLine) {
  const int line = __LINE__ + 1;
  auto fail = [] { MBRK_ASSERT(1 + 1 == 3); };
  const std::string expected =
      "Assertion failed: 1 \\+ 1 == 3, file .*Exceptions_test\\.cpp, line " + std::to_string(line);
  EXPECT_DEATH(fail(), expected);
}

}  // namespace
}  // namespace mbrk
