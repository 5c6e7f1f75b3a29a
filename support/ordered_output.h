// The lines of files handled side by side, put out in list order, so that a run on several
// workers says byte for byte what a run on one says. The oldest file not yet done writes
// straight to the run's sink; every later one writes into a record of its own, replayed the
// moment its turn comes. The same order rules when files change: a file's first output takes a
// name only once every file before it is done (WaitForTurn).
//
// A stop (an interruption, or a failure of the run itself) is noted once: every file in flight
// raises an interruption at its next chunk or wait, and is undone as a serial run would undo
// the file it was on. The first file in list order that stopped is where a serial run would
// have stopped: nothing after it is said or counted.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "support/error_handler.h"
#include "support/my_stream.h"

namespace corvalin {

class Platform;

class OrderedOutput {
 public:
  // What the run learns of a file when it is done, in list order.
  using Finish = std::function<void()>;

  OrderedOutput(Platform& platform, MyStream& sink) : platform_(platform), sink_(sink) {}

  // The sink of file `index`, 0 and up in list order.
  std::unique_ptr<MyStream> Open(std::uint64_t index);
  // File `index` is done: `finish` runs in list order, after its lines. `stopped` is the
  // interruption it ended with, if it did; `finish` still runs for it (a file may be done when
  // the stop came), but for no file after it.
  void Done(std::uint64_t index, const Finish& finish,
            const std::optional<ErrorHandler>& stopped = std::nullopt);
  // Waits until every file before `index` is done. Raises an interruption when the run stops
  // meanwhile.
  void WaitForTurn(std::uint64_t index);
  // Whether the run stops; takes a noted interruption first.
  bool Stopping();
  // Stops the run for `why` (a failure of the run itself), unless it stops already.
  void Stop(const ErrorHandler& why);
  // After the last file: why the run stopped, the way a serial run would say it; nothing when
  // it did not.
  std::optional<ErrorHandler> StoppedBy();

 private:
  class FileSink;
  struct Record {
    enum class Kind { kWrite, kProgress, kProblem } kind;
    std::string text, lead;
    Verbosity level;
    std::uint32_t increment;
  };
  struct Pending {
    std::vector<Record> records;
    bool done = false;
    Finish finish;
    std::optional<ErrorHandler> stopped;
  };

  // Under the lock: puts out what the head file recorded and moves on past every file done.
  void Advance();
  void Put(const Record& record);
  void Emit(std::uint64_t index, Record record);
  ErrorHandler Interrupted();

  Platform& platform_;
  MyStream& sink_;
  std::mutex lock_;
  std::condition_variable turn_;
  std::uint64_t head_ = 0;  // the oldest file not yet done
  std::map<std::uint64_t, Pending> pending_;
  std::atomic<bool> stopping_{false};
  bool ended_ = false;                      // a file stopped at the head: nothing later is said
  std::optional<ErrorHandler> stopped_by_;  // where the serial run would have stopped
  std::optional<ErrorHandler> failure_;     // the run's own failure, when that stopped it
};

}  // namespace corvalin
