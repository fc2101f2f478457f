// bare_loop: the speed references (floors) for the converter, the readers and the
// dataset writer.
//
//   bare_loop SRC DST                    convert, one write of the whole result
//   bare_loop --write-per-line SRC DST   convert, one write() per line
//   bare_loop --read-flat FILE ROWS WIDTH
//   bare_loop --read-dataset SRC
//   bare_loop --write-dataset SRC DST
//
// Converting does the least work that turns a well-formed dataset file into the flat
// file the converter writes: one read of the whole source, a jump over the header to
// the data block, std::from_chars for every value, std::to_chars at nine significant
// digits in general notation (the text "%.9g" gives) followed by one blank, a newline
// after each row's inputs and expected outputs, and one write of the whole result, or
// with --write-per-line one write() of each line as soon as it is complete: the floor
// that a converter flushing every line can reach.
//
// The other modes each time one operation of the toolkit's and print
// "<seconds> <checksum> <CPU seconds>" on standard output (wall and processor time of
// the operation):
//   --read-flat     one read of a flat file and from_chars into a new array of
//                   ROWS x WIDTH doubles: the floor of TFlatFiler::LoadData;
//   --read-dataset  the same on a dataset file's data block, widths from its header:
//                   the floor of the dataset reader;
//   --write-dataset reads SRC as --read-dataset does (not timed), then writes the
//                   values as the dataset writer lays them out, "%.15g" by to_chars,
//                   through a buffer of 1 MiB written out whenever it fills: the floor
//                   of SaveDatFile (the time covers opening, writing and closing).
// The checksum is the sum over the values, in row order, of each value's 64 bits
// times 2i + 1 (i its index), modulo 2^64: equal sums mean equal tables.
//
// None of it validates anything: no comments inside the data block, no label lists,
// no generated outputs or errors, no non-finite values. It only guards against
// running off the end of its buffers, so a file it does not understand gives a short
// output instead of a crash.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>

namespace {

// What the bare loop needs from the header: the row count and the widths.
struct Header {
  long rows = 0;
  long inputs = 0;
  long outputs = 0;
  std::size_t data_end = 0;  // offset just past the data block's start tag; 0: none
  long width() const { return inputs + outputs; }
};

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != b[i]) return false;
  }
  return true;
}

// Walks the bracketed elements up to the data block's start tag, reading the Rows,
// Inputs and ExpectedOutputs fields on the way. Names in any letter case, as the
// format allows; nothing else is checked.
Header ReadHeader(std::string_view text) {
  Header header;
  std::size_t p = 0;
  while ((p = text.find('[', p)) != std::string_view::npos) {
    std::size_t q = ++p;
    while (q < text.size() && std::isalnum(static_cast<unsigned char>(text[q]))) ++q;
    const std::string_view name = text.substr(p, q - p);
    while (q < text.size() && text[q] == ' ') ++q;
    if (q >= text.size()) break;
    if (text[q] == ']' && SameName(name, "data")) {
      header.data_end = q + 1;
      break;
    }
    if (text[q] == '=') {
      ++q;
      while (q < text.size() && text[q] == ' ') ++q;
      long value = 0;
      std::from_chars(text.data() + q, text.data() + text.size(), value);
      value = std::max(0L, value);  // Labels, -1 and the like: no numbers in the row
      if (SameName(name, "rows")) header.rows = value;
      if (SameName(name, "inputs")) header.inputs = value;
      if (SameName(name, "expectedoutputs")) header.outputs = value;
    }
    p = q;
  }
  return header;
}

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' ' || c == ','; }

// One read of the whole file, with a terminator after it.
struct WholeFile {
  std::unique_ptr<char[]> text;
  std::size_t size = 0;
};

WholeFile ReadWhole(const char* path) {
  WholeFile file;
  const int in = open(path, O_RDONLY);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0) {
    std::perror(path);
    std::exit(1);
  }
  const auto size = static_cast<std::size_t>(st.st_size);
  file.text.reset(new char[size + 1]);
  while (file.size < size) {
    const ssize_t n = read(in, file.text.get() + file.size, size - file.size);
    if (n <= 0) break;
    file.size += static_cast<std::size_t>(n);
  }
  close(in);
  file.text[file.size] = '\0';
  return file;
}

void WriteAll(int fd, const char* p, std::size_t n, const char* path) {
  while (n > 0) {
    const ssize_t done = write(fd, p, n);
    if (done <= 0) {
      std::perror(path);
      std::exit(1);
    }
    p += done;
    n -= static_cast<std::size_t>(done);
  }
}

int Create(const char* path) {
  const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) {
    std::perror(path);
    std::exit(1);
  }
  return fd;
}

// Reads up to `count` values from [p, end) into `values`; stops early at the first
// text that is not a number. Returns how many it read.
long ReadValues(const char* p, const char* end, long count, double* values) {
  for (long i = 0; i < count; ++i) {
    while (p < end && IsSeparator(*p)) ++p;
    const std::from_chars_result parsed = std::from_chars(p, end, values[i]);
    if (parsed.ec != std::errc()) return i;
    p = parsed.ptr;
  }
  return count;
}

std::uint64_t Checksum(const double* values, std::size_t count) {
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) {
    std::uint64_t bits;
    std::memcpy(&bits, &values[i], sizeof bits);
    sum += bits * (2 * static_cast<std::uint64_t>(i) + 1);
  }
  return sum;
}

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time of the process so far, in seconds.
double CpuSeconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void Report(double seconds, double cpu, std::uint64_t checksum) {
  std::printf("%.6f %llu %.6f\n", seconds, static_cast<unsigned long long>(checksum), cpu);
}

Header HeaderOf(const WholeFile& file, const char* path) {
  const Header header = ReadHeader(std::string_view(file.text.get(), file.size));
  if (header.data_end == 0) {
    std::fprintf(stderr, "bare_loop: no data block in %s\n", path);
    std::exit(1);
  }
  return header;
}

// ---- Converting -----------------------------------------------------------------

// Converts `rows` rows of `width` values from [p, end) into flat lines at `out`;
// returns the end of what it wrote. Stops early at the first text that is not a
// number. With `fd` >= 0, every line is written to it as soon as it is complete and
// `out` is reused for the next one.
char* Convert(const char* p, const char* end, long rows, long width, char* out, char* out_end,
              int fd, const char* path) {
  char* const line = out;
  for (long r = 0; r < rows; ++r) {
    for (long c = 0; c < width; ++c) {
      while (p < end && IsSeparator(*p)) ++p;
      double v = 0.0;
      const std::from_chars_result parsed = std::from_chars(p, end, v);
      if (parsed.ec != std::errc()) return out;
      p = parsed.ptr;
      out = std::to_chars(out, out_end, v, std::chars_format::general, 9).ptr;
      *out++ = ' ';
    }
    *out++ = '\n';
    if (fd >= 0) {
      WriteAll(fd, line, static_cast<std::size_t>(out - line), path);
      out = line;
    }
  }
  return out;
}

int ConvertFile(const char* src, const char* dst, bool per_line) {
  const WholeFile file = ReadWhole(src);
  const Header header = HeaderOf(file, src);
  const long width = header.width();
  // A value takes at most 16 characters at nine digits ("-1.23456789e-308") plus its
  // blank. Pages of the buffer that are never written are never touched, so the
  // generous size costs address space, not memory.
  const std::size_t line_capacity = static_cast<std::size_t>(width) * 17 + 1;
  const std::size_t capacity =
      per_line ? line_capacity : static_cast<std::size_t>(header.rows) * line_capacity;
  std::unique_ptr<char[]> flat(new char[capacity + 1]);
  const int fd = Create(dst);
  const char* const text = file.text.get();
  char* const out = Convert(text + header.data_end, text + file.size, header.rows, width,
                            flat.get(), flat.get() + capacity, per_line ? fd : -1, dst);
  if (!per_line) WriteAll(fd, flat.get(), static_cast<std::size_t>(out - flat.get()), dst);
  close(fd);
  return 0;
}

// ---- Reading ----------------------------------------------------------------------

int ReadFlat(const char* path, long rows, long width) {
  const double cpu = CpuSeconds();
  const Clock::time_point start = Clock::now();
  const WholeFile file = ReadWhole(path);
  const auto count = static_cast<std::size_t>(rows) * static_cast<std::size_t>(width);
  std::unique_ptr<double[]> values(new double[count]);
  const long read = ReadValues(file.text.get(), file.text.get() + file.size,
                               static_cast<long>(count), values.get());
  const double seconds = Since(start);
  const double cpu_seconds = CpuSeconds() - cpu;
  std::fill(values.get() + read, values.get() + count, 0.0);
  Report(seconds, cpu_seconds, Checksum(values.get(), count));
  return 0;
}

// The values of a dataset's data block, read as --read-dataset reads them.
struct Table {
  Header header;
  std::size_t count = 0;
  std::unique_ptr<double[]> values;
};

Table ReadTable(const char* path) {
  const WholeFile file = ReadWhole(path);
  Table table;
  table.header = HeaderOf(file, path);
  table.count =
      static_cast<std::size_t>(table.header.rows) * static_cast<std::size_t>(table.header.width());
  table.values.reset(new double[table.count]);
  const char* const text = file.text.get();
  const long read = ReadValues(text + table.header.data_end, text + file.size,
                               static_cast<long>(table.count), table.values.get());
  std::fill(table.values.get() + read, table.values.get() + table.count, 0.0);
  return table;
}

int ReadDataset(const char* path) {
  const double cpu = CpuSeconds();
  const Clock::time_point start = Clock::now();
  const Table table = ReadTable(path);
  const double seconds = Since(start);
  Report(seconds, CpuSeconds() - cpu, Checksum(table.values.get(), table.count));
  return 0;
}

// ---- Writing a dataset --------------------------------------------------------------

class Output {
 public:
  Output(const char* path) : path_(path), fd_(Create(path)), buffer_(new char[kSize]) {}
  ~Output() {
    Flush();
    close(fd_);
  }
  // Makes room for `n` more characters and returns where they go.
  char* Room(std::size_t n) {
    if (kSize - used_ < n) Flush();
    return buffer_.get() + used_;
  }
  void Advance(char* to) { used_ = static_cast<std::size_t>(to - buffer_.get()); }
  void Text(std::string_view text) {
    char* p = Room(text.size());
    std::memcpy(p, text.data(), text.size());
    Advance(p + text.size());
  }
  void Flush() {
    WriteAll(fd_, buffer_.get(), used_, path_);
    used_ = 0;
  }

 private:
  static constexpr std::size_t kSize = std::size_t{1} << 20;
  const char* path_;
  int fd_;
  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
};

int WriteDataset(const char* src, const char* dst) {
  const Table table = ReadTable(src);
  const Header& h = table.header;
  const double cpu = CpuSeconds();
  const Clock::time_point start = Clock::now();
  {
    Output out(dst);
    out.Text("[FormatVersion = 1.0]\n\n[DataSet]\n[Rows = " + std::to_string(h.rows) +
             "]\n[Inputs = " + std::to_string(h.inputs) + "]\n[ExpectedOutputs = " +
             std::to_string(h.outputs) + "]\n[GeneratedOutputs = 0]\n[Error = 0]\n\n[Data]\n");
    // A value takes at most 24 characters at fifteen digits, plus its blank.
    const std::size_t line = static_cast<std::size_t>(h.width()) * 25 + 3;
    const double* v = table.values.get();
    for (long r = 0; r < h.rows; ++r) {
      char* p = out.Room(line);
      for (long c = 0; c < h.width(); ++c) {
        if (c == h.inputs) {
          *p++ = ' ';
          *p++ = ' ';
        }
        p = std::to_chars(p, p + 24, *v++, std::chars_format::general, 15).ptr;
        *p++ = ' ';
      }
      if (h.outputs == 0) {
        *p++ = ' ';
        *p++ = ' ';
      }
      *p++ = '\n';
      out.Advance(p);
    }
    out.Text("[~Data]\n\n[~DataSet]\n");
  }
  const double seconds = Since(start);
  Report(seconds, CpuSeconds() - cpu, Checksum(table.values.get(), table.count));
  return 0;
}

long Count(const char* text) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 0) {
    std::fprintf(stderr, "bare_loop: not a count: %s\n", text);
    std::exit(2);
  }
  return value;
}

int Usage() {
  std::fprintf(stderr,
               "usage: bare_loop [--write-per-line] SRC DST\n"
               "       bare_loop --read-flat FILE ROWS WIDTH\n"
               "       bare_loop --read-dataset SRC\n"
               "       bare_loop --write-dataset SRC DST\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (argc == 3 && mode.rfind("--", 0) != 0) return ConvertFile(argv[1], argv[2], false);
  if (argc == 4 && mode == "--write-per-line") return ConvertFile(argv[2], argv[3], true);
  if (argc == 5 && mode == "--read-flat") return ReadFlat(argv[2], Count(argv[3]), Count(argv[4]));
  if (argc == 3 && mode == "--read-dataset") return ReadDataset(argv[2]);
  if (argc == 4 && mode == "--write-dataset") return WriteDataset(argv[2], argv[3]);
  return Usage();
}
