#include <gtest/gtest.h>

#include <string>

#include "platform/paths.h"
#include "platform/services.h"
#include "support/service_records.h"
#include "support/test_machine.h"

namespace {

using namespace platform;
using vellmora::testing::CreateKernelDriverRecord;
using vellmora::testing::DeleteServiceRecord;
using vellmora::testing::TestMachine;

constexpr const wchar_t* kName = L"VellmoraContractDrv";
constexpr const wchar_t* kImage = L"D:\\Contract Test\\drivers\\ContractDrv.sys";

class ServicesContract : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteServiceRecord(kName);
    ASSERT_TRUE(CreateKernelDriverRecord(kName, kImage));
    ASSERT_EQ(OpenSCManagerW(kScManagerConnect, &manager_), kErrorSuccess);
  }
  void TearDown() override { DeleteServiceRecord(kName); }

  TestMachine machine_;
  ServiceHandle manager_;
};

TEST_F(ServicesContract, AKernelDriverRecordReportsItsConfigurationAndState) {
  ServiceHandle service;
  // Service names ignore letter case.
  ASSERT_EQ(OpenServiceW(manager_, L"vellmoracontractDRV",
                         kServiceQueryConfig | kServiceQueryStatus, &service),
            kErrorSuccess);
  ServiceConfig config;
  ASSERT_EQ(QueryServiceConfigW(service, &config), kErrorSuccess);
  EXPECT_EQ(config.service_type, kServiceKernelDriver);
  EXPECT_EQ(config.start_type, kServiceDemandStart);
  EXPECT_EQ(config.binary_path_name, kImage);
  std::uint32_t state = 0;
  ASSERT_EQ(QueryServiceStatusEx(service, &state), kErrorSuccess);
  EXPECT_EQ(state, kServiceStopped);
}

TEST_F(ServicesContract, EachCallNeedsTheAccessItWasOpenedWith) {
  ServiceHandle service;
  ASSERT_EQ(OpenServiceW(manager_, kName, kServiceQueryStatus, &service), kErrorSuccess);
  ServiceConfig config;
  EXPECT_EQ(QueryServiceConfigW(service, &config), kErrorAccessDenied);
  EXPECT_EQ(ControlServiceStop(service), kErrorAccessDenied);
  EXPECT_EQ(DeleteService(service), kErrorAccessDenied);
}

TEST_F(ServicesContract, AStoppedDriverIsNotActiveAndItsStartTypeChangesAlone) {
  ServiceHandle service;
  ASSERT_EQ(OpenServiceW(manager_, kName, kServiceQueryConfig | kServiceChangeConfig | kServiceStop,
                         &service),
            kErrorSuccess);
  EXPECT_EQ(ControlServiceStop(service), kErrorServiceNotActive);
  ASSERT_EQ(ChangeServiceStartType(service, kServiceDisabled), kErrorSuccess);
  ServiceConfig config;
  ASSERT_EQ(QueryServiceConfigW(service, &config), kErrorSuccess);
  EXPECT_EQ(config.start_type, kServiceDisabled);
  EXPECT_EQ(config.service_type, kServiceKernelDriver);
  EXPECT_EQ(config.binary_path_name, kImage);
}

TEST_F(ServicesContract, ADeletedServiceDisappearsOnceItsLastHandleCloses) {
  ServiceHandle service;
  ASSERT_EQ(OpenServiceW(manager_, kName, kServiceDelete | kServiceQueryStatus, &service),
            kErrorSuccess);
  ASSERT_EQ(DeleteService(service), kErrorSuccess);
  EXPECT_EQ(DeleteService(service), kErrorServiceMarkedForDelete);
  service.Close();
  ServiceHandle again;
  EXPECT_EQ(OpenServiceW(manager_, kName, kServiceQueryStatus, &again), kErrorServiceDoesNotExist);
  EXPECT_EQ(OpenServiceW(manager_, L"VellmoraNoSuchService", kServiceQueryStatus, &again),
            kErrorServiceDoesNotExist);
}

TEST(EnvironmentExpansionContract, DefinedReferencesExpandAndOthersStay) {
  TestMachine machine;
  const std::wstring value = L"D:\\Expanded";
  ASSERT_EQ(SetEnvironmentVariableW(L"VELLMORA_EXPAND_TEST", &value), kErrorSuccess);
  std::wstring expanded;
  ASSERT_EQ(ExpandEnvironmentStringsW(L"%vellmora_expand_test%\\a.sys %VELLMORA_UNSET_X% 100%",
                                      32768, &expanded),
            kErrorSuccess);
  EXPECT_EQ(expanded, L"D:\\Expanded\\a.sys %VELLMORA_UNSET_X% 100%");
  EXPECT_EQ(ExpandEnvironmentStringsW(L"%VELLMORA_EXPAND_TEST%", 11, &expanded),
            kErrorInsufficientBuffer);
  SetEnvironmentVariableW(L"VELLMORA_EXPAND_TEST", nullptr);
}

}  // namespace
