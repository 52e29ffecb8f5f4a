#include "driver/input_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace velkor {

namespace {

// Standard input must be an open descriptor that is not a directory: a
// read from either fails at once, and would otherwise look like an empty
// input.
bool checkReadable(std::FILE* stream, std::string& reason) {
  struct stat info {};
  if (fstat(fileno(stream), &info) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode)) {
    reason = std::strerror(EISDIR);
    return false;
  }
  return true;
}

}  // namespace

InputFiles::~InputFiles() {
  for (Input& input : inputs_)
    if (input.owned) std::fclose(input.stream);
}

bool InputFiles::open(const std::vector<std::string>& names, std::string& error) {
  static const std::vector<std::string> kStandardInputOnly{"-"};
  for (const std::string& name : names.empty() ? kStandardInputOnly : names) {
    std::string reason;
    if (name == "-") {
      if (!checkReadable(stdin, reason)) {
        error = "standard input: " + reason;
        return false;
      }
      inputs_.push_back({"standard input", "<stdin>", stdin, false});
      continue;
    }
    std::FILE* stream = std::fopen(name.c_str(), "rb");
    if (stream == nullptr) {
      error = "cannot open '" + name + "': " + std::strerror(errno);
      return false;
    }
    inputs_.push_back({"'" + name + "'", name, stream, true});
    if (!checkReadable(stream, reason)) {
      error = "cannot read '" + name + "': " + reason;
      return false;
    }
  }
  return true;
}

int InputFiles::read() {
  while (current_ < inputs_.size()) {
    if (!begun_) {
      beginFile(inputs_[current_].place.c_str());
      begun_ = true;
    }
    std::FILE* stream = inputs_[current_].stream;
    const int c = std::getc(stream);
    if (c != EOF) {
      if (record_ != nullptr) record_->push_back(static_cast<char>(c));
      return c;
    }
    if (std::ferror(stream)) {
      readError_ = "error reading " + inputs_[current_].name + ": " + std::strerror(errno);
      current_ = inputs_.size();
      return -1;
    }
    ++current_;
    begun_ = false;
  }
  return -1;
}

}  // namespace velkor
