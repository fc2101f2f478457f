// Windows of rows read in order on one open input: a compressed file or a
// stream, which have no byte offsets.
#include <algorithm>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "Base/internal/Text.h"
#include "Dataset/Dataset.h"
#include "Dataset/internal/Files.h"
#include "Dataset/internal/Reading.h"
#include "FileHandler/internal/DataBlock.h"
#include "FileHandler/internal/DecodedInput.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"
#include "FileHandler/internal/ReaderError.h"
#include "FileHandler/internal/RowReader.h"
#include "FileHandler/internal/Strict.h"

namespace mbrk {

namespace {

std::istream& Opened(InputFile& file, const std::string& path) {
  files::OpenForReading(file, path);
  return file.stream();
}

}  // namespace

struct WindowStream::State {
  State(const std::string& name, bool read_strictly)
      : raw(Opened(file, name)), path(name), strict(read_strictly), decoded(raw) {}
  State(std::istream& in, bool read_strictly) : raw(in), strict(read_strictly), decoded(in) {}

  InputFile file;  // for a path
  std::istream& raw;
  std::string path;
  bool strict;
  std::streamoff start = Tell(raw);
  DecodedInput decoded;
  std::unique_ptr<DatasetInput> input;
  std::optional<StrictReading> marked;  // of `input`'s stream: gone before it
  FileTools tools;
  std::optional<DataBlock> block;  // once the header is read
  DatasetShape shape;
  std::int32_t left = 0;
  bool failed = false;
  bool ended = false;  // the end of the file has been read

  // The header, read as the other readers read it (a stream that does not
  // decode is read as it is).
  void ReadHeader() {
    try {
      ReadDecoded(
          decoded,
          [this](std::istream& in) {
            input = std::make_unique<DatasetInput>(in);
            marked.emplace(input->stream(), strict);
            block.emplace(ReadToDataBlock(tools, input->stream()));
            return 0;
          },
          [this] {
            marked.reset();
            input.reset();
          });
    } catch (FileTools::Error& error) {
      ThrowReadingError(error, decoded, raw, start, path, strict);
    }
    shape = HeaderShape(*block);
    left = block->rows;
  }

  Dataset Read(std::int32_t count) {
    std::istream& in = input->stream();
    const RowLayout& layout = block->layout;
    RefuseHostileSize(in, count, layout);
    Dataset rows = ShapedDataset(layout, count);
    rows.format_version = block->format_version;
    DatasetRows destination(rows);
    RowReader reader(tools, in, *block, destination);
    if (layout.HasNumbers() || !(layout.labels1 || layout.labels2)) {
      reader.ReadRows(0, count);
    } else {
      for (std::int32_t i = 0; i < count; ++i) {
        if (EndTagAhead(tools, in, block->data_name.get())) Fail(in, "Unexpected End Tag");
        reader.ReadRows(i, 1);
      }
    }
    left -= count;
    if (left == 0 && !ended) {
      ReadDataBlockEnd(tools, in, *block);
      ended = true;
    }
    const DecodeFault fault = decoded.Fault(false);
    if (fault != DecodeFault::kNone) FailDamaged(in, decoded.codec(), fault);
    return rows;
  }
};

WindowStream::WindowStream(const std::string& path, const ReadOptions& options)
    : state_(std::make_unique<State>(path, options.strict)) {
  state_->ReadHeader();
}

WindowStream::WindowStream(std::istream& in, const ReadOptions& options)
    : state_(std::make_unique<State>(in, options.strict)) {
  state_->ReadHeader();
}

WindowStream::~WindowStream() = default;

const DatasetShape& WindowStream::Shape() const noexcept { return state_->shape; }

std::int32_t WindowStream::RowsLeft() const noexcept { return state_->left; }

Dataset WindowStream::Next(std::int32_t count) {
  if (count < 0) throw std::invalid_argument("WindowStream: negative row count");
  State& state = *state_;
  if (state.failed) throw std::logic_error("WindowStream: reading has failed before");
  try {
    return state.Read(std::min(count, state.left));
  } catch (FileTools::Error& error) {
    state.failed = true;
    // Text a damaged stream made up is not what the file says.
    const DecodedInput& decoded = state.decoded;
    if (decoded.codec() != Codec::kPlain && state.decoded.Fault(true) != DecodeFault::kNone) {
      const std::string damaged = DamagedStreamMessage(decoded.codec(), state.decoded.Fault(false));
      delete[] error.MbrStrMessage;
      error.MbrStrMessage = NewText(damaged.data(), damaged.size());
    }
    ThrowReadingError(error, state.decoded, state.raw, state.start, state.path, state.strict);
  } catch (...) {
    state.failed = true;
    throw;
  }
}

}  // namespace mbrk
