#include "cli/output/messages.h"

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <streambuf>

namespace cli {
namespace {

std::mutex g_mutex;  // the progress line is drawn from worker threads too
bool g_status_shown = false;
std::string g_last_error;
bool g_document_written = false;

void ClearLocked() {
  if (!g_status_shown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  g_status_shown = false;
}

std::string Format(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, args);
  std::string text(size > 0 ? static_cast<size_t>(size) : 0, '\0');
  if (size > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
  va_end(again);
  return text;
}

// Say and Print: the text after the progress line is cleared.
void Write(FILE* stream, const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ClearLocked();
  if (stream == stderr) std::fflush(stdout);  // what came before stays before
  std::fputs(text.c_str(), stream);
}

}  // namespace

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Write(stderr, text);
}

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Write(stdout, text);
}

void SayError(const std::string& command, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_last_error = text;
  }
  Write(stderr, (command.empty() ? "arjhost: " : "arjhost " + command + ": ") + text + "\n");
}

std::string LastError() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_last_error;
}

void ShowStatusLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  std::fflush(stdout);
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
  g_status_shown = true;
}

void ClearStatusLine() {
  std::lock_guard<std::mutex> lock(g_mutex);
  ClearLocked();
}

namespace {

// Passes a document on to std::cout's buffer, noting that some was written
// (a writer may be made before the command knows it has anything to say).
class NotingBuffer : public std::streambuf {
 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    g_document_written = true;
    return std::cout.rdbuf()->sputc(traits_type::to_char_type(c));
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    g_document_written = g_document_written || n > 0;
    return std::cout.rdbuf()->sputn(s, n);
  }
  int sync() override { return std::cout.rdbuf()->pubsync(); }
};

}  // namespace

std::ostream& DocumentStream() {
  static NotingBuffer buffer;
  static std::ostream stream(&buffer);
  return stream;
}

bool DocumentWritten() { return g_document_written; }

}  // namespace cli
