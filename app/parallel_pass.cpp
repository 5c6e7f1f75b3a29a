#include "app/parallel_pass.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
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
#include "support/thread_start.h"

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

// Hands the listed files out to the workers, in list order, reading the list as they ask
// for more: no reader thread needs waking while every core is busy. A file that may pair with
// one in flight is held back, and every worker waits with it, until that one is done: a serial
// run would have taken them one after the other.
class JobSource {
 public:
  JobSource(DiskFile& list, OrderedOutput& order) : reader_(list), order_(order) {}

  // The next file to handle; nothing once the list is done or the run stops.
  std::optional<Job> Take() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
      // Another worker may have taken the file this one waited for: then on to the next line.
      if (!next_ && !ReadNext()) return std::nullopt;
      if (order_.Stopping()) return std::nullopt;
      if (!PairsWithOneInFlight(*next_)) break;
      done_.wait_for(hold, std::chrono::milliseconds(50));
    }
    in_flight_.emplace_back(next_->folder, next_->name);
    std::optional<Job> job = std::move(next_);
    next_.reset();
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
    if (next_) done_.notify_all();  // someone may wait for this file
  }

  // Ends the handing out: a worker that stopped early must not leave the others waiting.
  void Close() {
    const std::lock_guard<std::mutex> hold(lock_);
    ended_ = true;
    next_.reset();
    done_.notify_all();
  }

 private:
  // Under the lock.
  bool ReadNext() {
    if (ended_ || order_.Stopping()) return false;
    std::string line;
    try {
      if (reader_.ReadLine(line) == 0) {
        ended_ = true;
        return false;
      }
    } catch (const ErrorHandler& error) {
      order_.Stop(error);
      ended_ = true;
      return false;
    }
    std::string folder = FolderPart(line), name = FileNamePart(line);
    next_ = Job{index_++, std::move(line), std::move(folder), std::move(name)};
    return true;
  }

  bool PairsWithOneInFlight(const Job& job) const {
    for (const auto& [other_folder, other_name] : in_flight_) {
      if (other_folder == job.folder && MayBePair(other_name, job.name)) return true;
    }
    return false;
  }

  ListReader reader_;
  OrderedOutput& order_;
  std::mutex lock_;
  std::condition_variable done_;
  std::optional<Job> next_;  // read, and held back until it may go
  std::uint64_t index_ = 0;
  std::vector<std::pair<std::string, std::string>> in_flight_;  // folder, name
  bool ended_ = false;
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

void Work(unsigned worker, Platform& platform, JobSource& source, OrderedOutput& order,
          const Selection& selection, MyObjectAes& processor, MyFinder& counts) {
  WorkerTools tools(platform, worker);
  while (std::optional<Job> job = source.Take()) {
    const std::uint64_t index = job->index;
    // Looked at only now, once no file it may pair with is in flight: that one may have
    // removed it. A file that is gone, or is no longer a file, is passed over without a word.
    FileEnumerator entry(platform);
    if (!entry.Start(job->line, true) || (entry.Next(), entry.IsFolderEntry())) {
      source.Finished(*job);
      order.Done(index, {});
      continue;
    }
    if (index < selection.size()) entry.set_selected(selection.At(index));
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
    source.Finished(*job);
    const bool was_stopped = stopped.has_value();
    order.Done(
        index,
        [&counts, &processor, work, was_stopped] { Count(counts, processor, *work, was_stopped); },
        stopped);
  }
  platform.CloseFolder(tools.folder);
}

// The workers beside the run's own thread, which is the first: they are joined however its
// own share of the work ends.
class Crew {
 public:
  explicit Crew(JobSource& source) : source_(source) {}
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;
  ~Crew() {
    source_.Close();
    for (std::thread& thread : threads_) thread.join();
  }

  // False when the system refuses the thread: the run goes on with the workers it has.
  template <typename... Arguments>
  bool Start(Arguments&&... arguments) {
    std::thread thread;
    if (!TryStartThread(thread, std::forward<Arguments>(arguments)...)) return false;
    threads_.push_back(std::move(thread));
    return true;
  }

 private:
  JobSource& source_;
  std::vector<std::thread> threads_;
};

}  // namespace

void RunListInParallel(Platform& platform, DiskFile& list, const Selection& selection,
                       MyObjectAes& processor, MyStream& sink, MyFinder& counts, unsigned workers) {
  OrderedOutput order(platform, sink);
  JobSource source(list, order);
  {
    Crew crew(source);
    for (unsigned i = 1; i < workers; ++i) {
      if (!crew.Start(Work, i, std::ref(platform), std::ref(source), std::ref(order),
                      std::cref(selection), std::ref(processor), std::ref(counts))) {
        break;
      }
    }
    Work(0, platform, source, order, selection, processor, counts);
  }
  if (std::optional<ErrorHandler> stopped = order.StoppedBy()) throw *stopped;
}

}  // namespace corvalin
