// Generated corruption of valid dataset files, read in-process: every
// sample cut at every byte offset, and with every byte replaced in turn by a
// few bytes that change its class. Each variant must end in a clean reader
// error with a documented message, or convert to a flat text that reads
// back to the table; a cut file converts only once its last end tag is whole,
// and then to exactly the full file's flat text.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "TestSupport.h"
#include "fuzz/FuzzSupport.h"

namespace mbrk {
namespace {

struct Outcome {
  bool converted = false;
  std::string text;  // the flat text, or the error message
};

class Corruption : public ::testing::Test {
 protected:
  Outcome Load(const std::string& bytes) {
    file_.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    Data* loaded = nullptr;
    Outcome outcome;
    outcome.text = test::ReaderErrorOf([&] { LoadDatFile(tools_, file_.name(), loaded); });
    const std::unique_ptr<Data> table(loaded);  // partly filled when the read failed
    if (!outcome.text.empty()) {
      EXPECT_TRUE(fuzz::IsReaderMessage(outcome.text.c_str())) << outcome.text;
      return outcome;
    }
    EXPECT_NE(nullptr, table);
    if (table == nullptr) return outcome;
    std::ostringstream flat;
    TFlatFiler::WriteData(flat, table.get());
    outcome.converted = true;
    outcome.text = flat.str();
    ExpectReadsBack(outcome.text, *table);
    return outcome;
  }

  // Every line holds the row's values as the flat format writes them.
  static void ExpectReadsBack(const std::string& flat, Data& table) {
    std::istringstream lines(flat);
    std::string line;
    std::vector<double> inputs(static_cast<std::size_t>(table.MbrLngInputs) + 1);
    std::vector<double> outputs(static_cast<std::size_t>(table.MbrLngOutputs) + 1);
    for (std::int32_t row = 0; row < table.MbrNdxDataRows; ++row) {
      ASSERT_TRUE(std::getline(lines, line));
      table.GetInputRow(row, inputs.data());
      table.GetOutputRow(row, outputs.data());
      std::string expected;
      for (std::int32_t k = 0; k < table.MbrLngInputs; ++k) {
        expected += fuzz::FlatText(inputs[k]) + " ";
      }
      for (std::int32_t k = 0; k < table.MbrLngOutputs; ++k) {
        expected += fuzz::FlatText(outputs[k]) + " ";
      }
      ASSERT_EQ(expected, line);
    }
    EXPECT_FALSE(std::getline(lines, line));
  }

  FileTools tools_;
  fuzz::ScratchFile file_;  // in memory: thousands of variants, no disk
};

const char* const kSamples[] = {"sensors.mbrk", "iris-labels.mbrk", "model-run.mbrk",
                                "compact-crlf.mbrk", "extremes.mbrk"};

std::string Sample(const char* name) {
  return test::ReadFile(std::string(MBRK_SOURCE_DIR) + "/samples/" + name);
}

std::size_t LinesThatDiffer(const std::string& a, const std::string& b) {
  std::istringstream la(a), lb(b);
  std::string x, y;
  std::size_t differ = 0;
  for (;;) {
    const bool more_a = static_cast<bool>(std::getline(la, x));
    const bool more_b = static_cast<bool>(std::getline(lb, y));
    if (!more_a && !more_b) return differ;
    if (more_a != more_b || x != y) ++differ;
  }
}

TEST_F(Corruption, EveryCutIsRefusedUntilTheLastEndTagIsWhole) {
  for (const char* name : kSamples) {
    SCOPED_TRACE(name);
    const std::string full = Sample(name);
    const Outcome whole = Load(full);
    ASSERT_TRUE(whole.converted) << whole.text;
    const std::size_t complete = full.rfind(']') + 1;
    for (std::size_t cut = 0; cut < full.size(); ++cut) {
      const Outcome outcome = Load(full.substr(0, cut));
      if (cut < complete) {
        ASSERT_FALSE(outcome.converted) << "cut at " << cut;
      } else {
        ASSERT_TRUE(outcome.converted) << "cut at " << cut << ": " << outcome.text;
        ASSERT_EQ(whole.text, outcome.text) << "cut at " << cut;
      }
    }
  }
}

// XOR 0xFF turns a word or special character into a separator (a byte above
// 126); the others put a terminator, a bracket, a slash or a digit anywhere.
TEST_F(Corruption, EveryReplacedByteIsRefusedOrChangesAtMostOneRow) {
  for (const char* name : kSamples) {
    SCOPED_TRACE(name);
    const std::string full = Sample(name);
    const Outcome whole = Load(full);
    ASSERT_TRUE(whole.converted);
    std::size_t refused = 0;
    for (std::size_t at = 0; at < full.size(); ++at) {
      const char original = full[at];
      for (const char replacement : {static_cast<char>(original ^ '\xff'), '\0', '[', '/', '9'}) {
        if (replacement == original) continue;
        std::string variant = full;
        variant[at] = replacement;
        const Outcome outcome = Load(variant);
        if (!outcome.converted) {
          ++refused;
          continue;
        }
        ASSERT_LE(LinesThatDiffer(whole.text, outcome.text), 1u)
            << "byte " << at << " set to " << int(static_cast<unsigned char>(replacement));
      }
    }
    EXPECT_GT(refused, 0u);
  }
}

}  // namespace
}  // namespace mbrk
