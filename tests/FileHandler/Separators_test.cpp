// No separator byte can change what a file means: valid datasets (the
// samples and generated ones) and refused sources, with every run of
// separators replaced by other runs of separator bytes, must read exactly as
// before through the dataset reader, the windowed loader and the probe
// (fuzz/SeparatorRuns.h states the property and why it holds), and convert
// to the same bytes through the real command.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FileHandler/ParseTools.h"
#include "TestSupport.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/SeparatorRuns.h"

namespace mbrk {
namespace {

using fuzz::SplitMix;

// ---- Generated datasets --------------------------------------------------------

// A random valid dataset and the flat text the command must make of it.
struct Dataset {
  std::string text;
  bool converts = false;  // it has a first table
  std::string flat;
};

// Writes datasets that use what the format allows where it allows it: label
// lists in either table (empty ones, names alone and with values, repeated
// names), nested comments wherever a token may begin, format version
// elements wherever an element may, fields in any letter case and order the
// reader takes, Rows repeated, rows spread over lines or run together. The
// separators it writes are plain: the rewrites bring the others.
class DatasetMaker {
 public:
  explicit DatasetMaker(std::uint64_t seed) : random_(seed) {}

  Dataset Make() {
    out_.clear();
    const std::int32_t inputs = static_cast<std::int32_t>(random_.Below(4));
    const bool labels1 = random_.OneIn(3);
    const std::int32_t expected = labels1 ? 0 : static_cast<std::int32_t>(random_.Below(3));
    const bool labels2 = random_.OneIn(5);
    const std::int32_t generated = labels2 ? 0 : static_cast<std::int32_t>(random_.Below(3) / 2);
    const std::int32_t errors = static_cast<std::int32_t>(random_.Below(3) / 2);
    const std::int32_t rows = static_cast<std::int32_t>(random_.Below(7));

    Gap(false, true);
    Tag("[", Cased("DataSet"));
    WriteHeader(inputs, labels1 ? -1 : expected, labels2 ? -1 : generated, errors, rows);
    Gap(false, true);
    Tag("[", Cased("Data"));

    Dataset dataset;
    dataset.converts = inputs != 0 || expected != 0 || labels1;
    bool after_word = false;  // the last thing written was a word
    for (std::int32_t row = 0; row < rows; ++row) {
      for (std::int32_t k = 0; k < inputs + expected + generated + errors; ++k) {
        Gap(after_word, true);
        double value = 0;
        out_ += Value(&value);
        after_word = true;
        if (k < inputs + expected) dataset.flat += fuzz::FlatText(value) + " ";
      }
      if (dataset.converts) dataset.flat += "\n";
      for (const bool labels : {labels1, labels2}) {
        if (!labels) continue;
        Gap(false, false);
        LabelList();
        after_word = false;
      }
    }
    Gap(false, true);
    Tag("[~", Cased("Data"));
    Gap(false, true);
    Tag("[~", Cased("DataSet"));
    Gap(false, true);
    dataset.text = out_;
    return dataset;
  }

 private:
  // Separators between two parts: none at all only where `needed` is false.
  void Separators(bool needed) {
    static const char* const kRuns[] = {" ", "\n", "  ", "\t", ",", "\r\n", " \n   ", ", "};
    if (!needed && random_.OneIn(3)) return;
    out_ += kRuns[random_.Below(sizeof kRuns / sizeof kRuns[0])];
  }

  // Where a token begins: separators, now and then a comment and, where an
  // element may begin (`element`), a format version element.
  void Gap(bool needed, bool element) {
    Separators(needed);
    if (random_.OneIn(6)) {
      Comment(0);
      Separators(false);
    }
    if (element && random_.OneIn(10)) {
      FormatVersion();
      Separators(false);
    }
  }

  // A comment opens and closes with a separator beside its marks, so that
  // its text can never join them: "/*/" would be a whole comment before a
  // label list. Its closing "*/" is left out after a nested comment now and
  // then: a "/" right after the nested "*/" closes both.
  void Comment(int depth) {
    static const char* const kWords[] = {"note", "x=1", "[Data]", "[~DataSet]", "*", "/",
                                         "**",   "//",  "a*b",    "(c)",        "~", "]"};
    out_ += "/*";
    Separators(true);
    const std::uint32_t pieces = random_.Below(4);
    for (std::uint32_t i = 0; i < pieces; ++i) {
      if (depth < 2 && random_.OneIn(3)) {
        Comment(depth + 1);
        if (i + 1 == pieces && random_.OneIn(2)) {
          out_ += "/";
          return;
        }
      } else {
        out_ += kWords[random_.Below(sizeof kWords / sizeof kWords[0])];
      }
      Separators(true);
    }
    out_ += "*/";
  }

  void FormatVersion() {
    static const char* const kVersions[] = {"1.0", "1", "0.5", "-2", "1e0", ".9"};
    out_ += "[";
    Gap(false, false);
    out_ += Cased("FormatVersion");
    Separators(false);
    out_ += "=";
    Gap(false, false);
    out_ += kVersions[random_.Below(sizeof kVersions / sizeof kVersions[0])];
    Separators(false);
    out_ += "]";
  }

  // "[" or "[~", the name, "]". Between "[~" and the name and between the
  // name and "]" of an end tag tokens are read, so comments may stand there.
  void Tag(const char* open, const std::string& name) {
    out_ += open;
    Gap(false, false);
    out_ += name;
    if (open[1] == '~') {
      Gap(false, false);
    } else {
      Separators(false);
    }
    out_ += "]";
  }

  void Field(const std::string& name, const std::string& value) {
    Gap(false, true);
    out_ += "[";
    Gap(false, false);
    out_ += Cased(name);
    Separators(false);
    out_ += "=";
    Gap(false, false);
    out_ += value;
    Separators(false);
    out_ += "]";
  }

  // An output width may be Labels (or -1), and below -1 for no vector.
  std::string Width(std::int32_t width, bool output) {
    if (width == -1) return random_.OneIn(4) ? "-1" : Cased("Labels");
    if (output && width == 0 && random_.OneIn(4)) return "-3";
    return (random_.OneIn(5) ? "+" : "") + std::to_string(width);
  }

  // The vectors in the order the reader demands, each left out now and then
  // when it is empty; Rows anywhere among them, sometimes twice.
  void WriteHeader(std::int32_t inputs, std::int32_t expected, std::int32_t generated,
                   std::int32_t errors, std::int32_t rows) {
    std::vector<std::pair<std::string, std::string>> fields;
    const struct {
      const char* name;
      std::int32_t width;
      bool output;
    } kVectors[] = {{"Inputs", inputs, false},
                    {"ExpectedOutputs", expected, true},
                    {"GeneratedOutputs", generated, true},
                    {"Error", errors, false}};
    for (const auto& vector : kVectors) {
      if (vector.width != 0 || random_.OneIn(2)) {
        fields.emplace_back(vector.name, Width(vector.width, vector.output));
      }
    }
    const auto at = [&](std::size_t limit) {
      return fields.begin() +
             static_cast<std::ptrdiff_t>(random_.Below(static_cast<std::uint32_t>(limit) + 1));
    };
    const auto rows_at = at(fields.size());
    const std::size_t rows_index = static_cast<std::size_t>(rows_at - fields.begin());
    fields.insert(rows_at, {"Rows", std::to_string(rows)});
    if (random_.OneIn(4)) fields.insert(at(rows_index), {"Rows", std::to_string(rows + 5)});
    for (const auto& field : fields) Field(field.first, field.second);
  }

  void LabelList() {
    static const char* const kNames[] = {"a", "b", "cat", "dog", "x_1", "Label", "(v)", "q.1"};
    out_ += "[";
    const std::uint32_t items = random_.Below(4);
    for (std::uint32_t i = 0; i < items; ++i) {
      Gap(i > 0, false);
      out_ += kNames[random_.Below(sizeof kNames / sizeof kNames[0])];
      if (random_.OneIn(2)) {
        Separators(false);
        out_ += "=";
        Gap(false, false);
        double ignored = 0;
        out_ += Value(&ignored);
      }
    }
    Separators(false);
    out_ += "]";
  }

  std::string Value(double* value) {
    // clang-format off
    static const char* const kTexts[] = {"0",    "1",   "-1",    "2.5", "-0",     "+7",
                                         ".5",   "1e3", "-2.5E-3", "0.1", "1e-300", "inf",
                                         "-inf", "nan", "0x1p4",   "42",  "3.14159265358979"};
    // clang-format on
    std::string text;
    if (random_.OneIn(2)) {
      text = kTexts[random_.Below(sizeof kTexts / sizeof kTexts[0])];
    } else {
      text = std::to_string(static_cast<std::int32_t>(random_.Below(200000)) - 100000);
      if (random_.OneIn(2)) text += "." + std::to_string(random_.Below(1000));
    }
    *value = std::strtod(text.c_str(), nullptr);
    return text;
  }

  std::string Cased(std::string word) {
    const std::uint32_t how = random_.Below(4);
    for (char& c : word) {
      const bool upper = how == 1 || (how == 3 && random_.OneIn(2));
      const bool lower = how == 2 || (how == 3 && !upper);
      if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (lower && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return word;
  }

  SplitMix random_;
  std::string out_;
};

// ---- Rewriting and comparing -------------------------------------------------------

std::string Printable(const std::string& bytes) {
  std::string text;
  for (const char c : bytes.substr(0, 600)) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 32 && u < 127 && u != '\\') {
      text.push_back(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      text += escaped;
    }
  }
  return bytes.size() > 600 ? text + "..." : text;
}

std::string Source(const std::filesystem::path& path) { return test::ReadFile(path.string()); }

// The files of `folder` with the extension `extension`, in name order.
std::vector<std::filesystem::path> Files(const char* folder, const char* extension) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(MBRK_SOURCE_DIR) / folder)) {
    if (entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class SeparatorRuns : public ::testing::Test {
 protected:
  fuzz::Outcome Read(const std::string& bytes, const fuzz::Outcome* rows_from = nullptr) {
    file_.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return fuzz::DescribeFile(tools_, file_.name(), rows_from);
  }

  // Every run a single byte, the byte moving on through all separators from
  // one such rewrite to the next; or random runs.
  std::string Rewrite(const std::string& text, std::size_t variant, std::uint64_t seed) {
    if (variant % 2 == 0) {
      const char byte = fuzz::AllSeparators()[next_uniform_++ % fuzz::AllSeparators().size()];
      return Runs(text, [&](std::string& out) { out.push_back(byte); });
    }
    SplitMix random(seed * 1000003 + variant);
    return Runs(text, [&](std::string& out) { fuzz::AppendRandomRun(out, random); });
  }

  // One run, picked by `seed`, grown so that the token after it begins
  // `before` bytes ahead of `boundary`, where a reader's buffer may refill.
  std::string Stretch(const std::string& text, std::size_t boundary, std::size_t before,
                      std::uint64_t seed) {
    std::size_t runs = 0;
    fuzz::RewriteSeparatorRuns(text, [&](std::string& out) {
      out.push_back(' ');
      ++runs;
    });
    const std::size_t chosen = runs == 0 ? 0 : seed % runs;
    std::size_t run = 0;
    return Runs(text, [&](std::string& out) {
      const std::string& all = fuzz::AllSeparators();
      std::size_t k = 0;
      do {
        out.push_back(all[k++ % all.size()]);
      } while (run == chosen && out.size() + before < boundary);
      ++run;
    });
  }

  // RewriteSeparatorRuns, noting which bytes the runs were made of.
  template <typename MakeRun>
  std::string Runs(const std::string& text, MakeRun make) {
    return fuzz::RewriteSeparatorRuns(text, [&](std::string& out) {
      const std::size_t start = out.size();
      make(out);
      for (std::size_t k = start; k < out.size(); ++k) {
        used_[static_cast<unsigned char>(out[k])] = true;
      }
    });
  }

  // Reads the rewrites of a file whose outcome is `expected`; each must read
  // as the file did. Stops at the first difference, and after three.
  void ExpectReadAlike(const fuzz::Outcome& expected, const std::vector<std::string>& rewrites) {
    for (const std::string& rewritten : rewrites) {
      if (failures_ == 3) return;  // enough to go on
      const fuzz::Outcome outcome = Read(rewritten, &expected);
      ++compared_;
      const bool same = outcome.read.text == expected.read.text &&
                        outcome.windows == expected.windows && outcome.probe == expected.probe;
      if (!same) {
        ++failures_;
        ADD_FAILURE() << "read differently once rewritten as \"" << Printable(rewritten) << "\"";
        EXPECT_EQ(expected.read.text, outcome.read.text);
        EXPECT_EQ(expected.windows, outcome.windows);
        EXPECT_EQ(expected.probe, outcome.probe);
        return;
      }
    }
  }

  std::vector<std::string> Rewrites(const std::string& text, std::size_t count,
                                    std::uint64_t seed) {
    std::vector<std::string> rewrites;
    for (std::size_t v = 0; v < count; ++v) rewrites.push_back(Rewrite(text, v, seed));
    return rewrites;
  }

  FileTools tools_;
  fuzz::ScratchFile file_;  // in memory
  std::size_t compared_ = 0;
  std::size_t failures_ = 0;
  std::size_t next_uniform_ = 0;
  std::array<bool, 256> used_{};
};

// Four shards of 125 datasets, each rewritten 20 times: 10,000 files.
class GeneratedSeparatorRuns : public SeparatorRuns,
                               public ::testing::WithParamInterface<std::uint64_t> {};

TEST_P(GeneratedSeparatorRuns, DatasetsReadAlike) {
  DatasetMaker maker(17 + GetParam());
  std::size_t converted = 0, with_labels = 0;
  for (std::uint64_t n = 0; n < 125; ++n) {
    const Dataset dataset = maker.Make();
    SCOPED_TRACE("dataset " + std::to_string(n) + ": " + Printable(dataset.text));
    const fuzz::Outcome original = Read(dataset.text);
    // The property says nothing unless the files are read as meant.
    if (dataset.converts) {
      ASSERT_EQ(0u, original.read.text.rfind("status 0\n", 0)) << original.read.text;
      const std::size_t flat = original.read.text.find("flat:\n");
      EXPECT_EQ(dataset.flat, flat == std::string::npos ? "" : original.read.text.substr(flat + 6));
      ++converted;
    } else {
      ASSERT_EQ(0u, original.read.text.rfind("status 1: nothing to convert\n", 0))
          << original.read.text;
    }
    if (original.read.text.find(" labels,") != std::string::npos) ++with_labels;
    ASSERT_EQ(0u, original.probe.rfind("(data ", 0)) << original.probe;
    ExpectReadAlike(original, Rewrites(dataset.text, 20, GetParam() * 1000 + n));
  }
  EXPECT_GE(converted, 100u);
  EXPECT_GE(with_labels, 40u);
  EXPECT_EQ(2500u, compared_);
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(fuzz::IsSeparatorByte(static_cast<unsigned char>(c)), used_[c])
        << "byte " << c << (used_[c] ? " written as a separator" : " never used");
  }
}

INSTANTIATE_TEST_SUITE_P(Shards, GeneratedSeparatorRuns, ::testing::Range<std::uint64_t>(0, 4));

TEST_F(SeparatorRuns, SamplesReadAlikeAlsoAcrossBufferRefills) {
  std::size_t samples = 0;
  for (const std::filesystem::path& sample : Files("samples", ".mbrk")) {
    SCOPED_TRACE(sample.filename().string());
    const std::string text = Source(sample);
    const fuzz::Outcome original = Read(text);
    ASSERT_EQ(0u, original.read.text.rfind("status 0\n", 0)) << original.read.text;
    std::vector<std::string> rewrites = Rewrites(text, 100, samples);
    for (const std::size_t boundary : {std::size_t{4096}, std::size_t{8192}, std::size_t{262144}}) {
      for (std::size_t before = 0; before < 3; ++before) {
        rewrites.push_back(Stretch(text, boundary, before, samples * 7 + before * 3 + boundary));
      }
    }
    ExpectReadAlike(original, rewrites);
    ++samples;
  }
  EXPECT_GE(samples, 5u);
  EXPECT_EQ(samples * 109, compared_);
}

// gzip's magic number is two separator bytes, and a gzip header may go on
// in separators: files that begin so read as they did, and those that cannot
// be read at all are refused alike (as a damaged stream, which they look
// like).
TEST_F(SeparatorRuns, FilesBeginningWithAMagicNumberReadAlike) {
  std::vector<std::string> texts;
  for (const std::filesystem::path& sample : Files("samples", ".mbrk")) {
    texts.push_back(Source(sample));
  }
  DatasetMaker maker(99);
  for (int n = 0; n < 40; ++n) texts.push_back(maker.Make().text);
  SplitMix random(5);
  for (const std::string& text : texts) {
    const fuzz::Outcome original = Read(text);
    std::vector<std::string> rewrites;
    const std::string kMagic[] = {"\x1f\x8b", "\x1f\x8b\x08",
                                  std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10)};
    for (std::string prefix : kMagic) {
      fuzz::AppendRandomRun(prefix, random);
      rewrites.push_back(prefix + text);
    }
    ExpectReadAlike(original, rewrites);
  }
  EXPECT_EQ(texts.size() * 3, compared_);
}

// Refused sources, and the odd ones that convert: the same message, or the
// same tables and flat text.
TEST_F(SeparatorRuns, HostileSourcesReadAlike) {
  const std::vector<std::filesystem::path> sources = Files("tests/hostile", ".mbrk");
  ASSERT_GE(sources.size(), 80u);
  for (std::size_t i = 0; i < sources.size(); ++i) {
    SCOPED_TRACE(sources[i].filename().string());
    const std::string text = Source(sources[i]);
    ExpectReadAlike(Read(text), Rewrites(text, 10, i));
  }
  EXPECT_EQ(sources.size() * 10, compared_);
}

// Through the real command: the same status, messages and destination bytes.
TEST(SeparatorRunsCommand, SamplesConvertToTheSameBytes) {
  test::TempDir dir;
  std::uint64_t seed = 0;
  for (const std::filesystem::path& sample : Files("samples", ".mbrk")) {
    SCOPED_TRACE(sample.filename().string());
    const std::string text = Source(sample);
    const test::RunResult original =
        test::RunProgram(MBRKD2FLAT_PATH, {sample.string(), dir.File("original.flat")});
    ASSERT_EQ(0, original.exit_status) << original.err;
    SplitMix random(++seed);
    const std::string rewrites[] = {
        fuzz::RewriteSeparatorRuns(text, [](std::string& out) { out.push_back('\xff'); }),
        fuzz::RewriteSeparatorRuns(text,
                                   [&](std::string& out) { fuzz::AppendRandomRun(out, random); })};
    for (const std::string& rewritten : rewrites) {
      test::WriteFile(dir.File("rewritten.mbrk"), rewritten);
      const test::RunResult r = test::RunProgram(
          MBRKD2FLAT_PATH, {dir.File("rewritten.mbrk"), dir.File("rewritten.flat")});
      EXPECT_EQ(original.exit_status, r.exit_status) << Printable(rewritten);
      EXPECT_EQ(original.err, r.err);
      EXPECT_EQ(original.out, r.out);
      EXPECT_EQ(test::ReadFile(dir.File("original.flat")),
                test::ReadFile(dir.File("rewritten.flat")));
    }
  }
}

}  // namespace
}  // namespace mbrk
