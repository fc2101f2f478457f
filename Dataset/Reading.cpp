// Where a reader of the value-type interface stopped, found by reading the
// input once more (the reader itself keeps no count of lines), and the shape
// a header gives.
#include "Dataset/internal/Reading.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "Base/internal/DecodingBuffer.h"
#include "FileHandler/internal/InputFile.h"
#include "FileHandler/internal/Lexer.h"

namespace mbrk {

namespace {

// The piece in which a file is read once more to find where an error stands.
constexpr std::size_t kLocateChunk = 256 * 1024;

// ---- Positions of errors -----------------------------------------------------------

struct Position {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::int64_t offset = -1;
};

// Reads `length` bytes of `sb` from where it stands and finds the point just
// past the last byte among them that is not a separator. Only ever run once
// reading has failed: the reader itself keeps no count of lines. Read
// `strict`ly, a byte above 127 counts as a token's byte.
Position Locate(std::streambuf& sb, std::int64_t length, bool strict) {
  Position mark{1, 1, 0};
  std::int64_t line = 1, column = 1, offset = 0;
  bool after_cr = false;
  // No larger than the bytes to read: a small file costs no large buffer.
  const auto chunk_size = static_cast<std::size_t>(
      std::clamp<std::int64_t>(length, 1, static_cast<std::int64_t>(kLocateChunk)));
  std::unique_ptr<char[]> chunk(new char[chunk_size]);
  while (offset < length) {
    const auto wanted = static_cast<std::streamsize>(
        std::min<std::int64_t>(length - offset, static_cast<std::int64_t>(chunk_size)));
    const std::streamsize got = sb.sgetn(chunk.get(), wanted);
    if (got <= 0) break;
    for (std::streamsize i = 0; i < got; ++i) {
      const auto c = static_cast<unsigned char>(chunk[static_cast<std::size_t>(i)]);
      if (c == '\n') {
        if (!after_cr) ++line;
        column = 1;
        after_cr = false;
      } else if (c == '\r') {
        ++line;
        column = 1;
        after_cr = true;
      } else {
        after_cr = false;
        ++column;
        if (!IsSeparator(c) || (strict && c > 127)) mark = Position{line, column, offset + i + 1};
      }
    }
    offset += got;
  }
  return mark;
}

// Where reading stopped in the text of the input, decoded as `codec`:
// `stop` bytes from its start, found by reading them again (`strict` as for
// Locate). The raw input begins at `start` of `raw`, or is the file `path`
// when one is given.
Position Where(Codec codec, std::istream& raw, std::streamoff start, const std::string& path,
               std::int64_t stop, bool strict) {
  if (stop < 0) return Position{};
  InputFile again;
  std::streambuf* sb = raw.rdbuf();
  if (!path.empty()) {
    if (OpenInput(again, path.c_str(), std::ios::binary) != InputStatus::kOpen) return Position{};
    sb = again.stream().rdbuf();
  } else if (start < 0 || std::streamoff(sb->pubseekpos(start, std::ios::in)) != start) {
    return Position{};
  }
  if (codec == Codec::kPlain) return Locate(*sb, stop, strict);
  DecodingBuffer decoded(codec, sb);
  return Locate(decoded, stop, strict);
}

}  // namespace

void ThrowFormatError(FileTools::Error& error, std::istream& in, std::streamoff start,
                      const std::string& path, bool strict, LocateIn where) {
  const std::unique_ptr<char[]> message(error.MbrStrMessage);
  const std::string text = message != nullptr ? message.get() : "";
  std::streambuf* const sb = in.rdbuf();
  const std::streamoff stop = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  Position at;
  if (start >= 0 && stop >= start) {
    if (!path.empty() && where == LocateIn::kPath) {
      InputFile again;
      if (OpenInput(again, path.c_str(), std::ios::binary) == InputStatus::kOpen) {
        at = Locate(*again.stream().rdbuf(), stop, strict);
      }
    } else if (std::streamoff(sb->pubseekpos(start, std::ios::in)) == start) {
      at = Locate(*sb, stop - start, strict);
      sb->pubseekpos(stop, std::ios::in);
    }
  }
  throw FormatError(text, path, at.line, at.column, at.offset);
}

[[noreturn]] void ThrowReadingError(FileTools::Error& error, const DecodedInput& input,
                                    std::istream& raw, std::streamoff start,
                                    const std::string& path, bool strict) {
  const std::unique_ptr<char[]> message(error.MbrStrMessage);
  const std::string text = message != nullptr ? message.get() : "";
  std::streambuf* const sb = raw.rdbuf();
  const std::streamoff here = sb->pubseekoff(0, std::ios::cur, std::ios::in);
  std::int64_t stop = -1;
  Codec codec = input.codec();
  if (codec != Codec::kPlain) {
    stop = static_cast<std::int64_t>(input.Consumed());
  } else if (input.damaged() != Codec::kPlain &&
             text.rfind(std::string("Damaged ") + CodecName(input.damaged()), 0) == 0) {
    codec = input.damaged();
    stop = static_cast<std::int64_t>(input.DamagedLength());
  } else if (start >= 0 && here >= start) {
    stop = here - start;
  }
  const Position at = Where(codec, raw, start, path, stop, strict);
  if (path.empty() && here >= 0) sb->pubseekpos(here, std::ios::in);
  throw FormatError(text, path, at.line, at.column, at.offset);
}

void ThrowInputError(FileTools::Error& error, const DecodedInput& input, std::istream& raw,
                     std::streamoff start, const std::string& path, bool strict, LocateIn where) {
  if (input.codec() == Codec::kPlain && input.damaged() == Codec::kPlain) {
    ThrowFormatError(error, raw, start, path, strict, where);
  }
  ThrowReadingError(error, input, raw, start, path, strict);
}

DatasetShape HeaderShape(const DataBlock& block) {
  const RowLayout& layout = block.layout;
  DatasetShape shape;
  shape.rows = block.rows;
  shape.inputs = layout.inputs;
  shape.expected = layout.expected;
  shape.generated = layout.generated;
  shape.errors = layout.errors;
  shape.expected_labels = layout.labels1;
  shape.generated_labels = layout.labels2;
  shape.format_version = block.format_version;
  return shape;
}

}  // namespace mbrk
