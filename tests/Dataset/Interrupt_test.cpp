// Calls stopped by their caller's interrupt check: stopped at every poll they
// make, they leave with the check's exception and nothing held (the
// sanitizer presets see leaks and threads left running); never stopped,
// they give what they give without a check. Checks run on the calling
// thread alone.
#include "Base/internal/Interrupt.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ios>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "Dataset/Dataset.h"
#include "Dataset/internal/ParallelRead.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

using std::chrono::milliseconds;

int polls_left = 0;
int polls_run = 0;
std::thread::id caller;
bool elsewhere = false;

void CountDown() {
  ++polls_run;
  if (std::this_thread::get_id() != caller) elsewhere = true;
  if (--polls_left == 0) throw Interrupted();
}

// Runs `work` stopped at its first poll, its second, ... until it ends
// without being stopped; returns the polls it made then.
int StopAtEveryPoll(const std::function<void()>& work) {
  caller = std::this_thread::get_id();
  elsewhere = false;
  for (int stop_at = 1; stop_at < 100000; ++stop_at) {
    polls_left = stop_at;
    polls_run = 0;
    const InterruptScope scope(&CountDown, milliseconds(0));
    try {
      work();
    } catch (const Interrupted&) {
      EXPECT_EQ(stop_at, polls_run);
      continue;
    }
    // A stream may swallow the stop; the scope still knows.
    if (!scope.Stopped()) {
      EXPECT_FALSE(elsewhere);
      return polls_run;
    }
  }
  ADD_FAILURE() << "never ended";
  return 0;
}

std::string Rows(int rows, int width) {
  std::string text;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < width; ++c) text += std::to_string(r * width + c) + ".25 ";
    text += "\n";
  }
  return text;
}

TEST(Interrupt, EveryPollStopsTheCallAndNoneChangesItsResult) {
  test::TempDir dir;
  const std::string source = dir.File("a.mbrk");
  test::WriteFile(source, "[DataSet] [Rows = 1000] [Inputs = 3] [ExpectedOutputs = 1] [Data]\n" +
                              Rows(1000, 4) + "[~Data] [~DataSet]\n");
  const Dataset whole = ReadDataset(source, ReadOptions{1});
  const std::string flat = dir.File("a.flat");
  test::WriteFile(flat, Rows(1000, 4));
  ParallelRowOptions tiny;  // many pieces, on three threads
  tiny.threads = 3;
  tiny.chunk_bytes = 64;
  tiny.piece_bytes = 512;
  tiny.least_bytes = 0;
  Dataset many_rows;
  many_rows.inputs = Matrix(200000, 2);
  many_rows.expected = Matrix(200000, 1);
  many_rows.generated = Matrix(200000, 0);
  many_rows.errors = Matrix(200000, 0);
  const struct {
    const char* name;
    std::function<void()> work;
    int least_polls;
  } cases[] = {
      {"ReadDataset", [&] { EXPECT_EQ(whole, ReadDataset(source, ReadOptions{1})); }, 1},
      {"ReadDataset, pieces on threads", [&] { EXPECT_EQ(whole, ReadDatasetWith(source, tiny)); },
       2},
      {"ReadWindow", [&] { EXPECT_EQ(7, ReadWindow(source, 0, 7).rows.Rows()); }, 1},
      {"ProbeDataset", [&] { EXPECT_EQ(1000, ProbeDataset(source).rows); }, 1},
      {"ReadFlat", [&] { EXPECT_EQ(1000, ReadFlat(flat, 1000, 3, 1).Rows()); }, 1},
      {"WriteDataset", [&] { WriteDataset(dir.File("w.mbrk"), many_rows); }, 2},
      {"WriteFlat", [&] { WriteFlat(dir.File("w.flat"), many_rows); }, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_LE(c.least_polls, StopAtEveryPoll(c.work));
  }
}

TEST(Interrupt, ScopesNestAndPollAsOftenAsAsked) {
  caller = std::this_thread::get_id();
  polls_run = 0;
  polls_left = -1;
  PollInterrupt();  // no check installed: nothing runs
  CheckInterrupt();
  {
    const InterruptScope hourly(&CountDown, std::chrono::hours(1));
    PollInterrupt();  // the first poll runs it, the next ones wait an hour
    PollInterrupt();
    EXPECT_EQ(1, polls_run);
    CheckInterrupt();  // after a cut system call: at once
    EXPECT_EQ(2, polls_run);
    {
      const InterruptScope none(nullptr);
      PollInterrupt();
      CheckInterrupt();
      EXPECT_EQ(2, polls_run);
    }
    CheckInterrupt();
    EXPECT_EQ(3, polls_run);
    {
      // Stopped once, stopped for good: the check is not asked again.
      polls_left = 1;
      const InterruptScope once(&CountDown);
      EXPECT_THROW(PollInterrupt(), Interrupted);
      EXPECT_THROW(PollInterrupt(), Interrupted);
      EXPECT_THROW(CheckInterrupt(), Interrupted);
      EXPECT_TRUE(once.Stopped());
      EXPECT_EQ(4, polls_run);
    }
    polls_left = -1;
    CheckInterrupt();
    EXPECT_EQ(5, polls_run);
  }
  CheckInterrupt();
  EXPECT_EQ(5, polls_run);
}

TEST(DatasetStream, WithoutABufferIsRefusedAndWithExceptionsReads) {
  const std::string file = "[DataSet] [Rows = 1] [Inputs = 2] [Data] 1 2 [~Data] [~DataSet]\n";
  std::istream unbuffered(nullptr);
  EXPECT_THROW(ReadDataset(unbuffered), std::invalid_argument);

  const std::ios::iostate masks[] = {std::ios::badbit | std::ios::failbit,
                                     std::ios::badbit | std::ios::failbit | std::ios::eofbit};
  for (const std::ios::iostate mask : masks) {
    std::istringstream in(file);
    in.exceptions(mask);
    const Dataset read = ReadDataset(in);
    EXPECT_EQ(2.0, read.inputs(0, 1));
    EXPECT_EQ(mask, in.exceptions());
    EXPECT_TRUE(in.eof());
  }
}

}  // namespace
}  // namespace mbrk
