// scaling_bench: times every input dimension of the toolkit at a size n and at 10n
// and reports the ratio of the two times, which stays near 10 for work that
// grows linearly with its input and near 100 for work that grows with its
// square. A ratio above 12 fails the run (exit status 1).
//
//   scaling_bench [--converter PATH] [--only TEXT] [--runs N]
//
// Each dimension grows one thing of an input and keeps the rest small: the
// labels of one row, the rows, the columns, the length of one number or one
// name, the depth of nested comments, the parameters and the nesting of a
// KQML message, and so on, through the reading and writing roads that meet
// them. With --converter the command itself converts the largest of them,
// timed from start to exit. --only keeps the dimensions whose name contains
// TEXT. Each time is the best of N runs (7 by default), each run in a process
// of its own. The ratio is one of processor times (user and system, the
// command's included), which a busy machine disturbs far less than it does
// wall times; the wall time of the larger size is shown beside it. Only the
// figures of one run are worth comparing.

#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "DataObject/Data.h"
#include "FileHandler/Filer.h"
#include "FileHandler/FlatFiler.h"
#include "FileHandler/ParseTools.h"
#include "KQmessage/KQML.h"

extern char** environ;

namespace {

constexpr double kMostRatio = 12.0;

using Action = std::function<void()>;

std::string g_folder;     // scratch files
std::string g_converter;  // the command, when given
int g_runs = 7;           // runs per size

std::string Scratch(const std::string& name) { return g_folder + "/" + name; }

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) {
    std::fprintf(stderr, "scaling: cannot write %s\n", path.c_str());
    std::exit(2);
  }
}

std::string Dataset(const std::string& header, const std::string& rows) {
  return "[DataSet]" + header + "\n[Data]\n" + rows + "\n[~Data]\n[~DataSet]\n";
}

std::string Repeat(const std::string& piece, int count) {
  std::string text;
  text.reserve(piece.size() * static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) text += piece;
  return text;
}

std::string Digits(int count) {
  std::string text(static_cast<std::size_t>(count), '0');
  for (int i = 0; i < count; ++i)
    text[static_cast<std::size_t>(i)] = static_cast<char>('1' + i % 9);
  return text;
}

std::string LabelRow(int labels, int names) {
  std::string row = "1 [";
  for (int i = 0; i < labels; ++i) row += " l" + std::to_string(names > 0 ? i % names : i);
  return row + "]";
}

void Fail(const char* what) {
  std::fprintf(stderr, "scaling: %s failed\n", what);
  std::exit(2);
}

// ---- The roads --------------------------------------------------------------------

// What the command does, in-process: load the dataset, write its flat file.
Action Convert(const std::string& dataset) {
  const std::string source = Scratch("in.mbrk");
  WriteText(source, dataset);
  return [source] {
    mbrk::FileTools tools;
    mbrk::Data* table = nullptr;
    try {
      if (mbrk::LoadDatFile(tools, source.c_str(), table) != mbrk::SUCCESS) Fail("load");
    } catch (mbrk::FileTools::Error& error) {
      std::fprintf(stderr, "scaling: %s\n", error.MbrStrMessage);
      delete[] error.MbrStrMessage;
      Fail("load");
    }
    std::unique_ptr<mbrk::Data> owned(table);
    mbrk::TFlatFiler::SaveData(Scratch("out.flat").c_str(), owned.get());
  };
}

// The real command on the dataset, from start to exit.
Action Command(const std::string& dataset) {
  const std::string source = Scratch("command.mbrk");
  WriteText(source, dataset);
  return [source] {
    const std::string destination = Scratch("command.flat");
    std::vector<char*> argv{const_cast<char*>(g_converter.c_str()),
                            const_cast<char*>(source.c_str()),
                            const_cast<char*>(destination.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, g_converter.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
      Fail("starting the converter");
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) Fail("the converter");
  };
}

// A window of `count` rows from the start of the data block.
Action Window(const std::string& dataset, std::int32_t count) {
  const std::string source = Scratch("window.mbrk");
  WriteText(source, dataset);
  return [source, count] {
    mbrk::FileTools tools;
    mbrk::Data* table = nullptr;
    std::int64_t offset = 0;
    if (mbrk::LoadDatFileWindow(tools, source.c_str(), offset, count, table) != mbrk::SUCCESS) {
      Fail("window");
    }
    delete table;
  };
}

// The flat reader on `text`, a flat file of the given shape.
Action ReadFlat(const std::string& text, std::int32_t rows, std::int32_t inputs) {
  const std::string source = Scratch("in.flat");
  WriteText(source, text);
  return [source, rows, inputs] {
    mbrk::Data* table = nullptr;
    mbrk::TFlatFiler::LoadData(source.c_str(), table, rows, inputs, 0);
    delete table;
  };
}

// The dataset writer on the tables the reader makes of `dataset`.
Action WriteDataset(const std::string& dataset) {
  const std::string source = Scratch("writer.mbrk");
  WriteText(source, dataset);
  mbrk::FileTools tools;
  mbrk::Data* first = nullptr;
  mbrk::Data* second = nullptr;
  if (mbrk::ReadDatFile(tools, source.c_str(), first, second) != mbrk::SUCCESS) Fail("read");
  std::shared_ptr<mbrk::Data> one(first), two(second);
  return [one, two] {
    mbrk::FileTools writer;
    if (mbrk::SaveDatFile(writer, Scratch("written.mbrk").c_str(), one.get(), two.get()) !=
        mbrk::SUCCESS) {
      Fail("save");
    }
  };
}

// The header probe's answer, released.
Action Probe(const std::string& dataset) {
  const std::string source = Scratch("probe.mbrk");
  WriteText(source, dataset);
  return [source] {
    mbrk::FileTools tools;
    delete mbrk::ProbeFileHeader(tools, source.c_str());
  };
}

// Standard output swallowed while a structure prints.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Parses `text` as a whole message, prints it, copies it and releases both.
Action Kqml(const std::string& text) {
  return [text] {
    const char* cursor = text.c_str();
    std::unique_ptr<mbrk::TKQstructure> message(mbrk::TKQstructure::ParseMessage(&cursor));
    if (message == nullptr) Fail("parse");
    NullBuffer null;
    std::streambuf* const saved = std::cout.rdbuf(&null);
    message->Print();
    std::cout.rdbuf(saved);
    const mbrk::TKQstructure copy(*message);
  };
}

// Sets `count` parameters one by one, each twice, and asks for each.
Action SetParameters(int count) {
  return [count] {
    mbrk::TKQstructure message("data");
    for (int round = 0; round < 2; ++round) {
      for (int i = 0; i < count; ++i) {
        message.SetIntegerParameter(("key" + std::to_string(i)).c_str(), i);
      }
    }
    for (int i = 0; i < count; ++i) {
      if (message.FindParameter(("KEY" + std::to_string(i)).c_str()) == nullptr) Fail("find");
    }
  };
}

// ---- Timing -----------------------------------------------------------------------

struct Times {
  double wall;  // seconds from start to end
  double cpu;   // seconds of processor time, the command's included
};

double ProcessorSeconds() {
  rusage self{}, children{};
  getrusage(RUSAGE_SELF, &self);
  getrusage(RUSAGE_CHILDREN, &children);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6;
  };
  return seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(children.ru_utime) +
         seconds(children.ru_stime);
}

Times Measure(const Action& action) {
  const double cpu = ProcessorSeconds();
  const auto start = std::chrono::steady_clock::now();
  action();
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  return Times{wall.count(), ProcessorSeconds() - cpu};
}

// One run in a child process of its own, as every conversion of the command
// is: each size starts from the same fresh heap, rather than the smaller one
// reusing memory that the larger one would have to fault in, and neither
// gets the caches warmed by the run before it.
Times MeasureInChild(const Action& action) {
  int channel[2];
  if (pipe(channel) != 0) Fail("pipe");
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) Fail("fork");
  if (child == 0) {
    close(channel[0]);
    const Times times = Measure(action);
    const ssize_t written = write(channel[1], &times, sizeof times);
    _exit(written == static_cast<ssize_t>(sizeof times) ? 0 : 1);
  }
  close(channel[1]);
  Times times{};
  const ssize_t got = read(channel[0], &times, sizeof times);
  close(channel[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  if (got != static_cast<ssize_t>(sizeof times) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    Fail("a timed run");
  }
  return times;
}

// The best of `runs` runs, for each clock: what is left when the rest of the
// machine stays out of the way.
Times Best(const Action& action, int runs) {
  Times best = MeasureInChild(action);
  for (int run = 1; run < runs; ++run) {
    const Times times = MeasureInChild(action);
    best.wall = std::min(best.wall, times.wall);
    best.cpu = std::min(best.cpu, times.cpu);
  }
  return best;
}

struct Dimension {
  const char* name;  // what grows, and the road it takes
  int n;             // the smaller size; the larger is 10n
  std::function<Action(int)> make;
};

}  // namespace

int main(int argc, char** argv) {
  std::string only;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--converter") == 0 && i + 1 < argc) {
      g_converter = argv[++i];
    } else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc) {
      only = argv[++i];
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      g_runs = std::max(1, std::atoi(argv[++i]));
    } else {
      std::fprintf(stderr, "usage: scaling_bench [--converter PATH] [--only TEXT] [--runs N]\n");
      return 2;
    }
  }
  std::string folder = (std::filesystem::temp_directory_path() / "mbrk-scaling-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) Fail("making a scratch folder");
  g_folder = folder;

  const std::string labels_header = "[Rows = 1][Inputs = 1][ExpectedOutputs = Labels]";
  const auto rows_of = [](int rows, const std::string& row) {
    return Dataset("[Rows = " + std::to_string(rows) + "][Inputs = 2][ExpectedOutputs = 1]",
                   Repeat(row, rows));
  };
  const auto one_row = [](const std::string& values, int inputs) {
    return Dataset("[Rows = 1][Inputs = " + std::to_string(inputs) + "][ExpectedOutputs = 0]",
                   values);
  };
  const auto kqml_breadth = [](int count) {
    std::string text = "(data";
    for (int i = 0; i < count; ++i) text += " :key" + std::to_string(i) + " " + std::to_string(i);
    return text + ")";
  };

  std::vector<Dimension> dimensions = {
      {"labels in one row (conversion)", 20000,
       [&](int n) { return Convert(Dataset(labels_header, LabelRow(n, 0))); }},
      {"labels in one row, 50 names repeated (conversion)", 20000,
       [&](int n) { return Convert(Dataset(labels_header, LabelRow(n, 50))); }},
      {"rows of label lists (conversion)", 20000,
       [&](int n) {
         return Convert(
             Dataset("[Rows = " + std::to_string(n) + "][Inputs = 1][ExpectedOutputs = Labels]",
                     Repeat("1 [a b=0.5 c]\n", n)));
       }},
      {"rows (conversion)", 50000, [&](int n) { return Convert(rows_of(n, "1.5 2.25 3\n")); }},
      {"columns (conversion)", 50000,
       [&](int n) { return Convert(one_row(Repeat("1.5 ", n), n)); }},
      {"digits of one number (conversion)", 1000000,
       [&](int n) { return Convert(one_row(Digits(n), 1)); }},
      {"fraction digits of one number (conversion)", 1000000,
       [&](int n) { return Convert(one_row("0." + Digits(n), 1)); }},
      {"length of one label name (conversion)", 1000000,
       [&](int n) { return Convert(Dataset(labels_header, "1 [x" + Digits(n) + "=2]")); }},
      {"header fields, Rows repeated (conversion)", 100000,
       [&](int n) {
         return Convert("[DataSet][Inputs = 1]" + Repeat("[Rows = 1]", n) +
                        "[Data] 1 [~Data][~DataSet]");
       }},
      {"header fields, Rows repeated (header probe)", 100000,
       [&](int n) { return Probe("[DataSet][Inputs = 1]" + Repeat("[Rows = 1]", n) + "[Data]"); }},
      {"depth of nested comments (conversion)", 1000000,
       [&](int n) { return Convert(Repeat("/*", n) + Repeat("*/", n) + rows_of(1, "1 2 3")); }},
      {"rows (window loader)", 50000, [&](int n) { return Window(rows_of(n, "1.5 2.25 3\n"), n); }},
      {"columns (window loader)", 50000,
       [&](int n) { return Window(one_row(Repeat("1.5 ", n), n), 1); }},
      {"rows of label lists (window loader)", 20000,
       [&](int n) {
         return Window(
             Dataset("[Rows = " + std::to_string(n) + "][Inputs = 0][ExpectedOutputs = Labels]",
                     Repeat("[~a b=0.5]\n", n)),
             n);
       }},
      {"rows (flat reader)", 50000,
       [&](int n) { return ReadFlat(Repeat("1.5 2.25 \n", n), n, 2); }},
      {"columns (flat reader)", 50000,
       [&](int n) { return ReadFlat(Repeat("1.5 ", n) + "\n", 1, n); }},
      {"digits of one number (flat reader)", 1000000,
       [&](int n) { return ReadFlat("0." + Digits(n) + " \n", 1, 1); }},
      {"rows (dataset writer)", 50000,
       [&](int n) { return WriteDataset(rows_of(n, "1.5 2.25 3\n")); }},
      {"columns (dataset writer)", 50000,
       [&](int n) { return WriteDataset(one_row(Repeat("1.5 ", n), n)); }},
      {"rows of label lists (dataset writer)", 20000,
       [&](int n) {
         return WriteDataset(
             Dataset("[Rows = " + std::to_string(n) + "][Inputs = 1][ExpectedOutputs = Labels]",
                     Repeat("1 [a b=0.5 c]\n", n)));
       }},
      {"labels in one row (dataset writer)", 20000,
       [&](int n) { return WriteDataset(Dataset(labels_header, LabelRow(n, 0))); }},
      {"parameters of a message (KQML parse, print, copy)", 20000,
       [&](int n) { return Kqml(kqml_breadth(n)); }},
      {"nesting of messages (KQML parse, print, copy)", 1000,
       [&](int n) { return Kqml(Repeat("(m :k ", n) + "x" + Repeat(")", n)); }},
      {"length of one word (KQML parse, print, copy)", 1000000,
       [&](int n) { return Kqml("(m :k x" + Digits(n) + ")"); }},
      {"parameters set one by one (KQML set, find)", 20000,
       [&](int n) { return SetParameters(n); }},
  };
  if (!g_converter.empty()) {
    dimensions.push_back({"labels in one row (the command)", 20000,
                          [&](int n) { return Command(Dataset(labels_header, LabelRow(n, 0))); }});
    dimensions.push_back(
        {"rows (the command)", 50000, [&](int n) { return Command(rows_of(n, "1.5 2.25 3\n")); }});
  }

  std::printf("%-52s %8s %11s %11s %6s %11s\n", "dimension", "n", "cpu(n) ms", "cpu(10n) ms",
              "ratio", "wall(10n) ms");
  bool within = true;
  for (const Dimension& d : dimensions) {
    if (!only.empty() && std::string(d.name).find(only) == std::string::npos) continue;
    const Times small = Best(d.make(d.n), g_runs);
    const Times large = Best(d.make(10 * d.n), g_runs);
    const double ratio = large.cpu / small.cpu;
    const bool ok = ratio <= kMostRatio;
    within = within && ok;
    std::printf("%-52s %8d %11.1f %11.1f %6.2f %11.1f%s\n", d.name, d.n, small.cpu * 1e3,
                large.cpu * 1e3, ratio, large.wall * 1e3, ok ? "" : "  above 12");
    std::fflush(stdout);
  }
  std::error_code ignored;
  std::filesystem::remove_all(g_folder, ignored);
  std::printf("%s\n", within ? "every ratio is at most 12" : "SOME RATIO IS ABOVE 12");
  return within ? 0 : 1;
}
