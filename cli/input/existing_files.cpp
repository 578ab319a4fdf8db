#include "cli/input/existing_files.h"

#include "cli/input/terminal_question.h"

namespace cli {

ExistingFiles::ExistingFiles(const Args& args)
    : ruled_(args.Has("overwrite")       ? Choice::kReplace
             : args.Has("skip-existing") ? Choice::kKeep
                                         : Choice::kFail),
      ask_(ruled_ == Choice::kFail && CanAsk()) {}

ExistingFiles::Choice ExistingFiles::Decide(const std::string& shown) {
  if (!ask_) return ruled_;
  std::string answer;
  while (AskTerminal(shown + " exists; replace it? [y]es, [n]o, [A]ll, [N]one: ", false, &answer)) {
    if (answer == "y" || answer == "Y" || answer == "yes") return Choice::kReplace;
    if (answer == "n" || answer == "no") return Choice::kKeep;
    const bool all = answer == "A" || answer == "a" || answer == "all";
    if (all || answer == "N" || answer == "none") {
      ask_ = false;
      ruled_ = all ? Choice::kReplace : Choice::kKeep;
      return ruled_;
    }
  }
  ask_ = false;  // the terminal is gone: the rest fail as without one
  return ruled_;
}

}  // namespace cli
