// What one file's steps carry from one step to the next, and what they work with: the file's
// own lines, the folder its worker holds, the outcome. Nothing here is shared with another file
// in flight; the run's settings and record stay with the processor.
#pragma once

#include <cstdint>
#include <string>

#include "container/container_format.h"
#include "platform/platform.h"
#include "support/filler.h"

namespace corvalin {

class MyStream;

// What a worker keeps from one file to the next: the folder it holds open (files of one folder
// follow each other in the list) and its filler.
struct WorkerTools {
  WorkerTools(Platform& platform, unsigned worker_number = 0)
      : worker(worker_number), filler(platform) {}
  unsigned worker;  // which working names it uses
  TimeSeededFiller filler;
  Folder folder;
  std::size_t trusted = 0;
  FileIdentity root;
};

struct FileWork {
  FileWork(MyStream& file_sink, WorkerTools& worker_tools) : sink(file_sink), tools(worker_tools) {}

  MyStream& sink;  // the file's lines
  WorkerTools& tools;

  // The outcome.
  std::uint64_t result_size = 0;
  bool succeeded = false;
  bool settled = false;  // the other half of a pair finished already: counts no more

  // Carried between the steps.
  std::uint32_t uncompressed_size = 0;
  CompressionWord restored_word;
  std::uint32_t restored_uncompressed_size = 0;
  // The restored name differs from the one stored, which this platform cannot hold as it
  // stands: its outputs replace nothing.
  bool name_altered = false;
  std::string stored_name;
};

}  // namespace corvalin
