#include "Dataset/Dataset.h"

#include <limits>
#include <new>
#include <utility>

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

Matrix::Matrix(std::size_t rows, std::size_t width)
    : rows_(rows), width_(width), values_(ValueCount(rows, width)) {}

Matrix::Matrix(std::size_t rows, std::size_t width, std::vector<double> values)
    : rows_(rows), width_(width), values_(std::move(values)) {
  if (values_.size() != ValueCount(rows, width)) {
    throw std::invalid_argument("Matrix: the values do not fill rows x width");
  }
}

std::vector<double> Matrix::TakeValues() noexcept {
  rows_ = 0;
  width_ = 0;
  return std::move(values_);
}

void Matrix::ResizeRows(std::size_t rows) {
  values_.resize(ValueCount(rows, width_));
  rows_ = rows;
}

void Matrix::ReserveRows(std::size_t rows) { values_.reserve(ValueCount(rows, width_)); }

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
