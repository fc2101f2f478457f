#include "Dataset/Dataset.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "Base/internal/Memory.h"

namespace mbrk {

namespace {

// rows * width, refused rather than wrapped when it does not fit.
std::size_t ValueCount(std::size_t rows, std::size_t width) {
  if (width != 0 && rows > std::numeric_limits<std::size_t>::max() / sizeof(double) / width) {
    throw std::bad_alloc();
  }
  return rows * width;
}

std::string WhatOf(const std::string& message, const std::string& path, std::int64_t line,
                   std::int64_t column) {
  return (path.empty() ? std::string("<stream>") : path) + ":" + std::to_string(line) + ":" +
         std::to_string(column) + ": " + message;
}

}  // namespace

Matrix::Matrix(std::size_t rows, std::size_t width) : rows_(rows), width_(width) {
  const std::size_t count = ValueCount(rows, width);
  if (count == 0) return;
  values_.reset(static_cast<double*>(std::calloc(count, sizeof(double))));
  if (values_ == nullptr) throw std::bad_alloc();
  // Before the first touch: the readers fill large matrices page by page.
  if (count * sizeof(double) >= kHugePageWorthy)
    AdviseHugePages(values_.get(), count * sizeof(double));
}

Matrix::Matrix(std::size_t rows, std::size_t width, const std::vector<double>& values)
    : Matrix(rows, width) {
  if (values.size() != Size()) {
    throw std::invalid_argument("Matrix: the values do not fill rows x width");
  }
  if (!values.empty()) std::memcpy(values_.get(), values.data(), values.size() * sizeof(double));
}

FloatMatrix::FloatMatrix(std::size_t rows, std::size_t width) : rows(rows), width(width) {
  const std::size_t count = ValueCount(rows, width);
  if (count == 0) return;
  values.reset(static_cast<float*>(std::calloc(count, sizeof(float))));
  if (values == nullptr) throw std::bad_alloc();
  if (count * sizeof(float) >= kHugePageWorthy)
    AdviseHugePages(values.get(), count * sizeof(float));
}

Matrix::Matrix(const Matrix& other) : Matrix(other.rows_, other.width_) {
  if (other.Size() != 0) std::memcpy(values_.get(), other.values_.get(), Size() * sizeof(double));
}

Matrix& Matrix::operator=(const Matrix& other) {
  if (this != &other) {
    Matrix copy(other);
    *this = std::move(copy);
  }
  return *this;
}

Matrix::Matrix(Matrix&& other) noexcept
    : rows_(std::exchange(other.rows_, 0)),
      width_(std::exchange(other.width_, 0)),
      values_(std::move(other.values_)) {}

Matrix& Matrix::operator=(Matrix&& other) noexcept {
  if (this != &other) {
    rows_ = std::exchange(other.rows_, 0);
    width_ = std::exchange(other.width_, 0);
    values_ = std::move(other.values_);
  }
  return *this;
}

std::vector<double> Matrix::Values() const {
  return Size() == 0 ? std::vector<double>() : std::vector<double>(Data(), Data() + Size());
}

ValueBlock Matrix::TakeValues() noexcept {
  rows_ = 0;
  width_ = 0;
  return std::move(values_);
}

bool operator==(const Matrix& a, const Matrix& b) {
  if (a.rows_ != b.rows_ || a.width_ != b.width_) return false;
  for (std::size_t i = 0; i < a.Size(); ++i) {
    if (!(a.values_[i] == b.values_[i])) return false;
  }
  return true;
}

bool operator==(const Dataset& a, const Dataset& b) {
  return a.inputs == b.inputs && a.expected == b.expected && a.generated == b.generated &&
         a.errors == b.errors && a.expected_labels == b.expected_labels &&
         a.generated_labels == b.generated_labels && a.format_version == b.format_version;
}

FormatError::FormatError(const std::string& message, const std::string& path, std::int64_t line,
                         std::int64_t column, std::int64_t offset)
    : std::runtime_error(WhatOf(message, path, line, column)),
      details_(std::make_shared<const Details>(Details{message, path, line, column, offset})) {}

}  // namespace mbrk
