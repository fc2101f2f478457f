#include "command/mbrk/Writers.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <system_error>
#include <thread>

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

// Formats blocks of rows as lines of text.
class TextBlocks {
 public:
  TextBlocks(const std::vector<Column>& columns, char separator)
      : columns_(columns),
        separator_(separator),
        // A value takes at most 24 characters, with its separator 25.
        line_room_(columns.size() * 32 + 2),
        // Blocks of about 4 MiB of text at most, however wide the rows.
        block_rows_(std::clamp<std::size_t>((std::size_t{4} << 20) / line_room_, 1, 16384)) {}

  std::size_t BlockRows() const { return block_rows_; }

  void Format(std::size_t begin, std::size_t end, std::string& text) const {
    text.resize((end - begin) * line_room_);
    char* at = text.data();
    for (std::size_t r = begin; r < end; ++r) {
      for (std::size_t c = 0; c < columns_.size(); ++c) {
        if (c != 0) *at++ = separator_;
        double value = 0;
        if (columns_[c].ValueAt(r, value)) at = WriteExact(value, at);
      }
      *at++ = '\n';
    }
    text.resize(static_cast<std::size_t>(at - text.data()));
  }

 private:
  const std::vector<Column>& columns_;
  char separator_;
  std::size_t line_room_;
  std::size_t block_rows_;
};

// One block of rows per core, formatted on threads of their own; the
// threads are always joined, also when the round fails.
struct Round {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::vector<std::string> texts;
  std::vector<std::thread> threads;
  std::vector<std::exception_ptr> failures;

  ~Round() { Join(); }

  void Start(const TextBlocks& blocks, std::size_t first, std::size_t rows) {
    const std::size_t cores = std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8);
    begin = first;
    end = std::min(rows, first + cores * blocks.BlockRows());
    const std::size_t count = (end - begin + blocks.BlockRows() - 1) / blocks.BlockRows();
    texts.resize(count);
    failures.assign(count, nullptr);
    for (std::size_t b = 0; b < count; ++b) {
      const std::size_t from = begin + b * blocks.BlockRows();
      const std::size_t to = std::min(end, from + blocks.BlockRows());
      threads.emplace_back([this, &blocks, b, from, to] {
        try {
          blocks.Format(from, to, texts[b]);
        } catch (...) {
          failures[b] = std::current_exception();
        }
      });
    }
  }

  void Join() {
    for (std::thread& thread : threads) thread.join();
    threads.clear();
  }

  void Finish(Output& output) {
    Join();
    for (std::size_t b = 0; b < texts.size(); ++b) {
      if (failures[b]) std::rethrow_exception(failures[b]);
      output.Append(texts[b]);
    }
  }
};

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

void Output::Append(const char* text, std::size_t size) {
  if (size >= capacity_ / 2) {
    // A large piece goes out as it is, after what is held.
    Flush();
    Send(text, size);
    return;
  }
  char* to = Reserve(size);
  std::memcpy(to, text, size);
  Commit(to + size);
}

void Output::Flush() {
  Send(buffer_.get(), used_);
  used_ = 0;
}

void Output::Send(const char* bytes, std::size_t size) {
  if (size == 0) return;
  if (stream_ != nullptr) {
    if (!stream_->write(bytes, static_cast<std::streamsize>(size))) {
      throw std::system_error(EIO, std::generic_category(), "cannot write " + name_);
    }
  } else {
    WriteAll(fd_, bytes, size, name_);
  }
  if (counter_ != nullptr) *counter_ += size;
}

void WriteText(Output& output, const std::vector<Column>& columns, std::size_t rows, char separator,
               std::atomic<std::int64_t>& rows_done) {
  std::string header;
  for (const Column& column : columns) {
    if (!header.empty()) header += separator;
    header += HeaderCell(column.name, separator);
  }
  output.Append(header + "\n");
  const TextBlocks blocks(columns, separator);
  Round rounds[2];
  std::size_t next = 0;
  rounds[0].Start(blocks, next, rows);
  for (int now = 0; rounds[now].begin < rounds[now].end; now = 1 - now) {
    // The next round is formatted while this one is written.
    rounds[1 - now].Start(blocks, rounds[now].end, rows);
    rounds[now].Finish(output);
    rows_done += static_cast<std::int64_t>(rounds[now].end - rounds[now].begin);
  }
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
