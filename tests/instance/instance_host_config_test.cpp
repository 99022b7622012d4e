#include "instance/instance_host_config.h"

#include <gtest/gtest.h>

#include "instance/machine_resources.h"

namespace vellmora::testing {
namespace {

InstanceHostValues Values() {
  InstanceHostValues values;
  values.adb_port = 5565;
  values.cpu_cores = 4;
  values.memory_mib = 4096;
  values.physical_memory_mib = 32768;
  values.screen_width = 1920;
  values.screen_height = 1080;
  values.android_id = "0123456789ABCDEF";
  values.advertising_id = "01234567-89AB-CDEF-0123-456789ABCDEF";
  return values;
}

std::string Recorded(const std::string& text, bool reset) {
  std::string result = text;
  std::string detail;
  EXPECT_TRUE(RecordInstanceInHostConfig(&result, Values(), reset, &detail)) << detail;
  return result;
}

bool HasLine(const std::string& text, const std::string& line) {
  return ("\r\n" + text).find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(InstanceHostConfigTest, ARepairKeepsTheInstanceKeysAResetWritesThemAnew) {
  const std::string text = "klv.guid=\"G\"\r\nklv.instance.Pie64.cpus=\"8\"\r\n"
                           "klv.instance.Pie64.status.session_id=\"S\"\r\n"
                           "klv.instance.Pie64.token=\"secret\"\r\n";
  const std::string repaired = Recorded(text, false);
  EXPECT_TRUE(HasLine(repaired, "klv.instance.Pie64.cpus=\"8\""));
  EXPECT_TRUE(HasLine(repaired, "klv.instance.Pie64.status.session_id=\"S\""));
  EXPECT_TRUE(HasLine(repaired, "klv.instance.Pie64.token=\"secret\""));
  EXPECT_TRUE(HasLine(repaired, "klv.instance.Pie64.ram=\"4096\""));
  const std::string reset = Recorded(text, true);
  EXPECT_TRUE(HasLine(reset, "klv.instance.Pie64.cpus=\"4\""));
  EXPECT_EQ(reset.find("session_id"), std::string::npos);
  EXPECT_TRUE(HasLine(reset, "klv.instance.Pie64.token=\"\""));
  EXPECT_TRUE(HasLine(reset, "klv.system_ram=\"32768\""));
  // The lines this system does not own keep their place at the top.
  EXPECT_EQ(reset.rfind("klv.guid=\"G\"\r\n", 0), 0u);
}

TEST(InstanceHostConfigTest, LinesAreWrittenBackWithoutGainingAnEmptyOne) {
  for (const std::string& text :
       {std::string("klv.guid=\"G\"\r\n"), std::string("klv.guid=\"G\"\n"),
        std::string("klv.guid=\"G\""), std::string("# a comment\r\n\r\nklv.guid=\"G\"\r\n"),
        std::string()}) {
    SCOPED_TRACE(text);
    const std::string once = Recorded(text, false);
    EXPECT_EQ(Recorded(once, false), once);
    EXPECT_EQ(once.compare(once.size() - 2, 2, "\r\n"), 0);
    const bool had_empty = text.find("\n\r\n") != std::string::npos;
    EXPECT_EQ(once.find("\r\n\r\n") != std::string::npos, had_empty);
    EXPECT_EQ(once.find("\n\n"), std::string::npos);
  }
}

TEST(InstanceHostConfigTest, Pie64JoinsTheInstalledImagesOnce) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "klv.installed_images=\"Pie64\""},
      {"klv.installed_images=\"\"\r\n", "klv.installed_images=\"Pie64\""},
      {"klv.installed_images=\"Nougat32\"\r\n", "klv.installed_images=\"Nougat32,Pie64\""},
      {"klv.installed_images=\"pie64\"\r\n", "klv.installed_images=\"pie64\""},
      {"klv.installed_images=\"Rvc64,PIE64,Nougat32\"\r\n",
       "klv.installed_images=\"Rvc64,PIE64,Nougat32\""},
  };
  for (const auto& [before, line] : cases) {
    SCOPED_TRACE(before);
    const std::string after = Recorded(before, false);
    EXPECT_TRUE(HasLine(after, line)) << after;
    EXPECT_EQ(after.find("klv.installed_images="), after.rfind("klv.installed_images="));
  }
}

TEST(InstanceHostConfigTest, AnUnresolvedPackageTokenFailsAndLeavesTheText) {
  for (const char* marker : {"__VLM_LOCALE__", "@@KLV_X@@", "@@RV_Y@@"}) {
    std::string text = std::string("klv.locale=\"") + marker + "\"\r\n";
    const std::string before = text;
    std::string detail;
    EXPECT_FALSE(RecordInstanceInHostConfig(&text, Values(), true, &detail));
    EXPECT_EQ(detail, "the v3 configuration still contains an unresolved package token.");
    EXPECT_EQ(text, before);
  }
}

TEST(MachineResourcesTest, TheEngineGetsTwoToFourCoresTwoOrFourGibAndAStandardScreen) {
  const std::pair<std::uint32_t, int> cores[] = {{1, 2}, {2, 2}, {3, 3}, {4, 4}, {16, 4}};
  for (const auto& [processors, expected] : cores) EXPECT_EQ(CpuCoresFor(processors), expected);
  const std::pair<std::uint64_t, int> memory[] = {
      {4096, 2048}, {8191, 2048}, {8192, 4096}, {32768, 4096}, {0, 2048}};
  for (const auto& [mib, expected] : memory) EXPECT_EQ(MemoryMibFor(mib), expected);
  struct Screen {
    int width, height, fb_width, fb_height;
  };
  for (const Screen& s : {Screen{2560, 1080, 1920, 1080}, Screen{1366, 768, 1280, 720},
                          Screen{1920, 1000, 1920, 720}, Screen{0, 0, 1280, 720}}) {
    EXPECT_EQ(ScreenWidthFor(s.width), s.fb_width);
    EXPECT_EQ(ScreenHeightFor(s.height), s.fb_height);
  }
}

}  // namespace
}  // namespace vellmora::testing
