// The lines of files handled side by side, put out in list order, so that a run on several
// workers says byte for byte what a run on one says. The oldest file not yet done writes
// straight to the run's sink; every later one writes into a record of its own, replayed the
// moment its turn comes, and what the run counts of each file is counted in that order too.
//
// A stop (an interruption, or a failure of the run itself) is noted once: every file in flight
// raises an interruption at its next chunk and is undone, as a serial run undoes the file it
// was on; what was done stays done, and is said and counted.
#pragma once

#include <atomic>
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
  // interruption it ended with, if it did (it may be done all the same).
  void Done(std::uint64_t index, const Finish& finish,
            const std::optional<ErrorHandler>& stopped = std::nullopt);
  // Whether the run stops; takes a noted interruption first.
  bool Stopping();
  // Stops the run for `why` (a failure of the run itself), unless it stops already.
  void Stop(const ErrorHandler& why);
  // After the last file: why the run stopped, in the words of the first file in list order
  // that it stopped (a serial run's words); nothing when it did not stop.
  std::optional<ErrorHandler> StoppedBy();
  ErrorHandler Interrupted();

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

  Platform& platform_;
  MyStream& sink_;
  std::mutex lock_;
  std::uint64_t head_ = 0;  // the oldest file not yet done
  std::map<std::uint64_t, Pending> pending_;
  std::atomic<bool> stopping_{false};
  std::optional<ErrorHandler> stopped_by_;  // the first file in list order that stopped
  std::optional<ErrorHandler> failure_;     // the run's own failure, when that stopped it
};

}  // namespace corvalin
