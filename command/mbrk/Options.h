// The command line of a subcommand: options (long "--name", "--name=value",
// "--name value"; short "-x", "-xVALUE", "-x VALUE") anywhere among the
// operands, "--" ending them; "-" alone is an operand.
#ifndef MBRK_COMMAND_MBRK_OPTIONS_H
#define MBRK_COMMAND_MBRK_OPTIONS_H

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace mbrk::cli {

/// A command line the command cannot take; the text says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// One option a subcommand knows.
struct OptionRule {
  const char* name;  // the long name, without "--"
  char letter;       // the short name, or 0
  bool takes_value;
};

/// The options given (by long name; a flag holds "") and the operands.
struct Arguments {
  std::map<std::string, std::string> options;
  std::vector<std::string> operands;

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  /// The option's value, or `fallback` when it was not given.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
};

/// Parses `words` against `rules`; "--help" and "-h" are known to every
/// subcommand. Throws UsageError for an unknown option or a missing value.
Arguments ParseArguments(const std::vector<std::string>& words,
                         const std::vector<OptionRule>& rules);

/// Whether "--help" or "-h" stands among `words` before any "--".
bool WantsHelp(const std::vector<std::string>& words);

/// `text` as a whole number in [least, most]; UsageError naming `what` else.
std::int64_t ParseCount(const std::string& text, const std::string& what, std::int64_t least,
                        std::int64_t most);

}  // namespace mbrk::cli

#endif  // MBRK_COMMAND_MBRK_OPTIONS_H
