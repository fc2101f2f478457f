// Datasets as values: everything a dataset file holds, read and written in
// one call.
//
// A Dataset is four matrices of doubles (inputs, expected outputs, generated
// outputs and errors; rows x width, contiguous and row-major), the label
// lists of the rows where the file has them, and the format version the file
// declares. It owns all of it, copies deeply and moves cheaply.
//
// Failures are exceptions:
//   FormatError        the input breaks the dataset format; carries the
//                      toolkit's message (the same text FileTools::Error
//                      carries) and where reading stopped;
//   std::system_error  a file cannot be opened, read or written; the code is
//                      the operating system's (std::generic_category());
//   std::bad_alloc     not enough memory;
//   std::invalid_argument  a dataset or an argument that cannot be written
//                      or read as asked (mismatched rows, negative counts).
// Nothing is left allocated or open when one leaves.
#ifndef MBRK_DATASET_DATASET_H
#define MBRK_DATASET_DATASET_H

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

namespace mbrk {

/// Releases a block of values taken from a Matrix or a FloatMatrix
/// (std::free). The library's own deleter for C memory is internal; this is
/// the one users see.
struct FreeValues {
  void operator()(double* values) const noexcept { std::free(values); }
  void operator()(float* values) const noexcept { std::free(values); }
};
/// A matrix's values handed over: Size() doubles from the C allocator.
using ValueBlock = std::unique_ptr<double[], FreeValues>;

/// Rows x width doubles, row-major and contiguous. A matrix of width 0 still
/// has its row count. Every value is 0.0 until set. The values live in one
/// block from the C allocator, zeroed by it (a large one arrives as cleared
/// pages, with no pass of its own), which TakeValues hands over.
class Matrix {
 public:
  Matrix() noexcept = default;
  /// A matrix of zeros. Throws std::bad_alloc when it cannot be had.
  Matrix(std::size_t rows, std::size_t width);
  /// A copy of `values`, which must hold rows * width values (else throws
  /// std::invalid_argument).
  Matrix(std::size_t rows, std::size_t width, const std::vector<double>& values);
  Matrix(const Matrix& other);
  Matrix& operator=(const Matrix& other);
  Matrix(Matrix&& other) noexcept;
  Matrix& operator=(Matrix&& other) noexcept;
  ~Matrix() = default;

  std::size_t Rows() const noexcept { return rows_; }
  std::size_t Width() const noexcept { return width_; }
  /// Rows() * Width().
  std::size_t Size() const noexcept { return rows_ * width_; }

  /// Null when the matrix holds no values.
  double* Data() noexcept { return values_.get(); }
  const double* Data() const noexcept { return values_.get(); }
  double* Row(std::size_t row) noexcept { return values_.get() + row * width_; }
  const double* Row(std::size_t row) const noexcept { return values_.get() + row * width_; }
  double& operator()(std::size_t row, std::size_t column) noexcept {
    return values_[row * width_ + column];
  }
  double operator()(std::size_t row, std::size_t column) const noexcept {
    return values_[row * width_ + column];
  }

  /// A copy of the values, row after row.
  std::vector<double> Values() const;
  /// Hands the values over without copying them (null when there are none);
  /// the matrix is left 0 x 0.
  ValueBlock TakeValues() noexcept;

  /// Same shape, same values (NaN is unequal to itself, as for doubles).
  friend bool operator==(const Matrix& a, const Matrix& b);
  friend bool operator!=(const Matrix& a, const Matrix& b) { return !(a == b); }

 private:
  std::size_t rows_ = 0;
  std::size_t width_ = 0;
  ValueBlock values_;
};

/// One named number of a row's label list.
struct Label {
  std::string name;
  double value = 1.0;

  friend bool operator==(const Label& a, const Label& b) {
    return a.name == b.name && a.value == b.value;
  }
  friend bool operator!=(const Label& a, const Label& b) { return !(a == b); }
};

/// One row's label list, in the list's order; each name at most once (a name
/// repeated in the file adds up).
using Labels = std::vector<Label>;

/// Everything a dataset file holds.
///
/// All four matrices have the same row count. A vector replaced by label
/// lists has width 0 and its lists are present, one per row:
/// `expected_labels` instead of `expected`, `generated_labels` instead of
/// `generated`.
struct Dataset {
  Matrix inputs;
  Matrix expected;
  Matrix generated;
  Matrix errors;
  std::optional<std::vector<Labels>> expected_labels;
  std::optional<std::vector<Labels>> generated_labels;
  /// The value of the "[FormatVersion = v]" element that stands before the
  /// dataset block; empty when the file has none there. Not written: a
  /// written file always declares 1.0.
  std::optional<double> format_version;

  /// The row count (that of `inputs`, which all four share).
  std::size_t Rows() const noexcept { return inputs.Rows(); }

  friend bool operator==(const Dataset& a, const Dataset& b);
  friend bool operator!=(const Dataset& a, const Dataset& b) { return !(a == b); }
};

/// A matrix's values stored as float, handed over: rows * width floats from
/// the C allocator.
using FloatBlock = std::unique_ptr<float[], FreeValues>;

/// Rows x width floats, row-major and contiguous, zero until set: a matrix of
/// a dataset read with its values stored as float (ReadFloatDataset).
struct FloatMatrix {
  FloatMatrix() noexcept = default;
  /// A matrix of zeros. Throws std::bad_alloc when it cannot be had.
  FloatMatrix(std::size_t rows, std::size_t width);

  std::size_t rows = 0;
  std::size_t width = 0;
  /// Null when the matrix holds no values.
  FloatBlock values;
};

/// Everything a dataset file holds, as Dataset has it, with the matrices'
/// values stored as float.
struct FloatDataset {
  FloatMatrix inputs;
  FloatMatrix expected;
  FloatMatrix generated;
  FloatMatrix errors;
  std::optional<std::vector<Labels>> expected_labels;
  std::optional<std::vector<Labels>> generated_labels;
  std::optional<double> format_version;
};

/// A dataset file's shape as its header gives it.
struct DatasetShape {
  std::int32_t rows = 0;
  std::int32_t inputs = 0;
  std::int32_t expected = 0;   // 0 when the rows carry expected-output labels
  std::int32_t generated = 0;  // 0 when the rows carry generated-output labels
  std::int32_t errors = 0;
  bool expected_labels = false;
  bool generated_labels = false;
  std::optional<double> format_version;
};

/// A window of rows and where the next one begins.
struct Window {
  Dataset rows;
  std::int64_t next_offset = 0;
};

/// How to read.
struct ReadOptions {
  /// The threads that read a large data block's numbers: 0 for one per core
  /// of the machine (std::thread::hardware_concurrency), 1 for the calling
  /// thread alone. The result, every message and every error's position are
  /// the same whatever the count; only time differs. A stream without
  /// positions (a pipe) and a block of rows with label lists are read on the
  /// calling thread alone.
  unsigned threads = 0;
  /// Strict reading. The format reads a number word by its longest leading
  /// number ("12abc" is 12, "18.9x" is 18.9) and takes a byte above 127 for a
  /// separator ("Z\xc3\xbcrich" is the two words "Z" and "rich"); read
  /// strictly, a number word that is not wholly a number is refused
  /// ("number-expected", or "integer-expected" for a header's count) and so
  /// is a byte above 127 anywhere but inside a comment ("Unexpected non-ASCII
  /// byte"), each as a FormatError standing just past the word or the byte.
  /// The command and the default read leniently.
  bool strict = false;
};

/// The input broke the dataset format.
///
/// `Message()` is the toolkit's own text (e.g. "integer-expected"). The
/// position is that of the point just past the last token read before the
/// reader gave up (separators after it are not counted): `Offset()` bytes
/// from the start of the input (for a stream, from where it stood when
/// reading began), on line `Line()` at column `Column()`, both counted from
/// 1, a line ending with "\n", "\r\n" or a lone "\r". A stream without
/// positions gives line and column 0 and offset -1. `what()` is
/// "PATH:LINE:COLUMN: MESSAGE", with PATH "<stream>" for a stream.
/// Copies are cheap and never throw.
class FormatError : public std::runtime_error {
 public:
  FormatError(const std::string& message, const std::string& path, std::int64_t line,
              std::int64_t column, std::int64_t offset);

  const std::string& Message() const noexcept { return details_->message; }
  /// The file name as given to the reader; empty for a stream.
  const std::string& Path() const noexcept { return details_->path; }
  std::int64_t Line() const noexcept { return details_->line; }
  std::int64_t Column() const noexcept { return details_->column; }
  std::int64_t Offset() const noexcept { return details_->offset; }

 private:
  struct Details {
    std::string message;
    std::string path;
    std::int64_t line;
    std::int64_t column;
    std::int64_t offset;
  };
  std::shared_ptr<const Details> details_;
};

/// Reads the whole dataset file `path`: the values go straight into the
/// matrices, once. Accepts exactly the files ReadDatFile accepts, with the
/// same messages; a file without a Rows field is refused with
/// "[Rows = <integer>] expected".
///
/// Every reader here (and ReadDatFile, the windowed loader and the probe)
/// reads a file compressed with gzip, xz or zstd as the text it holds, told
/// by its first bytes, not its name; positions in errors are those of that
/// text. As those bytes may also begin a plain file, an input whose stream
/// does not decode is read as it is; only when that fails too is it refused
/// with "Damaged gzip stream (truncated)" or "... (corrupt data)" (xz, zstd
/// likewise), never with values the damaged stream made up.
Dataset ReadDataset(const std::string& path, const ReadOptions& options = {});

/// The same from a stream, read from where it stands to the end of the
/// dataset block and past the separators and comments after it; anything
/// else after it is an error ("End Tag expected"), as in a file. A stream
/// whose buffer has no positions (a pipe) is read ahead through a buffer of
/// the reader's own, as far as the size check needs: it gives what a file of
/// the same bytes gives, in memory that follows what it delivers; after a
/// failure, what it had delivered beyond that point is gone.
Dataset ReadDataset(std::istream& in, const ReadOptions& options = {});

/// Reads the whole dataset file `path` as ReadDataset does (the same files,
/// messages and errors, label values as doubles) and stores each value as the
/// float nearest the double read (beyond float's range, an infinity of its
/// sign): the memory is that of the floats and of one row of doubles, never
/// a double for each value. The rows are read on the calling thread
/// (`options.threads` is not used; `options.strict` is).
FloatDataset ReadFloatDataset(const std::string& path, const ReadOptions& options = {});

/// How a written file is stored.
enum class Compression { kNone, kGzip, kXz, kZstd };

/// How to write a dataset file.
struct WriteOptions {
  /// The compression of the file: gzip (level 6), xz (preset 6) or zstd
  /// (level 3), each with the check of its content. Empty: the one the file
  /// name's suffix asks for (".gz", ".xz", ".zst"), else none; a stream is
  /// written uncompressed unless told.
  std::optional<Compression> compression;
};

/// Writes `dataset` as the dataset file `path`, in one pass and in large
/// blocks, compressed as `options` ask, so that every value reads back to the very same double:
/// each value as the first of "%.15g", "%.16g" and "%.17g" that reads back (the 15 digits
/// SaveDatFile writes wherever they do, the same text); each label value with the 9 decimals
/// SaveDatFile writes wherever those read back, else as a value. A NaN comes back a NaN of the same
/// sign. Otherwise the bytes are SaveDatFile's for tables holding the same content.
///
/// The file is written under a temporary name in the folder of `path` (a
/// link followed) and renamed over `path` once complete: a failure (a full
/// disk, an exception, the process killed) leaves what `path` held as it
/// was. A device or pipe such as /dev/null is written in place.
///
/// A dataset whose four widths are 0 and that has no label lists is written
/// with its Rows and an empty line per row. Throws std::invalid_argument,
/// creating nothing, when the matrices' row counts or a label list count
/// differ from the rows, when a vector has both values and label lists, when
/// a count does not fit 32 bits, or when a label name is not a word of the
/// format (empty, or holding a separator or one of "[]/*=<>").
void WriteDataset(const std::string& path, const Dataset& dataset,
                  const WriteOptions& options = {});

/// The same into the stream `out`, from where it stands; throws
/// std::system_error (EIO) when it refuses bytes. The stream is flushed, not
/// closed.
void WriteDataset(std::ostream& out, const Dataset& dataset, const WriteOptions& options = {});

/// Reads `count` rows starting `offset` bytes into the data block (0 is the
/// first row; see ReadDatFileWindow) and gives them with the offset of the
/// next window. Costs what the window costs, wherever it lies. The matrices
/// are shaped as ReadDataset shapes them, with `count` rows. Throws
/// std::invalid_argument for a negative offset or count, and FormatError as
/// ReadDataset does, with "Token (number) expected" (or "Unexpected End Tag"
/// for rows of label lists only) for a window that runs past the last row
/// and "Unexpected end of file" for an offset past the end of the file. A
/// file without byte positions (a pipe, a compressed file) is refused before it is read:
/// "Unable to seek in file".
///
/// This form does not know which row the offset is: it never reads what
/// follows the rows, so a chain of its windows may pass a file that
/// ReadDataset refuses (extra numbers, a missing end tag), and in rows of
/// label lists only it takes a list that reads like the data block's end
/// ("[~Data]", after format version elements) for the end. Give the row, or
/// read through a WindowReader, to have the file read as ReadDataset reads
/// it.
Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count);

/// Where the rows of a dataset file begin.
struct RowIndex {
  /// The row count of the file.
  std::int32_t rows = 0;
  /// The step between the rows whose offsets are kept (at least 1).
  std::int32_t every = 1;
  /// offsets[k] is the offset of row k * every as ReadWindow takes it (the
  /// one reading window after window from 0 hands out there); one per such
  /// row below `rows`, so none for a file of no rows.
  std::vector<std::int64_t> offsets;
  /// The offset just past the last row: the next_offset of a window that
  /// ends with it.
  std::int64_t end_offset = 0;
};

/// Indexes the dataset file `path`: its row count and the offsets of every
/// `every`-th row, by a scan that checks every word and label list of the
/// file as ReadDataset does but converts no number and stores no value, on
/// `options.threads` threads, in memory for the offsets (and a few pieces of
/// the file). A file that ReadDataset refuses is refused with the same
/// FormatError (message, line, column, offset). Throws std::invalid_argument
/// for `every` below 1, and std::system_error as ReadDataset does. Rows that
/// hold nothing at all (a header of no widths) all begin at offset 0; more
/// than 8 Mi offsets of them are refused with std::bad_alloc. With
/// `options.strict` the file is checked as ReadDataset checks it strictly,
/// by the ordinary row reader (the scan takes the lenient words only).
RowIndex IndexRows(const std::string& path, std::int32_t every, const ReadOptions& options = {});

/// The same for the window whose first row is row `first_row` of the file
/// (counted from 0; the offset must be that row's, as a window ending before
/// it gave it). Its rows are read as ReadDataset reads them, and the window
/// that ends with the file's last row also reads what follows the rows as
/// ReadDataset does: so window after window, from row 0 to the last, gives
/// ReadDataset's rows or its FormatError (message, line, column, offset).
/// Rows asked for past the last one fail as above. Throws
/// std::invalid_argument also for a negative `first_row` or one past the
/// header's row count.
Window ReadWindow(const std::string& path, std::int64_t offset, std::int32_t count,
                  std::int32_t first_row, const ReadOptions& options = {});

/// A dataset file read window after window through one open file, which it
/// holds from construction to destruction: no window reopens the path, and
/// each costs what its rows cost. Window after window, from row 0 to the
/// last, gives exactly ReadDataset's rows or ReadDataset's FormatError
/// (message, line, column, offset): the window that ends with the last row
/// also reads what follows the rows (the end tags and the end of the file).
///
/// A file that changes between two windows, or while one is read (another
/// file renamed over the path, the file removed, written to, grown or cut),
/// is refused rather than read on at an offset that no longer means the same
/// row: std::system_error with code ESTALE, "file changed between windows".
/// The file is known by its device, inode, size and modification time.
///
/// A file without byte positions (a pipe, a compressed file) is refused as
/// ReadWindow refuses it; WindowStream reads such files in order.
///
/// Move-only; a reader moved from may only be destroyed or assigned to.
/// Once Next has thrown, every later Next throws the same.
class WindowReader {
 public:
  /// Opens `path` and reads its header (throws as ProbeDataset does), and
  /// refuses a file too short for the rows from `first_row` on as
  /// ReadDataset refuses it ("Unexpected end of file" where the data block
  /// starts, for the first row). The first window starts `offset` bytes into the data block, at row
  /// `first_row`: 0 and 0 for the first row, or a window's NextOffset() and
  /// NextRow() (or an index of the file's rows) for a later one. Throws
  /// std::invalid_argument for a negative offset or row or a row past the
  /// header's row count, and FormatError "Unable to seek in file" for a file
  /// without byte positions (a pipe).
  explicit WindowReader(const std::string& path, const ReadOptions& options = {});
  WindowReader(const std::string& path, std::int64_t offset, std::int32_t first_row,
               const ReadOptions& options = {});
  WindowReader(WindowReader&& other) noexcept;
  WindowReader& operator=(WindowReader&& other) noexcept;
  ~WindowReader();

  /// The header. Its `rows` is the file's row count.
  const DatasetShape& Shape() const noexcept;
  /// The row the next window starts with; Shape().rows after the last.
  std::int32_t NextRow() const noexcept;
  /// The offset into the data block where the next window starts, as
  /// ReadWindow takes it.
  std::int64_t NextOffset() const noexcept;
  /// True once the window that ends with the last row has been read (and the
  /// end of the file with it).
  bool AtEnd() const noexcept;

  /// The next `count` rows, or the rows left when fewer are: a Dataset shaped
  /// as ReadDataset shapes it. The window that reaches the last row reads the
  /// end of the file too (a file of no rows: the first window, even of 0
  /// rows); after it, a Dataset of no rows. Throws std::invalid_argument for
  /// a negative count, FormatError, and std::system_error for a file changed
  /// or unreadable.
  Dataset Next(std::int32_t count);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Reads the file's header and the data block's start tag, nothing more.
/// Throws FormatError as ReadDataset does for that part of the file (read
/// strictly with `options.strict`).
DatasetShape ProbeDataset(const std::string& path, const ReadOptions& options = {});

/// The same from a stream, read from where it stands up to the data block's
/// start tag (and perhaps some bytes beyond, read ahead).
DatasetShape ProbeDataset(std::istream& in);

/// Windows of rows read in order on one open input, the way a compressed
/// file or a stream (which have no byte offsets) is read piece by piece:
/// memory holds one window at a time. Made, it has read the header (and
/// throws as ProbeDataset does); each Next reads on from where the last one
/// stopped. After the last row the end of the file is read as ReadDataset
/// reads it, with the same errors.
class WindowStream {
 public:
  /// Opens the file `path` (compressed or not) and reads its header, strictly
  /// with `options.strict` (its thread count is not used: windows are read on
  /// the calling thread).
  explicit WindowStream(const std::string& path, const ReadOptions& options = {});
  /// The same from the stream `in`, which stays the caller's and must
  /// outlive the reader.
  explicit WindowStream(std::istream& in, const ReadOptions& options = {});
  ~WindowStream();
  WindowStream(const WindowStream&) = delete;
  WindowStream& operator=(const WindowStream&) = delete;

  const DatasetShape& Shape() const noexcept;
  /// The rows of the header's count not yet read.
  std::int32_t RowsLeft() const noexcept;
  /// The next `count` rows, or as many as are left (none at the end), shaped
  /// as ReadDataset shapes them. Throws std::invalid_argument for a negative
  /// count and FormatError as ReadDataset does; after an error the reader
  /// has nothing more to give.
  Dataset Next(std::int32_t count);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

/// Reads the flat file `path` strictly into a dataset whose `inputs` are
/// `inputs` wide and whose `expected` are `outputs` wide. Numbers are
/// separated by any white space (lines do not matter); each word must be
/// wholly a number ([+-]digits[.digits][(e|E)[+-]digits]) or one of the flat
/// writer's "+INF", "-INF", "+NAN", "-NAN". With `rows`, the file must hold
/// exactly rows x (inputs + outputs) numbers; without (std::nullopt), a
/// whole multiple of inputs + outputs, which gives the row count (0 for
/// widths of 0). Throws FormatError naming `path`, at the point just past
/// the offending word: "Token (number) expected" for a word that is not a
/// number, "Dataset file, not a flat file" when the first word opens a tag
/// or comment of the dataset format, "Unexpected end of file" for too few
/// numbers, "End of file expected" for too many; std::invalid_argument for a
/// negative count. Memory follows what the file holds, never the counts
/// asked.
Dataset ReadFlat(const std::string& path, std::optional<std::int32_t> rows, std::int32_t inputs,
                 std::int32_t outputs);

/// Writes the inputs and expected outputs of `dataset` as the flat file
/// `path`: the same bytes as the converter writes for the same values,
/// handed to the system in large blocks, under a temporary name that is
/// renamed over `path` once complete (as WriteDataset does). Generated
/// outputs, errors and label lists are not written. `source`, when given,
/// is the file the dataset was read from. Throws std::invalid_argument, with
/// the converter's texts and writing nothing, for "Source and destination
/// are the same file" (`path` names `source` under any name, link or hard
/// link) and "No inputs or expected outputs to convert" (both widths 0 and
/// no expected-output label lists: the converter reads no table there), and
/// when the two matrices' row counts differ.
void WriteFlat(const std::string& path, const Dataset& dataset, const std::string& source = {});

/// The same into the stream `out`, as WriteDataset(std::ostream&, ...).
void WriteFlat(std::ostream& out, const Dataset& dataset);

}  // namespace mbrk

#endif  // MBRK_DATASET_DATASET_H
