// Conventional command-line options for the subcommands: "--name VALUE",
// "--name=VALUE", "-n VALUE", "-nVALUE", flags without values, and "--" to end
// the options. Anything else not starting with '-' is an operand.
#pragma once

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "tools/sfxkit/cli.h"

namespace sfx::cli {

// The subcommand of that name from the command table (which must have it).
const Command& CommandNamed(const char* name);

struct OptionSpec {
  const char* longName;  // without the leading dashes
  char shortName;        // 0 when there is none
  bool takesValue;
};

class Options {
 public:
  // argv[0] is the subcommand's name. False with a message for an unknown
  // option, a missing value or a value given to a flag.
  bool Parse(int argc, char** argv, std::initializer_list<OptionSpec> specs, std::string* error);

  bool Has(const std::string& longName) const { return values_.count(longName) != 0; }
  // The last value given, or null.
  const std::string* Value(const std::string& longName) const;
  const std::vector<std::string>& operands() const { return operands_; }

 private:
  std::map<std::string, std::string> values_;
  std::vector<std::string> operands_;
};

}  // namespace sfx::cli
