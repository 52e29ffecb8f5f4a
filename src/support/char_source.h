// Where the token reader takes its characters from, one at a time.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace velkor {

class CharSource {
 public:
  virtual ~CharSource() = default;
  // The next character as 0 .. 255, or -1 at end of input.
  virtual int get() = 0;
};

class StringSource final : public CharSource {
 public:
  explicit StringSource(std::string text) : text_(std::move(text)) {}
  int get() override {
    if (pos_ >= text_.size()) return -1;
    return static_cast<unsigned char>(text_[pos_++]);
  }

 private:
  std::string text_;
  std::size_t pos_ = 0;
};

class StreamSource final : public CharSource {
 public:
  explicit StreamSource(std::FILE* stream) : stream_(stream) {}
  int get() override {
    int c = std::getc(stream_);
    return c == EOF ? -1 : c;
  }

 private:
  std::FILE* stream_;
};

}  // namespace velkor
