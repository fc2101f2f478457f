// Allocation failure, injected: the global operator new (and, outside the
// sanitizer builds, calloc, which the dataset table uses for its blocks) is
// replaced by one that fails at the N-th allocation. A whole conversion, as
// the command runs it, is repeated for N = 1, 2, ... until it completes
// without reaching N: every shorter run must end with the one line "Not
// enough memory" and status 1, and leave nothing allocated.
//
// A separate executable: the replaced allocator must not reach the other
// tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <memory>
#include <new>
#include <streambuf>
#include <string>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "Dataset/Dataset.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "TestSupport.h"
#include "command/mbrkd2flat.h"

namespace {

// -1: disarmed; otherwise the number of allocations still allowed.
long g_allowed = -1;
bool g_injected = false;
long g_live = 0;  // operator new blocks not yet released

bool Fails() {
  if (g_allowed < 0) return false;
  if (g_allowed == 0) {
    g_injected = true;
    return true;
  }
  --g_allowed;
  return false;
}

// The largest request seen; requests above a gigabyte are refused outright,
// so that a test of a hostile shape fails fast instead of eating the machine.
std::size_t g_largest = 0;
constexpr std::size_t kRefusedSize = std::size_t{1} << 30;

void* Allocate(std::size_t size) {
  if (Fails()) throw std::bad_alloc();
  if (size > g_largest) g_largest = size;
  if (size > kRefusedSize) throw std::bad_alloc();
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  ++g_live;
  return block;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  --g_live;
  std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }

// The table's blocks come from calloc. The sanitizers own calloc and free,
// so the hook exists only in the plain builds; there the sanitizer builds'
// leak check is what covers those blocks.
#if defined(__SANITIZE_ADDRESS__)
#define MBRK_HOOK_CALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MBRK_HOOK_CALLOC 0
#endif
#endif
#ifndef MBRK_HOOK_CALLOC
#define MBRK_HOOK_CALLOC 1
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
  if (Fails()) return nullptr;
  if (size != 0 && count > kRefusedSize / size) return nullptr;
  if (count * size > g_largest) g_largest = count * size;
  return __libc_calloc(count, size);
}
#endif

namespace {

// Collects standard error without allocating, so that capturing it does not
// disturb the count.
class FixedBuffer : public std::streambuf {
 public:
  FixedBuffer() { setp(text_, text_ + sizeof text_ - 1); }
  std::string Text() const { return std::string(pbase(), pptr()); }

 private:
  char text_[4096];
};

struct Outcome {
  int status;
  std::string err;
  bool injected;
  long leaked;
};

// One in-process conversion with allocation number `fail_at` (from 1)
// failing; 0 lets every allocation through.
Outcome Convert(const std::string& source, const std::string& destination, long fail_at) {
  const char* const argv[] = {"mbrkd2flat", source.c_str(), destination.c_str(), nullptr};
  FixedBuffer buffer;
  std::ostream err(&buffer);
  const long live = g_live;
  g_injected = false;
  g_allowed = fail_at - 1;
  const int status = mbrk::RunConverter(3, argv, err);
  g_allowed = -1;
  const long leaked = g_live - live;  // before the text below is allocated
  return Outcome{status, buffer.Text(), g_injected, leaked};
}

void ConvertUnderEveryFailure(const std::string& sample, const std::string& expected_flat) {
  mbrk::test::TempDir dir;
  const std::string source = std::string(MBRK_SOURCE_DIR) + "/samples/" + sample;
  const std::string destination = dir.File("out.flat");
  // Once unhindered: lazily made objects of the libraries are made now, and
  // the result is the one every full run must give.
  const Outcome first = Convert(source, destination, 0);
  ASSERT_EQ(0, first.status) << first.err;
  ASSERT_EQ(expected_flat, mbrk::test::ReadFile(destination));

  long fail_at = 1;
  for (;; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
    const Outcome run = Convert(source, destination, fail_at);
    ASSERT_EQ(0, run.leaked);
    if (!run.injected) {
      EXPECT_EQ(0, run.status) << run.err;
      EXPECT_EQ("", run.err);
      EXPECT_EQ(expected_flat, mbrk::test::ReadFile(destination));
      break;
    }
    ASSERT_EQ(1, run.status);
    ASSERT_EQ("Not enough memory\n", run.err);
  }
  // A conversion that allocates nothing would make this test prove nothing.
  EXPECT_GT(fail_at, 10);
  std::cout << sample << ": " << fail_at - 1 << " allocations, each failed once"
            << (MBRK_HOOK_CALLOC ? " (calloc included)" : " (operator new only)") << "\n";
}

TEST(AllocationFailure, ConversionWithLabelListsEndsCleanlyAtEveryAllocation) {
  ConvertUnderEveryFailure("iris-labels.mbrk",
                           "5.1 3.5 1.4 0.2 \n4.9 3 1.4 0.2 \n7 3.2 4.7 1.4 \n"
                           "6.4 3.2 4.5 1.5 \n6.3 3.3 6 2.5 \n5.8 2.7 5.1 1.9 \n");
}

TEST(AllocationFailure, ConversionWithASecondTableEndsCleanlyAtEveryAllocation) {
  ConvertUnderEveryFailure("model-run.mbrk", "0 0 0 \n0 1 1 \n1 0 1 \n1 1 0 \n0.5 0.5 0.5 \n");
}

// The message parser hands back null or a whole structure; a failed
// allocation inside it propagates and releases everything parsed so far.
TEST(AllocationFailure, KqmlParsingReleasesEverythingAtEveryAllocation) {
  const std::string text = "(tell :sender a :content (data :rows 10 :nested (x :y z)) :mode fast)";
  for (long fail_at = 1;; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
    const long live = g_live;
    g_injected = false;
    g_allowed = fail_at - 1;
    bool threw = false;
    mbrk::TKQstructure* parsed = nullptr;
    try {
      const char* cursor = text.c_str();
      parsed = mbrk::TKQstructure::ParseMessage(&cursor);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    g_allowed = -1;
    EXPECT_EQ(threw, parsed == nullptr);
    delete parsed;
    ASSERT_EQ(live, g_live);
    if (!g_injected) {
      EXPECT_FALSE(threw);
      break;
    }
    ASSERT_TRUE(threw);
  }
}

// Runs `action` with allocation 1, 2, ... failing until it completes
// without reaching the failure. Each failure must come out of the action as
// std::bad_alloc, with everything the action allocated released. Returns
// the number of allocations of a complete run.
template <typename Action>
long FailEveryAllocation(Action action) {
  for (long fail_at = 1;; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
    const long live = g_live;
    g_injected = false;
    g_allowed = fail_at - 1;
    bool threw = false;
    try {
      action();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    g_allowed = -1;
    EXPECT_EQ(live, g_live);
    if (live != g_live) return -1;
    if (!g_injected) {
      EXPECT_FALSE(threw);
      return fail_at - 1;
    }
    EXPECT_TRUE(threw);
    if (!threw) return -1;
  }
}

// Runs `action` with allocation 1, 2, ... failing until it completes without
// reaching the failure, and hands `check` whether the action threw
// std::bad_alloc and whether a failure was injected. Once `check` has put
// back the objects the action changed, nothing may be left allocated.
template <typename Action, typename Check>
void UnderEveryFailure(Action action, Check check) {
  for (long fail_at = 1;; ++fail_at) {
    SCOPED_TRACE("allocation " + std::to_string(fail_at) + " fails");
    const long live = g_live;
    g_injected = false;
    g_allowed = fail_at - 1;
    bool threw = false;
    try {
      action();
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    g_allowed = -1;
    const bool injected = g_injected;
    check(threw, injected);
    ASSERT_EQ(live, g_live);
    if (!injected) return;
  }
}

std::string Show(const mbrk::TLabelList& list) {
  std::string text;
  for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
    text += std::string(list.MbrDyaItems[i].MbrStrName) + "=" +
            std::to_string(list.MbrDyaItems[i].MbrDblValue) + " ";
  }
  return text;
}

// Long label lists and messages index their names on the way: a new name
// that cannot be added leaves a list as it was, and a name already there is
// added to, or found, whatever fails (without an index the list is walked).
TEST(AllocationFailure, IndexedNamesChangeAllOrNothingAndLookupsNeverFail) {
  mbrk::TLabelList long_list;
  mbrk::TKQstructure message("m");
  for (int i = 0; i < 20; ++i) {
    long_list.AppendLabel(("n" + std::to_string(i)).c_str(), 1.0);
    message.SetTextParameter(("k" + std::to_string(i)).c_str(), "v");
  }
  const std::string before = Show(long_list);
  mbrk::TLabelList list(long_list);  // a copy: without an index until it is used
  UnderEveryFailure([&] { list.AppendLabel("new", 1.0); },
                    [&](bool threw, bool injected) {
                      EXPECT_EQ(injected, threw);
                      EXPECT_EQ(threw ? before : before + "new=1.000000 ", Show(list));
                      list = long_list;
                    });

  int runs = 0;
  UnderEveryFailure([&] { list.AppendLabel("n19", 1.0); },
                    [&](bool threw, bool) {
                      EXPECT_FALSE(threw);
                      EXPECT_EQ(2.0, list.MbrDyaItems[19].MbrDblValue);
                      list = long_list;
                      ++runs;
                    });
  EXPECT_GT(runs, 1);

  std::unique_ptr<const mbrk::TKQstructure> view(new mbrk::TKQstructure(message));
  runs = 0;
  UnderEveryFailure([&] { EXPECT_NE(nullptr, view->FindParameter("K19")); },
                    [&](bool threw, bool) {
                      EXPECT_FALSE(threw);
                      view.reset(new mbrk::TKQstructure(message));
                      ++runs;
                    });
  EXPECT_GT(runs, 1);
  UnderEveryFailure(
      [&] {
        mbrk::TKQstructure grown(message);
        grown.SetTextParameter("new", "x");
      },
      [&](bool threw, bool injected) { EXPECT_EQ(injected, threw); });
}

const std::string kSamples = std::string(MBRK_SOURCE_DIR) + "/samples/";

TEST(AllocationFailure, LibraryOperationsPropagateItAndReleaseEverything) {
  mbrk::test::TempDir dir;
  const std::string labels = kSamples + "iris-labels.mbrk";
  const std::string two_tables = kSamples + "model-run.mbrk";
  mbrk::FileTools tools;

  EXPECT_GT(FailEveryAllocation([&] {
              mbrk::Data* table = nullptr;
              std::int64_t offset = 0;
              try {
                mbrk::LoadDatFileWindow(tools, labels.c_str(), offset, 3, table);
              } catch (...) {
                delete table;
                throw;
              }
              delete table;
            }),
            0);

  EXPECT_GT(FailEveryAllocation([&] { delete mbrk::ProbeFileHeader(tools, two_tables.c_str()); }),
            0);

  mbrk::Data* first = nullptr;
  mbrk::Data* second = nullptr;
  ASSERT_EQ(mbrk::SUCCESS, mbrk::ReadDatFile(tools, two_tables.c_str(), first, second));
  const std::unique_ptr<mbrk::Data> owned1(first), owned2(second);
  const std::string written = dir.File("written.mbrk");
  EXPECT_GT(FailEveryAllocation([&] { mbrk::SaveDatFile(tools, written.c_str(), first, second); }),
            0);

  const std::string flat = dir.File("model.flat");
  mbrk::TFlatFiler::SaveData(flat.c_str(), first);
  EXPECT_GT(FailEveryAllocation([&] {
              mbrk::Data* table = nullptr;
              try {
                mbrk::TFlatFiler::LoadData(flat.c_str(), table, 5, 2, 1);
              } catch (...) {
                delete table;
                throw;
              }
              delete table;
            }),
            0);
}

TEST(AllocationFailure, DatasetOperationsPropagateItAndReleaseEverything) {
  mbrk::test::TempDir dir;
  const std::string labels = kSamples + "iris-labels.mbrk";
  const std::string two_tables = kSamples + "model-run.mbrk";
  const std::string broken = dir.File("broken.mbrk");
  mbrk::test::WriteFile(broken, "[DataSet]\n[Rows = 1][Inputs = 1]\n[Data]\n x [~Data][~DataSet]");
  const mbrk::Dataset dataset = mbrk::ReadDataset(labels);
  const std::string written = dir.File("written");
  const std::string flat = dir.File("a.flat");
  mbrk::test::WriteFile(flat, "1 2\n3 4\n");
  const std::function<void()> actions[] = {
      [&] { mbrk::ReadDataset(labels); },
      [&] { mbrk::ReadDataset(two_tables); },
      [&] { mbrk::ReadWindow(labels, 0, 3); },
      [&] { mbrk::ProbeDataset(two_tables); },
      [&] { mbrk::ReadFlat(flat, 2, 1, 1); },
      [&] { mbrk::WriteDataset(written, dataset); },
      [&] { mbrk::WriteFlat(written, dataset); },
      [&] {
        try {
          mbrk::ReadDataset(broken);
        } catch (const mbrk::FormatError&) {
        }
      },
  };
  for (std::size_t i = 0; i < std::size(actions); ++i) {
    SCOPED_TRACE("operation " + std::to_string(i));
    EXPECT_GT(FailEveryAllocation(actions[i]), 0);
  }
}

// A header of zero rows may declare widths of two billion: nothing is
// needed for rows that are not there, so nothing that large may be asked for,
// neither by the reader nor by the flat writer.
TEST(HostileShapes, ZeroRowsOfTwoBillionValuesAllocateNothingLarge) {
  mbrk::test::TempDir dir;
  const std::string source = dir.File("wide.mbrk");
  const std::string destination = dir.File("wide.flat");
  mbrk::test::WriteFile(source,
                        "[DataSet][Rows = 0][Inputs = 2147483647][ExpectedOutputs = 2147483647]"
                        "[Data][~Data][~DataSet]");
  g_largest = 0;
  const Outcome run = Convert(source, destination, 0);
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ("", mbrk::test::ReadFile(destination));
  EXPECT_LT(g_largest, std::size_t{1} << 20);
}

}  // namespace
