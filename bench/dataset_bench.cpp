// Times one operation of the toolkit on a file, for bench/python_bench.py,
// which sets these side by side with the Python package's:
//
//   dataset_bench load SRC          LoadDatFile (the table reader)
//   dataset_bench read SRC          ReadDataset (the value-type reader)
//   dataset_bench save SRC DST      TFlatFiler::SaveData of the loaded table
//   dataset_bench write SRC DST     WriteFlat of the read dataset
//
// Prints "seconds=S" for the operation alone (the file is loaded first where
// the operation writes) and "values=N", the values it held.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "DataObject/Data.h"
#include "Dataset/Dataset.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::unique_ptr<mbrk::Data> Load(const char* path) {
  mbrk::FileTools tools;
  mbrk::Data* table = nullptr;
  mbrk::LoadDatFile(tools, path, table);
  return std::unique_ptr<mbrk::Data>(table);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: dataset_bench load|read|save|write SRC [DST]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const char* source = argv[2];
  const char* destination = argc > 3 ? argv[3] : nullptr;
  double seconds = 0;
  double values = 0;
  if (mode == "load") {
    const auto start = Clock::now();
    const auto table = Load(source);
    seconds = Since(start);
    values =
        static_cast<double>(table->MbrNdxDataRows) * (table->MbrLngInputs + table->MbrLngOutputs);
  } else if (mode == "read") {
    const auto start = Clock::now();
    const mbrk::Dataset dataset = mbrk::ReadDataset(source);
    seconds = Since(start);
    values = static_cast<double>(dataset.inputs.Size() + dataset.expected.Size());
  } else if (mode == "save" && destination != nullptr) {
    const auto table = Load(source);
    const auto start = Clock::now();
    mbrk::TFlatFiler::SaveData(destination, table.get());
    seconds = Since(start);
    values =
        static_cast<double>(table->MbrNdxDataRows) * (table->MbrLngInputs + table->MbrLngOutputs);
  } else if (mode == "write" && destination != nullptr) {
    const mbrk::Dataset dataset = mbrk::ReadDataset(source);
    const auto start = Clock::now();
    mbrk::WriteFlat(destination, dataset);
    seconds = Since(start);
    values = static_cast<double>(dataset.inputs.Size() + dataset.expected.Size());
  } else {
    std::fprintf(stderr, "dataset_bench: unknown mode or missing DST\n");
    return 2;
  }
  std::printf("seconds=%.6f values=%.0f\n", seconds, values);
  return 0;
}
