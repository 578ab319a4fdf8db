#include "cli/commands/comment_options.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "cli/commands/session.h"
#include "cli/output/messages.h"

namespace cli {
namespace {

// More than any header holds: a longer file is refused by the rewrite's
// own check, which says how long a comment may be.
constexpr size_t kMaxCommentFile = 1 << 16;

bool ReadCommentFile(const std::string& command, const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (in) text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    SayError(command, "%s: the comment cannot be read: %s", ShowPath(path).c_str(),
             errno != 0 ? std::strerror(errno) : "not a file");
    return false;
  }
  if (text->size() > kMaxCommentFile) text->resize(kMaxCommentFile + 1);
  return true;
}

// A comment typed on the command line, stored as arj stores the lines it
// takes: each ending in a line end (arj l would print its heading on the
// last line of a comment without one).
std::string TypedComment(std::string text) {
  if (!text.empty() && text.back() != '\n') text += '\n';
  return text;
}

}  // namespace

bool CommentsAsked(const Args& args) { return args.Has("comment") || args.Has("entry-comment"); }

bool TakeComments(const Args& args, const std::string& command, const std::vector<arjhost::EntryInfo>& entries,
                  arjhost::ChangeSet* changes) {
  if (args.Has("comment")) {
    std::string text = args.Value("comment");
    if (!text.empty() && text[0] == '@') {
      if (!ReadCommentFile(command, text.substr(1), &text)) return false;
    } else {
      text = TypedComment(text);
    }
    changes->archive_comment = text;
  }
  const auto found = args.options.find("entry-comment");
  if (found == args.options.end()) return true;
  for (const std::string& given : found->second) {
    const size_t eq = given.find('=');
    if (eq == std::string::npos || eq == 0) {
      SayError(command, "--entry-comment \"%s\" is not NAME=TEXT", ShowPath(given).c_str());
      return false;
    }
    const std::string name = given.substr(0, eq);
    const std::string text = TypedComment(given.substr(eq + 1));
    bool named = false;
    for (arjhost::NewContent& c : changes->added)
      if (c.stored_name == name) c.comment = text, named = true;
    for (const arjhost::EntryInfo& e : entries)
      if (e.name == name && !changes->dropped.count(e.handle)) changes->comments[e.handle] = text, named = true;
    if (!named) {
      SayError(command, "--entry-comment: no entry \"%s\" in the new archive", ShowPath(name).c_str());
      return false;
    }
  }
  return true;
}

}  // namespace cli
