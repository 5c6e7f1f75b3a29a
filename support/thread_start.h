// A thread the system refuses (a limit on the threads of the process, the user or the
// container) is no failure of the run: whoever asked for it does the work on the threads it
// already has, as a run on one core does, and says nothing a run on one core would not say.
#pragma once

#include <system_error>
#include <thread>
#include <utility>

namespace corvalin {

// Starts `thread` on `arguments`; false, with `thread` left empty, when no thread can start.
template <typename... Arguments>
bool TryStartThread(std::thread& thread, Arguments&&... arguments) {
  try {
    thread = std::thread(std::forward<Arguments>(arguments)...);
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

}  // namespace corvalin
