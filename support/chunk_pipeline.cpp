#include "support/chunk_pipeline.h"

#include "support/thread_start.h"

namespace corvalin {

ChunkPipeline::ChunkPipeline(Read read, Write write, std::uint32_t chunk_bytes, bool threaded,
                             std::size_t slots)
    : read_(std::move(read)), write_(std::move(write)), threaded_(threaded) {
  const std::size_t count = threaded ? slots : 1;
  slots_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) slots_.emplace_back(chunk_bytes);
  if (!threaded) return;
  // The writer first: until a chunk is put it touches nothing, so that it stops unharmed
  // should the reader be refused; a reader once started may have taken bytes of the input.
  if (TryStartThread(writer_, &ChunkPipeline::Writing, this) &&
      TryStartThread(reader_, &ChunkPipeline::Reading, this)) {
    return;
  }
  Stop();
  threaded_ = false;
  slots_.erase(slots_.begin() + 1, slots_.end());
}

ChunkPipeline::~ChunkPipeline() {
  if (threaded_) Stop();
}

void ChunkPipeline::Stop() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (reader_.joinable()) reader_.join();
  if (writer_.joinable()) writer_.join();
}

void ChunkPipeline::Reading() {
  for (std::size_t index = 0;; ++index) {
    Slot& slot = slots_[index % slots_.size()];
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [&] { return stopping_ || slot.state == State::kFree; });
      if (stopping_) return;
    }
    std::uint32_t got = 0;
    try {
      got = read_(slot.chunk.in.data(), static_cast<std::uint32_t>(slot.chunk.in.size()));
    } catch (const ErrorHandler& error) {
      Failed(error);
      return;
    }
    {
      const std::lock_guard<std::mutex> hold(lock_);
      slot.chunk.length = got;
      slot.state = State::kRead;
    }
    changed_.notify_all();
    if (got == 0) return;  // the empty chunk marks the end
  }
}

void ChunkPipeline::Writing() {
  for (std::size_t index = 0;; ++index) {
    Slot& slot = slots_[index % slots_.size()];
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [&] { return stopping_ || slot.state == State::kPut; });
      if (slot.state != State::kPut) return;
    }
    try {
      write_(slot.chunk.out.data(), slot.chunk.produced);
    } catch (const ErrorHandler& error) {
      Failed(error);
      return;
    }
    {
      const std::lock_guard<std::mutex> hold(lock_);
      slot.state = State::kFree;
      ++written_;
    }
    changed_.notify_all();
  }
}

void ChunkPipeline::Failed(const ErrorHandler& error) {
  const std::lock_guard<std::mutex> hold(lock_);
  if (!failure_) failure_ = error;
  changed_.notify_all();
}

void ChunkPipeline::RaiseFailure() {
  if (failure_) throw *failure_;
}

ChunkPipeline::Chunk* ChunkPipeline::Next() {
  if (!threaded_) {
    Chunk& chunk = slots_.front().chunk;
    chunk.length = read_(chunk.in.data(), static_cast<std::uint32_t>(chunk.in.size()));
    return chunk.length == 0 ? nullptr : &chunk;
  }
  Slot& slot = slots_[taken_ % slots_.size()];
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [&] { return failure_ || slot.state == State::kRead; });
  RaiseFailure();
  if (slot.chunk.length == 0) return nullptr;
  slot.state = State::kTaken;
  ++taken_;
  return &slot.chunk;
}

void ChunkPipeline::Put(Chunk* chunk) {
  if (!threaded_) {
    write_(chunk->out.data(), chunk->produced);
    return;
  }
  Slot& slot = slots_[put_ % slots_.size()];
  {
    const std::lock_guard<std::mutex> hold(lock_);
    RaiseFailure();
    // Chunks come back in the order they were taken.
    if (&slot.chunk != chunk) throw ErrorHandler(0, "chunks put out of order");
    slot.state = State::kPut;
    ++put_;
  }
  changed_.notify_all();
}

void ChunkPipeline::Finish() {
  if (!threaded_) return;
  std::unique_lock<std::mutex> hold(lock_);
  changed_.wait(hold, [&] { return failure_ || written_ == put_; });
  RaiseFailure();
}

}  // namespace corvalin
