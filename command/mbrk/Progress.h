// A progress line on a terminal: rows, bytes, rate and time left, drawn on
// the error stream by a thread of its own once the work has run for a second
// (MBRK_PROGRESS_DELAY sets another number of seconds; 0 draws at once) and
// wiped when the work ends.
#ifndef MBRK_COMMAND_MBRK_PROGRESS_H
#define MBRK_COMMAND_MBRK_PROGRESS_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

namespace mbrk::cli {

class Progress {
 public:
  /// Draws nothing at all unless `shown`.
  Progress(bool shown, std::ostream& err);
  /// Stops drawing and wipes the line.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  /// Starts a stage of the work: `label` ("reading", "writing"), the bytes
  /// and rows it will take when known (else -1). The counters start at 0.
  void Stage(const std::string& label, std::int64_t total_bytes, std::int64_t total_rows);
  bool Shown() const { return shown_; }
  /// Counters the work adds to as it goes, from any thread.
  std::atomic<std::uint64_t>& Bytes() { return bytes_; }
  std::atomic<std::int64_t>& Rows() { return rows_; }
  /// Wipes the line, so that other output can go to the terminal; it is
  /// drawn again at the next tick.
  void Clear();

 private:
  using Clock = std::chrono::steady_clock;
  void Run();
  void Draw();  // the mutex held
  void Wipe();  // the mutex held

  bool shown_;
  std::ostream& err_;
  std::atomic<std::uint64_t> bytes_{0};
  std::atomic<std::int64_t> rows_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  bool drawn_ = false;
  std::string label_;
  std::int64_t total_bytes_ = -1;
  std::int64_t total_rows_ = -1;
  Clock::time_point began_;
  Clock::time_point stage_began_;
  Clock::duration delay_;
  std::thread thread_;
};

}  // namespace mbrk::cli

#endif  // MBRK_COMMAND_MBRK_PROGRESS_H
