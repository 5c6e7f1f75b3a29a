// Interruption of a run: SIGINT, SIGTERM and SIGHUP on POSIX (Ctrl+C, Ctrl+Break and the
// console closing on Windows) are noted instead of ending the process at once, so that the run
// can undo the file in progress and remove its own files; a second one ends the process at
// once. A broken pipe on the console is ignored: writes to it fail quietly.
#pragma once

namespace corvalin {

void WatchInterruptions();
// The signal noted, the first time it is asked for; 0 before any and after that first time.
int TakeInterruption();
// The signal that interrupted the run; 0 when none did.
int NotedInterruption();

}  // namespace corvalin
