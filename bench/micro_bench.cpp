// micro_bench: the pieces of a conversion one at a time (Google Benchmark).
//
//   build/bench/bench/micro_bench [--benchmark_filter=REGEX]
//
// Token reading (the element reader's road against numbers read in place),
// number parsing (the toolkit's conversions against from_chars and strtod) and
// value formatting (the flat writer's texts against to_chars and printf), all
// on values shaped like the benchmark dataset's: 15 significant digits, counts,
// flags, tiny and huge magnitudes. Items per second are numbers per second.

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "Base/internal/NumberText.h"
#include "FileHandler/ParseTools.h"
#include "FileHandler/internal/Lexer.h"

namespace {

constexpr int kValues = 12000;  // a thousand rows of the benchmark's shape

// Values like the columns of bench/gen_dataset.cpp, from a fixed seed.
const std::vector<double>& Values() {
  static const std::vector<double> values = [] {
    std::vector<double> v;
    std::uint64_t state = 12345;
    auto next = [&state] {
      std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      return z ^ (z >> 31);
    };
    auto unit = [&next] { return static_cast<double>(next() >> 11) * 0x1.0p-53; };
    for (int i = 0; i < kValues; ++i) {
      switch (i % 12) {
        case 0: v.push_back(unit() * 2 - 1); break;
        case 1: v.push_back(static_cast<double>(next() % 100000)); break;
        case 2: v.push_back(std::round((unit() * 100 - 40) * 1000) / 1000); break;
        case 3: v.push_back(std::pow(10.0, unit() * 4 - 7)); break;
        case 4: v.push_back(std::round(std::pow(10.0, unit() * 6 + 3) * 1000) / 1000); break;
        case 5: v.push_back(unit()); break;
        case 6: v.push_back((unit() - 0.5) * 300); break;
        case 7: v.push_back(static_cast<double>(next() % 2)); break;
        case 8: v.push_back(std::pow(10.0, unit() * 10 + 10) * ((next() & 1) ? -1 : 1)); break;
        case 9: v.push_back(std::round((unit() * 2000 - 1000) * 10000) / 10000); break;
        case 10: v.push_back(unit()); break;
        default: v.push_back(static_cast<double>(next() % 3)); break;
      }
    }
    return v;
  }();
  return values;
}

// The values as the dataset writes them: "%.15g", blank-separated.
const std::vector<std::string>& Texts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> t;
    for (double value : Values()) {
      char text[64];
      std::snprintf(text, sizeof text, "%.15g", value);
      t.emplace_back(text);
    }
    return t;
  }();
  return texts;
}

const std::string& Block() {
  static const std::string block = [] {
    std::string b;
    for (const std::string& text : Texts()) b += text + " ";
    return b;
  }();
  return block;
}

// ---- Token reading -------------------------------------------------------------------

void BM_GetToken(benchmark::State& state) {
  mbrk::FileTools tools;
  std::istringstream in;
  for (auto _ : state) {
    in.str(Block());
    in.clear();
    for (int k = 0; k < kValues; ++k) {
      std::unique_ptr<char[]> token(tools.GetToken(in));
      benchmark::DoNotOptimize(token.get());
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_GetToken);

// The general road of a data block number: ReadElement, then ExpectNumber.
void BM_ReadElementExpectNumber(benchmark::State& state) {
  mbrk::FileTools tools;
  std::istringstream in;
  std::unique_ptr<char[]> block(mbrk::FileTools::DuplicateString("Data"));
  for (auto _ : state) {
    in.str(Block());
    in.clear();
    for (int k = 0; k < kValues; ++k) {
      benchmark::DoNotOptimize(
          mbrk::FileTools::ExpectNumber(tools.ReadElement(block.get(), in, false), in));
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ReadElementExpectNumber);

// The same numbers read in place from the stream buffer.
void BM_ReadNumberWord(benchmark::State& state) {
  mbrk::FileTools tools;
  std::istringstream in;
  for (auto _ : state) {
    in.str(Block());
    in.clear();
    for (int k = 0; k < kValues; ++k) {
      double value = 0.0;
      if (!mbrk::ReadNumberWord(in, &value)) state.SkipWithError("left the fast road");
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ReadNumberWord);

// ---- Number parsing ------------------------------------------------------------------

void BM_TokenToNumber(benchmark::State& state) {
  std::istringstream in;
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      benchmark::DoNotOptimize(mbrk::FileTools::TokenToNumber(in, text.c_str()));
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_TokenToNumber);

void BM_ConvertNumber(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      double value;
      benchmark::DoNotOptimize(mbrk::ConvertNumber(text.data(), text.size(), &value));
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ConvertNumber);

void BM_FromChars(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      double value;
      benchmark::DoNotOptimize(std::from_chars(text.data(), text.data() + text.size(), value));
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_FromChars);

void BM_Strtod(benchmark::State& state) {
  for (auto _ : state) {
    for (const std::string& text : Texts()) {
      benchmark::DoNotOptimize(std::strtod(text.c_str(), nullptr));
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_Strtod);

// ---- Value formatting ------------------------------------------------------------------

void BM_FormatValue(benchmark::State& state) {
  char text[mbrk::kMaxValueText];
  for (auto _ : state) {
    for (double value : Values()) {
      benchmark::DoNotOptimize(mbrk::FormatValue(value, text));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_FormatValue);

void BM_ToCharsGeneral9(benchmark::State& state) {
  char text[32];
  for (auto _ : state) {
    for (double value : Values()) {
      benchmark::DoNotOptimize(
          std::to_chars(text, text + sizeof text, value, std::chars_format::general, 9));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_ToCharsGeneral9);

void BM_Snprintf9g(benchmark::State& state) {
  char text[32];
  for (auto _ : state) {
    for (double value : Values()) {
      benchmark::DoNotOptimize(std::snprintf(text, sizeof text, "%.9g", value));
      benchmark::ClobberMemory();
    }
  }
  state.SetItemsProcessed(state.iterations() * kValues);
}
BENCHMARK(BM_Snprintf9g);

}  // namespace

BENCHMARK_MAIN();
