// The stand-ins run on the machine under test: under Wine the images themselves, on the
// simulated machine its stand-in mode. Both must leave the same traces.

#include <gtest/gtest.h>

#include <chrono>

#include "app/registry_access.h"
#include "platform/process.h"
#include "platform/sync.h"
#include "standin_support.h"

namespace {

using platform::RegistryRoot;
using standin_test::PlaceBytes;
using standin_test::PlaceStandIn;
using standin_test::RunAndWait;
using vellmora::ReadRegistryString;
using vellmora::testing::ReadTestFile;
using vellmora::testing::TestMachine;
using vellmora::testing::WriteTestFile;

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring Classes(const std::wstring& key) { return L"SOFTWARE\\Classes\\" + key; }

bool Registered(const std::wstring& key, const wchar_t* value, std::wstring* data = nullptr) {
  std::wstring ignored;
  return ReadRegistryString(RegistryRoot::kLocalMachine, Classes(key).c_str(), value,
                            data ? data : &ignored);
}

TEST(StandInPlayer, RecordsEachStartAndLingersAsAsked) {
  TestMachine machine;
  const platform::Path player = PlaceStandIn(machine, "Vellmora.exe", L"Vellmora.exe");
  ASSERT_FALSE(player.empty());
  ASSERT_TRUE(WriteTestFile(machine.In(L"player-linger.txt"), "2"));
  const std::wstring first = Quoted(player) + L" --instance Pie64";
  platform::ProcessInformation child;
  ASSERT_EQ(platform::CreateProcessW(first, false, platform::kCreateNoWindow, {}, &child),
            platform::kErrorSuccess);
  EXPECT_EQ(platform::WaitForSingleObject(child.process.Get(), 500), platform::kWaitTimeout);
  ASSERT_EQ(platform::WaitForSingleObject(child.process.Get(), 30000), platform::kWaitObject0);
  std::uint32_t code = 1;
  platform::GetExitCodeProcess(child.process.Get(), &code);
  EXPECT_EQ(code, 0u);

  // Unreadable lingering is none; every start adds its own line.
  ASSERT_TRUE(WriteTestFile(machine.In(L"player-linger.txt"), "soon"));
  const std::wstring second = Quoted(player) + L" --instance \"Pie 64\" -x";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunAndWait(second), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  std::string starts;
  ASSERT_TRUE(ReadTestFile(machine.In(L"player-starts.txt"), &starts));
  const std::string expected = std::string(first.begin(), first.end()) + "\n" +
                               std::string(second.begin(), second.end()) + "\n";
  EXPECT_EQ(starts, expected);
}

const std::wstring kServerClass = L"CLSID\\{AE316C2B-C93A-4B56-93F9-696F59A5E91F}";
const std::wstring kPrivateServerClass = L"CLSID\\{8DC0F64F-6C11-4311-92B8-AB864871824C}";

TEST(StandInServer, RegistersTheBlockItCarriesAndRemovesItAgain) {
  TestMachine machine;
  const platform::Path server = PlaceStandIn(machine, "KolvSVC.exe", L"KolvSVC.exe");
  ASSERT_FALSE(server.empty());
  std::string output;
  ASSERT_EQ(RunAndWait(Quoted(server) + L" -regserver", 60000, &output), 0) << output;
  std::wstring data;
  EXPECT_TRUE(Registered(kServerClass + L"\\LocalServer32", nullptr, &data));
  EXPECT_EQ(data, Quoted(server));
  EXPECT_TRUE(Registered(L"AppID\\KolvSVC.exe", L"AppID", &data));
  EXPECT_EQ(data, L"{780F9948-8F17-41BD-BB08-3DB2F47684B8}");
  EXPECT_TRUE(Registered(L"VirtualBox.VirtualBox.1\\CLSID", nullptr, &data));
  EXPECT_EQ(data, L"{AE316C2B-C93A-4B56-93F9-696F59A5E91F}");

  ASSERT_EQ(RunAndWait(Quoted(server) + L" /unregserver"), 0);
  EXPECT_FALSE(Registered(kServerClass, nullptr));
  EXPECT_FALSE(Registered(L"AppID\\KolvSVC.exe", L"AppID"));
  EXPECT_FALSE(Registered(L"VirtualBox.VirtualBox", nullptr));
}

// The block is read from the file at run time: rewritten identities register as rewritten.
TEST(StandInServer, APatchedServerRegistersThePatchedIdentityOnly) {
  TestMachine machine;
  std::string bytes = standin_test::StandInBytes("KolvSVC.exe");
  ASSERT_FALSE(bytes.empty());
  bytes = standin_test::Replaced(bytes, "AE316C2B-C93A-4B56-93F9-696F59A5E91F",
                                 "8DC0F64F-6C11-4311-92B8-AB864871824C");
  bytes = standin_test::Replaced(bytes, "KolvSVC.exe", "VLMServ.exe");
  bytes = standin_test::Replaced(bytes, "VirtualBox.VirtualBox", "VellmoraVM.VellmoraVM");
  const platform::Path server = PlaceBytes(machine, bytes, L"VLMServ.exe");
  std::string output;
  ASSERT_EQ(RunAndWait(Quoted(server) + L" -regserver", 60000, &output), 0) << output;
  std::wstring data;
  EXPECT_TRUE(Registered(kPrivateServerClass + L"\\LocalServer32", nullptr, &data));
  EXPECT_EQ(data, Quoted(server));
  EXPECT_TRUE(Registered(L"AppID\\VLMServ.exe", L"AppID"));
  EXPECT_TRUE(Registered(L"VellmoraVM.VellmoraVM.1\\CLSID", nullptr, &data));
  EXPECT_EQ(data, L"{8DC0F64F-6C11-4311-92B8-AB864871824C}");
  EXPECT_FALSE(Registered(kServerClass + L"\\LocalServer32", nullptr));
  EXPECT_FALSE(Registered(L"AppID\\KolvSVC.exe", L"AppID"));

  ASSERT_EQ(RunAndWait(Quoted(server) + L" -unregserver"), 0);
  EXPECT_FALSE(Registered(kPrivateServerClass, nullptr));
  EXPECT_FALSE(Registered(L"AppID\\VLMServ.exe", L"AppID"));
}

}  // namespace
