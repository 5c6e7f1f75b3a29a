#include "tests/test_support/fault_injecting_platform.h"

#include <algorithm>

#include "platform/path.h"

namespace corvalin {

void FaultInjectingPlatform::Fail(Call call, const std::string& path, int error, int after) {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  faults_[{call, path}] = Fault{error, after};
}

int FaultInjectingPlatform::Count(Call call, const std::string& path) const {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  const auto found = counts_.find({call, path});
  return found == counts_.end() ? 0 : found->second;
}

void FaultInjectingPlatform::Before(Call call, const std::string& path,
                                    std::function<void()> action, int after) {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  hooks_[{call, path}] = {Count(call, path) + after, std::move(action)};
}

int FaultInjectingPlatform::Check(Call call, const std::string& path) {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  const int seen = counts_[{call, path}]++;
  journal_.emplace_back(call, path);
  if (observer_) observer_(call, path);
  const auto hook = hooks_.find({call, path});
  if (hook != hooks_.end() && seen == hook->second.first) {
    const std::function<void()> action = std::move(hook->second.second);
    hooks_.erase(hook);
    action();
  }
  const auto found = faults_.find({call, path});
  if (found == faults_.end() || seen < found->second.after) return 0;
  return found->second.error;
}

std::string FaultInjectingPlatform::PathOf(NativeFile file) const {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  const auto found = open_paths_.find(file);
  return found == open_paths_.end() ? std::string() : found->second;
}

int FaultInjectingPlatform::Open(const std::string& path, OpenMode mode, NativeFile& file,
                                 FileFacts& facts) {
  return OpenChecked(path, mode, file, [&] { return real_.Open(path, mode, file, facts); });
}

int FaultInjectingPlatform::OpenIn(const Folder& folder, const std::string& name, OpenMode mode,
                                   NativeFile& file, FileFacts& facts) {
  return OpenChecked(folder.path + name, mode, file,
                     [&] { return real_.OpenIn(folder, name, mode, file, facts); });
}

int FaultInjectingPlatform::OpenChecked(const std::string& path, OpenMode mode, NativeFile& file,
                                        const std::function<int()>& open) {
  if (const int error = Check(Call::kOpen, path)) {
    file = kNoFile;
    return error;
  }
  if (mode != OpenMode::kRead && read_only_.count(path) != 0) {
    file = kNoFile;
    return 13;  // EACCES
  }
  const int error = open();
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  if (error == 0) open_paths_[file] = path;
  return error;
}

void FaultInjectingPlatform::Close(NativeFile file) {
  {
    const std::lock_guard<std::recursive_mutex> hold(lock_);
    open_paths_.erase(file);
  }
  real_.Close(file);
}

int FaultInjectingPlatform::Read(NativeFile file, void* data, std::uint32_t count,
                                 std::uint32_t& done) {
  done = 0;
  if (const int error = Check(Call::kRead, PathOf(file))) return error;
  return real_.Read(file, data, count, done);
}

int FaultInjectingPlatform::Write(NativeFile file, const void* data, std::uint32_t count,
                                  std::uint32_t& done) {
  done = 0;
  if (const int error = Check(Call::kWrite, PathOf(file))) return error;
  return real_.Write(file, data, count, done);
}

int FaultInjectingPlatform::ReadAt(NativeFile file, std::uint64_t offset, void* data,
                                   std::uint32_t count, std::uint32_t& done) {
  done = 0;
  if (const int error = Check(Call::kRead, PathOf(file))) return error;
  return real_.ReadAt(file, offset, data, count, done);
}

int FaultInjectingPlatform::Seek(NativeFile file, std::int64_t distance, SeekOrigin origin,
                                 std::uint64_t& position) {
  if (const int error = Check(Call::kSeek, PathOf(file))) return error;
  return real_.Seek(file, distance, origin, position);
}

int FaultInjectingPlatform::Flush(NativeFile file) {
  if (const int error = Check(Call::kFlush, PathOf(file))) return error;
  return real_.Flush(file);
}

int FaultInjectingPlatform::Truncate(NativeFile file) {
  if (const int error = Check(Call::kWrite, PathOf(file))) return error;
  return real_.Truncate(file);
}

int FaultInjectingPlatform::Remove(const std::string& path) {
  if (const int error = Check(Call::kRemove, path)) return error;
  if (read_only_.count(path) != 0) return 13;  // EACCES
  return real_.Remove(path);
}

int FaultInjectingPlatform::Rename(const std::string& from, const std::string& to) {
  if (const int error = Check(Call::kRename, from)) return error;
  const int error = real_.Rename(from, to);
  if (error == 0) Renamed(from, to);
  return error;
}

// An open file follows its name: later calls on it count against the name it has now.
void FaultInjectingPlatform::Renamed(const std::string& from, const std::string& to) {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  for (auto& [file, path] : open_paths_) {
    if (path == from) path = to;
  }
}

int FaultInjectingPlatform::RemoveIn(const Folder& folder, const std::string& name,
                                     const FileIdentity& identity, const FileFacts* as_read) {
  const std::string path = folder.path + name;
  if (const int error = Check(Call::kRemove, path)) return error;
  if (read_only_.count(path) != 0) return 13;  // EACCES
  return real_.RemoveIn(folder, name, identity, as_read);
}

int FaultInjectingPlatform::RemoveOpenIn(const Folder& folder, const std::string& name,
                                         NativeFile file, const FileIdentity& identity,
                                         const FileFacts* as_read) {
  const std::string path = folder.path + name;
  if (const int error = Check(Call::kRemove, path)) return error;
  if (read_only_.count(path) != 0) return 13;  // EACCES
  return real_.RemoveOpenIn(folder, name, file, identity, as_read);
}

int FaultInjectingPlatform::RenameIn(const Folder& folder, const std::string& from,
                                     const std::string& to, const FileIdentity* replacing) {
  if (const int error = Check(Call::kRename, folder.path + from)) return error;
  const int error = real_.RenameIn(folder, from, to, replacing);
  if (error == 0) Renamed(folder.path + from, folder.path + to);
  return error;
}

int FaultInjectingPlatform::FlushFolder(const Folder& folder) {
  if (const int error = Check(Call::kFlush, folder.path)) return error;
  return real_.FlushFolder(folder);
}

int FaultInjectingPlatform::SetNormalAttributesIn(const Folder& folder, const std::string& name,
                                                  NativeFile file) {
  const std::string path = folder.path + name;
  if (const int error = Check(Call::kSetAttributes, path)) return error;
  read_only_.erase(path);
  return real_.SetNormalAttributesIn(folder, name, file);
}

// A scan of the real platform whose reads and entries fail where the test says.
class FaultInjectingPlatform::FaultyScan : public DirectoryScan {
 public:
  FaultyScan(FaultInjectingPlatform& platform, std::unique_ptr<DirectoryScan> real,
             std::string folder)
      : platform_(platform), real_(std::move(real)), folder_(std::move(folder)) {}

  bool Read(DirectoryEntry& entry) override {
    error_ = platform_.Check(Call::kList, folder_);
    if (error_ != 0 || !real_->Read(entry)) return false;
    if (const int error = platform_.Check(Call::kExamine, folder_ + entry.name)) {
      DirectoryEntry unexamined;
      unexamined.name = entry.name;
      unexamined.error = error;
      entry = unexamined;
    }
    return true;
  }
  int Error() const override { return error_ != 0 ? error_ : real_->Error(); }

 private:
  FaultInjectingPlatform& platform_;
  std::unique_ptr<DirectoryScan> real_;
  std::string folder_;
  int error_ = 0;
};

std::unique_ptr<DirectoryScan> FaultInjectingPlatform::StartScan(const std::string& pattern,
                                                                 bool single_entry, int& error) {
  const std::string folder = FolderPart(pattern);
  if (const int fault = Check(Call::kSearch, folder)) {
    error = fault;
    return nullptr;
  }
  std::unique_ptr<DirectoryScan> real = real_.StartScan(pattern, single_entry, error);
  if (real == nullptr) return nullptr;
  return std::make_unique<FaultyScan>(*this, std::move(real), folder);
}

std::string FaultInjectingPlatform::ExecutableDirectory() {
  return executable_directory_.empty() ? real_.ExecutableDirectory() : executable_directory_;
}

void FaultInjectingPlatform::UnloadModule(ModuleHandle module) {
  if (module != nullptr) ++modules_freed_;
  real_.UnloadModule(module);
}

void FaultInjectingPlatform::Out(std::string_view text) {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  if (capture_) {
    out_ += text;
  } else {
    real_.Out(text);
  }
}

void FaultInjectingPlatform::Err(std::string_view text) {
  const std::lock_guard<std::recursive_mutex> hold(lock_);
  if (capture_) {
    err_ += text;
  } else {
    real_.Err(text);
  }
}

void FaultInjectingPlatform::ScriptTerminal(bool present, std::vector<std::string> answers) {
  terminal_scripted_ = true;
  terminal_present_ = present;
  answers_ = std::move(answers);
  prompts_.clear();
}

bool FaultInjectingPlatform::HasTerminal() {
  return terminal_scripted_ ? terminal_present_ : real_.HasTerminal();
}

int FaultInjectingPlatform::ReadHiddenLine(std::string_view prompt, std::span<char> line,
                                           std::size_t& length) {
  if (!terminal_scripted_) return real_.ReadHiddenLine(prompt, line, length);
  prompts_.emplace_back(prompt);
  length = 0;
  if (prompts_.size() > answers_.size()) return 5;  // EIO
  const std::string& answer = answers_[prompts_.size() - 1];
  length = answer.size();
  answer.copy(line.data(), std::min(line.size(), answer.size()));
  return 0;
}

}  // namespace corvalin
