// What the subcommands share: their entry points, reading a source whole,
// the texts of failures, exact value texts and aligned tables.
#ifndef MBRK_COMMAND_MBRK_COMMON_H
#define MBRK_COMMAND_MBRK_COMMON_H

#include <cstddef>
#include <exception>
#include <string>
#include <vector>

#include "Dataset/Dataset.h"
#include "command/mbrk/Mbrk.h"
#include "command/mbrk/Options.h"
#include "command/mbrk/Progress.h"

namespace mbrk::cli {

/// The subcommands: each takes the words after its name and returns the exit
/// status; usage errors are thrown as UsageError.
int RunInfo(const std::vector<std::string>& words, const Console& console);
int RunCheck(const std::vector<std::string>& words, const Console& console);
int RunHead(const std::vector<std::string>& words, const Console& console);
int RunStats(const std::vector<std::string>& words, const Console& console);
int RunConvert(const std::vector<std::string>& words, const Console& console);

/// `path` as messages name it: "-" is "<stdin>".
std::string ShownName(const std::string& path);

/// What went wrong reading or writing `path`, as one line without the
/// program's name: "PATH:LINE:COLUMN: MESSAGE" for a format error,
/// "PATH: REASON" for anything else.
std::string Describe(const std::string& path, const std::exception& error);

/// Reads the dataset `path` ("-" is standard input) whole, adding the bytes
/// read to the progress counter. `strict` asks for the strict number
/// reading; `threads` as ReadOptions takes it.
Dataset ReadSource(const std::string& path, const Console& console, Progress& progress,
                   bool strict = false, unsigned threads = 0);

/// Writes the shortest text that reads back to the same double: "inf",
/// "-inf" and "nan" for those. `to` has room for 32 characters; returns the
/// end of the text.
char* WriteExact(double value, char* to);
std::string ExactText(double value);

/// Prints `rows` under `header` in columns two blanks apart; the columns
/// whose flag in `right` is set are aligned to the right.
void PrintTable(std::ostream& out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& right);

/// Whether the progress display is wanted: a terminal and no --quiet.
inline bool ShowProgress(const Console& console, const Arguments& args) {
  return console.err_is_terminal && !args.Has("quiet");
}

}  // namespace mbrk::cli

#endif  // MBRK_COMMAND_MBRK_COMMON_H
