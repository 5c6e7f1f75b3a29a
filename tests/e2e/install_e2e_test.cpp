#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

using testing::RunProgram;
using testing::TempFolder;
using Names = std::vector<std::string>;

TEST(InstallEndToEnd, InstalledProgramFindsItsModulesInItsLibFolder) {
  TempFolder prefix, work;
  testing::RunOptions cmake;
  cmake.program = CORVALIN_CMAKE;
  cmake.launched = false;  // the system's own program
  const auto install =
      RunProgram({"--install", CORVALIN_BUILD_DIR, "--prefix", prefix.path()}, work.path(), cmake);
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  EXPECT_EQ(testing::ListFolder(prefix / "bin"), Names{"corvalin"});  // no module beside it
  EXPECT_EQ(testing::ListFolder(prefix / "lib/corvalin"),
            (Names{"aes.so", "rijndael24.so", "rijndael32.so"}));
  EXPECT_TRUE(testing::FileExists(prefix / "share/man/man1/corvalin.1.gz"));
  EXPECT_EQ(testing::ListFolder(prefix / "share/doc/corvalin"),
            (Names{"README.md", "changelog.gz", "copyright"}));

  const std::string program = prefix / "bin/corvalin";
  const std::string text = testing::RandomBytes(5000, 18);
  for (const char* block : {"128", "192", "256"}) {  // one module each
    testing::WriteFile(work / "data.bin", text);
    const auto encrypted =
        RunProgram({"e", "-p", "pw", "-b", block, "-lx", "data.bin"}, work.path(), {}, program);
    ASSERT_EQ(encrypted.status, 0) << encrypted.err;
    ASSERT_EQ(testing::ListFolder(work.path()), Names{"data.bin.aes"});
    const auto decrypted =
        RunProgram({"d", "-p", "pw", "-b", block, "-lx", "data.bin.aes"}, work.path(), {}, program);
    ASSERT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_EQ(testing::ReadFile(work / "data.bin"), text) << block;
  }

  const auto report = RunProgram({"-i", "-p", "pw", "-lx", "none"}, work.path(), {}, program);
  const std::string modules = std::filesystem::canonical(prefix.path()).string() + "/lib/corvalin/";
  EXPECT_NE(report.out.find("File: rijndael24.so\nLocation: " + modules + "rijndael24.so\n"),
            std::string::npos)
      << report.out << report.err;
}

}  // namespace
}  // namespace corvalin
