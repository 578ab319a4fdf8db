// Command-line parsing shared by every command: options may stand before or
// after the operands; "--" ends the options.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace cli {

struct OptionSpec {
  std::string name;        // long name without dashes, e.g. "trace"
  char short_name;         // 0 when it has none
  bool takes_value;
  std::string value_name;  // what the value is, for help ("DIR")
  std::string help;        // one line for help
  // The value is given only as --NAME=VALUE; --NAME alone takes none.
  bool value_optional = false;
  // How help shows the value: " N", or "[=N]" when optional.
  std::string ValueForm() const {
    if (!takes_value) return "";
    return value_optional ? "[=" + value_name + "]" : " " + value_name;
  }
};

struct Args {
  std::vector<std::string> operands;
  std::map<std::string, std::vector<std::string>> options;  // by long name, every occurrence

  bool Has(const std::string& name) const { return options.count(name) != 0; }
  // The last value given, or `fallback`.
  std::string Value(const std::string& name, const std::string& fallback = "") const;
};

// Returns false with `error` set for an unknown option or a missing value.
bool ParseArgs(const std::vector<std::string>& argv, const std::vector<OptionSpec>& option_list, Args* out,
               std::string* error);

}  // namespace cli
