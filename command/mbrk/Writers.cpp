#include "command/mbrk/Writers.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "command/mbrk/Common.h"
#include "command/mbrk/Files.h"

namespace mbrk::cli {

namespace {

constexpr std::size_t kBlock = 1 << 20;
// The progress counter is touched once every so many rows.
constexpr std::size_t kRowsPerCount = 4096;

std::string HeaderCell(const std::string& name, char separator) {
  if (separator != ',' || name.find_first_of(",\"\r\n") == std::string::npos) return name;
  std::string quoted = "\"";
  for (const char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

bool LittleEndian() {
  const std::uint16_t probe = 1;
  unsigned char first = 0;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

}  // namespace

Output::Output(int fd, std::string name)
    : fd_(fd), name_(std::move(name)), buffer_(new char[kBlock]), capacity_(kBlock) {}

Output::Output(std::ostream& stream)
    : name_("standard output"), stream_(&stream), buffer_(new char[kBlock]), capacity_(kBlock) {}

void Output::Append(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t piece = std::min(text.size() - at, kBlock / 2);
    char* to = Reserve(piece);
    std::memcpy(to, text.data() + at, piece);
    Commit(to + piece);
    at += piece;
  }
}

void Output::Flush() {
  if (used_ == 0) return;
  if (stream_ != nullptr) {
    if (!stream_->write(buffer_.get(), static_cast<std::streamsize>(used_))) {
      throw std::system_error(EIO, std::generic_category(), "cannot write " + name_);
    }
  } else {
    WriteAll(fd_, buffer_.get(), used_, name_);
  }
  if (counter_ != nullptr) *counter_ += used_;
  used_ = 0;
}

void WriteText(Output& output, const std::vector<Column>& columns, std::size_t rows, char separator,
               std::atomic<std::int64_t>& rows_done) {
  std::string header;
  for (const Column& column : columns) {
    if (!header.empty()) header += separator;
    header += HeaderCell(column.name, separator);
  }
  output.Append(header + "\n");
  // A value takes at most 24 characters, with its separator 25.
  const std::size_t line_room = columns.size() * 32 + 2;
  for (std::size_t r = 0; r < rows; ++r) {
    char* at = output.Reserve(line_room);
    for (std::size_t c = 0; c < columns.size(); ++c) {
      if (c != 0) *at++ = separator;
      double value = 0;
      if (columns[c].ValueAt(r, value)) at = WriteExact(value, at);
    }
    *at++ = '\n';
    output.Commit(at);
    if ((r + 1) % kRowsPerCount == 0) rows_done += kRowsPerCount;
  }
  rows_done += static_cast<std::int64_t>(rows % kRowsPerCount);
  output.Flush();
}

void WriteNpy(Output& output, const std::vector<Column>& columns, std::size_t rows,
              std::atomic<std::int64_t>& rows_done) {
  std::string dict = std::string("{'descr': '") + (LittleEndian() ? "<" : ">") +
                     "f8', 'fortran_order': False, 'shape': (" + std::to_string(rows) + ", " +
                     std::to_string(columns.size()) + "), }";
  // Magic, version, the header's length, the header padded with blanks to a
  // multiple of 64 bytes and ended by a line end: the data start aligned.
  const std::size_t unpadded = 6 + 2 + 2 + dict.size() + 1;
  dict.append((64 - unpadded % 64) % 64, ' ');
  dict += '\n';
  const auto length = static_cast<std::uint16_t>(dict.size());
  std::string header("\x93NUMPY\x01\x00", 8);
  header += static_cast<char>(length & 0xff);
  header += static_cast<char>(length >> 8);
  output.Append(header + dict);
  const std::size_t row_bytes = columns.size() * sizeof(double);
  for (std::size_t r = 0; r < rows; ++r) {
    char* at = output.Reserve(row_bytes);
    for (const Column& column : columns) {
      double value = std::numeric_limits<double>::quiet_NaN();
      column.ValueAt(r, value);
      std::memcpy(at, &value, sizeof value);
      at += sizeof value;
    }
    output.Commit(at);
    if ((r + 1) % kRowsPerCount == 0) rows_done += kRowsPerCount;
  }
  rows_done += static_cast<std::int64_t>(rows % kRowsPerCount);
  output.Flush();
}

}  // namespace mbrk::cli
