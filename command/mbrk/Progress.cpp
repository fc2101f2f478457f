#include "command/mbrk/Progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace mbrk::cli {

namespace {

constexpr auto kTick = std::chrono::milliseconds(250);
constexpr int kBarWidth = 20;

std::chrono::steady_clock::duration DelayFromEnvironment() {
  double seconds = 1.0;
  if (const char* text = std::getenv("MBRK_PROGRESS_DELAY")) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end != text && value >= 0 && value < 1e6) seconds = value;
  }
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(
      std::chrono::duration<double>(seconds));
}

// 123.4 MB, 12.0 kB, 512 B: decimal units, as file sizes are shown.
std::string ByteText(double bytes) {
  static const char* const kUnits[] = {"B", "kB", "MB", "GB", "TB"};
  int unit = 0;
  while (bytes >= 1000 && unit < 4) {
    bytes /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, kUnits[unit]);
  return text;
}

std::string Duration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  return text;
}

}  // namespace

Progress::Progress(bool shown, std::ostream& err)
    : shown_(shown),
      err_(err),
      began_(Clock::now()),
      stage_began_(began_),
      delay_(DelayFromEnvironment()) {
  if (shown_) thread_ = std::thread([this] { Run(); });
}

Progress::~Progress() {
  if (!shown_) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    Wipe();
  }
  wake_.notify_all();
  thread_.join();
}

void Progress::Stage(const std::string& label, std::int64_t total_bytes, std::int64_t total_rows) {
  if (!shown_) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  label_ = label;
  total_bytes_ = total_bytes;
  total_rows_ = total_rows;
  bytes_ = 0;
  rows_ = 0;
  stage_began_ = Clock::now();
  // Without a delay the line is there before the work starts, however
  // short the work: what the tests of the display rely on.
  if (delay_ == Clock::duration::zero()) Draw();
}

void Progress::Clear() {
  if (!shown_) return;
  const std::lock_guard<std::mutex> lock(mutex_);
  Wipe();
}

void Progress::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  Clock::time_point next = began_ + delay_;
  while (!wake_.wait_until(lock, next, [this] { return stop_; })) {
    if (!label_.empty()) Draw();
    next = Clock::now() + kTick;
  }
}

void Progress::Wipe() {
  if (!drawn_) return;
  err_ << "\r\x1b[K" << std::flush;
  drawn_ = false;
}

void Progress::Draw() {
  const double seconds = std::chrono::duration<double>(Clock::now() - stage_began_).count();
  const auto bytes = static_cast<double>(bytes_.load());
  auto rows = static_cast<double>(rows_.load());
  double done = -1;  // the share done, when known
  if (total_bytes_ > 0) {
    done = std::min(1.0, bytes / static_cast<double>(total_bytes_));
    // Rows are known as a share of the bytes while a file is read.
    if (rows == 0 && total_rows_ > 0) rows = done * static_cast<double>(total_rows_);
  } else if (total_rows_ > 0) {
    done = std::min(1.0, rows / static_cast<double>(total_rows_));
  }
  std::string line = "\r" + label_ + " [";
  const int filled = done < 0 ? 0 : static_cast<int>(done * kBarWidth);
  line += std::string(static_cast<std::size_t>(filled), '=');
  line += std::string(static_cast<std::size_t>(kBarWidth - filled), ' ');
  char text[160];
  std::snprintf(text, sizeof text, "] %3.0f%%  %.0f rows  %s  %s/s", done < 0 ? 0.0 : done * 100,
                rows, ByteText(bytes).c_str(), ByteText(seconds > 0 ? bytes / seconds : 0).c_str());
  line += text;
  if (done > 0 && done < 1 && seconds > 0) {
    line += "  " + Duration(seconds * (1 - done) / done) + " left";
  } else if (done >= 1) {
    line += "  0:00 left";
  } else {
    line += "  -:-- left";
  }
  err_ << line << "\x1b[K" << std::flush;
  drawn_ = true;
}

}  // namespace mbrk::cli
