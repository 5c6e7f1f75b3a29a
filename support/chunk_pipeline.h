// A large file streamed in chunks through a transform on the caller's thread, with the reading
// ahead and the writing behind each on a thread of its own: the cipher chain, the one part
// that cannot be split, never waits for the disk, nor the disk for it. A small ring of chunk
// buffers is all the memory it takes, whatever the file's size.
//
// The caller takes each chunk read (Next), fills its `out` and hands it on (Put); the reader
// and the writer only ever touch the chunks the ring gives them. A failure of either is raised
// to the caller at its next call; however the caller leaves (an interruption, say), the
// destructor stops both threads and waits for them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "support/error_handler.h"
#include "support/work_buffer.h"

namespace corvalin {

class ChunkPipeline {
 public:
  struct Chunk {
    explicit Chunk(std::uint32_t bytes) : in(bytes), out(bytes) {}
    WorkBuffer in, out;
    std::uint32_t length = 0;    // bytes read into `in`
    std::uint32_t produced = 0;  // bytes of `out` for the writer
  };
  // Reads up to `capacity` bytes into `into`; 0 at the end.
  using Read = std::function<std::uint32_t(std::uint8_t* into, std::uint32_t capacity)>;
  // Writes `count` bytes of `from`.
  using Write = std::function<void(const std::uint8_t* from, std::uint32_t count)>;

  // Without `threaded`, Next reads and Put writes on the caller's thread: for a file too small
  // to repay two threads, the same loop with one chunk. So too where the system refuses the
  // threads.
  ChunkPipeline(Read read, Write write, std::uint32_t chunk_bytes, bool threaded,
                std::size_t slots = 4);
  ~ChunkPipeline();
  ChunkPipeline(const ChunkPipeline&) = delete;
  ChunkPipeline& operator=(const ChunkPipeline&) = delete;

  // The next chunk read; null at the end of the input.
  Chunk* Next();
  // Hands the chunk taken last to the writer.
  void Put(Chunk* chunk);
  // Waits until every chunk put is written.
  void Finish();

 private:
  enum class State { kFree, kRead, kTaken, kPut };
  struct Slot {
    explicit Slot(std::uint32_t bytes) : chunk(bytes) {}
    Chunk chunk;
    State state = State::kFree;
  };

  void Reading();
  void Writing();
  // Stops the threads there are and waits for them.
  void Stop();
  // A helper's failure, for the caller to raise.
  void Failed(const ErrorHandler& error);
  // Under the lock: raises what a helper raised.
  void RaiseFailure();

  Read read_;
  Write write_;
  bool threaded_;
  std::vector<Slot> slots_;
  std::mutex lock_;
  std::condition_variable changed_;
  std::size_t taken_ = 0, put_ = 0, written_ = 0;  // counts of chunks, in ring order
  bool stopping_ = false;
  std::optional<ErrorHandler> failure_;
  std::thread reader_, writer_;
};

}  // namespace corvalin
