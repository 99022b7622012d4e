// The COM stand-ins as Windows (here Wine) activates them: registered by their own
// "-regserver" and by regsvr32, the server class starts KolvSVC.exe and answers IVirtualBox across
// processes through the stand-in proxy; the client library serves its classes in process.

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "standins/standin_support.h"

namespace standin_test {
// Every interface of the stand-in proxy has this one method after IUnknown's. Outside the
// anonymous namespace: the compiler would otherwise know no class implements it and drop calls.
struct IPing : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Ping(LONG value, LONG* answer) = 0;
};
}  // namespace standin_test

namespace {

using standin_test::IPing;
using standin_test::PlaceStandIn;
using standin_test::RunAndWait;
using vellmora::testing::TestMachine;

const CLSID kServerClass = {0xAE316C2B, 0xC93A, 0x4B56, {0x93, 0xF9, 0x69, 0x6F, 0x59, 0xA5, 0xE9, 0x1F}};
const CLSID kClientClass = {0xF1C2EA8F, 0x9FCD, 0x43C1, {0xA8, 0xDB, 0x94, 0xF5, 0x7A, 0x3B, 0xAE, 0x9A}};
const IID kVirtualBox = {0xEA319BDC, 0x02C2, 0x46E7, {0x83, 0xD1, 0xF6, 0xC3, 0x3C, 0x03, 0x20, 0x2B}};
const IID kClient = {0x470A6E9B, 0x2049, 0x4DC1, {0xB9, 0x01, 0xD9, 0x67, 0xE4, 0xCA, 0xDF, 0x8A}};

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring Regsvr32() {
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  return Quoted(std::wstring(system) + L"\\regsvr32.exe");
}

// Registers the three COM stand-ins of a sandbox and removes them again at the end.
class RegisteredStandIns {
 public:
  RegisteredStandIns(const TestMachine& machine, const char* server_build) {
    server_ = PlaceStandIn(machine, server_build, L"KolvSVC.exe");
    proxy_ = PlaceStandIn(machine, "KolvProxyStub.dll", L"KolvProxyStub.dll");
    client_ = PlaceStandIn(machine, "KolvC.dll", L"KolvC.dll");
    registered_ = !server_.empty() && !proxy_.empty() && !client_.empty() &&
                  RunAndWait(Quoted(server_) + L" -regserver") == 0 &&
                  RunAndWait(Regsvr32() + L" /s " + Quoted(proxy_)) == 0 &&
                  RunAndWait(Regsvr32() + L" /s " + Quoted(client_)) == 0;
  }
  ~RegisteredStandIns() {
    RunAndWait(Quoted(server_) + L" -unregserver");
    RunAndWait(Regsvr32() + L" /s /u " + Quoted(proxy_));
    RunAndWait(Regsvr32() + L" /s /u " + Quoted(client_));
  }
  bool registered() const { return registered_; }

 private:
  std::wstring server_, proxy_, client_;
  bool registered_ = false;
};

class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  HRESULT result() const { return result_; }

 private:
  HRESULT result_;
};

TEST(StandInActivation, TheServerAnswersIVirtualBoxAcrossProcesses) {
  TestMachine machine;
  RegisteredStandIns standins(machine, "KolvSVC.exe");
  ASSERT_TRUE(standins.registered());
  ComApartment com;
  ASSERT_HRESULT_SUCCEEDED(com.result());
  IPing* server = nullptr;
  ASSERT_EQ(CoCreateInstance(kServerClass, nullptr, CLSCTX_LOCAL_SERVER, kVirtualBox,
                             reinterpret_cast<void**>(&server)),
            S_OK);
  LONG answer = 0;
  EXPECT_EQ(server->Ping(41, &answer), S_OK);
  EXPECT_EQ(answer, 42);
  server->Release();
}

TEST(StandInActivation, TheClientLibraryServesItsClassInProcess) {
  TestMachine machine;
  RegisteredStandIns standins(machine, "KolvSVC.exe");
  ASSERT_TRUE(standins.registered());
  ComApartment com;
  IPing* client = nullptr;
  ASSERT_EQ(CoCreateInstance(kClientClass, nullptr, CLSCTX_INPROC_SERVER, kClient,
                             reinterpret_cast<void**>(&client)),
            S_OK);
  LONG answer = 0;
  EXPECT_EQ(client->Ping(1, &answer), S_OK);
  EXPECT_EQ(answer, 2);
  client->Release();
}

TEST(StandInActivation, TheNonServingVariantRegistersButCannotBeActivated) {
  TestMachine machine;
  RegisteredStandIns standins(machine, "KolvSVC-NoServe.exe");
  ASSERT_TRUE(standins.registered());
  ComApartment com;
  IUnknown* server = nullptr;
  EXPECT_NE(CoCreateInstance(kServerClass, nullptr, CLSCTX_LOCAL_SERVER, kVirtualBox,
                             reinterpret_cast<void**>(&server)),
            S_OK);
  if (server) server->Release();
}

}  // namespace
