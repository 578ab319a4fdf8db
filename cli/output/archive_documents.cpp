#include "cli/output/archive_documents.h"

#include <ostream>

#include "cli/output/messages.h"

namespace cli {

DocumentForm DocumentFormOf(const Args& args) {
  if (args.Has("json-lines")) return DocumentForm::kJsonLines;
  return args.Has("json") ? DocumentForm::kJson : DocumentForm::kNone;
}

void BeginDocuments(DocumentForm form, size_t archives) {
  if (form == DocumentForm::kJson && archives > 1) DocumentStream() << "[";
}

void EndDocuments(DocumentForm form, size_t archives) {
  if (form == DocumentForm::kJson && archives > 1) DocumentStream() << "\n]\n";
  DocumentStream().flush();
}

ArchiveDocument::ArchiveDocument(DocumentForm form, size_t index, size_t archives)
    : form_(form), index_(index), several_(archives > 1) {}

JsonWriter& ArchiveDocument::Begin() {
  std::ostream& out = DocumentStream();
  const bool in_array = form_ == DocumentForm::kJson && several_;
  // As a writer of the whole array would set the element apart.
  if (in_array) out << (index_ > 0 ? ",\n  " : "\n  ");
  json_ = std::make_unique<JsonWriter>(out, form_ == DocumentForm::kJson, in_array ? 1 : 0);
  json_->BeginObject();
  return *json_;
}

void ArchiveDocument::End(bool ok) {
  if (lines()) json_->Key("ok"), json_->Bool(ok);
  json_->EndObject();
  if (lines() || !several_) DocumentStream() << "\n";
  json_.reset();
}

void ArchiveDocument::Failed(const std::string& path, const std::string& error) {
  if (!wanted() || (form_ == DocumentForm::kJson && !several_)) return;
  JsonWriter& json = Begin();
  json.Key("archive"), json.String(path);
  json.Key("error"), json.String(error);
  End(false);
}

}  // namespace cli
