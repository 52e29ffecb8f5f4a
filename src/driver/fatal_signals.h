// Signals that end the program, and the temporary files they must not leave
// behind.
//
// SIGINT and SIGTERM, once the run has begun, only ask it to stop: finished
// formulas are kept and the program then ends by the signal. Every other
// fatal signal (SIGHUP, SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,
// SIGXCPU, SIGXFSZ), and SIGINT or SIGTERM before the run or a second time,
// removes the temporary files at once and ends the program by that signal.
// A signal ignored when the program starts stays ignored.
//
// The handler can reach nothing but static storage, so the paths of the
// temporary files are kept in a fixed table of C strings filled before any
// such file exists; removing them takes only unlink(), which is safe in a
// signal handler.
#pragma once

#include <csignal>
#include <cstddef>

#include "support/stop_flag.h"

namespace velkor {

// How many temporary files can exist at once: the results of -o, the two
// files of --bode, --pz and --report, with room to spare.
inline constexpr std::size_t kTemporarySlots = 8;

// Notes a temporary file to remove should the program be ended by a
// signal. Returns its slot, or -1 when the path is too long or the table is
// full (the caller then does not create the file).
int registerTemporary(const char* path);
// Forgets the file of `slot` (it was put in place or removed).
void forgetTemporary(int slot);
// Removes every file still registered (also when an exception ends the run).
void removeTemporaries();

// Installs the handlers. Until allowGracefulStop(), SIGINT and SIGTERM are
// fatal like the others.
void installFatalSignalHandlers();
// From here on the first SIGINT or SIGTERM only sets the flag that
// stopSignalFlag() points at.
void allowGracefulStop();
// The signal that asked the run to stop (0: none).
const StopFlag* stopSignalFlag();

// Holds the fatal signals back while files are put in place, so that a
// signal never leaves some outputs new and others old; they are delivered
// when the object goes.
class FatalSignalsHeld {
 public:
  FatalSignalsHeld();
  ~FatalSignalsHeld();
  FatalSignalsHeld(const FatalSignalsHeld&) = delete;
  FatalSignalsHeld& operator=(const FatalSignalsHeld&) = delete;

 private:
  sigset_t previous_;
};

// Ends the program by `signal` as if it had not been caught, so that the
// caller sees how it ended; the temporary files are removed first.
[[noreturn]] void endBySignal(int signal);

}  // namespace velkor
