// A scratch directory for one test's files, and shell commands run in it.
#pragma once

#include <string>

namespace velkor::testing {

class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  bool ok() const { return !dir_.empty(); }
  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // Writes `text` to the file `name` and returns its path.
  std::string write(const std::string& name, const std::string& text) const;

 private:
  std::string dir_;
};

struct ShellRun {
  int status = -1;  // as the shell reports it: 128 + N for a child killed by signal N
  std::string out;
  std::string err;
};

// Runs `script` with sh in the scratch directory, with $VELKOR naming the
// velkor executable, and collects its standard output and standard error.
ShellRun runShell(const Scratch& scratch, const std::string& script);

}  // namespace velkor::testing
