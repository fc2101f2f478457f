// mbrk check: reads files whole, several at once, and names the bad ones.
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "command/mbrk/Common.h"

namespace mbrk::cli {

namespace {

const char kHelp[] =
    "Usage: mbrk check [--strict] [-j N] [--quiet] FILE...\n"
    "Read every dataset file whole, several at once, and print one line for each\n"
    "file that cannot be read, in the order the files are given:\n"
    "  FILE:LINE:COLUMN: MESSAGE    where reading stopped and the toolkit's message\n"
    "  FILE: REASON                 a file that cannot be opened or read\n"
    "A summary 'N files, M bad' goes to standard error. FILE '-' is standard input.\n"
    "\n"
    "  --strict      read numbers strictly: a word that is not wholly a number\n"
    "                and a byte above 127 outside comments are errors\n"
    "  -j, --jobs N  files read at once (default: one per core, at most the files)\n"
    "  -q, --quiet   no progress display\n"
    "  -h, --help    this help\n"
    "\n"
    "Exit status: 0 all files good, 1 any is bad, 2 a usage error.\n";

struct Outcome {
  bool done = false;
  bool good = false;
  std::string line;
  std::int64_t rows = 0;
};

// The files' outcomes, filled by the workers in any order and taken by the
// caller in the files' order.
class Outcomes {
 public:
  explicit Outcomes(std::size_t count) : outcomes_(count) {}
  void Put(std::size_t i, Outcome outcome) {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      outcomes_[i] = std::move(outcome);
      outcomes_[i].done = true;
    }
    ready_.notify_all();
  }
  Outcome Take(std::size_t i) {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [&] { return outcomes_[i].done; });
    return outcomes_[i];
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<Outcome> outcomes_;
};

Outcome CheckOne(const std::string& path, const Console& console, Progress& progress, bool strict,
                 unsigned threads) {
  Outcome outcome;
  try {
    outcome.rows =
        static_cast<std::int64_t>(ReadSource(path, console, progress, strict, threads).Rows());
    outcome.good = true;
  } catch (const std::exception& error) {
    outcome.line = Describe(path, error);
  } catch (...) {
    outcome.line = ShownName(path) + ": Internal error";
  }
  return outcome;
}

std::int64_t TotalBytes(const std::vector<std::string>& paths) {
  std::int64_t total = 0;
  for (const std::string& path : paths) {
    struct stat status;
    if (path != "-" && ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
      total += status.st_size;
    }
  }
  return total;
}

unsigned JobsFor(const Arguments& args, std::size_t files) {
  if (args.Has("jobs")) {
    return static_cast<unsigned>(ParseCount(args.Value("jobs"), "--jobs", 1, 256));
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  return static_cast<unsigned>(std::min<std::size_t>(cores, files));
}

// Checks every file on `jobs` threads; prints the bad ones in order and
// returns how many there were.
std::size_t CheckAll(const std::vector<std::string>& paths, const Console& console, bool strict,
                     unsigned jobs, bool show) {
  Progress progress(show, console.err);
  progress.Stage("checking", TotalBytes(paths), -1);
  Outcomes outcomes(paths.size());
  std::atomic<std::size_t> next{0};
  // With several files at once each is read on one thread; a file alone gets
  // every core.
  const unsigned threads = jobs > 1 ? 1 : 0;
  std::vector<std::thread> workers;
  for (unsigned j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (std::size_t i = next++; i < paths.size(); i = next++) {
        outcomes.Put(i, CheckOne(paths[i], console, progress, strict, threads));
      }
    });
  }
  std::size_t bad = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const Outcome outcome = outcomes.Take(i);
    progress.Rows() += outcome.rows;
    if (outcome.good) continue;
    ++bad;
    progress.Clear();
    console.out << outcome.line << '\n' << std::flush;
  }
  for (std::thread& worker : workers) worker.join();
  return bad;
}

}  // namespace

int RunCheck(const std::vector<std::string>& words, const Console& console) {
  if (WantsHelp(words)) {
    console.out << kHelp << std::flush;
    return 0;
  }
  const Arguments args =
      ParseArguments(words, {{"strict", 0, false}, {"jobs", 'j', true}, {"quiet", 'q', false}});
  if (args.operands.empty()) throw UsageError("no file given");
  if (std::count(args.operands.begin(), args.operands.end(), "-") > 1) {
    throw UsageError("standard input ('-') can be read only once");
  }
  const bool strict = args.Has("strict");
  const unsigned jobs = JobsFor(args, args.operands.size());
  const std::size_t bad =
      CheckAll(args.operands, console, strict, jobs, ShowProgress(console, args));
  console.err << args.operands.size() << " files, " << bad << " bad" << std::endl;
  return bad == 0 ? 0 : 1;
}

}  // namespace mbrk::cli
