// Times the dataset reader on several threads and the parts of the scaling
// model, for bench/run_parallel_bench.sh:
//
//   parallel_bench read SRC THREADS [CHUNK PIECE]
//       ReadDataset of SRC: THREADS 0 is the ordinary reader alone (what
//       ReadOptions{1} reads with), THREADS >= 1 the chunked reader on that
//       many threads (1: the chunks parsed on the calling thread alone);
//       CHUNK and PIECE in bytes, the library's defaults when left out
//   parallel_bench pieces SRC [PIECE]
//       reading SRC into memory a piece at a time, as the chunked reader does,
//       and nothing else
//   parallel_bench touch SRC
//       making SRC's matrices (ProbeDataset's shape) and writing every value
//       once: the first touch of their pages
//
// Prints "seconds=S values=N digest=D" for the operation alone; D is a hash
// of every value's bytes (read) or of the bytes read (pieces).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

#include "Dataset/Dataset.h"
#include "Dataset/internal/ParallelRead.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::uint64_t Hash(std::uint64_t hash, const void* bytes, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ p[i]) * 1099511628211ULL;
  return hash;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: parallel_bench read|pieces|touch SRC [THREADS [CHUNK PIECE]]\n");
    return 2;
  }
  const std::string mode = argv[1];
  const char* source = argv[2];
  double seconds = 0;
  std::size_t values = 0;
  std::uint64_t digest = 14695981039346656037ULL;
  if (mode == "read" && argc > 3) {
    mbrk::ParallelRowOptions options;
    options.threads = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    if (argc > 5) {
      options.chunk_bytes = std::strtoull(argv[4], nullptr, 10);
      options.piece_bytes = std::strtoull(argv[5], nullptr, 10);
    }
    const auto start = Clock::now();
    const mbrk::Dataset dataset = mbrk::ReadDatasetWith(source, options);
    seconds = Since(start);
    for (const mbrk::Matrix* m :
         {&dataset.inputs, &dataset.expected, &dataset.generated, &dataset.errors}) {
      values += m->Size();
      if (m->Size() != 0) digest = Hash(digest, m->Data(), m->Size() * sizeof(double));
    }
  } else if (mode == "pieces") {
    const std::size_t piece =
        argc > 3 ? std::strtoull(argv[3], nullptr, 10) : mbrk::ParallelRowOptions().piece_bytes;
    const std::unique_ptr<char[]> buffer(new char[piece]);
    const auto start = Clock::now();
    std::ifstream in(source, std::ios::binary);
    std::uint64_t sum = 0;
    for (;;) {
      in.read(buffer.get(), static_cast<std::streamsize>(piece));
      const auto got = static_cast<std::size_t>(in.gcount());
      if (got == 0) break;
      sum += static_cast<unsigned char>(buffer[got - 1]);  // keeps the reads
      values += got;
    }
    seconds = Since(start);
    digest = sum;
  } else if (mode == "touch") {
    const mbrk::DatasetShape shape = mbrk::ProbeDataset(source);
    const auto rows = static_cast<std::size_t>(shape.rows);
    const auto start = Clock::now();
    mbrk::Matrix inputs(rows, static_cast<std::size_t>(shape.inputs));
    mbrk::Matrix expected(rows, static_cast<std::size_t>(shape.expected));
    for (mbrk::Matrix* m : {&inputs, &expected}) {
      for (std::size_t i = 0; i < m->Size(); ++i) m->Data()[i] = static_cast<double>(i);
      values += m->Size();
    }
    seconds = Since(start);
  } else {
    std::fprintf(stderr, "parallel_bench: unknown mode or missing THREADS\n");
    return 2;
  }
  std::printf("seconds=%.6f values=%zu digest=%016llx\n", seconds, values,
              static_cast<unsigned long long>(digest));
  return 0;
}
