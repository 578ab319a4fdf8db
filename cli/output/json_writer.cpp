#include "cli/output/json_writer.h"

#include <charconv>

#include "cli/output/utf8_reading.h"

namespace cli {

void AppendJsonString(std::string_view text, std::string* out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out->push_back('"');
  size_t pos = 0;
  size_t plain_start = 0;  // bytes from here to pos are copied unchanged
  const auto flush_plain = [&] { out->append(text.substr(plain_start, pos - plain_start)); };
  while (pos < text.size()) {
    const auto byte = static_cast<uint8_t>(text[pos]);
    if (byte >= 0x20u && byte < 0x80u && byte != '"' && byte != '\\') {
      ++pos;
      continue;
    }
    if (byte >= 0x80u) {
      const Utf8Char read = ReadUtf8Char(text, pos);
      if (read.valid) {
        pos += read.length;
        continue;
      }
      flush_plain();
      out->append(kReplacementUtf8);
      pos += read.length;
    } else {
      flush_plain();
      if (byte < 0x20u) {
        out->append("\\u00");
        out->push_back(kHex[byte >> 4]);
        out->push_back(kHex[byte & 0xFu]);
      } else {
        out->push_back('\\');
        out->push_back(static_cast<char>(byte));
      }
      ++pos;
    }
    plain_start = pos;
  }
  flush_plain();
  out->push_back('"');
}

void JsonWriter::NewLine(size_t depth) {
  if (!pretty_) return;
  out_.put('\n');
  for (size_t i = 0; i < depth + indent_; ++i) out_.write("  ", 2);
}

// Checks that a value may come here and writes what separates it from the
// one before. Returns false (and marks the writer failed) when it may not.
bool JsonWriter::BeginValue() {
  if (stack_.empty()) {
    if (done_) ok_ = false;
    return ok_;
  }
  if (stack_.back() == Container::Object) {
    if (!key_written_) ok_ = false;
    key_written_ = false;
    return ok_;
  }
  if (!ok_) return false;
  if (!container_empty_) out_.put(',');
  NewLine(stack_.size());
  container_empty_ = false;
  return true;
}

void JsonWriter::EndValue() {
  if (stack_.empty()) done_ = true;
}

void JsonWriter::Open(Container kind, char bracket) {
  if (!BeginValue()) return;
  out_.put(bracket);
  stack_.push_back(kind);
  container_empty_ = true;
}

void JsonWriter::Close(Container kind, char bracket) {
  if (!ok_ || stack_.empty() || stack_.back() != kind || key_written_) {
    ok_ = false;
    return;
  }
  stack_.pop_back();
  if (!container_empty_) NewLine(stack_.size());
  out_.put(bracket);
  container_empty_ = false;  // the closed container is an entry of its parent
  EndValue();
}

void JsonWriter::BeginObject() { Open(Container::Object, '{'); }
void JsonWriter::EndObject() { Close(Container::Object, '}'); }
void JsonWriter::BeginArray() { Open(Container::Array, '['); }
void JsonWriter::EndArray() { Close(Container::Array, ']'); }

void JsonWriter::Key(std::string_view name) {
  if (!ok_ || stack_.empty() || stack_.back() != Container::Object || key_written_) {
    ok_ = false;
    return;
  }
  if (!container_empty_) out_.put(',');
  NewLine(stack_.size());
  container_empty_ = false;
  scratch_.clear();
  AppendJsonString(name, &scratch_);
  scratch_.append(pretty_ ? ": " : ":");
  out_.write(scratch_.data(), static_cast<std::streamsize>(scratch_.size()));
  key_written_ = true;
}

void JsonWriter::WriteScalar(std::string_view token) {
  if (!BeginValue()) return;
  out_.write(token.data(), static_cast<std::streamsize>(token.size()));
  EndValue();
}

template <typename Integer>
void JsonWriter::WriteInteger(Integer value) {
  char digits[24];  // 20 digits of 2^64 - 1, or a sign and 19 digits
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  WriteScalar(std::string_view(digits, static_cast<size_t>(result.ptr - digits)));
}

void JsonWriter::String(std::string_view text) {
  scratch_.clear();
  AppendJsonString(text, &scratch_);
  WriteScalar(scratch_);
}

void JsonWriter::Unsigned(uint64_t value) { WriteInteger(value); }
void JsonWriter::Signed(int64_t value) { WriteInteger(value); }

void JsonWriter::Bool(bool value) { WriteScalar(value ? "true" : "false"); }
void JsonWriter::Null() { WriteScalar("null"); }

}  // namespace cli
