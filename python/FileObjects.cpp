#include "FileObjects.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace py = pybind11;

namespace mbrk::python {

namespace {

constexpr std::size_t kPutBack = 8;

// A file object in text mode is told apart by what it is (io.TextIOBase)
// where it says so; others show it when a read gives str.
void RefuseText(const py::handle& file, const char* mode) {
  const py::object text_base = py::module_::import("io").attr("TextIOBase");
  if (py::isinstance(file, text_base)) {
    throw py::type_error(std::string("a file object in text mode cannot be used: open it in ") +
                         "binary mode ('" + mode + "')");
  }
}

}  // namespace

bool IsReadable(const py::handle& file) {
  if (!py::hasattr(file, "readinto") && !py::hasattr(file, "read")) return false;
  RefuseText(file, "rb");
  return true;
}

bool IsWritable(const py::handle& file) {
  if (!py::hasattr(file, "write")) return false;
  RefuseText(file, "wb");
  return true;
}

ObjectReader::ObjectReader(py::object file)
    : file_(std::move(file)),
      readinto_(py::getattr(file_, "readinto", py::none())),
      block_(new char[kPutBack + kPiece]) {}

// The lock is held wherever the reader is destroyed.
ObjectReader::~ObjectReader() = default;

std::size_t ObjectReader::ReadInto(char* into, std::size_t size) {
  const py::gil_scoped_acquire locked;
  if (!readinto_.is_none()) {
    // A view of our own memory: released before the call returns, so that
    // the object cannot keep it.
    const py::memoryview view = py::memoryview::from_memory(into, static_cast<py::ssize_t>(size));
    const py::object got = readinto_(view);
    view.attr("release")();
    if (got.is_none()) throw py::value_error("the file object has no bytes to give now");
    return std::min(got.cast<std::size_t>(), size);
  }
  const py::object got = file_.attr("read")(size);
  if (py::isinstance<py::str>(got)) {
    throw py::type_error("the file object gave str, not bytes: open it in binary mode ('rb')");
  }
  const py::buffer_info bytes = py::buffer(got).request();
  const auto length = std::min(static_cast<std::size_t>(bytes.size * bytes.itemsize), size);
  std::memcpy(into, bytes.ptr, length);
  return length;
}

ObjectReader::int_type ObjectReader::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::size_t keep = std::min(kPutBack, static_cast<std::size_t>(gptr() - eback()));
  char* const front = block_.get() + kPutBack;
  if (keep != 0) std::memmove(front - keep, gptr() - keep, keep);
  const std::size_t got = ReadInto(front, kPiece);
  setg(front - keep, front, front + got);
  return got == 0 ? traits_type::eof() : traits_type::to_int_type(*gptr());
}

ObjectWriter::ObjectWriter(py::object file) : file_(std::move(file)) {}

ObjectWriter::~ObjectWriter() = default;

std::streamsize ObjectWriter::xsputn(const char* s, std::streamsize count) {
  const py::gil_scoped_acquire locked;
  const py::object write = file_.attr("write");
  std::streamsize done = 0;
  while (done < count) {
    const py::bytes piece(s + done, static_cast<std::size_t>(count - done));
    const py::object wrote = write(piece);
    // A raw file may write less than all; None: nothing could be written now.
    const std::streamsize n = wrote.is_none() ? 0 : wrote.cast<std::streamsize>();
    if (n <= 0) break;
    done += std::min(n, count - done);
  }
  return done;
}

ObjectWriter::int_type ObjectWriter::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

int ObjectWriter::sync() {
  const py::gil_scoped_acquire locked;
  if (py::hasattr(file_, "flush")) file_.attr("flush")();
  return 0;
}

}  // namespace mbrk::python
