#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <utility>

namespace mbrk::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "mbrk-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    ADD_FAILURE() << "cannot create a temporary folder";
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "cannot read " << path;
    return {};
  }
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

FifoSource::FifoSource(std::string path, std::string bytes)
    : path_(std::move(path)), bytes_(std::move(bytes)) {
  if (mkfifo(path_.c_str(), 0600) != 0) {
    ADD_FAILURE() << "cannot make the FIFO " << path_;
    opened_ = true;
    return;
  }
  writer_ = std::thread([this] {
    // A reader that stops early leaves the writes without a reader: they
    // fail (EPIPE) instead of ending the process.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    const int fd = open(path_.c_str(), O_WRONLY);
    opened_ = true;
    if (fd < 0) return;
    std::size_t done = 0;
    while (done < bytes_.size()) {
      const ssize_t wrote = write(fd, bytes_.data() + done, bytes_.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) break;
      done += static_cast<std::size_t>(wrote);
    }
    close(fd);
  });
}

FifoSource::~FifoSource() {
  if (!opened_) {
    // No reader came: one opened and closed here lets the writer go on.
    const int fd = open(path_.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd >= 0) close(fd);
  }
  if (writer_.joinable()) writer_.join();
}

namespace {

std::string Slurp(int fd) {
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got <= 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  return text;
}

}  // namespace

// Kept out of line: inlined where the compiler guesses the dynamic type of
// some other stream buffer, it draws false out-of-bounds warnings.
PieceBuffer::int_type PieceBuffer::underflow() {
  if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (position_ >= text_.size()) return traits_type::eof();
  std::size_t size = text_.size() - position_;
  if (piece_ > 0) size = std::min<std::size_t>(size, static_cast<std::size_t>(piece_));
  if (piece_ < 0) size = std::min<std::size_t>(size, 1 + random_() % 16);
  window_.reset(new char[size]);
  std::memcpy(window_.get(), text_.data() + position_, size);
  position_ += size;
  setg(window_.get(), window_.get(), window_.get() + size);
  return traits_type::to_int_type(*gptr());
}

std::string PieceBuffer::Rest() {
  std::string rest;
  for (int c = sbumpc(); c != traits_type::eof(); c = sbumpc()) rest += static_cast<char>(c);
  return rest;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory) {
  RunResult result;
  TempDir scratch;
  const std::string out_path = scratch.File("stdout");
  const std::string err_path = scratch.File("stderr");

  std::vector<char*> argv;
  std::vector<std::string> words{program};
  words.insert(words.end(), args.begin(), args.end());
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return result;
  }
  if (pid == 0) {
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    if (!directory.empty() && chdir(directory.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  const int out = open(out_path.c_str(), O_RDONLY);
  const int err = open(err_path.c_str(), O_RDONLY);
  if (out >= 0) result.out = Slurp(out), close(out);
  if (err >= 0) result.err = Slurp(err), close(err);
  return result;
}

RunResult RunProgramOnPipe(const std::string& program, const std::vector<std::string>& args,
                           const std::string& source) {
  std::vector<std::string> words{"-c", "cat \"$0\" | \"$@\"", source, program};
  words.insert(words.end(), args.begin(), args.end());
  return RunProgram("/bin/sh", words);
}

std::string Printed(const TKQstructure& structure) {
  testing::internal::CaptureStdout();
  structure.Print();
  return testing::internal::GetCapturedStdout();
}

std::string Described(const TException& e) {
  auto text = [](const char* t) { return std::string(t != nullptr ? t : "<none>"); };
  std::string described =
      text(e.MbrStrMessage) + " | " + text(e.MbrStrCategory) + " | " + text(e.MbrStrLocation);
  if (e.MbrPtrDetail != nullptr) described += " | " + Printed(*e.MbrPtrDetail);
  return described;
}

std::string Compressed(Codec codec, const std::string& text) { return EncodeWhole(codec, text); }

}  // namespace mbrk::test
