#include "support/side_thread.h"

#include "support/thread_start.h"

namespace corvalin {

SideThread::SideThread() {
  TryStartThread(thread_, &SideThread::Run, this);
}

SideThread::~SideThread() {
  if (!started()) return;
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SideThread::Start(std::function<void()> job) {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    job_ = std::move(job);
    busy_ = true;
  }
  changed_.notify_all();
}

void SideThread::Wait() {
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [this] { return !busy_; });
}

void SideThread::Run() {
  std::unique_lock<std::mutex> hold(lock_);
  for (;;) {
    changed_.wait(hold, [this] { return busy_ || stopping_; });
    if (!busy_) return;
    std::function<void()> job = std::move(job_);
    hold.unlock();
    job();
    hold.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

void StartSideThread(std::optional<SideThread>& side) {
  side.emplace();
  if (!side->started()) side.reset();
}

}  // namespace corvalin
