// Where a run's results go: standard output, or the file of -o (and the
// files of the plots and the report). A regular file is written under a
// temporary name in its directory and renamed over the target only when the
// whole run succeeded, so that it is never left half-written; devices and
// pipes are written directly.
//
// Replacing a file is refused when the file may not be written (as the
// shell's `>` would refuse it); the new file keeps the old one's mode
// without the set-user-ID and set-group-ID bits, and its owner when that
// can be given. A symbolic link stays a link: the file it names is
// replaced, or created when it does not exist (with a note on standard
// error).
#pragma once

#include <cstdio>
#include <initializer_list>
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

  // Writes `content`; false with `error` (and its reason) when that fails.
  bool write(const std::string& content, std::string& error);
  // Closes the file and puts it in place. Returns false with `error` set
  // when that fails; the temporary file is then removed.
  bool commit(std::string& error);
  // Closes and removes a file not yet committed; the target is untouched.
  void discard();

  // Finishes the writing of a file that is then put in place by place().
  bool close(std::string& error);
  bool place(std::string& error);

 private:
  std::FILE* stream_ = stdout;
  std::string name_ = "standard output";
  std::string target_;     // the path renamed over (empty: no renaming)
  std::string temporary_;  // the file written
  int slot_ = -1;          // where the temporary path is kept for signal handlers
  bool owned_ = false;     // stream_ was opened here and is open
  bool closed_ = false;    // written and closed, not yet in place
};

// Finishes every file, then puts them all in place, with the fatal signals
// held meanwhile. When one cannot be finished, none is put in place and
// every one is removed: the files they replace stay as they were.
bool commitTogether(std::initializer_list<OutputFile*> files, std::string& error);

}  // namespace velkor
