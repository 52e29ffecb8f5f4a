// Where the token reader takes its characters from, one at a time, and
// where in the input each of them lies.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace velkor {

// A place in the input: the file (or "<stdin>"), its line and its column,
// both counted from 1. Columns count characters: the bytes that continue a
// UTF-8 sequence do not start a column of their own.
struct SourcePosition {
  const char* file = "<stdin>";
  int line = 1;
  int column = 0;
};

class CharSource {
 public:
  virtual ~CharSource() = default;

  // The next character as 0 .. 255, or -1 at end of input.
  int get() {
    const int c = read();
    if (c >= 0) advance(c);
    return c;
  }

  // Where the character last returned by get() lies (column 0 before the
  // first one of a file).
  const SourcePosition& position() const { return position_; }
  // Just after the last character read: where the input ended, once get()
  // has returned -1.
  SourcePosition endPosition() const {
    SourcePosition end = position_;
    if (afterLineEnd_) {
      ++end.line;
      end.column = 1;
    } else {
      ++end.column;
    }
    return end;
  }

 protected:
  // The next character of the input, or -1 at its end.
  virtual int read() = 0;
  // Positions count afresh from here, in the file of this name (which must
  // outlive the source). A source over several files calls it as each one
  // begins.
  void beginFile(const char* name) {
    position_ = SourcePosition{name, 1, 0};
    afterLineEnd_ = false;
  }

 private:
  void advance(int c) {
    if (afterLineEnd_) {
      ++position_.line;
      position_.column = 0;
      afterLineEnd_ = false;
    }
    if ((c & 0xc0) != 0x80) ++position_.column;
    if (c == '\n') afterLineEnd_ = true;
  }

  SourcePosition position_;
  bool afterLineEnd_ = false;
};

class StringSource final : public CharSource {
 public:
  explicit StringSource(std::string text, const char* name = "<stdin>") : text_(std::move(text)) {
    beginFile(name);
  }

 protected:
  int read() override {
    if (pos_ >= text_.size()) return -1;
    return static_cast<unsigned char>(text_[pos_++]);
  }

 private:
  std::string text_;
  std::size_t pos_ = 0;
};

class StreamSource final : public CharSource {
 public:
  explicit StreamSource(std::FILE* stream, const char* name = "<stdin>") : stream_(stream) { beginFile(name); }

 protected:
  int read() override {
    int c = std::getc(stream_);
    return c == EOF ? -1 : c;
  }

 private:
  std::FILE* stream_;
};

}  // namespace velkor
