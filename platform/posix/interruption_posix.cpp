#include <signal.h>

#include <atomic>
#include <initializer_list>

#include "platform/interruption.h"

namespace corvalin {
namespace {

// The only state a signal handler may touch: lock-free atomics, safe in a handler and between
// the run's threads alike.
std::atomic<int> noted_signal{0};
std::atomic<int> taken{0};
static_assert(std::atomic<int>::is_always_lock_free);

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
  const int noted = noted_signal.load();
  if (noted == 0 || taken.exchange(1) != 0) return 0;
  return noted;
}

int NotedInterruption() {
  return noted_signal;
}

}  // namespace corvalin
