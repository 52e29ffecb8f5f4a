// Where a run's results go: standard output, or the file of -o. A regular
// file is written under a temporary name in its directory and renamed over
// the target only when the run succeeded, so that it is never left
// half-written; devices and pipes are written directly.
#pragma once

#include <cstdio>
#include <string>

namespace velkor {

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { discard(); }

  // Standard output for an empty path; otherwise creates the file (or its
  // temporary stand-in). Returns false with `error` naming the problem.
  bool open(const std::string& path, std::string& error);
  std::FILE* stream() const { return stream_; }
  // "standard output" or the quoted path, for messages.
  const std::string& name() const { return name_; }

  // Closes the file and puts it in place. Returns false with `error` set
  // when that fails; the temporary file is then removed.
  bool commit(std::string& error);
  // Closes and removes a file not yet committed; the target is untouched.
  void discard();

 private:
  std::FILE* stream_ = stdout;
  std::string name_ = "standard output";
  std::string target_;     // the path renamed over (empty: no renaming)
  std::string temporary_;  // the file written
  bool owned_ = false;     // stream_ was opened here
};

}  // namespace velkor
