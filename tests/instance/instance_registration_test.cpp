#include "instance/instance_registration.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <set>

#include "app/build_info.h"
#include "app/installation_probes.h"
#include "app/path_helpers.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "engine/engine_test.h"
#include "engine/path_mapping.h"
#include "forge/small_files.h"
#include "instance/disk_image_checks.h"
#include "instance/json_check.h"
#include "instance/machine_resources.h"
#include "platform/files.h"
#include "support/fixture_path.h"
#include "support/wine_detection.h"
#include "windows/product_registry_key.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {
namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::vector<std::string> found;
  const std::regex expression(pattern);
  for (auto it = std::sregex_iterator(text.begin(), text.end(), expression);
       it != std::sregex_iterator(); ++it) {
    found.push_back((*it)[1].str());
  }
  return found;
}

class InstanceRegistrationTest : public EngineTest {
 protected:
  InstanceRegistrationTest() {
#if VELLMORA_PLATFORM_SIM
    // A workstation: more than the Engine uses of each.
    sim::HardwareOptions workstation;
    workstation.logical_processors = 16;
    workstation.physical_memory = 32ull << 30;
    workstation.screen_width = 2560;
    workstation.screen_height = 1080;
    sim::SetHardware(workstation);
#endif
    steps_.configure_backend = [this](InstallerEngine&, const platform::Path& data_dir) {
      backend_dirs_.push_back(data_dir);
      return backend_result_;
    };
    steps_.install_boot_promotion = [this](InstallerEngine&) {
      ++promotions_;
      return true;
    };
  }

  platform::Path D() { return engine_.paths.DataDir(); }
  platform::Path P() { return JoinPath(D(), L"Engine\\Pie64"); }
  platform::Path HostConfigPath() { return JoinPath(D(), L"VellmoraOX.conf"); }
  platform::Path Registry(const wchar_t* name) { return JoinPath(D(), std::wstring(L"Engine\\Manager\\") + name); }
  platform::Path InstanceList() { return JoinPath(D(), L"Engine\\UserData\\VlmMetaData.json"); }
  std::string V8() { return ToUtf8(JoinPath(P(), L"Pie64.kolv")); }

  // The forged instance as the instance procedure leaves it before registering it, beside the
  // Engine's working files.
  void PlaceForgedInstance() {
    forge::PackageOptions options;
    options.kind = forge::PackageKind::kInstance;
    options.payload_bytes = 2u << 20;
    const platform::Path tree = machine_.In(L"package");
    std::string error;
    ASSERT_TRUE(forge::LayOutPackageTree(options, FixturePath(tree), &error)) << error;
    ASSERT_TRUE(MakeTestDirectories(JoinPath(D(), L"Engine")));
    ASSERT_EQ(platform::MoveFileExW(JoinPath(tree, L"payload\\Instances\\Pie64"), P(), 0),
              platform::kErrorSuccess);
    const std::pair<platform::Path, platform::Path> copies[] = {
        {JoinPath(P(), L"Pie64.kolv.template"), JoinPath(P(), L"Pie64.kolv")},
        {JoinPath(P(), L"Pie64.kolv.template"), JoinPath(P(), L"Pie64.kolv-prev")},
        {JoinPath(P(), L"Data.vhdx"), JoinPath(P(), L"Data_orig.vhdx")},
        {JoinPath(tree, L"package-manifest.json"),
         JoinPath(P(), L"installed-instance-package-manifest.json")}};
    for (const auto& [from, to] : copies) {
      ASSERT_EQ(platform::CopyFileW(from, to, false), platform::kErrorSuccess) << ToUtf8(to);
    }
    Write(HostConfigPath(), forge::HostConfigTemplate());
    Write(Registry(L"KolvGlobal.xml"), forge::MachineRegistryTemplate());
    Write(Registry(L"KolvGlobal.xml-prev"), forge::MachineRegistryTemplate());
    Write(InstanceList(), forge::InstanceMetadataTemplate());
    ASSERT_TRUE(WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey,
                                    L"PackageReleaseVersion", WidenBytes(kPackageRelease)));
  }

  // Every file of the data directory that registration may touch, by name.
  std::map<std::wstring, std::string> Snapshot() {
    std::map<std::wstring, std::string> files;
    for (const platform::Path& path :
         {JoinPath(P(), L"Pie64.kolv"), JoinPath(P(), L"Pie64.kolv-prev"),
          JoinPath(P(), L"Android.kolv.in"), JoinPath(P(), L"Pie64.kolv.template"),
          HostConfigPath(), Registry(L"KolvGlobal.xml"), Registry(L"KolvGlobal.xml-prev"),
          InstanceList()}) {
      files[path] = Read(path);
    }
    return files;
  }

  bool Register(bool reset) { return RegisterPie64Instance(engine_, reset, steps_); }

  RegistrationSteps steps_;
  std::vector<platform::Path> backend_dirs_;
  bool backend_result_ = true;
  int promotions_ = 0;
};

TEST_F(InstanceRegistrationTest, APlacedInstanceIsRegisteredWithThisMachinesValuesAndARepairChangesNoByte) {
  PlaceForgedInstance();
  EXPECT_TRUE(IsPie64InstanceComplete(engine_));
  EXPECT_FALSE(IsPie64Registered(engine_));
  ASSERT_TRUE(Register(true)) << LogText();
  EXPECT_EQ(backend_dirs_, std::vector<platform::Path>{D()});
  EXPECT_EQ(promotions_, 1);
  EXPECT_NE(LogText().find("Pie64 registered with this computer's GUID, CPU, RAM, and resolution."),
            std::string::npos);

  const MachineResources expected = MeasureMachineResources();
#if VELLMORA_PLATFORM_SIM
  EXPECT_EQ(expected.cpu_cores, 4);
  EXPECT_EQ(expected.memory_mib, 4096);
  EXPECT_EQ(expected.screen_width, 1920);
  EXPECT_EQ(expected.screen_height, 1080);
#endif
  // The machine registry names the definition with one UUID, which the definitions carry.
  const std::string registry = Read(Registry(L"KolvGlobal.xml"));
  const std::vector<std::string> uuids =
      Matches(registry, "<MachineEntry uuid=\"([^\"]*)\" src=\"" +
                            std::regex_replace(V8(), std::regex(R"([\\.^$|()\[\]{}*+?])"), R"(\$&)") +
                            "\"/>\r\n    </MachineRegistry>");
  ASSERT_EQ(uuids.size(), 1u) << registry;
  EXPECT_EQ(uuids[0].size(), 38u);
  EXPECT_EQ(Read(Registry(L"KolvGlobal.xml-prev")), registry);
  const std::string install_dir = ToUtf8(engine_.paths.InstallDir());
  for (const wchar_t* name : {L"Pie64.kolv", L"Pie64.kolv-prev", L"Android.kolv.in"}) {
    SCOPED_TRACE(ToUtf8(name));
    const std::string definition = Read(JoinPath(P(), name));
    EXPECT_NE(definition.find("<Machine uuid=\"" + uuids[0] + "\""), std::string::npos);
    EXPECT_NE(definition.find("<CPU count=\"" + std::to_string(expected.cpu_cores) + "\"/>"),
              std::string::npos);
    EXPECT_NE(definition.find("RAMSize=\"" + std::to_string(expected.memory_mib) + "\""),
              std::string::npos);
    EXPECT_EQ(Matches(definition, "MACAddress=\"(080027[0-9A-F]{6})\"").size(), 1u);
    EXPECT_NE(definition.find("value=\"" + install_dir + "\\RV-Vdes-Service.dll\""),
              std::string::npos);
    EXPECT_NE(definition.find("value=\"" + install_dir + "\\Vellmora.exe\""), std::string::npos);
    EXPECT_NE(definition.find("value=\"" + install_dir + "\\Shared\""), std::string::npos);
    for (const char* left : {"__VLM_", "@@KLV_", "@@RV_", "C:\\Program Files\\"}) {
      EXPECT_EQ(definition.find(left), std::string::npos) << left;
    }
    EXPECT_TRUE(CheckVmDiskEntries(JoinPath(P(), name)));
  }
  EXPECT_EQ(Read(JoinPath(P(), L"Pie64.kolv.template")).find(uuids[0]), std::string::npos);

  const std::string list = Read(InstanceList());
  EXPECT_TRUE(IsValidJson(list)) << list;
  EXPECT_EQ(list,
            "{\r\n    \"Organization\" : [\r\n"
            "        {\r\n"
            "            \"ID\" : 0,\r\n"
            "            \"Name\" : \"Vellmora Pie64\",\r\n"
            "            \"IsFolder\" : false,\r\n"
            "            \"ParentFolder\" : -1,\r\n"
            "            \"IsOpen\" : false,\r\n"
            "            \"IsVisible\" : true,\r\n"
            "            \"InstanceName\" : \"Pie64\"\r\n"
            "        }\r\n"
            "    ]\r\n}\r\n");

  const std::string config = Read(HostConfigPath());
  const std::string cores = std::to_string(expected.cpu_cores);
  const std::string memory = std::to_string(expected.memory_mib);
  for (const std::string& line :
       {std::string("klv.installed_images=\"Pie64\""), "klv.instance.Pie64.cpus=\"" + cores + "\"",
        "klv.instance.Pie64.ram=\"" + memory + "\"", "klv.fresh_cpu_core=\"" + cores + "\"",
        "klv.instance.Pie64.fb_width=\"" + std::to_string(expected.screen_width) + "\"",
        "klv.instance.Pie64.fb_height=\"" + std::to_string(expected.screen_height) + "\"",
        "klv.system_ram=\"" + std::to_string(expected.physical_memory_mib) + "\"",
        "klv.instance.Pie64.adb_port=\"" + std::to_string(engine_.adb_port) + "\"",
        std::string("klv.shared_folders=\"Documents,Pictures,InputMapper,KlvSharedFolder\""),
        std::string("klv.instance.Pie64.first_boot=\"0\""),
        std::string("klv.instance.Pie64.boot_duration=\"-1\"")}) {
    EXPECT_NE(config.find("\r\n" + line + "\r\n"), std::string::npos) << line;
  }
  EXPECT_EQ(Matches(config, "klv\\.instance\\.Pie64\\.android_id=\"([0-9A-F]{16})\"").size(), 1u);
  EXPECT_EQ(config.find("\r\n\r\n"), std::string::npos);
  EXPECT_EQ(config.compare(config.size() - 2, 2, "\r\n"), 0);
  EXPECT_TRUE(IsPie64Registered(engine_));

  // A repair, twice: the identity stays and not one byte moves.
  const auto first = Snapshot();
  for (int repair = 1; repair <= 2; ++repair) {
    SCOPED_TRACE(repair);
    ASSERT_TRUE(Register(false)) << LogText();
    EXPECT_EQ(Snapshot(), first);
  }
}

TEST_F(InstanceRegistrationTest, ANewInstanceKeepsItsMachineUuidButGetsFreshIdentities) {
  PlaceForgedInstance();
  ASSERT_TRUE(Register(true));
  const std::string registry = Read(Registry(L"KolvGlobal.xml"));
  const std::string config = Read(HostConfigPath());
  // The instance procedure places fresh definitions and registers with reset again.
  for (const wchar_t* name : {L"Pie64.kolv", L"Pie64.kolv-prev"}) {
    ASSERT_EQ(platform::CopyFileW(JoinPath(P(), L"Pie64.kolv.template"), JoinPath(P(), name), false),
              platform::kErrorSuccess);
  }
  ASSERT_TRUE(Register(true));
  EXPECT_EQ(Read(Registry(L"KolvGlobal.xml")), registry);
  const std::string pattern = "klv\\.instance\\.Pie64\\.android_id=\"([^\"]*)\"";
  EXPECT_NE(Matches(Read(HostConfigPath()), pattern), Matches(config, pattern));
  const std::vector<std::string> uuid = Matches(registry, "<MachineEntry uuid=\"([^\"]*)\" src=\"" +
                                                              std::string("[^\"]*Pie64\\.kolv\"/>\r\n    <"));
  ASSERT_EQ(uuid.size(), 1u);
  EXPECT_NE(Read(JoinPath(P(), L"Pie64.kolv")).find(uuid[0]), std::string::npos);
}

TEST_F(InstanceRegistrationTest, ThePie64EntryJoinsAnyInstanceListAsValidJsonWithAnIdOfItsOwn) {
  const std::string entry_head = "{\r\n    \"Organization\" : [\r\n";
  struct Case {
    const char* name;
    std::string list;
    std::set<std::string> ids;  // afterwards
  };
  const Case cases[] = {
      {"a bracket inside a name",
       entry_head + "        { \"ID\" : 0, \"Name\" : \"Jogos [2]\", \"IsFolder\" : true },\r\n"
                    "        { \"ID\" : 1, \"Name\" : \"Note \\\"]\\\" \\\\\", \"Tags\" : [\"a]\", [1]] }\r\n"
                    "    ],\r\n    \"Recent\" : [ \"x\" ]\r\n}\r\n",
       {"0", "1", "2"}},
      {"IDs 0 and 2",
       entry_head + "        { \"ID\" : 0, \"InstanceName\" : \"Nougat32\" },\r\n"
                    "        { \"ID\" : 2, \"InstanceName\" : \"Rvc64\" }\r\n    ]\r\n}\r\n",
       {"0", "2", "3"}},
      {"a name that mentions the array",
       "{ \"Title\" : \"Organization [beta]\", \"Organization\" : [ ] }", {"0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceForgedInstance();
    Write(InstanceList(), c.list);
    ASSERT_TRUE(Register(true)) << LogText();
    const std::string list = Read(InstanceList());
    EXPECT_TRUE(IsValidJson(list)) << list;
    const std::vector<std::string> ids = Matches(list, "\"ID\" : (-?[0-9]+)");
    EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()), c.ids) << list;
    EXPECT_EQ(ids.size(), c.ids.size()) << list;
    ASSERT_TRUE(Register(false));
    EXPECT_EQ(Read(InstanceList()), list);
    RemoveTestTree(D());
  }
}

TEST_F(InstanceRegistrationTest, AListWithoutItsArrayIsTheExistingFailure) {
  for (const std::string& list :
       {std::string("{ \"Instances\" : [] }"), std::string("{ \"Organization\" : [ { \"ID\" : 0 } }"),
        std::string("{ \"Note\" : \"\\\"Organization\\\" : [\" }")}) {
    SCOPED_TRACE(list);
    PlaceForgedInstance();
    Write(InstanceList(), list);
    EXPECT_FALSE(Register(true));
    EXPECT_NE(LogText().find("Pie64 registration error: the Organization array was not found in " +
                             ToUtf8(InstanceList()) + "."),
              std::string::npos);
    EXPECT_EQ(Read(InstanceList()), list);
    RemoveTestTree(D());
  }
}

TEST_F(InstanceRegistrationTest, PathsWithAnAmpersandStayWellFormedXmlAndARepairFindsItsEntry) {
  engine_.paths.install_base = machine_.In(L"R&D");
  engine_.paths.data_base = machine_.In(L"R&D\\ProgramData");
  ASSERT_TRUE(MakeTestDirectories(engine_.paths.data_base));
  PlaceForgedInstance();
  ASSERT_TRUE(Register(true)) << LogText();
  const std::string escaped_dir = EscapeXml(ToUtf8(engine_.paths.InstallDir()));
  ASSERT_NE(escaped_dir.find("R&amp;D"), std::string::npos);
  const std::string definition = Read(JoinPath(P(), L"Pie64.kolv"));
  EXPECT_NE(definition.find("value=\"" + escaped_dir + "\\Vellmora.exe\""), std::string::npos);
  EXPECT_EQ(definition.find("R&D"), std::string::npos);
  const std::string registry = Read(Registry(L"KolvGlobal.xml"));
  EXPECT_NE(registry.find("src=\"" + EscapeXml(V8()) + "\"/>"), std::string::npos) << registry;
  EXPECT_EQ(registry.find("R&D"), std::string::npos);
  EXPECT_TRUE(IsPie64Registered(engine_));
  const auto first = Snapshot();
  ASSERT_TRUE(Register(false));
  EXPECT_EQ(Snapshot(), first);
  EXPECT_EQ(Matches(Read(Registry(L"KolvGlobal.xml")), "(<MachineEntry )").size(), 2u);
}

TEST_F(InstanceRegistrationTest, AnExistingEntryKeepsItsUuidUnlessTheSideBySideEditionUsesIt) {
  const std::string kept = "{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}";
  const std::string entry = "      <MachineEntry uuid=\"" + kept + "\" src=\"";
  struct Case {
    const char* name;
    std::string side_by_side;  // the legacy edition's Pie64 machine UUID; empty: none installed
    bool keeps;
  };
  const Case cases[] = {
      {"no side-by-side edition", "", true},
      {"another machine", "{11111111-2222-4333-8444-555555555555}", true},
      {"the same machine in lower case", Lower(kept), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceForgedInstance();
    std::string registry = forge::MachineRegistryTemplate();
    registry.insert(registry.find("    </MachineRegistry>"), entry + V8() + "\"/>\r\n");
    Write(Registry(L"KolvGlobal.xml-prev"), registry);
    if (!c.side_by_side.empty()) {
      Write(JoinPath(engine_.paths.data_base, L"Pellucador_kta5\\Engine\\Pie64\\Pie64.kolv"),
            "<Machine uuid=\"" + c.side_by_side + "\" name=\"Pie64\">");
    }
    ASSERT_TRUE(Register(true)) << LogText();
    const std::string definition = Read(JoinPath(P(), L"Pie64.kolv"));
    const std::vector<std::string> machine = Matches(definition, "<Machine uuid=\"([^\"]*)\"");
    ASSERT_EQ(machine.size(), 1u);
    EXPECT_EQ(machine[0] == kept, c.keeps) << machine[0];
    for (const wchar_t* name : {L"KolvGlobal.xml", L"KolvGlobal.xml-prev"}) {
      const std::string text = Read(Registry(name));
      EXPECT_NE(text.find("<MachineEntry uuid=\"" + machine[0] + "\" src=\"" + V8() + "\"/>"),
                std::string::npos) << text;
      EXPECT_EQ(text.find(kept), c.keeps ? text.find(machine[0]) : std::string::npos);
    }
    RemoveTestTree(engine_.paths.data_base);
  }
}

TEST_F(InstanceRegistrationTest, EachFailingStepIsOneLineAndStopsTheRegistration) {
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::string line;
  };
  auto malformed = [this](const std::string& element) {
    return [this, element] {
      Write(Registry(L"KolvGlobal.xml"),
            "<MachineRegistry>\r\n" + element + V8() + "\"/>\r\n</MachineRegistry>");
    };
  };
  const Case cases[] = {
      {"backend", [this] { backend_result_ = false; },
       "Pie64 registration error: virtualization mode could not be configured."},
      {"no host configuration",
       [this] { platform::DeleteFileW(HostConfigPath()); },
       "Pie64 registration error: could not open " + ToUtf8(HostConfigPath()) + "."},
      {"unresolved token",
       [this] {
         Write(HostConfigPath(), "klv.locale=\"__VLM_LOCALE__\"\r\n");
       },
       "Pie64 registration error: the v3 configuration still contains an unresolved package token."},
      {"no machine registry element",
       [this] { Write(Registry(L"KolvGlobal.xml"), "<KolvGlobal/>"); },
       "Pie64 registration error: MachineRegistry was not found in " +
           ToUtf8(Registry(L"KolvGlobal.xml")) + "."},
      {"entry without uuid", malformed("<MachineEntry name=\"x\" src=\""),
       "Pie64 registration error: the existing MachineEntry has no UUID in " +
           ToUtf8(Registry(L"KolvGlobal.xml")) + "."},
      {"entry without its opening", malformed("src=\""),
       "Pie64 registration error: the existing MachineEntry is malformed in " +
           ToUtf8(Registry(L"KolvGlobal.xml")) + "."},
      {"another entry closed before the name",
       malformed("<MachineEntry uuid=\"{0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9}\" src=\"x\"/> <Ref src=\""),
       "Pie64 registration error: the existing MachineEntry is malformed in " +
           ToUtf8(Registry(L"KolvGlobal.xml")) + "."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceForgedInstance();
    backend_result_ = true;
    promotions_ = 0;
    c.prepare();
    const std::size_t before = LogText().size();
    EXPECT_FALSE(Register(true));
    std::string added = LogText().substr(before);
    while (!added.empty() && added.front() == '\n') added.erase(0, 1);
    EXPECT_EQ(added, c.line + "\n");
    EXPECT_EQ(promotions_, 0);
    RemoveTestTree(D());
  }
}

TEST_F(InstanceRegistrationTest, AnInstanceIsCompleteOnlyWithEveryFileInShape) {
  struct Case {
    const char* name;
    std::function<void()> change;
  };
  const Case cases[] = {
      {"another package release",
       [this] {
         WriteRegistryString(RegistryRoot::kLocalMachine, kProductKey, L"PackageReleaseVersion",
                             L"3.9.0.0");
       }},
      {"no reset baseline", [this] { platform::DeleteFileW(JoinPath(P(), L"Data_orig.vhdx")); }},
      {"no installed manifest",
       [this] { platform::DeleteFileW(JoinPath(P(), L"installed-instance-package-manifest.json")); }},
      {"an empty data disk", [this] { Write(JoinPath(P(), L"Data.vhdx"), ""); }},
      {"an empty root disk", [this] { Write(JoinPath(P(), L"Root.vhd"), ""); }},
      {"a read-only root disk",
       [this] {
         platform::SetFileAttributesW(JoinPath(P(), L"Root.vhd"), platform::kAttributeReadOnly);
       }},
      {"a definition with a writable boot disk",
       [this] {
         std::string text = Read(JoinPath(P(), L"Pie64.kolv-prev"));
         ReplaceAllOccurrences(&text, "type=\"Readonly\"", "type=\"Normal\"");
         Write(JoinPath(P(), L"Pie64.kolv-prev"), text);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlaceForgedInstance();
    ASSERT_TRUE(IsPie64InstanceComplete(engine_));
    c.change();
    EXPECT_FALSE(IsPie64InstanceComplete(engine_));
    EXPECT_FALSE(IsPie64Registered(engine_));
    platform::SetFileAttributesW(JoinPath(P(), L"Root.vhd"), platform::kAttributeNormal);
    RemoveTestTree(D());
  }
}

TEST_F(InstanceRegistrationTest, ThisBuildsOwnBackendAndPromotionRegisterTheInstanceToo) {
  PlaceForgedInstance();
  const bool registered = RegisterPie64Instance(engine_, true);
  if (!registered && RunningUnderWine() &&
      LogText().find("A non-Microsoft hypervisor is active.") != std::string::npos) {
    GTEST_SKIP() << "this host is a KVM guest, whose hypervisor the backend rightly refuses";
  }
  ASSERT_TRUE(registered) << LogText();
  EXPECT_TRUE(Exists(JoinPath(P(), L"Promotions\\Promotions.json")));
  EXPECT_TRUE(IsPie64Registered(engine_));
  const auto first = Snapshot();
  ASSERT_TRUE(RegisterPie64Instance(engine_, false)) << LogText();
  EXPECT_EQ(Snapshot(), first);
  EXPECT_NE(LogText().find("Pie64 registered with this computer's GUID, CPU, RAM, and resolution."),
            std::string::npos);
}

}  // namespace
}  // namespace vellmora::testing
