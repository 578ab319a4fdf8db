#include "cli/input/args.h"

namespace cli {

std::string Args::Value(const std::string& name, const std::string& fallback) const {
  auto found = options.find(name);
  return found == options.end() || found->second.empty() ? fallback : found->second.back();
}

bool ParseArgs(const std::vector<std::string>& argv, const std::vector<OptionSpec>& option_list, Args* out,
               std::string* error) {
  bool options_done = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (options_done || arg.size() < 2 || arg[0] != '-') {
      out->operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_done = true;
      continue;
    }
    const OptionSpec* option = nullptr;
    std::string value;
    bool has_inline_value = false;
    if (arg[1] == '-') {
      std::string name = arg.substr(2);
      if (size_t eq = name.find('='); eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
        has_inline_value = true;
      }
      for (const OptionSpec& s : option_list)
        if (s.name == name) option = &s;
    } else {
      for (const OptionSpec& s : option_list)
        if (s.short_name == arg[1]) option = &s;
      if (option != nullptr && arg.size() > 2) {
        value = arg.substr(2);  // "-pSECRET", "-Cdir"
        has_inline_value = true;
      }
    }
    if (option == nullptr) {
      *error = "unknown option " + arg;
      return false;
    }
    if (option->takes_value && !has_inline_value && !option->value_optional) {
      if (i + 1 >= argv.size()) {
        *error = "option " + arg + " needs a value";
        return false;
      }
      value = argv[++i];
    } else if (!option->takes_value && has_inline_value) {
      *error = "option " + arg + " takes no value";
      return false;
    }
    out->options[option->name].push_back(value);
  }
  return true;
}

}  // namespace cli
