// measure: runs one program and reports its wall time and peak memory.
//
//   measure [--stdout FILE] [--no-huge-pages] -- PROGRAM [ARGS...]
//
// The program's standard output goes to FILE (default /dev/null); its standard error
// is passed through. With --no-huge-pages the program runs with transparent huge
// pages turned off for it (Linux prctl PR_SET_THP_DISABLE, which a child inherits),
// whatever it asks for: the other half of measuring what they are worth. When it has finished, one
// line goes to measure's own standard output:
//
//   <wall seconds> <peak resident set in KiB> <exit status> <CPU seconds>
//
// The wall time runs from just before the program is started until it has been
// reaped, read from the monotonic clock at nanosecond resolution. The peak resident
// set is the kernel's own high-water mark for that one child (wait4), the figure
// GNU time prints as %M. The exit status is the program's, or 128 plus the signal
// that ended it; measure itself exits 0 whenever it could run the program. The CPU
// seconds are the child's user and system time (wait4): on a machine shared with
// other work they vary less than the wall time, which waits for the processor too.

#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

extern char** environ;

namespace {

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

int Usage() {
  std::fprintf(stderr, "usage: measure [--stdout FILE] [--no-huge-pages] -- PROGRAM [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* stdout_path = "/dev/null";
  int i = 1;
  for (; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      ++i;
      break;
    }
    if (std::strcmp(argv[i], "--stdout") == 0 && i + 1 < argc) {
      stdout_path = argv[++i];
    } else if (std::strcmp(argv[i], "--no-huge-pages") == 0) {
      if (prctl(PR_SET_THP_DISABLE, 1, 0, 0, 0) != 0) {
        std::perror("measure: prctl(PR_SET_THP_DISABLE)");
        return 1;
      }
    } else {
      return Usage();
    }
  }
  if (i >= argc) return Usage();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdout_path,
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);

  // posix_spawn starts the child without copying this process's memory, so nothing
  // of the runner shows up in the child's peak.
  const double start = Now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[i], &actions, nullptr, argv + i, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "measure: cannot run %s: %s\n", argv[i], std::strerror(spawned));
    return 1;
  }

  int status = 0;
  rusage usage;
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) {
      std::perror("measure: wait4");
      return 1;
    }
  }
  const double elapsed = Now() - start;

  const int exit_status = WIFEXITED(status)     ? WEXITSTATUS(status)
                          : WIFSIGNALED(status) ? 128 + WTERMSIG(status)
                                                : 255;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
  std::printf("%.6f %ld %d %.6f\n", elapsed, static_cast<long>(usage.ru_maxrss), exit_status, cpu);
  return 0;
}
