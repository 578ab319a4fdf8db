#include "cli/output/messages.h"

#include <atomic>
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
std::atomic<bool> g_document_written{false};

void ClearLocked() {
  if (!g_status_shown) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  g_status_shown = false;
}

std::string Format(const char* format, va_list args) {
  // Most lines fit here, and a listing prints one a row.
  char line[512];
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(line, sizeof line, format, args);
  std::string text;
  if (size > 0 && static_cast<size_t>(size) < sizeof line) {
    text.assign(line, static_cast<size_t>(size));
  } else if (size > 0) {
    text.resize(static_cast<size_t>(size));
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}

}  // namespace

// The job the calling thread writes for, with its document text gathered
// into pieces rather than passed on a token at a time.
struct JobOutputScope::Job : std::streambuf {
  OrderedOutput& output;
  const size_t index;
  std::string last_error;
  std::string document;  // document text not yet passed on
  std::ostream document_stream{this};

  Job(OrderedOutput& o, size_t i) : output(o), index(i) {}

  void Emit(Channel channel, const std::string& text) {
    if (!output.Keep(index, channel, text)) WriteNow(channel, text);
  }
  void PassDocument() {
    if (document.empty()) return;
    std::string text;
    text.swap(document);
    Emit(Channel::kStdout, text);
  }

 protected:
  static constexpr size_t kPiece = 16 << 10;
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    g_document_written = true;
    document.push_back(traits_type::to_char_type(c));
    if (document.size() >= kPiece) PassDocument();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    g_document_written = g_document_written || n > 0;
    document.append(s, static_cast<size_t>(n));
    if (document.size() >= kPiece) PassDocument();
    return n;
  }
  int sync() override {
    PassDocument();
    return 0;
  }
};

namespace {

thread_local JobOutputScope::Job* t_job = nullptr;

// Say and Print: on a job's thread into its place, after its document
// text so far; else at once.
void Write(Channel channel, const std::string& text) {
  if (t_job == nullptr) return WriteNow(channel, text);
  t_job->PassDocument();
  t_job->Emit(channel, text);
}

// Whether the calling thread may draw the progress line: its output goes
// out at once.
bool MayDrawStatus() { return t_job == nullptr || t_job->output.InTurn(t_job->index); }

}  // namespace

void WriteNow(Channel channel, const std::string& text) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ClearLocked();
  if (channel == Channel::kStderr) std::fflush(stdout);  // what came before stays before
  std::fputs(text.c_str(), channel == Channel::kStderr ? stderr : stdout);
}

JobOutputScope::JobOutputScope(OrderedOutput& output, size_t job) : job_(std::make_unique<Job>(output, job)) {
  t_job = job_.get();
}

JobOutputScope::~JobOutputScope() {
  job_->PassDocument();
  t_job = nullptr;
  job_->output.Done(job_->index);
}

void Say(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Write(Channel::kStderr, text);
}

void Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Write(Channel::kStdout, text);
}

void SayError(const std::string& command, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  if (t_job != nullptr) {
    t_job->last_error = text;
  } else {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_last_error = text;
  }
  Write(Channel::kStderr, (command.empty() ? "arjhost: " : "arjhost " + command + ": ") + text + "\n");
}

std::string LastError() {
  if (t_job != nullptr) return t_job->last_error;
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_last_error;
}

void ShowStatusLine(const std::string& text) {
  if (!MayDrawStatus()) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  std::fflush(stdout);
  std::fprintf(stderr, "\r\033[K%s", text.c_str());
  std::fflush(stderr);
  g_status_shown = true;
}

void ClearStatusLine() {
  if (!MayDrawStatus()) return;
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
  if (t_job != nullptr) return t_job->document_stream;
  static NotingBuffer buffer;
  static std::ostream stream(&buffer);
  return stream;
}

bool DocumentWritten() { return g_document_written; }

}  // namespace cli
