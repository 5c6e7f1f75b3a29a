// Turns the file argument (a file, a folder, or a wildcard name, optionally through every
// subfolder) into found files, each handed to the processor, and counts the outcome.
#pragma once

#include <cstdint>
#include <string>

namespace corvalin {

class FileEnumerator;
class MyObject;
class Platform;

class MyCFileFind {
 public:
  virtual ~MyCFileFind() = default;
  virtual void Found(FileEnumerator& entry) = 0;
};

class MyFinder : public MyCFileFind {
 public:
  MyFinder(Platform& platform, MyObject& handler) : processor(handler), platform_(platform) {}

  // Selects and hands over every matching file. Raises for an empty argument.
  void Search(const std::string& argument);
  void Found(FileEnumerator& entry) override;
  // Whether `name` is a folder, and its absolute path when it is.
  bool IsFolder(const std::string& name, std::string& path);

  std::string mask;
  std::string pattern;
  bool recursive = true;
  bool case_sensitive = false;
  std::uint32_t files_done = 0;
  std::uint64_t bytes_done = 0;
  std::uint32_t errors = 0;
  MyObject& processor;

 private:
  void Walk(const std::string& folder_pattern);

  Platform& platform_;
};

}  // namespace corvalin
