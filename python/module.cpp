// The extension module behind the Python package mbrk: the value-type
// interface of Dataset/Dataset.h, with the interpreter's lock released while
// files are read and written, and the matrices handed to NumPy without a
// copy. The package's own __init__.py shapes what users see.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "Base/internal/Interrupt.h"
#include "Dataset/Dataset.h"
#include "FileObjects.h"

namespace py = pybind11;

namespace {

// The interpreter's signal handlers, run for a call of the toolkit between
// its pieces of work: a handler that raises (Ctrl-C's KeyboardInterrupt)
// leaves its exception set and stops the call; one that returns lets it go
// on. Only the main thread runs the handlers, so only there is the check
// installed: elsewhere it would take the lock for nothing.
void CheckSignals() {
  const py::gil_scoped_acquire locked;
  if (PyErr_CheckSignals() != 0) throw mbrk::Interrupted();
}

// Asked at every call, not once: in a process forked by another thread, that
// thread is the main one.
mbrk::InterruptCheck SignalCheck() {
  const auto main_thread =
      py::module_::import("threading").attr("main_thread")().attr("ident").cast<unsigned long>();
  return PyThread_get_thread_ident() == main_thread ? &CheckSignals : nullptr;
}

// Runs `work` without the interpreter's lock, stoppable by a signal handler
// that raises, and turns the toolkit's failures into Python's: FormatError,
// OSError (whose constructor picks FileNotFoundError, IsADirectoryError,
// PermissionError, ... by the code), the handler's exception, which goes
// before any result or other failure (a stream may have swallowed the stop
// and its reader gone on to a false end). std::bad_alloc and
// std::invalid_argument become MemoryError and ValueError on pybind11's own
// road. `shown` is the path as the caller gave it, for the error.
template <typename Work>
auto Unlocked(const py::object& shown, Work work) -> decltype(work()) {
  const mbrk::InterruptScope stoppable(SignalCheck());
  const auto raise_if_stopped = [&stoppable] {
    if (stoppable.Stopped()) throw py::error_already_set();  // what CheckSignals left set
  };
  try {
    if constexpr (std::is_void_v<decltype(work())>) {
      {
        const py::gil_scoped_release unlocked;
        work();
      }
      raise_if_stopped();
    } else {
      auto result = [&] {
        const py::gil_scoped_release unlocked;
        return work();
      }();
      raise_if_stopped();
      return result;
    }
  } catch (const py::error_already_set&) {
    throw;
  } catch (const mbrk::FormatError& error) {
    raise_if_stopped();
    const py::object type = py::module_::import("mbrk._errors").attr("FormatError");
    const py::object value =
        type(error.Message(), shown, error.Line(), error.Column(), error.Offset());
    PyErr_SetObject(type.ptr(), value.ptr());
    throw py::error_already_set();
  } catch (const std::system_error& error) {
    raise_if_stopped();
    const int code = error.code().value();
    // A file that changed under a reader says so rather than naming a stale handle.
    const std::string text =
        code == ESTALE ? "The file changed between windows" : std::strerror(code);
    const py::object value = py::handle(PyExc_OSError)(code, text, shown);
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(value.ptr())), value.ptr());
    throw py::error_already_set();
  } catch (...) {
    raise_if_stopped();
    throw;
  }
}

// The matrix as a float64 array of shape (rows, width) that owns the
// matrix's values: they are handed over, not copied.
py::array TakeArray(mbrk::Matrix& matrix) {
  const auto rows = static_cast<py::ssize_t>(matrix.Rows());
  const auto width = static_cast<py::ssize_t>(matrix.Width());
  if (matrix.Size() == 0) return py::array_t<double>({rows, width});
  mbrk::ValueBlock values = matrix.TakeValues();
  const py::capsule owner(values.get(), [](void* p) { std::free(p); });
  const double* data = values.release();  // the capsule owns them now
  return py::array_t<double>(
      {rows, width},
      {width * static_cast<py::ssize_t>(sizeof(double)), static_cast<py::ssize_t>(sizeof(double))},
      data, owner);
}

py::object TakeLabels(std::optional<std::vector<mbrk::Labels>>& lists) {
  if (!lists) return py::none();
  py::list rows(lists->size());
  for (std::size_t row = 0; row < lists->size(); ++row) {
    // Millions of rows take their time here too: signals are looked at.
    if (row % 65536 == 65535 && PyErr_CheckSignals() != 0) throw py::error_already_set();
    py::dict labels;
    for (const mbrk::Label& label : (*lists)[row]) labels[py::str(label.name)] = label.value;
    rows[row] = std::move(labels);
    mbrk::Labels().swap((*lists)[row]);  // gone as soon as it is in Python
  }
  lists.reset();
  return std::move(rows);
}

// The float matrix as a float32 array of shape (rows, width) that owns the
// matrix's values, handed over as TakeArray hands doubles over.
py::array TakeArray(mbrk::FloatMatrix& matrix) {
  const auto rows = static_cast<py::ssize_t>(matrix.rows);
  const auto width = static_cast<py::ssize_t>(matrix.width);
  if (matrix.values == nullptr) return py::array_t<float>({rows, width});
  const py::capsule owner(matrix.values.get(), [](void* p) { std::free(p); });
  const float* data = matrix.values.release();  // the capsule owns them now
  return py::array_t<float>(
      {rows, width},
      {width * static_cast<py::ssize_t>(sizeof(float)), static_cast<py::ssize_t>(sizeof(float))},
      data, owner);
}

// The parts of a Dataset or FloatDataset, in the order of mbrk.Dataset's
// constructor.
template <typename Data>
py::tuple TakeParts(Data& dataset) {
  py::object version = py::none();
  if (dataset.format_version) version = py::float_(*dataset.format_version);
  py::array inputs = TakeArray(dataset.inputs);
  py::array expected = TakeArray(dataset.expected);
  py::array generated = TakeArray(dataset.generated);
  py::array errors = TakeArray(dataset.errors);
  py::object expected_labels = TakeLabels(dataset.expected_labels);
  py::object generated_labels = TakeLabels(dataset.generated_labels);
  return py::make_tuple(inputs, expected, generated, errors, expected_labels, generated_labels,
                        version);
}

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;
using LabelPairs = std::vector<std::vector<std::pair<std::string, double>>>;

mbrk::Matrix ToMatrix(const Array& array) {
  if (array.ndim() != 2) throw py::value_error("arrays must be two-dimensional (rows, width)");
  const auto rows = static_cast<std::size_t>(array.shape(0));
  const auto width = static_cast<std::size_t>(array.shape(1));
  return mbrk::Matrix(rows, width, std::vector<double>(array.data(), array.data() + array.size()));
}

std::optional<std::vector<mbrk::Labels>> ToLabels(const std::optional<LabelPairs>& pairs) {
  if (!pairs) return std::nullopt;
  std::vector<mbrk::Labels> lists(pairs->size());
  for (std::size_t row = 0; row < pairs->size(); ++row) {
    for (const auto& [name, value] : (*pairs)[row]) lists[row].push_back(mbrk::Label{name, value});
  }
  return lists;
}

// Reads the whole dataset from `source`: bytes to open, or a binary file
// object.
mbrk::Dataset ReadFrom(const py::object& source, const py::object& shown,
                       const mbrk::ReadOptions& options) {
  if (mbrk::python::IsReadable(source)) {
    mbrk::python::ObjectReader reader(source);
    std::istream in(&reader);
    return Unlocked(shown, [&] { return mbrk::ReadDataset(in, options); });
  }
  const std::string path = source.cast<std::string>();
  return Unlocked(shown, [&] { return mbrk::ReadDataset(path, options); });
}

py::tuple Load(const py::object& path, const py::object& shown, unsigned threads, bool strict) {
  mbrk::ReadOptions options;
  options.threads = threads;
  options.strict = strict;
  mbrk::Dataset dataset = ReadFrom(path, shown, options);
  return TakeParts(dataset);
}

py::tuple LoadFloat32(const std::string& path, const py::object& shown, bool strict) {
  mbrk::ReadOptions options;
  options.strict = strict;
  mbrk::FloatDataset dataset =
      Unlocked(shown, [&] { return mbrk::ReadFloatDataset(path, options); });
  return TakeParts(dataset);
}

py::tuple Window(const std::string& path, const py::object& shown, std::int64_t offset,
                 std::int32_t count) {
  mbrk::Window window = Unlocked(shown, [&] { return mbrk::ReadWindow(path, offset, count); });
  return py::make_tuple(TakeParts(window.rows), window.next_offset);
}

// The row index as (rows, every, offsets, end_offset), the offsets an int64
// array that owns the index's vector.
py::tuple Index(const std::string& path, const py::object& shown, std::int32_t every,
                unsigned threads, bool strict) {
  mbrk::ReadOptions options;
  options.threads = threads;
  options.strict = strict;
  auto index = std::make_unique<mbrk::RowIndex>(
      Unlocked(shown, [&] { return mbrk::IndexRows(path, every, options); }));
  const auto count = static_cast<py::ssize_t>(index->offsets.size());
  const std::int64_t* data = index->offsets.data();
  const std::int32_t rows = index->rows;
  const std::int64_t end = index->end_offset;
  const py::capsule owner(index.get(), [](void* p) { delete static_cast<mbrk::RowIndex*>(p); });
  static_cast<void>(index.release());  // the capsule owns it now
  py::array_t<std::int64_t> offsets({count}, {static_cast<py::ssize_t>(sizeof(std::int64_t))}, data,
                                    owner);
  return py::make_tuple(rows, every, offsets, end);
}

// A dataset file read window after window through one open file. Reached
// only through the generator of mbrk.windows, which never runs twice at once.
class WindowReader {
 public:
  WindowReader(const std::string& path, py::object shown, std::int64_t offset,
               std::int32_t first_row, bool strict)
      : shown_(std::move(shown)) {
    mbrk::ReadOptions options;
    options.strict = strict;
    reader_ = std::make_unique<mbrk::WindowReader>(
        Unlocked(shown_, [&] { return mbrk::WindowReader(path, offset, first_row, options); }));
  }

  py::tuple Next(std::int32_t count) {
    mbrk::Dataset window = Unlocked(shown_, [&] { return Reader().Next(count); });
    return TakeParts(window);
  }
  std::int32_t RowsLeft() { return Reader().Shape().rows - Reader().NextRow(); }
  bool AtEnd() { return Reader().AtEnd(); }
  std::int64_t NextOffset() { return Reader().NextOffset(); }
  void Close() { reader_.reset(); }

 private:
  mbrk::WindowReader& Reader() {
    if (reader_ == nullptr) throw py::value_error("the windows' file is closed");
    return *reader_;
  }

  py::object shown_;
  std::unique_ptr<mbrk::WindowReader> reader_;
};

py::dict ShapeDict(const mbrk::DatasetShape& shape);

// Windows read in order on one open input: a path (bytes) or a binary file
// object, which the reader's stream reads through.
class Windows {
 public:
  Windows(const py::object& source, const py::object& shown, bool strict) : shown_(shown) {
    mbrk::ReadOptions options;
    options.strict = strict;
    if (mbrk::python::IsReadable(source)) {
      object_ = std::make_unique<mbrk::python::ObjectReader>(source);
      stream_ = std::make_unique<std::istream>(object_.get());
      windows_ =
          Unlocked(shown_, [&] { return std::make_unique<mbrk::WindowStream>(*stream_, options); });
    } else {
      const std::string path = source.cast<std::string>();
      windows_ =
          Unlocked(shown_, [&] { return std::make_unique<mbrk::WindowStream>(path, options); });
    }
  }

  py::dict Shape() const { return ShapeDict(windows_->Shape()); }
  std::int32_t RowsLeft() const { return windows_->RowsLeft(); }
  py::tuple Next(std::int32_t count) {
    mbrk::Dataset rows = Unlocked(shown_, [&] { return windows_->Next(count); });
    return TakeParts(rows);
  }

 private:
  py::object shown_;
  std::unique_ptr<mbrk::python::ObjectReader> object_;
  std::unique_ptr<std::istream> stream_;
  std::unique_ptr<mbrk::WindowStream> windows_;  // last: gone before what it reads
};

py::dict Probe(const py::object& path, const py::object& shown, bool strict) {
  mbrk::ReadOptions options;
  options.strict = strict;
  mbrk::DatasetShape shape;
  if (mbrk::python::IsReadable(path)) {
    mbrk::python::ObjectReader reader(path);
    std::istream in(&reader);
    shape = Unlocked(shown, [&] { return mbrk::ProbeDataset(in); });
  } else {
    const std::string name = path.cast<std::string>();
    shape = Unlocked(shown, [&] { return mbrk::ProbeDataset(name, options); });
  }
  return ShapeDict(shape);
}

py::dict ShapeDict(const mbrk::DatasetShape& shape) {
  py::dict answer;
  answer["rows"] = shape.rows;
  answer["inputs"] = shape.inputs;
  answer["expected"] = shape.expected;
  answer["generated"] = shape.generated;
  answer["errors"] = shape.errors;
  answer["expected_labels"] = shape.expected_labels;
  answer["generated_labels"] = shape.generated_labels;
  answer["format_version"] =
      shape.format_version ? py::object(py::float_(*shape.format_version)) : py::none();
  return answer;
}

// "gzip", "xz", "zstd", "none"; None: from the name's suffix.
std::optional<mbrk::Compression> CompressionOf(const std::optional<std::string>& name) {
  if (!name) return std::nullopt;
  if (*name == "gzip") return mbrk::Compression::kGzip;
  if (*name == "xz") return mbrk::Compression::kXz;
  if (*name == "zstd") return mbrk::Compression::kZstd;
  return mbrk::Compression::kNone;
}

mbrk::Dataset ToDataset(const Array& inputs, const Array& expected, const Array& generated,
                        const Array& errors, const std::optional<LabelPairs>& expected_labels,
                        const std::optional<LabelPairs>& generated_labels) {
  mbrk::Dataset dataset;
  dataset.inputs = ToMatrix(inputs);
  dataset.expected = ToMatrix(expected);
  dataset.generated = ToMatrix(generated);
  dataset.errors = ToMatrix(errors);
  dataset.expected_labels = ToLabels(expected_labels);
  dataset.generated_labels = ToLabels(generated_labels);
  return dataset;
}

// `path` is bytes to open, or a binary file object to write to.
void Save(const py::object& path, const py::object& shown, const Array& inputs,
          const Array& expected, const Array& generated, const Array& errors,
          const std::optional<LabelPairs>& expected_labels,
          const std::optional<LabelPairs>& generated_labels,
          const std::optional<std::string>& compression) {
  const mbrk::Dataset dataset =
      ToDataset(inputs, expected, generated, errors, expected_labels, generated_labels);
  mbrk::WriteOptions options;
  options.compression = CompressionOf(compression);
  if (mbrk::python::IsWritable(path)) {
    mbrk::python::ObjectWriter writer(path);
    std::ostream out(&writer);
    Unlocked(shown, [&] { mbrk::WriteDataset(out, dataset, options); });
    return;
  }
  const std::string name = path.cast<std::string>();
  Unlocked(shown, [&] { mbrk::WriteDataset(name, dataset, options); });
}

void ToFlat(const py::object& source, const py::object& shown_source, const py::object& destination,
            const py::object& shown_destination) {
  const mbrk::Dataset dataset = ReadFrom(source, shown_source, mbrk::ReadOptions{});
  if (mbrk::python::IsWritable(destination)) {
    mbrk::python::ObjectWriter writer(destination);
    std::ostream out(&writer);
    Unlocked(shown_destination, [&] { mbrk::WriteFlat(out, dataset); });
    return;
  }
  // A destination that is the source under another name is refused before
  // anything is written.
  const std::string source_path =
      mbrk::python::IsReadable(source) ? std::string() : source.cast<std::string>();
  const std::string path = destination.cast<std::string>();
  Unlocked(shown_destination, [&] { mbrk::WriteFlat(path, dataset, source_path); });
}

py::tuple ReadFlat(const std::string& path, const py::object& shown,
                   std::optional<std::int32_t> rows, std::int32_t inputs, std::int32_t outputs) {
  mbrk::Dataset dataset =
      Unlocked(shown, [&] { return mbrk::ReadFlat(path, rows, inputs, outputs); });
  return TakeParts(dataset);
}

}  // namespace

PYBIND11_MODULE(_mbrk, m) {
  m.doc() =
      "The dataset toolkit's value-type interface. Use the package mbrk; every function "
      "here takes the path twice: as bytes to open, and as given, for errors.";
  m.attr("__version__") = MBRK_VERSION;
  m.def("load", &Load, py::arg("path"), py::arg("shown"), py::arg("threads"),
        py::arg("strict") = false,
        "Reads a whole dataset file on `threads` threads (0: one per core); returns the parts "
        "of an mbrk.Dataset as a tuple.");
  py::class_<WindowReader>(m, "WindowReader",
                           "A dataset file read window after window through one open file.")
      .def(py::init<const std::string&, py::object, std::int64_t, std::int32_t, bool>(),
           py::arg("path"), py::arg("shown"), py::arg("offset") = 0, py::arg("first_row") = 0,
           py::arg("strict") = false)
      .def("next", &WindowReader::Next, py::arg("count"),
           "The next `count` rows (fewer at the end) as the parts of an mbrk.Dataset.")
      .def_property_readonly("rows_left", &WindowReader::RowsLeft)
      .def_property_readonly("at_end", &WindowReader::AtEnd)
      .def_property_readonly("next_offset", &WindowReader::NextOffset)
      .def("close", &WindowReader::Close, "Closes the file.");
  m.def("load_float32", &LoadFloat32, py::arg("path"), py::arg("shown"), py::arg("strict") = false,
        "Reads a whole dataset file, each value as a double stored as float32, on the "
        "calling thread; returns the parts of an mbrk.Dataset as a tuple.");
  m.def("window", &Window, py::arg("path"), py::arg("shown"), py::arg("offset"), py::arg("count"),
        "Reads `count` rows from `offset` bytes into the data block; returns (parts, "
        "next_offset).");
  m.def("index", &Index, py::arg("path"), py::arg("shown"), py::arg("every"), py::arg("threads"),
        py::arg("strict") = false,
        "Indexes a dataset file on `threads` threads (0: one per core); returns (rows, every, "
        "offsets of every `every`-th row, end offset).");
  py::class_<Windows>(m, "Windows",
                      "Windows of rows read in order on one open input (a path as bytes, or a "
                      "binary file object); made, it has read the header.")
      .def(py::init<const py::object&, const py::object&, bool>(), py::arg("source"),
           py::arg("shown"), py::arg("strict") = false)
      .def("shape", &Windows::Shape, "The header's shape as probe gives it.")
      .def("rows_left", &Windows::RowsLeft, "Rows of the header's count not yet read.")
      .def("next", &Windows::Next, py::arg("count"),
           "The parts of the next `count` rows (fewer at the end).");
  m.def("probe", &Probe, py::arg("path"), py::arg("shown"), py::arg("strict") = false,
        "Reads a dataset file's header; returns its shape as a dict.");
  m.def("save", &Save, py::arg("path"), py::arg("shown"), py::arg("inputs"), py::arg("expected"),
        py::arg("generated"), py::arg("errors"), py::arg("expected_labels"),
        py::arg("generated_labels"), py::arg("compression"),
        "Writes a dataset file (a path as bytes, or a binary file object) from four 2-D arrays "
        "of equal row counts and label lists given as lists of (name, value) pairs, or None; "
        "compression 'gzip', 'xz', 'zstd', 'none', or None for the name's suffix.");
  m.def("to_flat", &ToFlat, py::arg("source"), py::arg("shown_source"), py::arg("destination"),
        py::arg("shown_destination"),
        "Converts a dataset file into a flat file, as the mbrkd2flat command does.");
  m.def("read_flat", &ReadFlat, py::arg("path"), py::arg("shown"), py::arg("rows"),
        py::arg("inputs"), py::arg("outputs"),
        "Reads a flat file of the given shape (rows None: as many as it holds); returns the "
        "parts of an mbrk.Dataset.");
}
