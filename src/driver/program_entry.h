// The program as started from the shell: command line, input files,
// output file, the run and the exit status.
#pragma once

namespace velkor {

// Exit status: 0 success; 1 when an error was reported (in a netlist, the
// results could not be written, an input could not be read to its end, no
// memory, an internal error), and then no output file is replaced; 2 for a
// mistake on the command line, an input that cannot be opened or an output
// that would overwrite an input, another output or standard output (nothing
// is written then). A fatal signal removes the temporary files and ends the
// program by that signal (a closed pipe on standard output by SIGPIPE).
int programEntry(int argc, char* argv[]);

}  // namespace velkor
