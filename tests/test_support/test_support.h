// Helpers the tests share: a fresh temporary folder, file contents, and running the built
// program as a user would.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvalin::testing {

// A fresh folder below the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }  // ends with '/'
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
std::vector<std::string> ListFolder(const std::string& folder);  // sorted names
std::string RandomBytes(std::size_t count, std::uint32_t seed);
std::vector<std::uint8_t> FromHex(const std::string& hex);

// The code of the ErrorHandler `action` raises (its message into `message`), or 0.
int ErrorCodeOf(const std::function<void()>& action, std::string* message = nullptr);

struct RunResult {
  int status = -1;
  std::string out, err;
};

// Runs the built corvalin (or `program`) with `args` in `folder`, with `environment` entries
// ("NAME=value") added.
RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const std::vector<std::string>& environment = {},
                     const std::string& program = CORVALIN_BIN_DIR "/corvalin");

}  // namespace corvalin::testing
