#include "cli/failure_json.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <utility>

#include "runtime/api/json_writer.h"

namespace cli {
namespace {

// A message line longer than this is kept cut; no message is that long.
constexpr size_t kMaxLine = 4096;

std::string g_line;       // the line being written
std::string g_last_line;  // the last one ended

// stderr's writes: on to descriptor 2 as they come, and the lines kept.
ssize_t WriteToStderr(void*, const char* data, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t n = ::write(STDERR_FILENO, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // as a closed stderr would: the message is lost, not the command
    done += static_cast<size_t>(n);
  }
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\n') {
      if (g_line.size() < kMaxLine) g_line += data[i];
    } else if (!g_line.empty()) {
      g_last_line.swap(g_line);
      g_line.clear();
    }
  }
  return static_cast<ssize_t>(size);
}

// Passes std::cout's output on, noting that there was some.
class NotingBuffer : public std::streambuf {
 public:
  explicit NotingBuffer(std::streambuf* next) : next_(next) {}
  bool written() const { return written_; }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    written_ = true;
    return next_->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    written_ = written_ || n > 0;
    return next_->sputn(s, n);
  }
  int sync() override { return next_->pubsync(); }

 private:
  std::streambuf* next_;
  bool written_ = false;
};

}  // namespace

struct FailureCapture::Hooks {
  FILE* original_stderr = stderr;
  FILE* noting_stderr = nullptr;
  std::streambuf* original_cout = std::cout.rdbuf();
  NotingBuffer noting_cout{original_cout};
};

FailureCapture::FailureCapture() : hooks_(new Hooks) {
  g_line.clear();
  g_last_line.clear();
  cookie_io_functions_t functions{nullptr, WriteToStderr, nullptr, nullptr};
  hooks_->noting_stderr = fopencookie(nullptr, "w", functions);
  if (hooks_->noting_stderr != nullptr) {
    std::setvbuf(hooks_->noting_stderr, nullptr, _IONBF, 0);  // in order with whatever else writes to it
    stderr = hooks_->noting_stderr;
  }
  std::cout.rdbuf(&hooks_->noting_cout);
}

FailureCapture::~FailureCapture() {
  std::cout.flush();
  std::cout.rdbuf(hooks_->original_cout);
  if (hooks_->noting_stderr != nullptr) {
    stderr = hooks_->original_stderr;
    std::fclose(hooks_->noting_stderr);
  }
  delete hooks_;
}

bool FailureCapture::DocumentWritten() const { return hooks_->noting_cout.written(); }

std::string LastErrorMessage() {
  const std::string& message = g_last_line.empty() ? g_line : g_last_line;
  // "arjhost: " or "arjhost list: ": the tool's own name is no news to a script.
  const std::string tool = "arjhost";
  if (message.rfind(tool, 0) != 0) return message;
  size_t at = tool.size();
  if (at < message.size() && message[at] == ' ') {
    at = message.find_first_of(" :", at + 1);
    if (at == std::string::npos || message[at] != ':') return message;
  }
  return message.compare(at, 2, ": ") == 0 ? message.substr(at + 2) : message;
}

void PrintFailureJson(const std::string& command, const std::string& archive, const std::string& error) {
  arjhost::JsonWriter json(std::cout, true);
  json.BeginObject();
  // Null for what the command line did not get to name.
  for (const auto& [key, value] : {std::pair{"command", &command}, std::pair{"archive", &archive}}) {
    json.Key(key);
    if (value->empty()) json.Null();
    else json.String(*value);
  }
  json.Key("error"), json.String(error);
  json.EndObject();
  std::cout << "\n";
  std::cout.flush();
}

}  // namespace cli
