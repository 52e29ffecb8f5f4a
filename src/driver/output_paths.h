// The checks that keep a run's outputs from destroying what the user has:
// an output is never an input, never another output and never the file
// behind standard output or standard error. Made before anything is read
// or written.
#pragma once

#include <string>
#include <vector>

namespace velkor {

struct CommandLine;

// A file the run reads or writes, and how messages name it.
struct RunFile {
  std::string path;   // "-" for standard input (inputs only)
  std::string label;  // e.g. "input 'a.net'", "output 'x.svg' of --bode"
};

// Returns false with `error` naming the first output that is the same file
// as an input, as an earlier output, or as the file behind standard output
// or standard error. Files are the same when they are one file on disk
// (device and inode) or, when they do not exist yet, when their paths are
// one after links and "." and ".." are resolved. Character devices (a
// terminal, /dev/null) take any number of writers and are not compared.
bool checkRunFiles(const std::vector<RunFile>& inputs, const std::vector<RunFile>& outputs, std::string& error);

// The same for the inputs, values files and outputs of a command line.
bool checkRunFiles(const CommandLine& options, std::string& error);

// The file that writing `path` replaces: the path with its symbolic links
// followed. `dangling` is set when `path` is a symbolic link whose file
// does not exist (writing then creates that file).
std::string outputTarget(const std::string& path, bool& dangling);

}  // namespace velkor
