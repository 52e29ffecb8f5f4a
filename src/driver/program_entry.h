// The program as started from the shell: command line, input files,
// output file, the run and the exit status.
#pragma once

namespace velkor {

// Exit status: 0 success; 1 when the results could not be written, an
// input could not be read to its end, or the run could not start; 2 for a
// mistake on the command line or an input that cannot be opened (nothing is
// written then). A closed pipe on standard output ends the program by the
// default action of SIGPIPE.
int programEntry(int argc, char* argv[]);

}  // namespace velkor
