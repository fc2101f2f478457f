// The header probe: what a file is, told by its first block.
#include <cstdint>
#include <memory>

#include "FileHandler/Filer.h"
#include "FileHandler/internal/ElementTexts.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/Vocabulary.h"
#include "KQmessage/KQML.h"

namespace mbrk {

namespace {

// The answer for a dataset block whose start tag has just been read. The
// values go out as the header wrote them, before a reader would turn -1 into
// label lists: the caller learns what the file says, not what a load makes
// of it.
std::unique_ptr<TKQstructure> ProbeDataSetHeader(FileTools& tools, std::istream& in) {
  std::int32_t inputs, expected, generated, errors, rows;
  TElement after_header{};
  const std::int32_t result =
      ReadDatFileHeader(tools, in, inputs, expected, generated, errors, rows, after_header);
  // Whatever ended the header is handed to us; the probe looks no further.
  const ElementTexts discard(after_header);
  if (result != SUCCESS) return std::unique_ptr<TKQstructure>(MakeErrorReply("bad-header"));
  auto answer = std::make_unique<TKQstructure>("data");
  answer->SetIntegerParameter("rows", rows);
  answer->SetIntegerParameter("inputs", inputs);
  answer->SetIntegerParameter("actual-outputs", expected);
  answer->SetIntegerParameter("calc-outputs", generated);
  answer->SetIntegerParameter("errors", errors);
  return answer;
}

TKQstructure* ProbeFile(FileTools& tools, const char* filename) {
  // A folder opens like a file on some systems but reads as nothing; like a
  // missing file, it is a file that cannot be read.
  InputFile file;
  if (filename == nullptr || OpenInput(file, filename) != InputStatus::kOpen) {
    return MakeErrorReply("file-read-error");
  }
  std::istream& in = file.stream();

  const std::unique_ptr<char[]> name(
      tools.ExpectBlockStart(tools.ReadElement(nullptr, in, false), in, nullptr));
  if (strcasecmp(name.get(), vocabulary::kDataSetKey) == 0)
    return ProbeDataSetHeader(tools, in).release();
  if (strcasecmp(name.get(), vocabulary::kNetworkKey) == 0) return new TKQstructure("network");
  std::unique_ptr<TKQstructure> answer(MakeErrorReply("unknown-header"));
  answer->SetTextParameter("header", name.get());
  return answer.release();
}

}  // namespace

TKQstructure* ProbeFileHeader(FileTools& tools, const char* filename) {
  return WithOwnStream([&] { return ProbeFile(tools, filename); });
}

}  // namespace mbrk
