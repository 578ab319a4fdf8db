// Minimal streaming JSON writer for the tool's machine-readable output.
// Strings are taken as UTF-8; malformed bytes become U+FFFD, so the output
// is valid JSON whatever names an archive holds.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// Appends `text` as a quoted JSON string: quotes and backslashes escaped,
// control characters as \u00XX, malformed UTF-8 replaced by U+FFFD.
void AppendJsonString(std::string_view text, std::string* out);

class JsonWriter {
 public:
  // `pretty` puts each member and element on its own line, indented by two
  // spaces per level (and `indent` levels more: a value written as an
  // element of an array written by others); otherwise nothing but the JSON
  // tokens is written.
  explicit JsonWriter(std::ostream& out, bool pretty = false, size_t indent = 0)
      : out_(out), pretty_(pretty), indent_(indent) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // Names the next value; only inside an object, once per value.
  void Key(std::string_view name);

  void String(std::string_view text);
  void Unsigned(uint64_t value);
  void Signed(int64_t value);
  void Bool(bool value);
  void Null();

  // False once a call did not fit the JSON grammar (a value without a key in
  // an object, a mismatched End, a second top-level value...). Such calls
  // write nothing, so the text written so far stays a valid JSON prefix.
  bool ok() const { return ok_; }
  // True once one complete top-level value has been written.
  bool complete() const { return done_; }

 private:
  enum class Container : uint8_t { Object, Array };

  bool BeginValue();
  void Open(Container kind, char bracket);
  void Close(Container kind, char bracket);
  void NewLine(size_t depth);
  void EndValue();
  void WriteScalar(std::string_view token);
  template <typename Integer>
  void WriteInteger(Integer value);

  std::ostream& out_;
  const bool pretty_;
  const size_t indent_;
  std::vector<Container> stack_;
  bool container_empty_ = true;  // the innermost container has no entry yet
  bool key_written_ = false;     // a key waits for its value
  bool done_ = false;
  bool ok_ = true;
  std::string scratch_;
};

}  // namespace cli
