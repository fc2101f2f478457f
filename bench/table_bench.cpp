// table_bench: one operation of the toolkit, timed inside the process.
//
//   table_bench --read-flat FILE ROWS INPUTS OUTPUTS   TFlatFiler::LoadData
//   table_bench --read-dataset SRC                     LoadDatFile
//   table_bench --write-dataset SRC DST                SaveDatFile of SRC's table
//
// Prints "<seconds> <checksum> <CPU seconds>" on standard output: the wall time of
// the one call (for --write-dataset the file is read first, outside the timing), the
// checksum of the table's values as bare_loop computes it, so that the two can be
// compared, and the processor time of the call. The
// call is the first thing the process does, so the table's memory is fresh, as it is
// in a program that loads one file.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

#include "DataObject/Data.h"
#include "DataObject/Exceptions.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time of the process so far, in seconds.
double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// A timing begun: wall and processor clocks.
struct Timing {
  Clock::time_point wall = Clock::now();
  double cpu = CpuSeconds();
};

// bare_loop's checksum over the rows in order, each row's inputs then outputs.
std::uint64_t Checksum(const mbrk::Data& table) {
  std::uint64_t sum = 0;
  std::uint64_t i = 0;
  auto add = [&](double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    sum += bits * (2 * i++ + 1);
  };
  for (std::int32_t r = 0; r < table.MbrNdxRows; ++r) {
    for (std::int32_t k = 0; k < table.MbrLngInputs; ++k) add(table.MbrDyaRtpInputs[r][k]);
    for (std::int32_t k = 0; k < table.MbrLngOutputs; ++k) add(table.MbrDyaRtpOutputs[r][k]);
  }
  return sum;
}

// Ends `timing` (before the checksum is worked out) and prints the line.
void Report(const Timing& timing, const mbrk::Data* table) {
  const double seconds = Since(timing.wall);
  const double cpu = CpuSeconds() - timing.cpu;
  std::printf("%.6f %llu %.6f\n", seconds,
              static_cast<unsigned long long>(table != nullptr ? Checksum(*table) : 0), cpu);
}

std::int32_t Count(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 0 || value > INT32_MAX) {
    std::fprintf(stderr, "table_bench: not a count: %s\n", text);
    std::exit(2);
  }
  return static_cast<std::int32_t>(value);
}

std::unique_ptr<mbrk::Data> Load(const char* path) {
  mbrk::FileTools tools;
  mbrk::Data* loaded = nullptr;
  const std::int32_t result = mbrk::LoadDatFile(tools, path, loaded);
  std::unique_ptr<mbrk::Data> table(loaded);
  if (result != mbrk::SUCCESS || table == nullptr) {
    std::fprintf(stderr, "table_bench: %s: not a dataset of one table (%d)\n", path,
                 static_cast<int>(result));
    std::exit(1);
  }
  return table;
}

int Run(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 6 && mode == "--read-flat") {
    const std::int32_t rows = Count(argv[3]), inputs = Count(argv[4]), outputs = Count(argv[5]);
    const Timing timing;
    mbrk::Data* loaded = nullptr;
    mbrk::TFlatFiler::LoadData(argv[2], loaded, rows, inputs, outputs);
    const std::unique_ptr<mbrk::Data> table(loaded);
    Report(timing, table.get());
    return 0;
  }
  if (argc == 3 && mode == "--read-dataset") {
    const Timing timing;
    const std::unique_ptr<mbrk::Data> table = Load(argv[2]);
    Report(timing, table.get());
    return 0;
  }
  if (argc == 4 && mode == "--write-dataset") {
    const std::unique_ptr<mbrk::Data> table = Load(argv[2]);
    mbrk::FileTools tools;
    const Timing timing;
    const std::int32_t result = mbrk::SaveDatFile(tools, argv[3], table.get(), nullptr);
    if (result != mbrk::SUCCESS) {
      std::fprintf(stderr, "table_bench: writing %s failed (%d)\n", argv[3],
                   static_cast<int>(result));
      return 1;
    }
    Report(timing, table.get());
    return 0;
  }
  std::fprintf(stderr,
               "usage: table_bench --read-flat FILE ROWS INPUTS OUTPUTS\n"
               "       table_bench --read-dataset SRC\n"
               "       table_bench --write-dataset SRC DST\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Run(argc, argv);
  } catch (mbrk::FileTools::Error& e) {
    const std::unique_ptr<char[]> message(e.MbrStrMessage);
    std::fprintf(stderr, "table_bench: %s\n", message.get());
  } catch (const mbrk::TException& e) {
    std::fprintf(stderr, "table_bench: %s\n", e.MbrStrMessage);
  }
  return 1;
}
