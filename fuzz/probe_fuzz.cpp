// The header probe over arbitrary files.
//
// Every file gets an answer or a documented FileTools::Error, and nothing
// else stays allocated. The answer is one of the documented forms: the atom
// network, (data ...) with the five header values, or (error :type T) with T
// bad-header, unknown-header (naming the block) or file-read-error. A file
// the dataset reader reads whole is always answered with (data ...), its
// values those of the tables.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"
#include "fuzz/FuzzSupport.h"

namespace {

using mbrk::TKQstructure;

bool IsAtom(const TKQstructure* value) {
  return value != nullptr && value->MbrLngParameters == 0 && value->MbrStrWord[0] != '\0';
}

std::string WordOf(const TKQstructure& answer, const char* keyword) {
  const TKQstructure* value = answer.FindParameter(keyword);
  MBRK_FUZZ_CHECK(IsAtom(value));
  return value->MbrStrWord;
}

void CheckForm(const TKQstructure& answer) {
  const std::string word = answer.MbrStrWord;
  if (word == "network") {
    MBRK_FUZZ_CHECK(answer.MbrLngParameters == 0);
  } else if (word == "data") {
    MBRK_FUZZ_CHECK(answer.MbrLngParameters == 5);
    for (const char* keyword : {"rows", "inputs", "actual-outputs", "calc-outputs", "errors"}) {
      const std::string value = WordOf(answer, keyword);
      char* end = nullptr;
      const long number = std::strtol(value.c_str(), &end, 10);
      // The values as written: an output width below -1 (no vector, no
      // labels) is answered as it stands.
      MBRK_FUZZ_CHECK(*end == '\0' && end != value.c_str());
      static_cast<void>(number);
    }
  } else {
    MBRK_FUZZ_CHECK(word == "error");
    const std::string type = WordOf(answer, "type");
    if (type == "unknown-header") {
      MBRK_FUZZ_CHECK(answer.MbrLngParameters == 2);
      MBRK_FUZZ_CHECK(!WordOf(answer, "header").empty());
    } else {
      MBRK_FUZZ_CHECK(type == "bad-header" || type == "file-read-error");
      MBRK_FUZZ_CHECK(answer.MbrLngParameters == 1);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static mbrk::fuzz::ScratchFile file;
  file.Write(data, size);
  mbrk::FileTools tools;

  std::unique_ptr<TKQstructure> answer;
  try {
    answer.reset(mbrk::ProbeFileHeader(tools, file.name()));
  } catch (mbrk::FileTools::Error& error) {
    const std::unique_ptr<char[]> message(error.MbrStrMessage);
    MBRK_FUZZ_CHECK(mbrk::fuzz::IsReaderMessage(message.get()));
    MBRK_FUZZ_CHECK(error.MbrPtrStream == nullptr);  // the probe's stream is gone
  }
  if (answer) CheckForm(*answer);

  mbrk::Data* first = nullptr;
  mbrk::Data* second = nullptr;
  bool whole = false;
  try {
    whole = mbrk::ReadDatFile(tools, file.name(), first, second) == mbrk::SUCCESS;
  } catch (mbrk::FileTools::Error& error) {
    delete[] error.MbrStrMessage;
  }
  const std::unique_ptr<mbrk::Data> table1(first), table2(second);
  if (!whole) return 0;
  MBRK_FUZZ_CHECK(answer != nullptr && std::strcmp(answer->MbrStrWord, "data") == 0);
  const std::int32_t rows = std::stoi(WordOf(*answer, "rows"));
  MBRK_FUZZ_CHECK(rows >= 0);
  if (table1) {
    MBRK_FUZZ_CHECK(table1->MbrNdxRows == rows);
    MBRK_FUZZ_CHECK(std::stoi(WordOf(*answer, "inputs")) == table1->MbrLngInputs);
    const std::int32_t expected = std::stoi(WordOf(*answer, "actual-outputs"));
    MBRK_FUZZ_CHECK(table1->MbrBlnLabels ? expected == -1
                                         : expected == table1->MbrLngOutputs ||
                                               (expected < -1 && table1->MbrLngOutputs == 0));
  }
  if (table2) {
    MBRK_FUZZ_CHECK(table2->MbrNdxRows == rows);
    MBRK_FUZZ_CHECK(std::stoi(WordOf(*answer, "errors")) == table2->MbrLngOutputs);
    const std::int32_t generated = std::stoi(WordOf(*answer, "calc-outputs"));
    MBRK_FUZZ_CHECK(table2->MbrBlnLabels ? generated == -1
                                         : generated == table2->MbrLngInputs ||
                                               (generated < -1 && table2->MbrLngInputs == 0));
  }
  return 0;
}
