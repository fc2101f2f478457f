#include "DataObject/LabelList.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace mbrk {
namespace {

// The list as "name=value name=value ...", so a test compares one string.
std::string Show(const TLabelList& list) {
  std::ostringstream out;
  for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
    const TLabel& label = list.MbrDyaItems[i];
    if (i > 0) out << ' ';
    out << (label.MbrStrName == nullptr ? "<none>" : label.MbrStrName) << '=' << label.MbrDblValue;
  }
  return out.str();
}

TEST(TLabelList, DefaultIsEmptyWithoutArray) {
  TLabelList list;
  EXPECT_EQ(0, list.MbrLngCount);
  EXPECT_EQ(nullptr, list.MbrDyaItems);
}

TEST(TLabelList, SingleLabelConstructorCopiesTheName) {
  char name[] = "spam";
  TLabelList list(name, 0.25);
  name[0] = 'X';
  EXPECT_EQ("spam=0.25", Show(list));
  EXPECT_NE(name, list.MbrDyaItems[0].MbrStrName);
}

TEST(TLabelList, RepeatedNamesAccumulateInFirstSeenOrder) {
  TLabelList list;
  list.AppendLabel("a", 1.0);
  list.AppendLabel("b", 2.5);
  list.AppendLabel("a", 1.0);
  EXPECT_EQ("a=2 b=2.5", Show(list));

  list.AppendLabel("b", -3.0);  // a negative value lowers the label
  list.AppendLabel("a", 0.0);   // zero leaves it as it was
  EXPECT_EQ("a=2 b=-0.5", Show(list));
  EXPECT_EQ(2, list.MbrLngCount);
}

// Names are matched byte for byte: letter case makes a different label.
TEST(TLabelList, NamesDifferingOnlyInCaseAreDifferentLabels) {
  TLabelList list;
  list.AppendLabel("Cat", 1.0);
  list.AppendLabel("cat", 1.0);
  list.AppendLabel("CAT", 1.0);
  list.AppendLabel("cat", 2.0);
  EXPECT_EQ("Cat=1 cat=3 CAT=1", Show(list));
}

TEST(TLabelList, PrefixIsNotTheSameName) {
  TLabelList list;
  list.AppendLabel("ab", 1.0);
  list.AppendLabel("a", 1.0);
  list.AppendLabel("abc", 1.0);
  EXPECT_EQ("ab=1 a=1 abc=1", Show(list));
}

TEST(TLabelList, EmptyTextIsAValidName) {
  TLabelList list;
  list.AppendLabel("", 1.0);
  list.AppendLabel("x", 1.0);
  list.AppendLabel("", 1.0);
  EXPECT_EQ("=2 x=1", Show(list));
}

// Growing moves the existing names over; their texts stay the same arrays.
TEST(TLabelList, AppendingANewNameKeepsEarlierLabelsInPlace) {
  TLabelList list;
  list.AppendLabel("one", 1.0);
  list.AppendLabel("two", 2.0);
  const char* first_name = list.MbrDyaItems[0].MbrStrName;
  list.AppendLabel("three", 3.0);
  EXPECT_EQ("one=1 two=2 three=3", Show(list));
  EXPECT_EQ(first_name, list.MbrDyaItems[0].MbrStrName);
}

TEST(TLabelList, AddingToAnExistingNameAllocatesNothing) {
  TLabelList list("n", 1.0);
  const TLabel* items = list.MbrDyaItems;
  list.AppendLabel("n", 1.0);
  EXPECT_EQ(items, list.MbrDyaItems);
}

TEST(TLabelList, CopyConstructorIsDeepAndIndependent) {
  TLabelList source;
  source.AppendLabel("a", 1.0);
  source.AppendLabel("b", 2.0);
  {
    TLabelList copy(source);
    EXPECT_EQ("a=1 b=2", Show(copy));
    EXPECT_NE(source.MbrDyaItems[0].MbrStrName, copy.MbrDyaItems[0].MbrStrName);
    copy.MbrDyaItems[0].MbrDblValue = 9.0;
    copy.MbrDyaItems[1].MbrStrName[0] = 'z';
    copy.AppendLabel("c", 3.0);
  }  // releasing the copy must leave the source alone
  EXPECT_EQ("a=1 b=2", Show(source));
}

TEST(TLabelList, AssignmentIsDeepAndIndependent) {
  TLabelList source;
  source.AppendLabel("x", 4.0);
  TLabelList target("old", 1.0);
  target.AppendLabel("older", 2.0);
  target = source;
  EXPECT_EQ("x=4", Show(target));
  target.AppendLabel("x", 1.0);
  EXPECT_EQ("x=4", Show(source));
  EXPECT_EQ("x=5", Show(target));
}

TEST(TLabelList, AssigningAnEmptyListEmptiesIt) {
  TLabelList target;
  target.AppendLabel("a", 1.0);
  target.AppendLabel("b", 1.0);
  target = TLabelList();
  EXPECT_EQ(0, target.MbrLngCount);
  EXPECT_EQ("", Show(target));
  TLabelList empty;
  target.AppendLabel("c", 1.0);
  target = empty;
  EXPECT_EQ(0, target.MbrLngCount);
}

TEST(TLabelList, SelfAssignmentLeavesItUnchanged) {
  TLabelList list;
  list.AppendLabel("a", 1.0);
  list.AppendLabel("b", 2.0);
  const TLabel* items = list.MbrDyaItems;
  TLabelList& alias = list;
  list = alias;
  EXPECT_EQ(items, list.MbrDyaItems);
  EXPECT_EQ("a=1 b=2", Show(list));
  list = std::move(alias);
  EXPECT_EQ("a=1 b=2", Show(list));
}

TEST(TLabelList, MoveLeavesTheSourceEmpty) {
  TLabelList source("m", 1.5);
  TLabelList moved(std::move(source));
  EXPECT_EQ(0, source.MbrLngCount);
  EXPECT_EQ(nullptr, source.MbrDyaItems);
  EXPECT_EQ("m=1.5", Show(moved));
  source = std::move(moved);
  EXPECT_EQ("m=1.5", Show(source));
  EXPECT_EQ("", Show(moved));
}

std::string Name(int i) { return "n" + std::to_string(i); }

// How many of the list's first `count` labels differ from Name(i) = value(i),
// or from the name arrays in `arrays` when given; missing ones count too.
template <typename Value>
int Mismatches(const TLabelList& list, int count, Value value,
               const std::vector<const char*>* arrays = nullptr) {
  int wrong = list.MbrLngCount < count ? count - list.MbrLngCount : 0;
  for (int i = 0; i < count && i < list.MbrLngCount; ++i) {
    const TLabel& label = list.MbrDyaItems[i];
    const bool moved =
        arrays == nullptr || (*arrays)[static_cast<std::size_t>(i)] == label.MbrStrName;
    if (label.MbrStrName == nullptr || Name(i) != label.MbrStrName ||
        label.MbrDblValue != value(i) || !moved) {
      ++wrong;
    }
  }
  return wrong;
}

// A long list keeps every promise of a short one: first-seen order, values
// added up per name (letter case counting), name arrays moved and never
// copied as the array grows, copies deep and exact.
TEST(TLabelList, LongListsKeepOrderSumsAndNameArrays) {
  constexpr int kLabels = 100000;
  TLabelList list;
  std::vector<const char*> arrays;
  for (int i = 0; i < kLabels; ++i) {
    list.AppendLabel(Name(i).c_str(), 1.0);
    arrays.push_back(list.MbrDyaItems[i].MbrStrName);
  }
  for (int i = kLabels - 1; i >= 0; i -= 3) list.AppendLabel(Name(i).c_str(), i);
  const auto summed = [](int i) { return (kLabels - 1 - i) % 3 == 0 ? 1.0 + i : 1.0; };
  EXPECT_EQ(kLabels, list.MbrLngCount);
  EXPECT_EQ(0, Mismatches(list, kLabels, summed, &arrays));

  list.AppendLabel("N7", 1.0);  // another name than n7
  list.AppendLabel("", 2.0);
  list.AppendLabel("", 2.0);
  ASSERT_EQ(kLabels + 2, list.MbrLngCount);
  EXPECT_STREQ("N7", list.MbrDyaItems[kLabels].MbrStrName);
  EXPECT_STREQ("", list.MbrDyaItems[kLabels + 1].MbrStrName);
  EXPECT_EQ(4.0, list.MbrDyaItems[kLabels + 1].MbrDblValue);

  TLabelList copy(list);
  copy.AppendLabel("n0", 5.0);
  copy.AppendLabel("more", 1.0);
  EXPECT_EQ(kLabels + 3, copy.MbrLngCount);
  EXPECT_EQ(6.0, copy.MbrDyaItems[0].MbrDblValue);
  EXPECT_EQ(0, Mismatches(list, kLabels, summed, &arrays));
  list = copy;
  EXPECT_EQ(Show(copy), Show(list));
}

// Members replaced from outside are taken as they stand: the labels beyond
// a lowered count are gone for the list, and a new array has no spare room.
TEST(TLabelList, MembersReplacedFromOutsideAreTakenAsTheyStand) {
  TLabelList list;
  for (int i = 0; i < 20; ++i) list.AppendLabel(Name(i).c_str(), 1.0);
  list.MbrLngCount = 10;
  list.AppendLabel("n15", 1.0);
  list.AppendLabel("n5", 1.0);
  EXPECT_EQ("n0=1 n1=1 n2=1 n3=1 n4=1 n5=2 n6=1 n7=1 n8=1 n9=1 n15=1", Show(list));

  auto* items = new TLabel[11];  // exactly the labels, no room for more
  for (int i = 0; i < 11; ++i) items[i] = list.MbrDyaItems[i];
  delete[] list.MbrDyaItems;
  list.MbrDyaItems = items;
  list.AppendLabel("n3", 1.0);
  list.AppendLabel("more", 1.0);
  EXPECT_EQ("n0=1 n1=1 n2=1 n3=2 n4=1 n5=2 n6=1 n7=1 n8=1 n9=1 n15=1 more=1", Show(list));
}

TEST(TLabel, AssignmentCopiesNameAndValue) {
  TLabel a;
  a.MbrStrName = new char[4]{'a', 'b', 'c', '\0'};
  a.MbrDblValue = 7.0;
  TLabel b;
  b.MbrStrName = new char[2]{'q', '\0'};
  b = a;
  EXPECT_STREQ("abc", b.MbrStrName);
  EXPECT_NE(a.MbrStrName, b.MbrStrName);
  EXPECT_EQ(7.0, b.MbrDblValue);
  b = *&b;
  EXPECT_STREQ("abc", b.MbrStrName);

  TLabel nameless;  // copying a label without a name gives one without a name
  b = nameless;
  EXPECT_EQ(nullptr, b.MbrStrName);
  TLabel copy(a);
  EXPECT_STREQ("abc", copy.MbrStrName);
  EXPECT_NE(a.MbrStrName, copy.MbrStrName);
}

}  // namespace
}  // namespace mbrk
