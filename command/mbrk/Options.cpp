#include "command/mbrk/Options.h"

#include <charconv>
#include <cstddef>

namespace mbrk::cli {

namespace {

const OptionRule kHelp{"help", 'h', false};

const OptionRule* FindLong(const std::vector<OptionRule>& rules, const std::string& name) {
  if (name == kHelp.name) return &kHelp;
  for (const OptionRule& rule : rules) {
    if (name == rule.name) return &rule;
  }
  return nullptr;
}

const OptionRule* FindShort(const std::vector<OptionRule>& rules, char letter) {
  if (letter == kHelp.letter) return &kHelp;
  for (const OptionRule& rule : rules) {
    if (rule.letter != 0 && letter == rule.letter) return &rule;
  }
  return nullptr;
}

// Takes the value of `rule` from the rest of the word or from the next word.
std::string TakeValue(const std::vector<std::string>& words, std::size_t& i,
                      const std::string& rest, const std::string& shown) {
  if (!rest.empty()) return rest;
  if (i + 1 >= words.size()) throw UsageError("option '" + shown + "' needs a value");
  return words[++i];
}

void ParseLong(const std::vector<std::string>& words, std::size_t& i,
               const std::vector<OptionRule>& rules, Arguments& args) {
  const std::string& word = words[i];
  const std::size_t equals = word.find('=');
  const std::string name = word.substr(2, equals == std::string::npos ? equals : equals - 2);
  const OptionRule* rule = FindLong(rules, name);
  if (rule == nullptr) throw UsageError("unknown option '--" + name + "'");
  if (!rule->takes_value) {
    if (equals != std::string::npos) {
      throw UsageError("option '--" + name + "' takes no value");
    }
    args.options[name] = "";
    return;
  }
  if (equals != std::string::npos) {
    args.options[name] = word.substr(equals + 1);
  } else {
    args.options[name] = TakeValue(words, i, "", "--" + name);
  }
}

void ParseShort(const std::vector<std::string>& words, std::size_t& i,
                const std::vector<OptionRule>& rules, Arguments& args) {
  const std::string& word = words[i];
  for (std::size_t at = 1; at < word.size(); ++at) {
    const OptionRule* rule = FindShort(rules, word[at]);
    if (rule == nullptr) throw UsageError(std::string("unknown option '-") + word[at] + "'");
    if (rule->takes_value) {
      args.options[rule->name] =
          TakeValue(words, i, word.substr(at + 1), std::string("-") + word[at]);
      return;
    }
    args.options[rule->name] = "";
  }
}

}  // namespace

std::string Arguments::Value(const std::string& name, const std::string& fallback) const {
  const auto found = options.find(name);
  return found == options.end() ? fallback : found->second;
}

Arguments ParseArguments(const std::vector<std::string>& words,
                         const std::vector<OptionRule>& rules) {
  Arguments args;
  bool options_end = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (options_end || word.size() < 2 || word[0] != '-') {
      args.operands.push_back(word);
    } else if (word == "--") {
      options_end = true;
    } else if (word[1] == '-') {
      ParseLong(words, i, rules, args);
    } else {
      ParseShort(words, i, rules, args);
    }
  }
  return args;
}

bool WantsHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "--help" || word == "-h") return true;
  }
  return false;
}

std::int64_t ParseCount(const std::string& text, const std::string& what, std::int64_t least,
                        std::int64_t most) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end || value < least || value > most) {
    throw UsageError(what + " must be a whole number from " + std::to_string(least) + " to " +
                     std::to_string(most) + ", not '" + text + "'");
  }
  return value;
}

}  // namespace mbrk::cli
