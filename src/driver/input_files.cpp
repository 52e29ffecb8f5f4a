#include "driver/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace velkor {

namespace {

// Standard input must be an open descriptor, open for reading, that is not
// a directory: a read from any other fails at once, and would otherwise look
// like an empty input.
bool checkStandardInput(std::string& reason) {
  struct stat info {};
  const int flags = fcntl(STDIN_FILENO, F_GETFL);
  if (flags < 0 || (flags & O_ACCMODE) == O_WRONLY || fstat(STDIN_FILENO, &info) != 0) {
    reason = std::strerror(flags < 0 ? errno : EBADF);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    reason = std::strerror(EISDIR);
    return false;
  }
  return true;
}

}  // namespace

InputFiles::~InputFiles() { closeCurrent(); }

bool InputFiles::open(const std::vector<std::string>& names, std::string& error) {
  static const std::vector<std::string> kStandardInputOnly{"-"};
  for (const std::string& name : names.empty() ? kStandardInputOnly : names) {
    std::string reason;
    if (name == "-") {
      if (!checkStandardInput(reason)) {
        error = "standard input: " + reason;
        return false;
      }
      inputs_.push_back({"standard input", "<stdin>", true});
      continue;
    }
    // What opening for reading would say: no such file, no permission.
    struct stat info {};
    if (stat(name.c_str(), &info) != 0 || faccessat(AT_FDCWD, name.c_str(), R_OK, AT_EACCESS) != 0) {
      error = "cannot open '" + name + "': " + std::strerror(errno);
      return false;
    }
    if (S_ISDIR(info.st_mode)) {
      error = "cannot read '" + name + "': " + std::strerror(EISDIR);
      return false;
    }
    inputs_.push_back({"'" + name + "'", name, false});
  }
  return true;
}

bool InputFiles::openCurrent() {
  const Input& input = inputs_[current_];
  if (input.standard) {
    stream_ = stdin;
    return true;
  }
  stream_ = std::fopen(input.place.c_str(), "rbe");
  if (stream_ != nullptr) return true;
  readError_ = "cannot open " + input.name + ": " + std::strerror(errno);
  return false;
}

void InputFiles::closeCurrent() {
  if (stream_ != nullptr && stream_ != stdin) std::fclose(stream_);
  stream_ = nullptr;
}

int InputFiles::read() {
  while (current_ < inputs_.size()) {
    if (!begun_) {
      if (!openCurrent()) {
        current_ = inputs_.size();
        return -1;
      }
      beginFile(inputs_[current_].place.c_str());
      begun_ = true;
    }
    const int c = std::getc(stream_);
    if (c != EOF) {
      if (record_ != nullptr) record_->push_back(static_cast<char>(c));
      return c;
    }
    if (std::ferror(stream_)) {
      readError_ = "error reading " + inputs_[current_].name + ": " + std::strerror(errno);
      closeCurrent();
      current_ = inputs_.size();
      return -1;
    }
    closeCurrent();
    ++current_;
    begun_ = false;
  }
  return -1;
}

}  // namespace velkor
