// The one printf-style sink that every line of output goes through.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

namespace velkor {

class Output {
 public:
  virtual ~Output() = default;

  // Formats like printf and writes the result.
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));
  void printList(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
  // Writes one character (the echo of the token reader).
  void putChar(char c) { write(&c, 1); }
  void putText(const char* text);

  virtual void write(const char* data, std::size_t size) = 0;
  virtual void flush() {}
  // True once a write could not be completed.
  virtual bool failed() const { return false; }
};

// Output collected in a string (tests, in-process runs).
class StringOutput final : public Output {
 public:
  void write(const char* data, std::size_t size) override { text_.append(data, size); }
  const std::string& text() const { return text_; }
  void clear() { text_.clear(); }

 private:
  std::string text_;
};

// Buffered output to a C stream (standard output in the program).
class StreamOutput final : public Output {
 public:
  explicit StreamOutput(std::FILE* stream) : stream_(stream) {}
  ~StreamOutput() override { flush(); }
  void write(const char* data, std::size_t size) override;
  void flush() override;
  bool failed() const override { return failed_; }
  // The errno of the first failed write (0 while none failed).
  int errorNumber() const { return errorNumber_; }

 private:
  void fail();

  static constexpr std::size_t kBufferSize = 1 << 16;
  std::FILE* stream_;
  char buffer_[kBufferSize];
  std::size_t used_ = 0;
  bool failed_ = false;
  int errorNumber_ = 0;
};

}  // namespace velkor
