#include <windows.h>

#include <csignal>
#include <initializer_list>

#include "platform/interruption.h"

namespace corvalin {
namespace {

// The console's handler runs on a thread of its own; these are all it touches.
volatile LONG noted_signal = 0;
volatile LONG taken = 0;
volatile LONG events = 0;

// Ctrl+C and Ctrl+Break are noted as SIGINT, the console closing as SIGHUP's counterpart,
// SIGTERM; a second event ends the process as the system would.
BOOL WINAPI NoteInterruption(DWORD event) {
  if (InterlockedIncrement(&events) > 1) return FALSE;
  const LONG number = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
  InterlockedCompareExchange(&noted_signal, number, 0);
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // The system ends the process when this returns: give the run a moment to undo the file.
    Sleep(4000);
  }
  return TRUE;
}

}  // namespace

void WatchInterruptions() {
  SetConsoleCtrlHandler(NoteInterruption, TRUE);
}

int TakeInterruption() {
  if (noted_signal == 0 || InterlockedExchange(&taken, 1) != 0) return 0;
  return static_cast<int>(noted_signal);
}

int NotedInterruption() {
  return static_cast<int>(noted_signal);
}

}  // namespace corvalin
