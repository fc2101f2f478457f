// The property that no choice of separator bytes changes what a file of the
// bracketed format means, shared by its fuzz target and its unit test.
//
// Separators are the bytes below 33, the bytes from 127 up, and ",". Every
// maximal run of them may be replaced by any other non-empty run of them,
// anywhere in a file, comments included, without changing a single token:
//   - tokens hold no separators, and a run that stays non-empty keeps apart
//     whatever it kept apart: two words, "[" and "~", "/" and "*";
//   - wherever a reader skips one separator it skips any number of them;
//   - inside a comment only the pairs "/*" and "*/" count, and neither holds
//     a separator.
// So the readers must make the same of both files: the same tables and flat
// text or the same error, the same rows window by window (the offsets move
// with the bytes, so only rows are compared), the same probe answer.
//
// The one check that can tell the files apart is the refusal of a header
// that declares tables too large for the rest of the file to hold: it
// weighs the file's size, but only for tables of tens of megabytes, which
// no file of less than a few megabytes can fill. No file tried here comes
// near that.
#ifndef MBRK_FUZZ_SEPARATORRUNS_H
#define MBRK_FUZZ_SEPARATORRUNS_H

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "DataObject/LabelList.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "fuzz/FuzzSupport.h"

namespace mbrk::fuzz {

/// The separator class, written out here rather than taken from the reader.
constexpr bool IsSeparatorByte(unsigned char c) { return c < 33 || c > 126 || c == ','; }

/// Every separator byte, in increasing order: 163 of them.
inline const std::string& AllSeparators() {
  static const std::string all = [] {
    std::string bytes;
    for (int c = 0; c < 256; ++c) {
      if (IsSeparatorByte(static_cast<unsigned char>(c))) bytes.push_back(static_cast<char>(c));
    }
    return bytes;
  }();
  return all;
}

/// Separators a reader is most likely to mistake for something else: the end
/// of input (255 through a signed char, NUL for C strings, 26 for an old text
/// mode), line ends, the blanks C's isspace knows and the ones it does not.
constexpr unsigned char kTreacherous[] = {0x00, 0xFF, 0xFE, 0x7F, 0x80, 0x85, 0xA0, 0x1A,
                                          0x0B, 0x0C, '\r', '\n', '\t', ',',  ' ',  0x9F};

/// SplitMix64: the same sequence on every platform and compiler.
class SplitMix {
 public:
  explicit SplitMix(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  /// 0 .. n - 1, for n > 0.
  std::uint32_t Below(std::uint32_t n) {
    return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32);
  }
  bool OneIn(std::uint32_t n) { return Below(n) == 0; }

 private:
  std::uint64_t state_;
};

/// FNV-1a of `size` bytes: a seed that follows every byte of an input.
inline std::uint64_t HashBytes(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 0xCBF29CE484222325ULL;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3ULL;
  return hash;
}

/// Appends a random run of separators: mostly one to four bytes, now and
/// then up to forty; half of them from kTreacherous, half from all 163.
inline void AppendRandomRun(std::string& out, SplitMix& random) {
  const std::uint32_t length = random.OneIn(8) ? 1 + random.Below(40) : 1 + random.Below(4);
  const std::string& all = AllSeparators();
  for (std::uint32_t i = 0; i < length; ++i) {
    out.push_back(random.OneIn(2)
                      ? static_cast<char>(kTreacherous[random.Below(sizeof kTreacherous)])
                      : all[random.Below(static_cast<std::uint32_t>(all.size()))]);
  }
}

/// `text` with every maximal run of separator bytes replaced by what
/// `make(out)` appends to `out`, the text rewritten so far: at least one
/// byte, all of them separators.
template <typename MakeRun>
std::string RewriteSeparatorRuns(const std::string& text, MakeRun make) {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  std::size_t i = 0;
  while (i < text.size()) {
    if (!IsSeparatorByte(static_cast<unsigned char>(text[i]))) {
      out.push_back(text[i++]);
      continue;
    }
    while (i < text.size() && IsSeparatorByte(static_cast<unsigned char>(text[i]))) ++i;
    const std::size_t start = out.size();
    make(out);
    MBRK_FUZZ_CHECK(out.size() > start);
    for (std::size_t k = start; k < out.size(); ++k) {
      MBRK_FUZZ_CHECK(IsSeparatorByte(static_cast<unsigned char>(out[k])));
    }
  }
  return out;
}

// ---- What the readers make of a file, as text ---------------------------------
//
// Two files are read alike exactly when these texts are equal. Values are
// written as their bits, so -0 and NaNs count as themselves.

inline void DescribeValue(std::string& out, double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  char text[24];
  std::snprintf(text, sizeof text, " %016llx", static_cast<unsigned long long>(bits));
  out += text;
}

/// The shape of `table` and its rows as far as they are filled.
inline void DescribeTable(std::string& out, const char* which, const Data* table) {
  out += which;
  if (table == nullptr) {
    out += " none\n";
    return;
  }
  out += " " + std::to_string(table->MbrNdxRows) + " x " + std::to_string(table->MbrLngInputs) +
         " + " + std::to_string(table->MbrLngOutputs) + (table->MbrBlnLabels ? " labels" : "") +
         ", " + std::to_string(table->MbrNdxDataRows) + " filled\n";
  // A reader fills the ring from slot 0 and never past its capacity.
  for (std::int32_t slot = 0; slot < table->MbrNdxDataRows; ++slot) {
    for (std::int32_t k = 0; k < table->MbrLngInputs; ++k) {
      DescribeValue(out, table->MbrDyaRtpInputs[slot][k]);
    }
    out += " |";
    for (std::int32_t k = 0; k < table->MbrLngOutputs; ++k) {
      DescribeValue(out, table->MbrDyaRtpOutputs[slot][k]);
    }
    if (table->MbrBlnLabels) {
      const TLabelList& list = table->MbrDyaLabels[slot];
      out += " [";
      for (std::int32_t i = 0; i < list.MbrLngCount; ++i) {
        out += " ";
        out += list.MbrDyaItems[i].MbrStrName;
        DescribeValue(out, list.MbrDyaItems[i].MbrDblValue);
      }
      out += " ]";
    }
    out += "\n";
  }
}

/// What ReadDatFile made of a file, and what the command would do with it.
struct Reading {
  std::string text;
  bool whole = false;     // read to the end without an error
  std::int32_t rows = 0;  // the row count, when whole and with a table
  bool tables = false;    // whole, with at least one table
};

/// Reads `filename` as the command does and describes the outcome: the
/// error, or the tables and the flat text the command would write (exit
/// status 0), or that there is no first table to write (status 1).
inline Reading DescribeRead(FileTools& tools, const char* filename) {
  Reading reading;
  Data* first = nullptr;
  Data* second = nullptr;
  std::int32_t result = SUCCESS;
  try {
    result = ReadDatFile(tools, filename, first, second);
  } catch (FileTools::Error& error) {
    const std::unique_ptr<char[]> message(error.MbrStrMessage);
    reading.text = std::string("status 1: ") + message.get() + "\n";
  }
  const std::unique_ptr<Data> table1(first), table2(second);
  if (!reading.text.empty()) return reading;
  MBRK_FUZZ_CHECK(result == SUCCESS);
  reading.whole = true;
  reading.tables = table1 != nullptr || table2 != nullptr;
  if (reading.tables) reading.rows = (table1 ? table1 : table2)->MbrNdxRows;
  reading.text = table1 ? "status 0\n" : "status 1: nothing to convert\n";
  DescribeTable(reading.text, "first", table1.get());
  DescribeTable(reading.text, "second", table2.get());
  if (table1 && table1->MbrNdxRows > 0) {
    std::ostringstream flat;
    TFlatFiler::WriteData(flat, table1.get());
    reading.text += "flat:\n" + flat.str();
  }
  return reading;
}

/// Window counts that chain through `rows` rows: one row, two rows, then
/// all the rest, as far as there are rows; then one row past the last.
inline std::vector<std::int32_t> ChainOfWindows(std::int32_t rows) {
  std::vector<std::int32_t> counts;
  std::int32_t left = rows;
  for (const std::int32_t count : {1, 2}) {
    if (left <= count) break;
    counts.push_back(count);
    left -= count;
  }
  if (left > 0) counts.push_back(left);
  counts.push_back(1);
  return counts;
}

/// Reads windows of `counts` rows chained from offset 0, each from the
/// offset the one before returned, alternately through the 64- and 32-bit
/// offset forms, and describes each window's tables, up to the first error.
inline std::string DescribeWindows(FileTools& tools, const char* filename,
                                   const std::vector<std::int32_t>& counts) {
  std::string out;
  std::int64_t offset = 0;
  for (std::size_t i = 0; i < counts.size(); ++i) {
    out += "window " + std::to_string(counts[i]) + ": ";
    Data* first = nullptr;
    Data* second = nullptr;
    bool failed = false;
    try {
      std::int32_t result;
      if (i % 2 == 0) {
        result = ReadDatFileWindow(tools, filename, offset, counts[i], first, second);
      } else {
        std::int32_t narrow = static_cast<std::int32_t>(offset);
        result = ReadDatFileWindow(tools, filename, narrow, counts[i], first, second);
        offset = narrow;
      }
      MBRK_FUZZ_CHECK(result == SUCCESS);
      out += "read\n";
    } catch (FileTools::Error& error) {
      const std::unique_ptr<char[]> message(error.MbrStrMessage);
      out += std::string(message.get()) + "\n";
      failed = true;
    }
    const std::unique_ptr<Data> table1(first), table2(second);
    DescribeTable(out, "first", table1.get());
    DescribeTable(out, "second", table2.get());
    if (failed) break;
  }
  return out;
}

/// The probe's answer in its KQML form, or its error.
inline std::string DescribeProbe(FileTools& tools, const char* filename) {
  std::unique_ptr<TKQstructure> answer;
  try {
    answer.reset(ProbeFileHeader(tools, filename));
  } catch (FileTools::Error& error) {
    const std::unique_ptr<char[]> message(error.MbrStrMessage);
    return std::string("error: ") + message.get();
  }
  MBRK_FUZZ_CHECK(answer != nullptr);
  // The answers are one level deep: a word, or a word with atoms as values.
  std::string out = std::string("(") + answer->MbrStrWord;
  for (std::int32_t i = 0; i < answer->MbrLngParameters; ++i) {
    const TKQparameter& parameter = answer->MbrDyaParameters[i];
    MBRK_FUZZ_CHECK(parameter.MbrPtrValue->MbrLngParameters == 0);
    out += std::string(" :") + parameter.MbrStrKeyword + " " + parameter.MbrPtrValue->MbrStrWord;
  }
  return out + ")";
}

/// Everything the readers make of one file.
struct Outcome {
  Reading read;
  std::string windows;  // empty unless the file read whole with a table
  std::string probe;
};

/// Reads the file `filename` in every way; the windows chain through the
/// rows of `rows_from` (the outcome of the file this one is compared with),
/// or through the file's own rows when it is null.
inline Outcome DescribeFile(FileTools& tools, const char* filename,
                            const Outcome* rows_from = nullptr) {
  Outcome outcome;
  outcome.read = DescribeRead(tools, filename);
  const Reading& shape = rows_from != nullptr ? rows_from->read : outcome.read;
  if (shape.tables) {
    outcome.windows = DescribeWindows(tools, filename, ChainOfWindows(shape.rows));
  }
  outcome.probe = DescribeProbe(tools, filename);
  return outcome;
}

}  // namespace mbrk::fuzz

#endif  // MBRK_FUZZ_SEPARATORRUNS_H
