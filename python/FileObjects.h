// Python's binary file objects as C++ stream buffers, so that the toolkit
// reads and writes them as it reads and writes files: in large pieces, the
// interpreter's lock taken only to call the object.
#ifndef MBRK_PYTHON_FILEOBJECTS_H
#define MBRK_PYTHON_FILEOBJECTS_H

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <streambuf>

namespace mbrk::python {

/// The bytes of a binary file object: its readinto when it has one, else
/// its read. No positions. Made and destroyed with the lock held; read
/// without it. A read that gives text instead of bytes raises TypeError; the
/// object's own exceptions pass on as they are.
class ObjectReader : public std::streambuf {
 public:
  explicit ObjectReader(pybind11::object file);
  ~ObjectReader() override;
  ObjectReader(const ObjectReader&) = delete;
  ObjectReader& operator=(const ObjectReader&) = delete;

  static constexpr std::size_t kPiece = 1 << 20;

 protected:
  int_type underflow() override;

 private:
  // Reads up to `size` bytes into `into`; 0 at the end.
  std::size_t ReadInto(char* into, std::size_t size);

  pybind11::object file_;
  pybind11::object readinto_;  // None when the object has none
  std::unique_ptr<char[]> block_;
};

/// Writes to a binary file object with its write, taking what it wrote
/// short of all again; sync calls its flush when it has one. Made and
/// destroyed with the lock held; written without it.
class ObjectWriter : public std::streambuf {
 public:
  explicit ObjectWriter(pybind11::object file);
  ~ObjectWriter() override;
  ObjectWriter(const ObjectWriter&) = delete;
  ObjectWriter& operator=(const ObjectWriter&) = delete;

 protected:
  std::streamsize xsputn(const char* s, std::streamsize count) override;
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  pybind11::object file_;
};

/// Whether `file` is to be read as a binary file object (not a path):
/// anything with readinto or read. Raises TypeError for a text-mode one.
bool IsReadable(const pybind11::handle& file);
/// Whether `file` is to be written as a binary file object: anything with
/// write. Raises TypeError for a text-mode one.
bool IsWritable(const pybind11::handle& file);

}  // namespace mbrk::python

#endif  // MBRK_PYTHON_FILEOBJECTS_H
