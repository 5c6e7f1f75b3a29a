// A processor on a fault-injecting platform with its cipher module loaded, and a folder to
// work in; files are handed to it the way the second pass does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/configure_processor.h"
#include "app/run_settings.h"
#include "process/my_object_aes.h"
#include "select/file_enumerator.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/recording_sink.h"
#include "tests/test_support/test_support.h"

namespace corvalin {

class ProcessorTest : public ::testing::Test {
 protected:
  ProcessorTest() : platform_(*system_) {}

  // A processor with the run's defaults and the given password and parameters.
  MyObjectAes& Processor(const std::string& password = "processor", int key = 32, int block = 32,
                         int mode = 1) {
    processor_ = std::make_unique<MyObjectAes>(platform_, sink_);
    RunSettings settings;
    settings.password = password;
    settings.key_bytes = key;
    settings.block_bytes = block;
    settings.cipher_mode = static_cast<CipherMode>(mode);
    ConfigureProcessor(settings, *processor_);
    processor_->provider_library = LoadBlockCipherProvider(platform_, processor_->provider, block);
    return *processor_;
  }

  // Hands one file to the processor; returns whether it counted as done.
  bool Process(const std::string& path) {
    FileEnumerator entry(platform_);
    EXPECT_TRUE(entry.Start(path, true)) << path;
    entry.Next();
    processor_->process(entry);
    return processor_->succeeded();
  }

  // "notes" encrypted once ("version one") and changed since ("version two"); the answer is a
  // later run, set to encrypt again and keep its source.
  MyObjectAes& EarlierContainerOfNotes() {
    testing::WriteFile(folder_ / "notes", "version one");
    MyObjectAes& first = Processor();
    first.command = Command::kEncrypt;
    first.delete_source = false;
    EXPECT_TRUE(Process(folder_ / "notes"));
    testing::WriteFile(folder_ / "notes", "version two");
    MyObjectAes& again = Processor();
    again.command = Command::kEncrypt;
    again.delete_source = false;
    return again;
  }

  FileIdentity Identity(const std::string& path) {
    FileFacts facts;
    EXPECT_EQ(system_->DescribePath(path, facts), 0) << path;
    return facts.identity;
  }

  std::vector<std::string> Files() { return testing::ListFolder(folder_.path()); }

  // The last error line the processor wrote, from ">>> ERROR(" on; empty when there is none.
  std::string LastError() const {
    const std::string text = sink_.Text(2);
    const std::size_t at = text.rfind(">>> ERROR(");
    return at == std::string::npos ? "" : text.substr(at);
  }

  std::unique_ptr<Platform> system_ = MakeSystemPlatform();
  FaultInjectingPlatform platform_;
  testing::RecordingSink sink_;
  testing::TempFolder folder_;
  std::unique_ptr<MyObjectAes> processor_;
};

}  // namespace corvalin
