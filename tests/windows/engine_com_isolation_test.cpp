#include "windows/engine_com_isolation.h"

#include <functional>

#include "app/path_helpers.h"
#include "app/text.h"
#include "forge/pe_image.h"
#include "platform/files.h"
#include "windows/com_engine_fixture.h"
#include "windows/com_identity_occurrences.h"
#include "windows/engine_binary_personalization.h"
#include "windows/pe64_view.h"
#include "windows/proxy_interface_tables.h"
#include "windows/windows_test.h"

namespace vellmora::testing {
namespace {

class EngineComIsolationTest : public WindowsTest {
 protected:
  EngineComIsolationTest() : dir_(machine_.In(L"stage\\PF")) {}

  std::string ReadFile(const wchar_t* name) {
    std::string bytes;
    EXPECT_TRUE(ReadTestFile(JoinPath(dir_, name), &bytes)) << ToUtf8(name);
    return bytes;
  }
  bool Exists(const wchar_t* name) {
    platform::FileStatus status;
    return platform::GetFileStatus(JoinPath(dir_, name), &status) == platform::kErrorSuccess;
  }
  std::string DiagnosticLog() {
    std::string text;
    ReadTestFile(InstallLog::Instance().CurrentPath(), &text);
    return text;
  }
  const platform::Path dir_;

 public:
  std::string PathOf(const wchar_t* name) { return ToUtf8(JoinPath(dir_, name)); }

};

TEST_F(EngineComIsolationTest, GivesEveryBinaryThePrivateIdentity) {
  WriteComEngine(dir_, ComEngineContents());
  const std::string untouched = ReadFile(L"RV-Apn.dll");
  engine_.SetProgressRange(0.0f, 1.0f);

  ASSERT_TRUE(IsolateEngineComIdentity(engine_, dir_, 0.2f, 0.6f)) << LogText();
  EXPECT_NE(LogText().find("[+] Isolated staged COM identity across 12 binaries ("),
            std::string::npos)
      << LogText();
  EXPECT_NEAR(engine_.TakeSnapshot().progress, 0.6f, 1e-6);
  EXPECT_TRUE(Exists(L"VLMServ.exe"));
  EXPECT_FALSE(Exists(L"KolvSVC.exe"));
  EXPECT_NE(DiagnosticLog().find("COM proxy IID lookup validated: 224 interfaces."),
            std::string::npos);

  for (const auto& [name, content] : ComEngineContents()) {
    const wchar_t* file = name == L"KolvSVC.exe" ? L"VLMServ.exe" : name.c_str();
    SCOPED_TRACE(ToUtf8(file));
    const std::string image = ReadFile(file);
    std::string error;
    EXPECT_TRUE(VerifyNoOriginalIdentity(image, 0, image.size(), &error)) << error;
    EXPECT_EQ(image.find("_kta5"), std::string::npos);
    const std::size_t checksum_at = static_cast<std::size_t>(ReadLe(image, 60, 4)) + 88;
    EXPECT_EQ(ReadLe(image, checksum_at, 4), forge::PeChecksum(image, checksum_at));
  }
  EXPECT_EQ(ReadFile(L"RV-Apn.dll"), untouched);

  const std::string server = ReadFile(L"VLMServ.exe");
  EXPECT_NE(server.find("{8DC0F64F-6C11-4311-92B8-AB864871824C}"), std::string::npos);
  EXPECT_NE(server.find(Utf16Text("{5bfe032c-2a3c-49fa-ba49-ff5be5a2efeb}")), std::string::npos);
  EXPECT_NE(server.find("VellmoraVM.VellmoraVM.1"), std::string::npos);
  EXPECT_NE(server.find(std::string("\0" "3.0.0.1\0", 9)), std::string::npos);
  EXPECT_NE(server.find(std::string("12.22.1\0\0", 9)), std::string::npos);
  const std::string player = ReadFile(L"Vellmora.exe");
  EXPECT_NE(player.find(std::string("2.22.1\0\0", 8)), std::string::npos);
  EXPECT_NE(player.find("Pellucador_ovm5"), std::string::npos);
  const std::string common = ReadFile(L"RV-Common.dll");
  EXPECT_NE(common.find(std::string("\0KolvSvc\0", 9)), std::string::npos);
  EXPECT_NE(common.find("\x0F" + Utf16Text("VLMServ")), std::string::npos);
  EXPECT_NE(common.find(Utf16Text("RV-Common_ovm5")), std::string::npos);

  // The proxy's tables are now in the private order, which validates as it is.
  std::string proxy = ReadFile(L"KolvProxyStub.dll");
  const std::string repaired_once = proxy;
  std::size_t interfaces = 0;
  std::string error;
  ASSERT_TRUE(RepairProxyInterfaceTables(&proxy, &interfaces, &error)) << error;
  EXPECT_EQ(proxy, repaired_once);

  // The renamed server marks the directory as isolated: a second run refuses and changes nothing.
  EXPECT_FALSE(IsolateEngineComIdentity(engine_, dir_, 0.2f, 0.6f));
  EXPECT_NE(LogText().find("The staged Engine already contains a private COM server name; "
                           "refusing an ambiguous package."),
            std::string::npos);
  EXPECT_EQ(ReadFile(L"KolvProxyStub.dll"), repaired_once);
}

TEST_F(EngineComIsolationTest, StopsAtTheFirstBinaryThatCannotBeIsolated) {
  using Contents = std::map<std::wstring, std::string>;
  const std::string z(1, '\0');
  struct Case {
    const char* name;
    std::function<void(Contents*)> change;
    std::function<std::string(EngineComIsolationTest*)> line;
    const wchar_t* unchanged;  // a file that must keep its bytes, or null
  };
  const Case cases[] = {
      {"required binary missing", [](Contents* c) { c->erase(L"KolvTypeLib.dll"); },
       [](EngineComIsolationTest* t) {
         return "The staged Engine is missing a COM component: " + t->PathOf(L"KolvTypeLib.dll") +
                ".";
       },
       nullptr},
      {"required binary without identity",
       [](Contents* c) { (*c)[L"KolvVMMgr.exe"] = "nothing shared"; },
       [](EngineComIsolationTest* t) {
         return "The staged Engine COM component lacks the expected source identity: " +
                t->PathOf(L"KolvVMMgr.exe") + ".";
       },
       nullptr},
      {"overlapping identities",
       [](Contents* c) { (*c)[L"VBoxCAPI.dll"] = "VirtualBox.VirtualBox.VirtualBox"; },
       [](EngineComIsolationTest* t) {
         return "The staged Engine COM component could not be personalized: " +
                t->PathOf(L"VBoxCAPI.dll") + ".";
       },
       L"VBoxCAPI.dll"},
      {"not a PE image", [](Contents* c) { (*c)[L"KolvC.dll"] = std::string("MZ but short"); },
       [](EngineComIsolationTest* t) {
         return "The staged Engine COM component could not be personalized: " +
                t->PathOf(L"KolvC.dll") + ".";
       },
       nullptr},
      {"server path left in the runtime",
       [z](Contents* c) { (*c)[L"VLCore.dll"] = "VirtualBox.Session" + z; },
       [](EngineComIsolationTest*) {
         return std::string("The staged COM identity did not pass validation: VLCore.dll still "
                            "references the shared COM server or lacks its private server path.");
       },
       nullptr},
      {"CLR member name missing",
       [z](Contents* c) { (*c)[L"RV-Common.dll"] = z + "KolvSVC" + z; },
       [](EngineComIsolationTest*) {
         return std::string("The staged COM identity did not pass validation: RV-Common.dll CLR "
                            "metadata lost the KolvSvc member name.");
       },
       nullptr},
      {"client class missing from the client library",
       [](Contents* c) { (*c)[L"KolvC.dll"] = "VirtualBox.Session.1"; },
       [](EngineComIsolationTest* t) {
         return "The staged COM identity did not pass validation: The expected private COM GUID "
                "is missing from " + t->PathOf(L"KolvC.dll");
       },
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveTestTree(dir_);
    Contents contents = ComEngineContents();
    c.change(&contents);
    WriteComEngine(dir_, contents);
    const std::string before = c.unchanged ? ReadFile(c.unchanged) : "";
    const std::size_t lines = engine_.TakeSnapshot().log_lines.size();
    EXPECT_FALSE(IsolateEngineComIdentity(engine_, dir_, 0, 1));
    const auto log = engine_.TakeSnapshot().log_lines;
    ASSERT_GT(log.size(), lines);
    EXPECT_EQ(log.back(), c.line(this));
    if (c.unchanged) {
      EXPECT_EQ(ReadFile(c.unchanged), before);
    }
  }
}

// A binary is switched in whole or not at all: a disk that fills up while the patched image is
// written leaves the shipped one as it was.
TEST_F(EngineComIsolationTest, AFailedWriteLeavesTheBinaryWhole) {
  REQUIRE_SIMULATED_MACHINE();
  WriteComEngine(dir_, ComEngineContents());
  const std::string before = ReadFile(L"KolvC.dll");
#if VELLMORA_PLATFORM_SIM
  sim::InjectFault({"write", JoinPath(dir_, L"KolvC.dll") + L".vellmora.tmp", 1,
                    platform::kErrorDiskFull});
#endif
  EXPECT_FALSE(IsolateEngineComIdentity(engine_, dir_, 0, 1));
  EXPECT_EQ(engine_.TakeSnapshot().log_lines.back(),
            "The staged Engine COM component could not be personalized: " + PathOf(L"KolvC.dll") +
                ".");
  EXPECT_EQ(ReadFile(L"KolvC.dll"), before);
  EXPECT_FALSE(Exists(L"KolvC.dll.vellmora.tmp"));
  EXPECT_TRUE(Exists(L"KolvSVC.exe"));
}

// A link at a binary's name is not the binary: the elevated patch never writes through it.
TEST_F(EngineComIsolationTest, ALinkInPlaceOfABinaryIsNotFollowed) {
  WriteComEngine(dir_, ComEngineContents());
  const platform::Path outside = machine_.In(L"outside.dll");
  const platform::Path link = JoinPath(dir_, L"KolvTypeLib.dll");
  const std::string target = ReadFile(L"KolvTypeLib.dll");
  ASSERT_TRUE(WriteTestFile(outside, target));
  ASSERT_EQ(platform::DeleteFileW(link), platform::kErrorSuccess);
  if (platform::CreateSymbolicLinkW(link, outside, false) != platform::kErrorSuccess) {
    GTEST_SKIP() << "no symbolic link can be created here";
  }
  EXPECT_FALSE(IsolateEngineComIdentity(engine_, dir_, 0, 1));
  EXPECT_EQ(engine_.TakeSnapshot().log_lines.back(),
            "The staged Engine is missing a COM component: " + PathOf(L"KolvTypeLib.dll") + ".");
  std::string after;
  ASSERT_TRUE(ReadTestFile(outside, &after));
  EXPECT_EQ(after, target);
}

TEST_F(EngineComIsolationTest, AProxyInNeitherOrderIsNotWritten) {
  auto contents = ComEngineContents();
  WriteComEngine(dir_, contents);
  // Swap two adjacent rows' IIDs in the shipped proxy by swapping their stub vtable pointers.
  std::string proxy = ReadFile(L"KolvProxyStub.dll");
  Pe64View view;
  ASSERT_EQ(ParsePe64Image(proxy, &view), Pe64Check::kValid);
  std::size_t table = 0;
  for (const PeSection& section : view.sections()) {
    if ((section.characteristics & kSectionMemExecute) == 0 && section.raw_size > 80) {
      table = section.raw_pointer;
      break;
    }
  }
  for (int array : {0, 1}) {
    std::uint64_t offset = 0;
    ASSERT_TRUE(view.MapAddress(ReadLe(proxy, table + 8 * array, 8), 1800, false, &offset));
    for (int b = 0; b < 8; ++b) std::swap(proxy[offset + 40 + b], proxy[offset + 48 + b]);
  }
  ASSERT_TRUE(WriteTestFile(JoinPath(dir_, L"KolvProxyStub.dll"), proxy));

  EXPECT_FALSE(IsolateEngineComIdentity(engine_, dir_, 0, 1));
  EXPECT_NE(LogText().find("The staged Engine COM component could not be personalized: " +
                           PathOf(L"KolvProxyStub.dll") + "."),
            std::string::npos);
  EXPECT_NE(DiagnosticLog().find("COM proxy IID lookup repair failed: The COM proxy interface "
                                 "order is neither the supported original nor the repaired "
                                 "private order."),
            std::string::npos);
  EXPECT_EQ(ReadFile(L"KolvProxyStub.dll"), proxy);
  EXPECT_TRUE(Exists(L"KolvSVC.exe"));
}

TEST_F(EngineComIsolationTest, HostileHeadersFailTheFileWithoutTouchingIt) {
  forge::PeImageOptions options;
  options.read_only_data = BinaryGuidBytes("0582363E-7A11-46B1-9A3C-DF675EA24589") + "_kta5";
  const std::string good = forge::MakePeImage(options);
  const std::size_t pe = static_cast<std::size_t>(ReadLe(good, 60, 4));
  struct Case {
    const char* name;
    std::function<void(std::string*)> change;
    bool pe_image;
    bool succeeded;
  };
  auto set32 = [](std::string* s, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) (*s)[at + i] = static_cast<char>(v >> (8 * i));
  };
  const Case cases[] = {
      {"plain text", [](std::string* s) { *s = "just text"; }, false, true},
      {"MZ and nothing else", [](std::string* s) { s->resize(40); }, false, true},
      {"signature offset past the end", [&](std::string* s) { set32(s, 60, 0xFFFFFFF0u); }, false,
       true},
      {"cut inside the optional header", [pe](std::string* s) { s->resize(pe + 91); }, true, false},
      {"97 sections", [pe](std::string* s) { (*s)[pe + 6] = 97; }, true, false},
      {"section table past the end", [pe](std::string* s) { (*s)[pe + 20] = '\xF0'; (*s)[pe + 21] = '\xFF'; },
       true, false},
      // A section whose raw data lies beyond the file is skipped; one cut short is patched as far
      // as it goes.
      {"raw data past the end", [&, pe](std::string* s) { set32(s, pe + 24 + 240 + 40 + 20, 0xFFFFFFF0u); },
       true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string image = good;
    c.change(&image);
    const platform::Path path = machine_.In(L"hostile.dll");
    ASSERT_TRUE(WriteTestFile(path, image));
    const PersonalizationResult result = PersonalizeEngineBinary(path, nullptr);
    EXPECT_EQ(result.pe_image, c.pe_image);
    EXPECT_EQ(result.succeeded, c.succeeded);
    std::string after;
    ASSERT_TRUE(ReadTestFile(path, &after));
    if (!c.succeeded || result.replacements == 0) {
      EXPECT_EQ(after, image);
    }
  }
  const PersonalizationResult missing = PersonalizeEngineBinary(machine_.In(L"absent.dll"), nullptr);
  EXPECT_FALSE(missing.succeeded);
}

}  // namespace
}  // namespace vellmora::testing
