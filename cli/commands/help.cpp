#include "cli/commands/help.h"

#include <string>

namespace cli {
namespace {

void PrintOptions(const std::vector<OptionSpec>& options, FILE* out) {
  for (const OptionSpec& o : options) {
    std::string form = o.short_name != 0 ? std::string("-") + o.short_name + ", " : "    ";
    form += "--" + o.name;
    form += o.ValueForm();
    std::fprintf(out, "  %-24s %s\n", form.c_str(), o.help.c_str());
  }
}

}  // namespace

std::string UsageOf(const Command& command) {
  std::string usage = command.name;
  if (!command.operands.empty()) usage += " " + command.operands;
  for (const OptionSpec& o : command.options) {
    usage += o.short_name != 0 ? std::string(" [-") + o.short_name : " [--" + o.name;
    if (o.short_name == 0) usage += o.ValueForm();
    else if (o.takes_value) usage += " " + o.value_name;
    usage += "]";
  }
  return usage;
}

void PrintOverview(FILE* out) {
  std::fprintf(out, "usage: arjhost COMMAND [OPTIONS] [OPERANDS]\n\ncommands:\n");
  for (const Command& c : Commands()) std::fprintf(out, "  %-12s %s\n", c.name.c_str(), c.summary.c_str());
  std::fprintf(out, "\nas arj names them:");
  for (const Alias& a : Aliases()) {
    std::string meaning = a.command;
    for (const std::string& o : a.options) meaning += " " + o;
    std::fprintf(out, " %s (%s)", a.name.c_str(), meaning.c_str());
  }
  std::fprintf(out, "\n\noptions for every command:\n");
  PrintOptions(CommonOptions(), out);
  std::fprintf(out, "\n\"arjhost help COMMAND\" or \"arjhost COMMAND --help\" shows a command's options and examples;\n"
                    "\"arjhost --version\" the version.\n");
}

void PrintCommandHelp(const Command& command, FILE* out) {
  std::fprintf(out, "usage: arjhost %s\n", UsageOf(command).c_str());
  const std::string aliases = AliasesOf(command.name);
  if (!aliases.empty()) std::fprintf(out, "aliases, as arj names them: %s\n", aliases.c_str());
  std::fprintf(out, "\n%s\n\noptions:\n", command.description.c_str());
  PrintOptions(command.options, out);
  PrintOptions(CommonOptions(), out);
  std::fprintf(out, "\nexamples:\n");
  for (const std::string& e : command.examples) std::fprintf(out, "  %s\n", e.c_str());
}

}  // namespace cli
