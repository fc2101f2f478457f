// window_bench: how long one window of rows takes at the start of a dataset
// and at its end.
//
//   window_bench DATASET [WINDOW_ROWS] [RUNS]      (defaults 1000 and 9)
//
// Reads the row count from the header, finds the offset of the last window
// by chaining windows through the file once (large ones, to keep it short),
// checks that the window there holds the last rows, then times the first and
// the last window RUNS times each, alternately, and prints the median and
// best of each. The loader seeks to a window's offset, so both should take
// about the same time however large the file.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"

namespace {

using Clock = std::chrono::steady_clock;

// The header's row count, or -1.
std::int32_t HeaderRows(mbrk::FileTools& tools, const char* path) {
  std::ifstream in(path);
  std::unique_ptr<char[]> name(
      tools.ExpectBlockStart(tools.ReadElement(nullptr, in, false), in, "DATASET"));
  std::int32_t inputs, expected, generated, errors, rows;
  mbrk::TElement after{};
  mbrk::ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after);
  delete[] after.MbrStrName;
  delete[] after.MbrStrValue;
  return rows;
}

// Reads one window and returns its wall time in seconds; exits on failure.
double TimeWindow(mbrk::FileTools& tools, const char* path, std::int64_t offset, std::int32_t count,
                  std::int64_t* next = nullptr) {
  mbrk::Data* first = nullptr;
  mbrk::Data* second = nullptr;
  const Clock::time_point start = Clock::now();
  const std::int32_t result = mbrk::ReadDatFileWindow(tools, path, offset, count, first, second);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const bool full = first != nullptr && first->MbrNdxDataRows == count;
  delete first;
  delete second;
  if (result != mbrk::SUCCESS || !full) {
    std::fprintf(stderr, "window_bench: the window of %d rows at %lld was not read\n", count,
                 static_cast<long long>(offset));
    std::exit(1);
  }
  if (next != nullptr) *next = offset;
  return seconds;
}

struct Summary {
  double median, best;
};

Summary Summarise(std::vector<double> times) {
  std::sort(times.begin(), times.end());
  const std::size_t n = times.size();
  const double median = n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  return {median, times.front()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: window_bench DATASET [WINDOW_ROWS] [RUNS]\n");
    return 2;
  }
  const char* path = argv[1];
  const std::int32_t window = argc > 2 ? std::atoi(argv[2]) : 1000;
  const int runs = argc > 3 ? std::atoi(argv[3]) : 9;
  if (window < 1 || runs < 1) {
    std::fprintf(stderr, "window_bench: WINDOW_ROWS and RUNS must be at least 1\n");
    return 2;
  }

  mbrk::FileTools tools;
  std::int32_t rows = -1;
  try {
    rows = HeaderRows(tools, path);
  } catch (mbrk::FileTools::Error& error) {
    std::fprintf(stderr, "window_bench: %s\n", error.MbrStrMessage);
    delete[] error.MbrStrMessage;
    return 1;
  }
  if (rows < window) {
    std::fprintf(stderr, "window_bench: the dataset has %d rows, fewer than a window\n", rows);
    return 1;
  }

  try {
    // One pass to the start of the last window.
    const Clock::time_point start = Clock::now();
    std::int64_t last = 0;
    for (std::int32_t done = 0; done < rows - window;) {
      const std::int32_t count = std::min<std::int32_t>(100000, rows - window - done);
      TimeWindow(tools, path, last, count, &last);
      done += count;
    }
    const double chain = std::chrono::duration<double>(Clock::now() - start).count();

    // The window there must be the last one: one row more is refused.
    std::int64_t past = 0;
    TimeWindow(tools, path, last, window, &past);
    bool refused = false;
    try {
      TimeWindow(tools, path, past, 1);
    } catch (mbrk::FileTools::Error& error) {
      delete[] error.MbrStrMessage;
      refused = true;
    }
    if (!refused) {
      std::fprintf(stderr, "window_bench: rows follow the window found last\n");
      return 1;
    }

    std::vector<double> first_times, last_times;
    for (int run = 0; run < runs; ++run) {
      first_times.push_back(TimeWindow(tools, path, 0, window));
      last_times.push_back(TimeWindow(tools, path, last, window));
    }
    const Summary first = Summarise(first_times);
    const Summary end = Summarise(last_times);
    std::printf("Dataset: %s, %d rows; windows of %d rows, %d runs each\n", path, rows, window,
                runs);
    std::printf("Finding the last window's offset (%lld) by chaining windows: %.3f s\n",
                static_cast<long long>(last), chain);
    std::printf("%-28s %12s %12s\n", "window", "median ms", "best ms");
    std::printf("%-28s %12.3f %12.3f\n", "first (offset 0)", first.median * 1e3, first.best * 1e3);
    std::printf("%-28s %12.3f %12.3f\n", "last (offset above)", end.median * 1e3, end.best * 1e3);
    std::printf("last / first (median): %.2f\n", end.median / first.median);
  } catch (mbrk::FileTools::Error& error) {
    std::fprintf(stderr, "window_bench: %s\n", error.MbrStrMessage);
    delete[] error.MbrStrMessage;
    return 1;
  }
  return 0;
}
