#include "app/parallel_pass.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/path.h"
#include "platform/platform.h"
#include "process/file_work.h"
#include "process/my_object_aes.h"
#include "select/file_enumerator.h"
#include "select/file_list_spool.h"
#include "select/my_finder.h"
#include "support/error_handler.h"
#include "support/interruption.h"
#include "support/ordered_output.h"

namespace corvalin {
namespace {

struct Job {
  std::uint64_t index = 0;
  std::string line;  // the listed path
  std::string folder, name;
};

// A name the run gives a container with -n: forty hexadecimal digits, and an extension.
bool IsDigestName(const std::string& name) {
  if (name.size() < 40 || (name.size() > 40 && name[40] != '.')) return false;
  for (std::size_t i = 0; i < 40; ++i) {
    const char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool Extends(const std::string& longer, const std::string& shorter) {
  return longer.size() > shorter.size() && longer.compare(0, shorter.size(), shorter) == 0 &&
         longer[shorter.size()] == '.';
}

// Whether one of two files of a folder may be the other's container or source (a.txt and
// a.txt.aes or a.txt.gz.aes; any file and a digest name), or the other's compressed name.
bool MayBePair(const std::string& a, const std::string& b) {
  return Extends(a, b) || Extends(b, a) || IsDigestName(a) || IsDigestName(b);
}

// The files waiting for a worker and those in a worker's hands. A file that may pair with one
// in flight waits to be queued until that one is done. The reader fills the queue and sleeps
// until it is half empty, so that a small file costs no wake-up of the reader.
class JobQueue {
 public:
  explicit JobQueue(std::size_t capacity) : capacity_(capacity) {}

  // Waits until a file `name` of `folder` may be queued; false when the run stops first. Only
  // the list's reader queues, so the room it waited for is still there when it pushes.
  bool WaitForRoom(const std::string& folder, const std::string& name, OrderedOutput& order) {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      const bool full = waiting_.size() >= capacity_;
      const bool paired = !full && PairsWithOneInFlight(folder, name);
      if (!full && !paired) return true;
      if (order.Stopping()) return false;
      reader_waits_ = full ? Wait::kRoom : Wait::kPair;
      room_.wait_for(hold, std::chrono::milliseconds(50));
      reader_waits_ = Wait::kNothing;
    }
  }

  void Push(Job job) {
    const std::lock_guard<std::mutex> hold(lock_);
    in_flight_.push_back({job.folder, job.name});
    waiting_.push_back(std::move(job));
    if (idle_workers_ > 0) work_.notify_one();
  }

  std::optional<Job> Pop() {
    std::unique_lock<std::mutex> hold(lock_);
    ++idle_workers_;
    work_.wait(hold, [this] { return !waiting_.empty() || closed_; });
    --idle_workers_;
    if (waiting_.empty()) return std::nullopt;
    Job job = std::move(waiting_.front());
    waiting_.pop_front();
    if (reader_waits_ == Wait::kRoom && waiting_.size() <= capacity_ / 2) room_.notify_one();
    return job;
  }

  void Finished(const Job& job) {
    const std::lock_guard<std::mutex> hold(lock_);
    for (auto it = in_flight_.begin(); it != in_flight_.end(); ++it) {
      if (it->first == job.folder && it->second == job.name) {
        in_flight_.erase(it);
        break;
      }
    }
    if (reader_waits_ == Wait::kPair) room_.notify_one();  // it may have waited for this file
  }

  void Close() {
    const std::lock_guard<std::mutex> hold(lock_);
    closed_ = true;
    work_.notify_all();
  }

 private:
  bool PairsWithOneInFlight(const std::string& folder, const std::string& name) const {
    for (const auto& [other_folder, other_name] : in_flight_) {
      if (other_folder == folder && MayBePair(other_name, name)) return true;
    }
    return false;
  }

  std::mutex lock_;
  std::condition_variable work_, room_;
  std::size_t capacity_;
  std::deque<Job> waiting_;
  std::vector<std::pair<std::string, std::string>> in_flight_;  // folder, name
  std::size_t idle_workers_ = 0;
  enum class Wait { kNothing, kRoom, kPair } reader_waits_ = Wait::kNothing;
  bool closed_ = false;
};

// What the finder's Found does with an outcome, in list order.
void Count(MyFinder& counts, MyObjectAes& processor, const FileWork& work, bool stopped) {
  if (work.settled) return;
  if (work.succeeded) {
    counts.bytes_done += work.result_size;
    ++counts.files_done;
  } else if (!stopped) {
    ++counts.errors;
    processor.error_count = static_cast<std::int32_t>(counts.errors);
  }
}

void Work(unsigned worker, Platform& platform, JobQueue& queue, OrderedOutput& order,
          const Selection& selection, MyObjectAes& processor, MyFinder& counts) {
  WorkerTools tools(platform, worker);
  while (std::optional<Job> job = queue.Pop()) {
    const std::uint64_t index = job->index;
    // Looked at only now, once no file it may pair with is in flight: that one may have
    // removed it. A file that is gone, or is no longer a file, is passed over without a word.
    FileEnumerator entry(platform);
    if (!entry.Start(job->line, true) || (entry.Next(), entry.IsFolderEntry())) {
      queue.Finished(*job);
      order.Done(index, {});
      continue;
    }
    if (index < selection.size()) entry.set_selected(&selection[index]);
    const std::unique_ptr<MyStream> sink = order.Open(index);
    auto work = std::make_shared<FileWork>(*sink, tools);
    std::optional<ErrorHandler> stopped;
    if (order.Stopping()) {
      stopped = InterruptionError(platform.Interruption());
    } else {
      try {
        processor.Handle(entry, *work);
      } catch (const ErrorHandler& error) {
        stopped = error;  // only an interruption leaves a file
      }
    }
    queue.Finished(*job);
    const bool was_stopped = stopped.has_value();
    order.Done(
        index,
        [&counts, &processor, work, was_stopped] { Count(counts, processor, *work, was_stopped); },
        stopped);
  }
  platform.CloseFolder(tools.folder);
}

}  // namespace

void RunListInParallel(Platform& platform, DiskFile& list, const Selection& selection,
                       MyObjectAes& processor, MyStream& sink, MyFinder& counts, unsigned workers) {
  OrderedOutput order(platform, sink);
  // Deep enough that the reader rarely waits, small enough that memory does not grow with
  // the list.
  JobQueue queue(16 * workers);
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < workers; ++i) {
    threads.emplace_back(Work, i, std::ref(platform), std::ref(queue), std::ref(order),
                         std::cref(selection), std::ref(processor), std::ref(counts));
  }
  try {
    ListReader reader(list);
    std::string line;
    for (std::uint64_t index = 0; reader.ReadLine(line) != 0; ++index) {
      if (order.Stopping()) break;
      const std::string folder = FolderPart(line), name = FileNamePart(line);
      if (!queue.WaitForRoom(folder, name, order)) break;
      queue.Push(Job{index, line, folder, name});
    }
  } catch (const ErrorHandler& error) {
    order.Stop(error);
  }
  queue.Close();
  for (std::thread& thread : threads) thread.join();
  if (std::optional<ErrorHandler> stopped = order.StoppedBy()) throw *stopped;
}

}  // namespace corvalin
