#include <signal.h>

#include <initializer_list>

#include "platform/interruption.h"

namespace corvalin {
namespace {

// The only state a signal handler may touch: one of these, written once.
volatile sig_atomic_t noted_signal = 0;
volatile sig_atomic_t taken = 0;

extern "C" void NoteInterruption(int signal_number) {
  noted_signal = signal_number;
}

}  // namespace

void WatchInterruptions() {
  signal(SIGPIPE, SIG_IGN);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous {};
    sigaction(signal_number, nullptr, &previous);
    // A signal the process was started ignoring (a background job's SIGINT) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction note {};
    note.sa_handler = NoteInterruption;
    sigemptyset(&note.sa_mask);
    // The first signal is noted; the handler then gives way, and a second one ends the run.
    note.sa_flags = SA_RESETHAND;
    sigaction(signal_number, &note, nullptr);
  }
}

int TakeInterruption() {
  if (noted_signal == 0 || taken != 0) return 0;
  taken = 1;
  return noted_signal;
}

int NotedInterruption() {
  return noted_signal;
}

}  // namespace corvalin
