// bare_loop: the speed reference for the converter.
//
//   bare_loop SRC DST
//
// Does the least work that turns a well-formed dataset file into the flat file the
// converter writes: one read of the whole source, a jump over the header to the data
// block, std::from_chars for every value, std::to_chars at nine significant digits in
// general notation (the text "%.9g" gives) followed by one blank, a newline after each
// row's inputs and expected outputs, and one write of the whole result.
//
// It validates nothing: no comments inside the data block, no label lists, no
// generated outputs or errors, no non-finite values. It only guards against running
// off the end of its buffers, so a file it does not understand gives a short output
// instead of a crash. Its time is the floor the converter is measured against.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace {

// What the bare loop needs from the header: the row count and the row width.
struct Header {
  long rows = 0;
  long width = 0;            // inputs plus expected outputs
  std::size_t data_end = 0;  // offset just past the data block's start tag; 0: none
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
  long inputs = 0;
  long outputs = 0;
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
      if (SameName(name, "inputs")) inputs = value;
      if (SameName(name, "expectedoutputs")) outputs = value;
    }
    p = q;
  }
  header.width = inputs + outputs;
  return header;
}

bool IsSeparator(char c) { return static_cast<unsigned char>(c) <= ' ' || c == ','; }

// Converts `rows` rows of `width` values from [p, end) into flat lines at `out`;
// returns the end of what it wrote. Stops early at the first text that is not a number.
char* Convert(const char* p, const char* end, long rows, long width, char* out, char* out_end) {
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
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: bare_loop SRC DST\n");
    return 1;
  }

  // One read of the whole file.
  const int in = open(argv[1], O_RDONLY);
  struct stat st;
  if (in < 0 || fstat(in, &st) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = read(in, text.get() + got, size - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  close(in);
  text[got] = '\0';

  // Jump over the header to the first value of the data block.
  const Header header = ReadHeader(std::string_view(text.get(), got));
  if (header.data_end == 0) {
    std::fprintf(stderr, "bare_loop: no data block in %s\n", argv[1]);
    return 1;
  }
  const long rows = header.rows;
  const long width = header.width;

  // A value takes at most 16 characters at nine digits ("-1.23456789e-308") plus its
  // blank. Pages of the buffer that are never written are never touched, so the
  // generous size costs address space, not memory.
  const std::size_t capacity =
      static_cast<std::size_t>(rows) * (static_cast<std::size_t>(width) * 17 + 1);
  std::unique_ptr<char[]> flat(new char[capacity + 1]);
  char* out = flat.get();
  char* const out_end = flat.get() + capacity;

  out = Convert(text.get() + header.data_end, text.get() + got, rows, width, out, out_end);

  // One write of the whole result.
  const int dst = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (dst < 0) {
    std::perror(argv[2]);
    return 1;
  }
  const char* w = flat.get();
  while (w < out) {
    const ssize_t n = write(dst, w, static_cast<std::size_t>(out - w));
    if (n <= 0) {
      std::perror(argv[2]);
      return 1;
    }
    w += n;
  }
  close(dst);
  return 0;
}
