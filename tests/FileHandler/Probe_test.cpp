#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FileHandler/Filer.h"
#include "KQmessage/KQML.h"
#include "TestSupport.h"

namespace mbrk {
namespace {

// What probing `path` gives: the answer's printed form, or "throws: " and
// the message of the FileTools::Error (released here).
std::string Probe(FileTools& tools, const std::string& path) {
  std::unique_ptr<TKQstructure> answer;
  const std::string error =
      test::ReaderErrorOf([&] { answer.reset(ProbeFileHeader(tools, path.c_str())); }, nullptr);
  if (!error.empty()) return "throws: " + error;
  return answer ? test::Printed(*answer) : "<null answer>";
}

struct ProbeCase {
  const char* scenario;
  const char* text;
  const char* answer;
};

const ProbeCase kCases[] = {
    {"dataset as the writer lays it out",
     "[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = 3]\n[Inputs = 2]\n[ExpectedOutputs = 1]\n"
     "[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n0.5 1  2 \n3 4  5 \n6 7  8 \n[~Data]\n\n"
     "[~DataSet]\n",
     "(data :rows 3 :inputs 2 :actual-outputs 1 :calc-outputs 0 :errors 0)"},
    {"label lists in place of both output vectors",
     "[DataSet][Rows = 2][Inputs = 1][ExpectedOutputs = Labels][GeneratedOutputs = labels]"
     "[Error = 4][Data]",
     "(data :rows 2 :inputs 1 :actual-outputs -1 :calc-outputs -1 :errors 4)"},
    // The values go out as written, without the clearing a load applies.
    {"negative output width as written", "[DataSet][Rows = 1][ExpectedOutputs = -3][Data]",
     "(data :rows 1 :inputs 0 :actual-outputs -3 :calc-outputs 0 :errors 0)"},
    {"header without Rows", "[DataSet][Inputs = 2][ExpectedOutputs = 1][Data]",
     "(data :rows -1 :inputs 2 :actual-outputs 1 :calc-outputs 0 :errors 0)"},
    {"last of repeated Rows counts, Rows after Error",
     "[DataSet][Rows = 9][Inputs = 1][Error = 2][Rows = 4][Data]",
     "(data :rows 4 :inputs 1 :actual-outputs 0 :calc-outputs 0 :errors 2)"},
    {"lower-case block and field names", "/* lead */ [dataset] [rows = 5] [inputs = 7]",
     "(data :rows 5 :inputs 7 :actual-outputs 0 :calc-outputs 0 :errors 0)"},
    // Only the header is read: what follows it is never looked at.
    {"rest of the file not read", "[DataSet][Rows = 1][Data] x ]]] [~Nothing",
     "(data :rows 1 :inputs 0 :actual-outputs 0 :calc-outputs 0 :errors 0)"},
    {"header cut short by the end of the file", "[DataSet][Rows = 1]",
     "(data :rows 1 :inputs 0 :actual-outputs 0 :calc-outputs 0 :errors 0)"},
    {"network file", "[Network] whatever follows", "network"},
    {"network file in upper case", "[FormatVersion = 1.0][NETWORK]", "network"},
    {"unknown first block", "[Model][Rows = 3]", "(error :type unknown-header :header Model)"},
    {"unknown first block left open", "[Model x", "(error :type unknown-header :header Model)"},
    {"repeated header field", "[DataSet][Rows = 3][Inputs = 2][Inputs = 3][Data]",
     "(error :type bad-header)"},
    {"out-of-order header field", "[DataSet][ExpectedOutputs = 1][Inputs = 2]",
     "(error :type bad-header)"},
    {"unknown header field", "[DataSet][Colour = 3][Data]", "(error :type bad-header)"},
    {"header field not closed", "[DataSet][Rows = 3 [Inputs = 2]]", "(error :type bad-header)"},
    {"empty file", "", "throws: start of block expected"},
    {"only a comment", "/* nothing */\n", "throws: start of block expected"},
    {"word before the first block", "hello [DataSet]", "throws: start of block expected"},
    {"field before the first block", "[Rows = 3][DataSet]", "throws: start of block expected"},
    {"Labels for inputs", "[DataSet][Inputs = Labels]", "throws: No labels in inputs"},
    {"negative Rows", "[DataSet][Rows = -1]", "throws: No labels in inputs"},
    {"Labels for errors", "[DataSet][Error = labels]", "throws: No labels in inputs"},
    {"width that is no integer", "[DataSet][Rows = many]", "throws: integer-expected"},
    // The value is converted before the field's name is looked at.
    {"unknown field with a non-integer value", "[DataSet][Colour = red]",
     "throws: integer-expected"},
    {"format version too high", "[FormatVersion = 2.0][DataSet]", "throws: Illegal Format Version"},
};

TEST(ProbeFileHeader, AnswersEachKindOfFileAsItsFirstBlockSays) {
  test::TempDir dir;
  const std::string path = dir.File("probe.mbrk");
  FileTools tools;
  for (const ProbeCase& c : kCases) {
    SCOPED_TRACE(c.scenario);
    test::WriteFile(path, c.text);
    EXPECT_EQ(c.answer, Probe(tools, path));
  }
}

TEST(ProbeFileHeader, AnswersFileReadErrorForWhatCannotBeRead) {
  test::TempDir dir;
  FileTools tools;
  EXPECT_EQ("(error :type file-read-error)", Probe(tools, dir.File("missing.mbrk")));
  EXPECT_EQ("(error :type file-read-error)", Probe(tools, dir.path()));
  EXPECT_EQ("(error :type file-read-error)", Probe(tools, ""));
  const std::unique_ptr<TKQstructure> answer(ProbeFileHeader(tools, nullptr));
  ASSERT_TRUE(answer);
  EXPECT_STREQ("error", answer->MbrStrWord);
}

// A long block name comes back whole, spelled as in the file.
TEST(ProbeFileHeader, UnknownHeaderCarriesLongNamesWhole) {
  test::TempDir dir;
  const std::string path = dir.File("long.mbrk");
  const std::string name = "Mo" + std::string(5000, 'x') + "del";
  test::WriteFile(path, "[" + name + "]");
  FileTools tools;
  EXPECT_EQ("(error :type unknown-header :header " + name + ")", Probe(tools, path));
}

}  // namespace
}  // namespace mbrk
