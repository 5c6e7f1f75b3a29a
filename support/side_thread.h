// A second pair of hands for one job at a time: work that splits in two (the blocks of a chunk
// that need no chaining between them) gives half to this thread and does the other half
// itself. One thread for the whole of a large file, never one per chunk.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace corvalin {

class SideThread {
 public:
  SideThread();
  ~SideThread();
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

  // Whether the thread is there: the system may refuse it.
  bool started() const { return thread_.joinable(); }
  // Starts `job`, which must not throw; Wait returns once it is done.
  void Start(std::function<void()> job);
  void Wait();

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable changed_;
  std::function<void()> job_;
  bool busy_ = false, stopping_ = false;
  std::thread thread_;
};

// Gives `side` a started thread, or leaves it empty where the system refuses one: the caller
// then does all of the work itself.
void StartSideThread(std::optional<SideThread>& side);

}  // namespace corvalin
