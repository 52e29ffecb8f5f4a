// The input files of a run, read one after the other as one stream of
// characters (as `cat FILE... | velkor` would give them).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/char_source.h"

namespace velkor {

class InputFiles final : public CharSource {
 public:
  InputFiles() = default;
  InputFiles(const InputFiles&) = delete;
  InputFiles& operator=(const InputFiles&) = delete;
  ~InputFiles() override;

  // Checks every input in order ("-" is standard input; an empty list means
  // standard input alone). Returns false with `error` naming the first input
  // that does not exist, cannot be read or is a directory. Each file is
  // opened only when reading reaches it and closed at its end, so that a
  // run takes one descriptor however many inputs it has.
  bool open(const std::vector<std::string>& names, std::string& error);

  // After get() returned -1: true when it did so because a read failed,
  // with the message in readError().
  bool readFailed() const { return !readError_.empty(); }
  const std::string& readError() const { return readError_; }
  // Every character read from here on is also appended to `text` (for the
  // report, which shows the input); nullptr stops that.
  void record(std::string* text) { record_ = text; }

 protected:
  int read() override;

 private:
  struct Input {
    std::string name;  // as shown in messages
    std::string place;  // as positions in the input name it: the path, or "<stdin>"
    bool standard;  // standard input, not opened here
  };
  // Opens the current input; false with readError_ set when it cannot be.
  bool openCurrent();
  void closeCurrent();
  std::FILE* stream_ = nullptr;
  std::vector<Input> inputs_;
  std::size_t current_ = 0;
  bool begun_ = false;  // positions count in the current input
  std::string readError_;
  std::string* record_ = nullptr;
};

}  // namespace velkor
