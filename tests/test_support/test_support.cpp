#include "tests/test_support/test_support.h"

#include <stdlib.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "support/error_handler.h"
#include "tests/test_support/process.h"

namespace corvalin::testing {

namespace fs = std::filesystem;

std::string Native(std::string path) {
  std::replace(path.begin(), path.end(), '/', kSep);
  return path;
}

TempFolder::TempFolder() : path_(MakeFreshFolder(fs::temp_directory_path().string()) + kSep) {}

TempFolder::~TempFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  RemoveTree(path_);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string RandomBytes(std::size_t count, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(count, '\0');
  for (char& c : bytes) c = static_cast<char>(generator() & 0xFF);
  return bytes;
}

std::string Gzip(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 5, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()) + 32, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::vector<std::uint8_t> FromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

int ErrorCodeOf(const std::function<void()>& action, std::string* message) {
  try {
    action();
  } catch (const ErrorHandler& error) {
    if (message != nullptr) *message = error.Message();
    return error.code;
  }
  return 0;
}

std::string Console(const std::string& text) {
#ifdef _WIN32
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown += '\r';
    shown += text[i];
  }
  return shown;
#else
  return text;
#endif
}

int ExitStatusOf(int code) {
#ifdef _WIN32
  return code;
#else
  return code & 0xFF;
#endif
}

std::string ModuleFile(const std::string& name) {
#ifdef _WIN32
  return name + ".dll";
#else
  return name + ".so";
#endif
}

std::vector<std::string> TempFolderIs(const std::string& folder) {
#ifdef _WIN32
  return {"TMP=" + folder, "TEMP=" + folder};
#else
  return {"TMPDIR=" + folder};
#endif
}

namespace {

void SetVariable(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());  // an empty value removes the variable
#else
  if (value.empty()) {
    unsetenv(name.c_str());
  } else {
    setenv(name.c_str(), value.c_str(), 1);
  }
#endif
}

}  // namespace

ScopedEnvironment::ScopedEnvironment(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    const std::size_t equals = entry.find('=');
    names_.push_back(entry.substr(0, equals));
    SetVariable(names_.back(), entry.substr(equals + 1));
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  for (const std::string& name : names_) SetVariable(name, "");
}

std::vector<std::string> Launcher() {
  std::vector<std::string> words;
#ifndef _WIN32
  const char* launcher = std::getenv("CORVALIN_TEST_LAUNCHER");
  std::istringstream text(launcher != nullptr ? launcher : "");
  for (std::string word; text >> word;) words.push_back(word);
#endif
  return words;
}

std::vector<std::string> LaunchCommand(const std::string& program,
                                       const std::vector<std::string>& args) {
  std::vector<std::string> command = Launcher();
  command.push_back(program);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

std::string NotUnderLauncher(const std::string& reason) {
  const std::vector<std::string> launcher = Launcher();
  return launcher.empty() ? std::string() : "not under " + launcher.front() + ": " + reason;
}

RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const RunOptions& options) {
  return StartedProgram(args, folder, options).Finish();
}

RunResult RunProgram(const std::vector<std::string>& args, const std::string& folder,
                     const std::vector<std::string>& environment, const std::string& program) {
  RunOptions options;
  options.environment = environment;
  options.program = program;
  return RunProgram(args, folder, options);
}

}  // namespace corvalin::testing
