// A second pair of hands for one job at a time: work that splits in two (the blocks of a chunk
// that need no chaining between them) gives half to this thread and does the other half
// itself. One thread for the whole of a large file, never one per chunk.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace corvalin {

class SideThread {
 public:
  SideThread();
  ~SideThread();
  SideThread(const SideThread&) = delete;
  SideThread& operator=(const SideThread&) = delete;

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

}  // namespace corvalin
