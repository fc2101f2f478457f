#include "command/mbrk/Mbrk.h"

#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "command/mbrk/Common.h"
#include "command/mbrk/Options.h"

#ifndef MBRK_VERSION
#define MBRK_VERSION "unknown"
#endif

namespace mbrk {

namespace {

const char kHelp[] =
    "Usage: mbrk COMMAND [OPTION]... ARGUMENT...\n"
    "Look into, check and convert datasets of the bracketed text format.\n"
    "\n"
    "Commands:\n"
    "  info FILE...          rows, widths, label lists, version, size, compression\n"
    "  check FILE...         read every file whole, one line per bad file\n"
    "  head [-n N] FILE      the first N rows (10) as a table\n"
    "  stats FILE            per column count, NaN, min, max, mean, std, distribution\n"
    "  convert SRC DST       to CSV, TSV, NumPy .npy, a flat file or a dataset file\n"
    "\n"
    "  mbrk COMMAND --help   the options of a command\n"
    "  mbrk --version        the version\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written, 2 a usage error.\n";

struct Command {
  const char* name;
  int (*run)(const std::vector<std::string>&, const Console&);
};

const Command kCommands[] = {{"info", cli::RunInfo},
                             {"check", cli::RunCheck},
                             {"head", cli::RunHead},
                             {"stats", cli::RunStats},
                             {"convert", cli::RunConvert}};

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int RunCommand(const Command& command, const std::vector<std::string>& words,
               const Console& console) {
  try {
    return command.run(words, console);
  } catch (const cli::UsageError& error) {
    console.err << "mbrk " << command.name << ": " << error.what() << "\nTry 'mbrk " << command.name
                << " --help'." << std::endl;
    return 2;
  } catch (const std::bad_alloc&) {
    console.err << "mbrk: Not enough memory" << std::endl;
  } catch (const std::exception& error) {
    console.err << "mbrk: " << error.what() << std::endl;
  }
  return 1;
}

int UsageFailure(const Console& console, const std::string& message) {
  console.err << "mbrk: " << message << "\nTry 'mbrk --help'." << std::endl;
  return 2;
}

}  // namespace

int RunMbrk(int argc, const char* const* argv, const Console& console) {
  std::vector<std::string> words(argv + (argc > 0 ? 1 : 0), argv + (argc > 0 ? argc : 0));
  if (words.empty()) return UsageFailure(console, "no command given");
  const std::string first = words.front();
  words.erase(words.begin());
  if (first == "--help" || first == "-h" || first == "help") {
    if (!words.empty() && FindCommand(words.front()) != nullptr) {
      return RunCommand(*FindCommand(words.front()), {"--help"}, console);
    }
    console.out << kHelp << std::flush;
    return words.empty() ? 0 : UsageFailure(console, "unknown command '" + words.front() + "'");
  }
  if (first == "--version" || first == "-V") {
    console.out << "mbrk " << MBRK_VERSION << std::endl;
    return 0;
  }
  if (first.size() > 1 && first[0] == '-') {
    return UsageFailure(console, "unknown option '" + first + "'");
  }
  const Command* command = FindCommand(first);
  if (command == nullptr) return UsageFailure(console, "unknown command '" + first + "'");
  return RunCommand(*command, words, console);
}

}  // namespace mbrk
