// A platform that forwards to a real one and fails chosen calls on chosen paths, so that every
// failure path can be exercised without root or special file systems. It can also capture the
// console and stand in for the executable's folder.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace corvalin {

// kList is one read of a folder's listing, on the folder's path (ending in the separator);
// kExamine the look at one entry the listing gave, on the entry's path: it fails as a file
// the platform lists but cannot describe (a size or inode number too large for its types).
// kSearch, on a folder's path, is the start of any search in it, a listing or the look-up of
// one entry: it fails as Windows' FindFirstFile does in a folder closed to the user.
enum class Call {
  kOpen,
  kRead,
  kWrite,
  kSeek,
  kFlush,
  kRemove,
  kRename,
  kSetAttributes,
  kList,
  kExamine,
  kSearch
};

class FaultInjectingPlatform : public Platform {
 public:
  explicit FaultInjectingPlatform(Platform& real) : real_(real) {}

  // The `after`+1-th and every later `call` on `path` fails with `error`.
  void Fail(Call call, const std::string& path, int error, int after = 0);
  void Heal() {
    const std::lock_guard<std::recursive_mutex> hold(lock_);
    faults_.clear();
  }
  // Windows' read-only attribute: the file cannot be opened for writing nor deleted until
  // its attributes are set back to normal.
  void MarkReadOnly(const std::string& path) { read_only_.insert(path); }
  int Count(Call call, const std::string& path) const;
  // Runs `action` just before the `after`+1-th `call` on `path` from now goes through (once).
  void Before(Call call, const std::string& path, std::function<void()> action, int after = 0);
  // Called with every file call, before it goes through.
  void Observe(std::function<void(Call, const std::string&)> observer) {
    observer_ = std::move(observer);
  }
  // Every file call made, in order, with the path it concerned.
  const std::vector<std::pair<Call, std::string>>& journal() const { return journal_; }

  void CaptureConsole() { capture_ = true; }
  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }
  void ClearConsole() { out_.clear(), err_.clear(); }
  void SetExecutableDirectory(std::string folder) { executable_directory_ = std::move(folder); }
  // Stands in for the terminal: with `present` false standard input is no terminal; otherwise
  // `answers` are typed at the prompts in turn (reading past the last one fails with EIO).
  void ScriptTerminal(bool present, std::vector<std::string> answers = {});
  const std::vector<std::string>& prompts() const { return prompts_; }

  int Open(const std::string& path, OpenMode mode, NativeFile& file, FileFacts& facts) override;
  void Close(NativeFile file) override;
  int Read(NativeFile file, void* data, std::uint32_t count, std::uint32_t& done) override;
  int Write(NativeFile file, const void* data, std::uint32_t count, std::uint32_t& done) override;
  int ReadAt(NativeFile file, std::uint64_t offset, void* data, std::uint32_t count,
             std::uint32_t& done) override;
  int Seek(NativeFile file, std::int64_t distance, SeekOrigin origin,
           std::uint64_t& position) override;
  int Size(NativeFile file, std::uint64_t& size) override { return real_.Size(file, size); }
  int Flush(NativeFile file) override;
  void StartWriteBack(NativeFile file, std::uint64_t offset, std::uint64_t length) override {
    real_.StartWriteBack(file, offset, length);
  }
  int Describe(NativeFile file, FileFacts& facts) override { return real_.Describe(file, facts); }
  int DescribePath(const std::string& path, FileFacts& facts) override {
    return real_.DescribePath(path, facts);
  }
  int SetPermissions(NativeFile file, std::uint32_t permissions) override {
    return real_.SetPermissions(file, permissions);
  }
  int SetTimes(NativeFile file, std::int64_t accessed, std::int64_t modified) override {
    return real_.SetTimes(file, accessed, modified);
  }
  int SetOwner(NativeFile file, std::uint32_t owner, std::uint32_t group) override {
    return real_.SetOwner(file, owner, group);
  }
  int NextData(NativeFile file, std::uint64_t from, std::uint64_t& start,
               std::uint64_t& end) override {
    return real_.NextData(file, from, start, end);
  }
  int Truncate(NativeFile file) override;
  bool ReplacesOpenFiles() const override { return real_.ReplacesOpenFiles(); }
  int Remove(const std::string& path) override;
  int Rename(const std::string& from, const std::string& to) override;
  int OpenFolder(const std::string& path, std::size_t trusted, Folder& folder) override {
    return real_.OpenFolder(path, trusted, folder);
  }
  void CloseFolder(Folder& folder) override { real_.CloseFolder(folder); }
  int OpenIn(const Folder& folder, const std::string& name, OpenMode mode, NativeFile& file,
             FileFacts& facts) override;
  int DescribeIn(const Folder& folder, const std::string& name, FileFacts& facts) override {
    return real_.DescribeIn(folder, name, facts);
  }
  int RenameIn(const Folder& folder, const std::string& from, const std::string& to,
               const FileIdentity* replacing) override;
  int RemoveIn(const Folder& folder, const std::string& name, const FileIdentity& identity,
               const FileFacts* as_read) override;
  int RemoveOpenIn(const Folder& folder, const std::string& name, NativeFile file,
                   const FileIdentity& identity, const FileFacts* as_read) override;
  int FlushFolder(const Folder& folder) override;
  int SetNormalAttributesIn(const Folder& folder, const std::string& name,
                            NativeFile file) override;
  int CreateUniqueFile(const std::string& folder, const std::string& prefix,
                       std::string& path) override {
    return real_.CreateUniqueFile(folder, prefix, path);
  }
  int CreateAnonymousFile(const std::string& folder, const std::string& prefix, std::string& path,
                          NativeFile& file) override {
    const int error = real_.CreateAnonymousFile(folder, prefix, path, file);
    if (error == 0) open_paths_[file] = path;
    return error;
  }
  std::unique_ptr<DirectoryScan> StartScan(const std::string& pattern, bool single_entry,
                                           int& error) override;
  bool FolderExists(const std::string& path) override { return real_.FolderExists(path); }
  std::string FullPath(const std::string& path) override { return real_.FullPath(path); }
  int TempDirectory(std::string& folder) override { return real_.TempDirectory(folder); }
  std::string ExecutableDirectory() override;
  std::string ErrorText(int error) override { return real_.ErrorText(error); }
  void* AllocatePages(std::size_t size, int& error) override {
    return real_.AllocatePages(size, error);
  }
  void FreePages(void* pages, std::size_t size) override { real_.FreePages(pages, size); }
  ModuleHandle LoadModule(const std::string& path) override { return real_.LoadModule(path); }
  void* ModuleSymbol(ModuleHandle module, const char* name) override {
    return real_.ModuleSymbol(module, name);
  }
  void UnloadModule(ModuleHandle module) override;
  VersionLookup ReadModuleVersion(const std::string& path, ModuleVersionTexts& texts) override {
    return real_.ReadModuleVersion(path, texts);
  }
  bool ProcessRunning(std::uint32_t id) override { return real_.ProcessRunning(id); }
  unsigned ProcessorCount() override { return real_.ProcessorCount(); }
  void WatchInterruptions() override { real_.WatchInterruptions(); }
  // An interruption can be staged: it is answered once, as a signal would be.
  void Interrupt(int signal_number) {
    staged_interruption_ = signal_number;
    interruption_taken_ = false;
  }
  int TakeInterruption() override {
    const int staged = staged_interruption_;
    if (staged != 0 && !interruption_taken_) {
      interruption_taken_ = true;
      return staged;
    }
    return staged != 0 ? 0 : real_.TakeInterruption();
  }
  int Interruption() override {
    return staged_interruption_ != 0 ? staged_interruption_ : real_.Interruption();
  }
  bool CounterFrequency(std::int64_t& frequency) override {
    return real_.CounterFrequency(frequency);
  }
  std::int64_t Counter() override { return real_.Counter(); }
  std::int64_t Now() override { return now_ != 0 ? now_ : real_.Now(); }
  void SetNow(std::int64_t seconds) { now_ = seconds; }
  std::string FormatLocalTime(std::int64_t seconds) override {
    return real_.FormatLocalTime(seconds);
  }
  bool HasTerminal() override;
  int ReadHiddenLine(std::string_view prompt, std::span<char> line, std::size_t& length) override;
  int ReadFirstLine(const std::string& path, std::span<char> line, std::size_t& length) override {
    return real_.ReadFirstLine(path, line, length);
  }
  void DisableCoreDumps() override { real_.DisableCoreDumps(); }
  void Out(std::string_view text) override;
  void Err(std::string_view text) override;

  int modules_freed() const { return modules_freed_; }

 private:
  class FaultyScan;
  struct Fault {
    int error;
    int after;
  };
  // Counts the call and answers the injected error, or 0 to let it through.
  int Check(Call call, const std::string& path);
  int OpenChecked(const std::string& path, OpenMode mode, NativeFile& file,
                  const std::function<int()>& open);
  std::string PathOf(NativeFile file) const;
  void Renamed(const std::string& from, const std::string& to);

  Platform& real_;
  std::map<std::pair<Call, std::string>, Fault> faults_;
  std::map<std::pair<Call, std::string>, int> counts_;
  std::map<std::pair<Call, std::string>, std::pair<int, std::function<void()>>> hooks_;
  // The files of a large one's pipeline are read and written from threads of their own.
  mutable std::recursive_mutex lock_;
  std::vector<std::pair<Call, std::string>> journal_;
  std::function<void(Call, const std::string&)> observer_;
  std::map<NativeFile, std::string> open_paths_;
  std::set<std::string> read_only_;
  bool capture_ = false;
  std::string out_, err_;
  std::string executable_directory_;
  bool terminal_scripted_ = false, terminal_present_ = false;
  std::vector<std::string> answers_, prompts_;
  int modules_freed_ = 0;
  std::int64_t now_ = 0;
  int staged_interruption_ = 0;
  bool interruption_taken_ = false;
};

}  // namespace corvalin
