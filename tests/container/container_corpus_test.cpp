// Walks the container corpus (tests/data/containers, made by tests/tools): every container is
// decrypted as a user would, and must give exactly what its ".case" file says. A change of the
// format, of what is refused or of an error code shows here as data, not as re-derived code.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "platform/platform.h"
#include "tests/test_support/in_process_run.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

const std::string kCorpus = std::string(CORVALIN_TEST_DATA) + testing::kSep + "containers";

// "key: value" lines; '#' starts a comment.
std::map<std::string, std::string> ReadCase(const fs::path& path) {
  std::map<std::string, std::string> fields;
  std::istringstream lines(ReadFile(path.string()));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t colon = line.find(": ");
    if (line.empty() || line[0] == '#' || colon == std::string::npos) continue;
    fields[line.substr(0, colon)] = line.substr(colon + 2);
  }
  fields.emplace("switches", "");
  return fields;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

TEST(ContainerCorpus, EveryContainerOpensAsItsCaseSays) {
  testing::InProcessRun run;
  const int failed_run = kShellConventions ? 1 : 0;  // a run with errors
  int cases = 0;
  for (const auto& entry : fs::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".case") continue;
    ++cases;
    const std::string name = entry.path().stem().string();
    SCOPED_TRACE(name);
    auto fields = ReadCase(entry.path());
    const std::string container = ReadFile((fs::path(kCorpus) / (name + ".aes")).string());
    testing::TempFolder work;
    fs::create_directories(work / "tmp");
    fs::create_directories(work / "in");
    testing::WriteFile(work / ("in/" + name + ".aes"), container);

    std::vector<std::string> args = {"d", "-p", fields["password"]};
    for (const std::string& word : Words(fields["switches"])) args.push_back(word);
    args.push_back(work / ("in/" + name + ".aes"));
    const int status = run.Run(args, work / "tmp");

    if (fields.count("restores") != 0) {
      const std::string restored = fields["restores"];
      EXPECT_EQ(status, 0) << run.out();
      ASSERT_EQ(testing::ListFolder(work / "in"), std::vector<std::string>{restored}) << run.out();
      const std::string expected = ReadFile((fs::path(kCorpus) / "plain" / restored).string());
      EXPECT_TRUE(ReadFile(work / ("in/" + restored)) == expected);
    } else {
      const std::string error = ">>> ERROR(" + fields["error"] + "): ";
      EXPECT_NE(run.out().find(error), std::string::npos) << run.out();
      EXPECT_NE(run.out().find(", 1 error(s)"), std::string::npos) << run.out();
      EXPECT_EQ(status, failed_run);
      // A container that cannot be opened is left exactly as it was, and alone.
      ASSERT_EQ(testing::ListFolder(work / "in"), std::vector<std::string>{name + ".aes"});
      EXPECT_TRUE(ReadFile(work / ("in/" + name + ".aes")) == container);
    }
  }
  EXPECT_GE(cases, 40);
}

}  // namespace
}  // namespace corvalin
