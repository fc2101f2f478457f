// The table formats convert writes itself: CSV and TSV with a header row, and
// NumPy's .npy (one float64 array, format version 1.0).
#ifndef MBRK_COMMAND_MBRK_WRITERS_H
#define MBRK_COMMAND_MBRK_WRITERS_H

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "command/mbrk/Columns.h"

namespace mbrk::cli {

/// Output collected in large blocks and handed to a file descriptor or to a
/// stream; the bytes handed over are added to `counter` when there is one.
class Output {
 public:
  /// Writes to `fd` (not closed here); `name` for messages.
  Output(int fd, std::string name);
  explicit Output(std::ostream& stream);

  char* Reserve(std::size_t size) {
    if (capacity_ - used_ < size) Flush();
    return buffer_.get() + used_;
  }
  void Commit(char* end) { used_ = static_cast<std::size_t>(end - buffer_.get()); }
  void Append(const char* text, std::size_t size);
  void Append(const std::string& text) { Append(text.data(), text.size()); }
  /// Hands over everything held; throws std::system_error when it cannot.
  void Flush();
  /// Adds the bytes handed over from now on to `counter`.
  void CountInto(std::atomic<std::uint64_t>* counter) { counter_ = counter; }

 private:
  void Send(const char* bytes, std::size_t size);

  int fd_ = -1;
  std::string name_;
  std::ostream* stream_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t used_ = 0;
  std::atomic<std::uint64_t>* counter_ = nullptr;
};

/// Writes `columns` of `rows` rows as text: a header row of the column names,
/// then one line per row, cells separated by `separator` (',' or '\t'), each
/// value the shortest text that reads back to the same double ("inf",
/// "-inf", "nan" for those) and empty where a row's list lacks a label.
/// Names holding the separator, a quote or a line end are quoted (CSV).
/// The lines are formatted in blocks of rows on every core, written in
/// their order while the next blocks are formatted. Adds the rows written to
/// `rows_done`.
void WriteText(Output& output, const std::vector<Column>& columns, std::size_t rows, char separator,
               std::atomic<std::int64_t>& rows_done);

/// Writes `columns` of `rows` rows as one .npy array of float64, rows x
/// columns in C order; NaN where a row's list lacks a label.
void WriteNpy(Output& output, const std::vector<Column>& columns, std::size_t rows,
              std::atomic<std::int64_t>& rows_done);

}  // namespace mbrk::cli

#endif  // MBRK_COMMAND_MBRK_WRITERS_H
