#include "driver/fatal_signals.h"

#include <limits.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace velkor {

namespace {

constexpr int kFatalSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGXCPU, SIGXFSZ};

// The state a signal handler reads: the one place outside a run's context
// with mutable statics, since a handler can reach nothing else. A slot's
// path is written before the slot is marked used, and the mark is cleared
// before the path may change.
char temporaryPaths[kTemporarySlots][PATH_MAX];
volatile std::sig_atomic_t temporaryUsed[kTemporarySlots];
volatile std::sig_atomic_t gracefulStop = 0;
StopFlag stopSignal{0};

void removeRegistered() {
  for (std::size_t slot = 0; slot < kTemporarySlots; ++slot)
    if (temporaryUsed[slot] != 0) unlink(temporaryPaths[slot]);
}

// Restores the default action and delivers the signal again, unblocked.
[[noreturn]] void dieBy(int signal) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  // A signal whose default action does not end the program (none of ours).
  _exit(128 + signal);
}

extern "C" void onFatalSignal(int signal) {
  if (gracefulStop != 0 && stopSignal.load() == 0 && (signal == SIGINT || signal == SIGTERM)) {
    stopSignal.store(signal);
    return;
  }
  removeRegistered();
  dieBy(signal);
}

void fatalSet(sigset_t& set) {
  sigemptyset(&set);
  for (int signal : kFatalSignals) sigaddset(&set, signal);
}

}  // namespace

int registerTemporary(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length >= PATH_MAX) return -1;
  for (std::size_t slot = 0; slot < kTemporarySlots; ++slot) {
    if (temporaryUsed[slot] != 0) continue;
    std::memcpy(temporaryPaths[slot], path, length + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    temporaryUsed[slot] = 1;
    return static_cast<int>(slot);
  }
  return -1;
}

void forgetTemporary(int slot) {
  if (slot >= 0 && static_cast<std::size_t>(slot) < kTemporarySlots) temporaryUsed[slot] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void removeTemporaries() {
  removeRegistered();
  for (std::size_t slot = 0; slot < kTemporarySlots; ++slot) temporaryUsed[slot] = 0;
}

void installFatalSignalHandlers() {
  for (int signal : kFatalSignals) {
    struct sigaction current {};
    if (sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = onFatalSignal;
    // Every fatal signal is held while one is handled, so that the files
    // are removed once; reads are not restarted, so that a run waiting for
    // input sees a graceful stop at once.
    fatalSet(action.sa_mask);
    action.sa_flags = 0;
    sigaction(signal, &action, nullptr);
  }
}

void allowGracefulStop() { gracefulStop = 1; }

const StopFlag* stopSignalFlag() { return &stopSignal; }

FatalSignalsHeld::FatalSignalsHeld() {
  sigset_t set;
  fatalSet(set);
  sigprocmask(SIG_BLOCK, &set, &previous_);
}

FatalSignalsHeld::~FatalSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

void endBySignal(int signal) {
  std::fflush(nullptr);
  removeTemporaries();
  dieBy(signal);
}

}  // namespace velkor
