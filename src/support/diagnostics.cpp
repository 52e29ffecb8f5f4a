#include "support/diagnostics.h"

#include <cstdarg>
#include <string>

#include "support/output.h"

namespace velkor {

namespace {

std::string formatted(const char* format, va_list args) {
  StringOutput text;
  text.printList(format, args);
  return text.text();
}

// The lines of a printed message joined into one: line ends and carriage
// returns become single blanks, blanks at either end are dropped.
std::string joinedLines(const char* printed) {
  std::string line;
  bool gap = false;
  for (const char* p = printed; *p != 0; ++p) {
    const bool blank = *p == '\n' || *p == '\r' || *p == ' ';
    if (blank) {
      gap = true;
      continue;
    }
    if (gap && !line.empty()) line += ' ';
    gap = false;
    line += *p;
  }
  return line;
}

}  // namespace

void Diagnostics::emit(const SourcePosition* at, bool isError, const char* text) {
  if (isError)
    ++errors_;
  else
    ++warnings_;
  if (log_ != nullptr) {
    StringOutput line;
    if (at != nullptr)
      line.print("%s:%d:%d: %s: %s", at->file, at->line, at->column, isError ? "error" : "warning", text);
    else
      line.print("%s: %s", isError ? "error" : "warning", text);
    log_->push_back(line.text());
  }
  if (sink_ == nullptr || (!isError && quiet)) return;
  clearStatus();
  if (at != nullptr)
    sink_->print("%s:%d:%d: %s: %s\n", at->file, at->line, at->column, isError ? "error" : "warning", text);
  else
    sink_->print("velkor: %s: %s\n", isError ? "error" : "warning", text);
  sink_->flush();
}

void Diagnostics::error(const SourcePosition& at, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatted(format, args);
  va_end(args);
  emit(&at, true, text.c_str());
}

void Diagnostics::warning(const SourcePosition& at, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatted(format, args);
  va_end(args);
  emit(&at, strict, text.c_str());
}

void Diagnostics::runError(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = formatted(format, args);
  va_end(args);
  emit(nullptr, true, text.c_str());
}

void Diagnostics::mirrorError(const SourcePosition& at, const char* printed, bool boundRefused) {
  std::string text = joinedLines(printed);
  if (boundRefused) text += " (the memory in use reached the bound of --max-memory)";
  emit(&at, true, text.c_str());
}

void Diagnostics::showStatus(const char* text, bool inPlace) {
  if (sink_ == nullptr) return;
  if (inPlace)
    sink_->print("\r%s\x1b[K", text);
  else
    sink_->print("%s\n", text);
  sink_->flush();
  statusShown_ = inPlace;
}

void Diagnostics::clearStatus() {
  if (!statusShown_ || sink_ == nullptr) return;
  sink_->print("\r\x1b[K");
  statusShown_ = false;
}

}  // namespace velkor
