#include "engine/machine_configuration.h"

#include <cstdio>
#include <map>

#include "app/file_helpers.h"
#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "engine/engine_test.h"
#include "platform/files.h"
#include "platform/system.h"

namespace vellmora::testing {
namespace {

// The key="value" settings of a host configuration (the first line of each key).
std::map<std::string, std::string> Settings(const std::string& text) {
  std::map<std::string, std::string> settings;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find("=\"");
    if (equals != std::string::npos && line.back() == '"') {
      settings.emplace(line.substr(0, equals), line.substr(equals + 2, line.size() - equals - 3));
    }
    start = end + 1;
  }
  return settings;
}

std::string Today() {
  const platform::SystemTime now = platform::GetLocalTime();
  char text[32];
  std::snprintf(text, sizeof text, "%02u/%02u/%04u", unsigned{now.day}, unsigned{now.month},
                unsigned{now.year});
  return text;
}

class MachineConfigurationTest : public EngineTest {
 protected:
  platform::Path Conf() { return JoinPath(pd_, L"VellmoraOX.conf"); }
  bool Generate() { return GenerateMachineConfiguration(engine_, pd_, &machine_id_, &version_id_); }
  std::string machine_id_;
  std::string version_id_;
};

TEST_F(MachineConfigurationTest, TheHostConfigurationGetsThisMachinesSettings) {
  engine_.adb_port = 5577;
  const std::string original =
      "# kept\r\n"
      "klv.locale=en\r\n"
      "klv.qor_win_left=\"10\"\r\n"
      "klv.ui_scale_factor=\"2\"\n"
      "klv.status.session_id=\"top\"\r\n"
      "klv.instance.Pie64.status.session_id=\"old\"\r\n"
      "klv.instance.Pie64.camera_back=\"1\"\r\n"
      "klv.user_dir=\"__OSTREVIN_USERPROFILE__\\AppData\"\n"
      "klv.token=\"secret\"\r\n"
      "klv.locale=\"second\"\r\n"
      "klv.last=\"no ending\"";
  Write(Conf(), original);
  ASSERT_TRUE(Generate()) << LogText();
  const std::string text = Read(Conf());
  const auto settings = Settings(text);

  EXPECT_EQ(machine_id_.size(), 36u);
  EXPECT_EQ(settings.at("klv.guid"), machine_id_);
  EXPECT_EQ(settings.at("klv.machine_id"), machine_id_);
  EXPECT_EQ(settings.at("klv.version_machine_id"), version_id_);
  EXPECT_NE(settings.at("klv.install_id"), machine_id_);
  EXPECT_EQ(settings.at("klv.install_id").size(), 36u);
  EXPECT_EQ(settings.at("klv.launcher_guid").size(), 36u);
  EXPECT_EQ(settings.at("klv.install_date"), Today());
  EXPECT_EQ(settings.at("klv.pellucador_cloud_url"), "https://cloud.vellmora.com");
  EXPECT_EQ(settings.at("klv.instance.Pie64.adb_port"), "5577");
  EXPECT_EQ(settings.at("klv.instance.Pie64.status.adb_port"), "5577");
  EXPECT_EQ(settings.at("klv.enable_adb_access"), "0");
  EXPECT_EQ(settings.at("klv.instance.Pie64.display_name"), "Vellmora");
  for (const char* signed_out : {"klv.token", "klv.refresh_token", "klv.pellucador_account_id",
                                 "klv.zimra_email", "klv.zimra_userId", "klv.zimra_username"}) {
    EXPECT_EQ(settings.at(signed_out), "") << signed_out;
  }
  // Edited in place, line endings kept; the second locale line and the top-level session stay.
  EXPECT_EQ(text.find("# kept\r\nklv.locale=\""), 0u) << text;
  EXPECT_NE(text.find("klv.status.session_id=\"top\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("klv.user_dir=\"" + Utf8Profile(engine_) + "\\AppData\"\n"),
            std::string::npos);
  EXPECT_NE(text.find("klv.locale=\"second\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("klv.last=\"no ending\"\r\nklv.guid=\""), std::string::npos);
  for (const char* removed : {"qor_win_", "ui_scale_factor", "camera_", "\"old\""}) {
    EXPECT_EQ(text.find(removed), std::string::npos) << removed;
  }
  EXPECT_EQ(text.size() - text.rfind("klv.instance.Pie64.display_name=\"Vellmora\"\r\n"),
            std::string("klv.instance.Pie64.display_name=\"Vellmora\"\r\n").size());
  EXPECT_TRUE(IsPlainDirectoryTree(JoinPath(pd_, L"Logs")));
  EXPECT_TRUE(IsPlainDirectoryTree(JoinPath(pd_, L"Dumps")));
  EXPECT_EQ(LogText(), "[+] Emulator paths and files generated successfully.\n");

  // A second installation is a new machine identity.
  const auto first = settings;
  Write(Conf(), original);
  ASSERT_TRUE(Generate());
  const auto second = Settings(Read(Conf()));
  for (const char* key : {"klv.guid", "klv.install_id", "klv.launcher_guid"}) {
    EXPECT_NE(second.at(key), first.at(key)) << key;
  }
}

TEST_F(MachineConfigurationTest, LocaleAndCountryComeFromTheUsersLocale) {
  REQUIRE_SIMULATED_MACHINE();
  struct Case {
    std::string locale;
    std::string expected_locale;
    std::string expected_country;
  };
  for (const Case& c : {Case{"pt-BR", "pt-BR", "BR"}, Case{"", "en-US", "US"},
                        Case{"sr-Latn-RS", "sr-Latn-RS", "RS"}}) {
#if VELLMORA_PLATFORM_SIM
    sim::SetUserLocale(c.locale);
#endif
    Write(Conf(), "klv.locale=en\r\n");
    ASSERT_TRUE(Generate()) << LogText();
    const auto settings = Settings(Read(Conf()));
    EXPECT_EQ(settings.at("klv.locale"), c.expected_locale);
    EXPECT_EQ(settings.at("klv.country"), c.expected_country);
  }
}

TEST_F(MachineConfigurationTest, MachineRegistryFilesGetTheEscapedProfile) {
  engine_.paths.user_profile = machine_.In(L"C\\Users\\Ana&Bia");
  std::string profile = Utf8Profile(engine_);
  std::string doubled;
  for (char c : profile) {
    doubled += c;
    if (c == '\\') doubled += '\\';
  }
  auto escape = [](std::string text) {
    text.replace(text.find('&'), 1, "&amp;");
    return text;
  };
  const platform::Path global = JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml");
  Write(global, "<m a=\"__OSTREVIN_USERPROFILE__\" b=\"__OSTREVIN_USERPROFILE_ESCAPED__\"/>");
  Write(Conf(), "klv.user_dir=\"__OSTREVIN_USERPROFILE__\"\r\n");
  ASSERT_TRUE(Generate()) << LogText();
  EXPECT_EQ(Read(global), "<m a=\"" + escape(profile) + "\" b=\"" + escape(doubled) + "\"/>");
  EXPECT_FALSE(Exists(JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml-prev")));
  // The host configuration is no XML: the path goes in as it is.
  EXPECT_EQ(Settings(Read(Conf())).at("klv.user_dir"), profile);
}

TEST_F(MachineConfigurationTest, AMissingHostConfigurationFailsButHandsOutTheIdentities) {
  MakeTestDirectories(pd_);
  EXPECT_FALSE(Generate());
  EXPECT_EQ(machine_id_.size(), 36u);
  EXPECT_EQ(version_id_.size(), 36u);
  EXPECT_EQ(LogText(), "Machine-specific Engine configuration: could not read " +
                           ToUtf8(Conf()) + " (CRT error 2).\n");
}

// The number in the line is the Windows error of the call that failed, not a zero.
TEST_F(MachineConfigurationTest, ASaveThatFailsNamesTheWindowsError) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  Write(Conf(), "klv.locale=\"en\"\r\n");
  sim::InjectFault({"write", L"*VellmoraOX.conf.vellmora.tmp", 1, platform::kErrorDiskFull});
  EXPECT_FALSE(Generate());
  EXPECT_EQ(LogText(), "Machine-specific Engine configuration: could not save " +
                           ToUtf8(Conf()) + " (CRT error 112).\n");
  EXPECT_EQ(Read(Conf()), "klv.locale=\"en\"\r\n");
#endif
}

TEST_F(MachineConfigurationTest, StartPreparationRewritesOnlyWhatChanged) {
  engine_.adb_port = 5581;
  const platform::Path conf = JoinPath(engine_.paths.DataDir(), L"VellmoraOX.conf");
  const std::string current =
      "klv.pellucador_cloud_url=\"https://cloud.vellmora.com\"\r\nklv.enable_adb_access=\"0\"\r\n"
      "klv.enable_adb_remote_access=\"0\"\r\nklv.instance.Pie64.adb_port=\"5581\"\r\n"
      "klv.instance.Pie64.status.adb_port=\"5581\"\r\nklv.locale=\"de-DE\"\r\n";
  Write(conf, current);
  // Read-only: a rewrite would fail, so success shows that none was tried.
  platform::SetFileAttributesW(conf, platform::kAttributeReadOnly);
  EXPECT_TRUE(PrepareHostConfigForStart(engine_)) << LogText();
  platform::SetFileAttributesW(conf, platform::kAttributeNormal);
  EXPECT_EQ(Read(conf), current);
  std::uint32_t port = 0;
  EXPECT_TRUE(ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"AdbPort", &port));
  EXPECT_EQ(port, 5581u);

  Write(conf, "klv.locale=\"__VLM_LOCALE__\"\r\nklv.enable_adb_access=\"1\"\r\n");
  EXPECT_TRUE(PrepareHostConfigForStart(engine_)) << LogText();
  const auto settings = Settings(Read(conf));
  EXPECT_EQ(settings.at("klv.locale"), DetermineUserLocale().locale);
  EXPECT_EQ(settings.at("klv.country"), DetermineUserLocale().country);
  EXPECT_EQ(settings.at("klv.enable_adb_access"), "0");
  EXPECT_EQ(settings.at("klv.instance.Pie64.adb_port"), "5581");

  RemoveTestTree(conf);
  engine_.view.log_lines.clear();
  EXPECT_FALSE(PrepareHostConfigForStart(engine_));
  EXPECT_EQ(LogText(), "Could not read VellmoraOX.conf before starting Pie64.\n");
}

}  // namespace
}  // namespace vellmora::testing
