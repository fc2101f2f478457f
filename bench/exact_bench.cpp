// Times the dataset writer with exact values (WriteDataset) beside the same
// writer with fifteen digits, the text SaveDatFile writes, on ROWS rows of 12
// random doubles (uniform in [-1000, 1000), full mantissas):
//
//   exact_bench [ROWS] [RUNS] [FOLDER]     (1,000,000, 5, /tmp)
//
// The two writers run in turn, RUNS times each; prints each one's best wall
// time and best processor time (user and system) and their ratios.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "FileHandler/internal/FormatText.h"

namespace {

double ProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// WriteDataset's road for a dataset of inputs and expected outputs, with
// the fifteen digits.
void WriteFifteen(const std::string& path, const mbrk::Dataset& dataset) {
  using namespace mbrk;
  const RowTextLayout layout{
      dataset.inputs.Width(), dataset.expected.Width(), 0, 0, true, false, false, false};
  files::BlockWriter out(path);
  out.Append(HeaderText({static_cast<std::int32_t>(dataset.Rows()),
                         static_cast<std::int32_t>(layout.inputs),
                         static_cast<std::int32_t>(layout.expected), 0, 0}));
  std::string line;
  for (std::size_t row = 0; row < dataset.Rows(); ++row) {
    line.clear();
    const RowValues values{dataset.inputs.Row(row), dataset.expected.Row(row), nullptr, nullptr};
    AppendRowText(line, layout, values, ValueText::kGeneral15, [](std::string&, bool) {});
    out.Append(line);
  }
  out.Append(TailText());
  out.Close();
}

struct Best {
  double wall = 1e300;
  double processor = 1e300;
};

template <typename Write>
void Time(Best& best, Write write) {
  const double processor = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  write();
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  best.wall = std::min(best.wall, wall);
  best.processor = std::min(best.processor, ProcessorSeconds() - processor);
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string folder = argc > 3 ? argv[3] : "/tmp";
  mbrk::Dataset dataset;
  dataset.inputs = mbrk::Matrix(rows, 8);
  dataset.expected = mbrk::Matrix(rows, 4);
  dataset.generated = mbrk::Matrix(rows, 0);
  dataset.errors = mbrk::Matrix(rows, 0);
  std::mt19937_64 random(12);
  std::uniform_real_distribution<double> uniform(-1000.0, 1000.0);
  for (mbrk::Matrix* matrix : {&dataset.inputs, &dataset.expected}) {
    for (std::size_t k = 0; k < matrix->Size(); ++k) matrix->Data()[k] = uniform(random);
  }
  const std::string fifteen = folder + "/exact_bench.15.mbrk";
  const std::string exact = folder + "/exact_bench.exact.mbrk";
  Best old_writer;
  Best new_writer;
  for (int run = 0; run < runs; ++run) {
    Time(old_writer, [&] { WriteFifteen(fifteen, dataset); });
    Time(new_writer, [&] { mbrk::WriteDataset(exact, dataset); });
  }
  std::printf("rows=%zu values=%zu runs=%d\n", rows, rows * 12, runs);
  std::printf("fifteen digits: wall %.3f s, processor %.3f s\n", old_writer.wall,
              old_writer.processor);
  std::printf("exact:          wall %.3f s, processor %.3f s\n", new_writer.wall,
              new_writer.processor);
  std::printf("ratio exact/fifteen: wall %.2f, processor %.2f\n", new_writer.wall / old_writer.wall,
              new_writer.processor / old_writer.processor);
  std::remove(fifteen.c_str());
  std::remove(exact.c_str());
  return 0;
}
