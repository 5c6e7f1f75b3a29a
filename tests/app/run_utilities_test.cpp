#include <gtest/gtest.h>

#include "app/hi_res_timer.h"
#include "app/my_object_counter.h"
#include "app/number_format.h"
#include "select/my_finder.h"
#include "support/disk_file.h"
#include "tests/test_support/fault_injecting_platform.h"
#include "tests/test_support/recording_sink.h"
#include "tests/test_support/test_support.h"

namespace corvalin {
namespace {

TEST(NumberFormatTest, GroupDigitsFromTheUnits) {
  EXPECT_EQ(GroupDigits("999"), "999");
  EXPECT_EQ(GroupDigits("1000"), "1'000");
  EXPECT_EQ(GroupDigits("4294967295"), "4'294'967'295");
  EXPECT_EQ(GroupDigits("0"), "0");
  EXPECT_EQ(GroupDigits(""), "");
  EXPECT_EQ(GroupDigits("1234567.891"), "1'234'567.891");
  EXPECT_EQ(FormatCount(4294967295u), "4'294'967'295");
  EXPECT_EQ(FormatByteCount(5000000000ull), "5'000'000'000");
}

class FrozenCounter : public FaultInjectingPlatform {
 public:
  using FaultInjectingPlatform::FaultInjectingPlatform;
  bool CounterFrequency(std::int64_t& frequency) override {
    frequency = 1000;
    return has_frequency;
  }
  std::int64_t Counter() override { return ticks; }
  bool has_frequency = true;
  std::int64_t ticks = 0;
};

TEST(HiResTimerTest, MeasuresCounterTicksAndNeedsAFrequency) {
  const auto system = MakeSystemPlatform();
  FrozenCounter platform(*system);
  CHiResTimer instant(platform);
  instant.Stop();
  EXPECT_EQ(instant.ElapsedSeconds(), 0.0f);
  CHiResTimer timed(platform);
  platform.ticks = 2500;
  timed.Stop();
  EXPECT_FLOAT_EQ(timed.ElapsedSeconds(), 2.5f);
  platform.has_frequency = false;
  platform.ticks = 0;
  CHiResTimer broken(platform);
  platform.ticks = 99999;
  broken.Stop();
  EXPECT_EQ(broken.ElapsedSeconds(), 0.0f);
}

// A first pass over `argument`: the list it wrote and the finder's counts.
struct Listing {
  std::string text;
  std::uint32_t files_done = 0, errors = 0;
  std::uint64_t bytes_done = 0;
};

Listing ListSearch(const testing::TempFolder& folder, const std::string& argument,
                   testing::RecordingSink& sink) {
  const auto platform = MakeSystemPlatform();
  DiskFile list(*platform);
  list.Open(OpenMode::kWrite, folder / "list");
  MyObjectCounter counter(list, sink);
  MyFinder finder(*platform, counter);
  finder.Search(argument);
  list.Close();
  return {testing::ReadFile(folder / "list"), finder.files_done, finder.errors, finder.bytes_done};
}

TEST(MyObjectCounterTest, ListsEachFoundPathWithALineFeed) {
  testing::TempFolder folder;
  testing::WriteFile(folder / "a", "12345");
  testing::WriteFile(folder / "b", "");
  testing::RecordingSink sink;
  const Listing listing = ListSearch(folder, folder / "?", sink);
  const std::string& text = listing.text;
  EXPECT_TRUE(text == folder / "a\n" + folder / "b\n" || text == folder / "b\n" + folder / "a\n");
  EXPECT_EQ(listing.files_done, 2u);
  EXPECT_EQ(listing.bytes_done, 5u);
  EXPECT_EQ(listing.errors, 0u);
}

// A name with a line feed would read back as two paths, naming files the search never chose.
#ifndef _WIN32
// POSIX only: Windows names cannot hold a line feed.
TEST(MyObjectCounterTest, NameWithALineFeedIsLeftOutOfTheList) {
  testing::TempFolder folder;
  testing::WriteFile(folder / "victim", "not chosen");
  testing::WriteFile(folder / "victim\nx.txt", "odd name");
  testing::WriteFile(folder / "plain.txt", "ok");
  testing::RecordingSink sink;
  const Listing listing = ListSearch(folder, folder / "*.txt", sink);
  EXPECT_EQ(listing.text, folder / "plain.txt\n");
  EXPECT_EQ(listing.files_done, 1u);
  EXPECT_EQ(sink.Text(2), "\r\n>>> WARNING(-37): " + (folder / "victim\nx.txt") +
                              " is left out: a name with a line feed cannot be listed.\r\n");
}
#endif

}  // namespace
}  // namespace corvalin
