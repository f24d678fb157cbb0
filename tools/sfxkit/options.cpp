#include "tools/sfxkit/options.h"

#include <cstring>

namespace sfx::cli {

const Command& CommandNamed(const char* name) {
  for (int i = 0; i < kCommandCount; ++i)
    if (std::strcmp(kCommands[i].name, name) == 0) return kCommands[i];
  return kCommands[0];
}

bool Options::Parse(int argc, char** argv, std::initializer_list<OptionSpec> specs, std::string* error) {
  values_.clear();
  operands_.clear();
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      operands_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionSpec* match = nullptr;
    std::string value;
    bool hasInlineValue = false;
    if (arg[1] == '-') {
      const std::size_t eq = arg.find('=');
      const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
      for (const OptionSpec& s : specs)
        if (name == s.longName) match = &s;
      if (eq != std::string::npos) {
        hasInlineValue = true;
        value = arg.substr(eq + 1);
      }
    } else {
      for (const OptionSpec& s : specs)
        if (s.shortName != 0 && arg[1] == s.shortName) match = &s;
      if (match && arg.size() > 2) {
        if (!match->takesValue) {
          *error = "unknown option '" + arg + "'";
          return false;
        }
        hasInlineValue = true;
        value = arg.substr(2);
      }
    }
    if (!match) {
      *error = "unknown option '" + arg + "'";
      return false;
    }
    if (match->takesValue && !hasInlineValue) {
      if (i + 1 >= argc) {
        *error = "option '" + arg + "' needs a value";
        return false;
      }
      value = argv[++i];
    } else if (!match->takesValue && hasInlineValue) {
      *error = "option '--" + std::string(match->longName) + "' takes no value";
      return false;
    }
    values_[match->longName] = value;
  }
  return true;
}

const std::string* Options::Value(const std::string& longName) const {
  const auto it = values_.find(longName);
  return it == values_.end() ? nullptr : &it->second;
}

}  // namespace sfx::cli
