#include "windows/com_engine_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "app/path_helpers.h"
#include "app/text.h"
#include "forge/pe_image.h"
#include "forge/proxy_image.h"
#include "support/test_machine.h"
#include "windows/com_identity_catalog.h"

namespace vellmora::testing {

std::string BinaryGuidBytes(const char* text) {
  BinaryGuid guid{};
  EXPECT_TRUE(ParseGuidEntry(text, &guid)) << text;
  return std::string(guid.begin(), guid.end());
}

std::string Utf16Text(const std::string& ascii) {
  std::string out;
  for (char c : ascii) {
    out.push_back(c);
    out.push_back('\0');
  }
  return out;
}

std::map<std::wstring, std::string> ComEngineContents() {
  const std::string z(1, '\0');
  std::string vellmora = BinaryGuidBytes("470A6E9B-2049-4DC1-B901-D967E4CADF8A");
  vellmora += z + std::string("VirtualBox.VirtualBoxClient.1") + z + std::string("Pellucador_kta5") + z;
  vellmora += std::string("2.22.1\0\0", 8);  // the player keeps its version texts
  std::string server = BinaryGuidBytes("AE316C2B-C93A-4B56-93F9-696F59A5E91F");
  server += std::string("{AE316C2B-C93A-4B56-93F9-696F59A5E91F}") + z;
  server += Utf16Text("{780f9948-8f17-41bd-bb08-3db2f47684b8}") + z + z;
  server += std::string("KolvSVC.exe") + z + std::string("VirtualBox.VirtualBox.1") + z + std::string("2.22.1\0\0", 8);
  server += std::string("12.22.1\0\0", 9);
  std::string client = BinaryGuidBytes("F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A");
  client += BinaryGuidBytes("F2DB3C6E-125C-4103-97F9-E4BC42A449F4");
  client += std::string("f1c2ea8f-9fcd-43c1-a8db-94f57a3bae9a") + z + Utf16Text("VirtualBox.Session.1") + z + z;
  std::string common = z + std::string("KolvSVC") + z + std::string("\x0F") + Utf16Text("KolvSVC") + z;
  common += std::string("KolvSvc") + z + Utf16Text("RV-Common_kta5") + z + z;
  return {
      {L"Vellmora.exe", vellmora},
      {L"KolvSVC.exe", server},
      {L"KolvC.dll", client},
      {L"KolvProxyStub.dll", BinaryGuidBytes("F3265CBC-288B-4670-9518-1A0B4A58192F")},
      {L"RV-MultiInstanceManager.exe", std::string("VirtualBox.VirtualBoxClient") + z},
      {L"KolvVMMgr.exe", BinaryGuidBytes("EA319BDC-02C2-46E7-83D1-F6C33C03202B")},
      {L"VBoxCAPI.dll", std::string("EA319BDC-02C2-46E7-83D1-F6C33C03202B") + z},
      {L"KolvTypeLib.dll", BinaryGuidBytes("0582363E-7A11-46B1-9A3C-DF675EA24589")},
      {L"VLCore.dll", std::string("C:\\Engine\\KolvSVC.exe") + z + Utf16Text("KolvSVC.exe") + z + z},
      {L"RV-Common.dll", common},
      {L"RV-Bridge-Native.dll", Utf16Text("889BA8C2-0C06-4E42-86C9-816CEEF5C4B3")},
      {L"RV-Apn.dll", "no identity here"},
  };
}

std::string ShippedProxyImage(const std::string& extra_data) {
  const std::map<std::size_t, std::string> named = {
      {59, "IVirtualBoxClient"}, {113, "ISession"}, {214, "IVirtualBox"}};
  std::vector<std::pair<BinaryGuid, std::string>> rows;
  const auto& pairs = ComIdentityCatalog::Instance().pairs();
  for (std::size_t i = 6; i < pairs.size(); ++i) {
    const auto name = named.find(i);
    rows.emplace_back(pairs[i].original,
                      name != named.end() ? name->second : std::string("IInterface") + std::to_string(i));
  }
  std::sort(rows.begin(), rows.end());
  forge::ProxyImageOptions options;
  for (const auto& [iid, name] : rows) {
    options.iids.emplace_back(iid.begin(), iid.end());
    options.names.push_back(name);
  }
  options.extra_data = extra_data;
  return forge::MakeProxyImage(options);
}

void WriteComEngine(const platform::Path& dir, const std::map<std::wstring, std::string>& files) {
  ASSERT_TRUE(MakeTestDirectories(dir));
  for (const auto& [name, content] : files) {
    std::string image;
    if (content.compare(0, 2, "MZ") == 0) {
      image = content;
    } else if (name == L"KolvProxyStub.dll") {
      image = ShippedProxyImage(content);
    } else {
      forge::PeImageOptions options;
      options.dll = name.size() > 4 && name.substr(name.size() - 4) == L".dll";
      options.file_name = ToUtf8(name);
      options.read_only_data = content;
      image = forge::MakePeImage(options);
    }
    ASSERT_FALSE(image.empty()) << ToUtf8(name);
    ASSERT_TRUE(WriteTestFile(JoinPath(dir, name), image)) << ToUtf8(name);
  }
}

}  // namespace vellmora::testing
