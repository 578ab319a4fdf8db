// The JSON documents of list and test, one for each archive named: the
// archive's object alone (--json, one archive), an array of the objects
// (--json, several), or one compact line each (--json-lines), with "ok":
// whether the command's verdict on that archive is success (exit code 0).
// Archives may be checked side by side (ordered_output.h), each writing
// its own document and what separates it from the one before.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "cli/input/args.h"
#include "cli/output/json_writer.h"

namespace cli {

enum class DocumentForm { kNone, kJson, kJsonLines };

// --json or --json-lines (ParseArgs refuses neither, the command both).
DocumentForm DocumentFormOf(const Args& args);

// The array's opening of several archives' --json objects, and its end
// once every archive's object is written.
void BeginDocuments(DocumentForm form, size_t archives);
void EndDocuments(DocumentForm form, size_t archives);

// The document of archive `index` of `archives`.
class ArchiveDocument {
 public:
  ArchiveDocument(DocumentForm form, size_t index, size_t archives);

  bool wanted() const { return form_ != DocumentForm::kNone; }
  // One line, which says the verdict: written once it is known.
  bool lines() const { return form_ == DocumentForm::kJsonLines; }
  // Writes what goes before the object, opens it and returns the writer
  // for its members.
  JsonWriter& Begin();
  // Closes the object, with "ok" (`ok`: the exit code for the archive is 0)
  // on a line.
  void End(bool ok);
  // An archive that could not be opened: its path and `error`, and on a
  // line "ok": false. Nothing for --json of one archive, which fails the
  // command with its own document.
  void Failed(const std::string& path, const std::string& error);

 private:
  const DocumentForm form_;
  const size_t index_;
  const bool several_;
  std::unique_ptr<JsonWriter> json_;
};

}  // namespace cli
