#include "support/ordered_output.h"

#include "platform/platform.h"
#include "support/interruption.h"

namespace corvalin {

// One file's view of the run's sink. Its chunks are where it learns that the run stops; it
// raises that once, so that undoing the file may still take chunks of its own.
class OrderedOutput::FileSink : public MyStream {
 public:
  FileSink(OrderedOutput& order, std::uint64_t index) : order_(order), index_(index) {}

  void Write(std::string_view text, Verbosity level) override {
    order_.Emit(index_, Record{Record::Kind::kWrite, std::string(text), {}, level, 0});
  }
  int Status() override { return 0; }
  void Progress(std::uint32_t increment, Verbosity level) override {
    order_.Emit(index_, Record{Record::Kind::kProgress, {}, {}, level, increment});
  }
  void Step(std::uint32_t, Verbosity) override {
    if (raised_ || !order_.Stopping()) return;
    raised_ = true;
    throw order_.Interrupted();
  }
  void Problem(std::string_view line, std::string_view lead) override {
    order_.Emit(index_, Record{Record::Kind::kProblem, std::string(line), std::string(lead),
                               Verbosity::kError, 0});
  }

 private:
  OrderedOutput& order_;
  std::uint64_t index_;
  bool raised_ = false;
};

std::unique_ptr<MyStream> OrderedOutput::Open(std::uint64_t index) {
  return std::make_unique<FileSink>(*this, index);
}

void OrderedOutput::Emit(std::uint64_t index, Record record) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (index == head_) {
    Put(record);
  } else {
    pending_[index].records.push_back(std::move(record));
  }
}

void OrderedOutput::Put(const Record& record) {
  switch (record.kind) {
    case Record::Kind::kWrite:
      sink_.Write(record.text, record.level);
      break;
    case Record::Kind::kProgress:
      sink_.Progress(record.increment, record.level);
      break;
    case Record::Kind::kProblem:
      sink_.Problem(record.text, record.lead);
      break;
  }
}

void OrderedOutput::Done(std::uint64_t index, const Finish& finish,
                         const std::optional<ErrorHandler>& stopped) {
  const std::lock_guard<std::mutex> hold(lock_);
  Pending& file = pending_[index];
  file.done = true;
  file.finish = finish;
  file.stopped = stopped;
  Advance();
}

void OrderedOutput::Advance() {
  for (;;) {
    const auto found = pending_.find(head_);
    if (found == pending_.end()) return;
    Pending& file = found->second;
    for (const Record& record : file.records) Put(record);
    file.records.clear();
    if (!file.done) return;  // from now on its lines go straight out
    if (file.finish) file.finish();
    if (file.stopped && !stopped_by_) stopped_by_ = file.stopped;
    pending_.erase(found);
    ++head_;
  }
}

bool OrderedOutput::Stopping() {
  // Asked at every chunk of every file in flight: a look at the flag, and the platform's
  // answer, both lock-free.
  if (stopping_.load()) return true;
  if (platform_.TakeInterruption() == 0) return false;
  stopping_ = true;
  return true;
}

void OrderedOutput::Stop(const ErrorHandler& why) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (!stopping_) failure_ = why;
  stopping_ = true;
}

std::optional<ErrorHandler> OrderedOutput::StoppedBy() {
  const std::lock_guard<std::mutex> hold(lock_);
  if (failure_) return failure_;
  if (stopped_by_) return stopped_by_;
  if (stopping_) return Interrupted();
  return std::nullopt;
}

ErrorHandler OrderedOutput::Interrupted() {
  return InterruptionError(platform_.Interruption());
}

}  // namespace corvalin
