#pragma once
// The fixture of the product's unit tests: a machine of its own (a fresh simulated one, or a
// sandbox on Windows), a log whose location is resolved anew, and no product registry key left
// behind.

#include <gtest/gtest.h>

#include "app/install_log.h"
#include "app/registry_access.h"
#include "support/log_cursor.h"
#include "support/test_machine.h"
#include "windows/product_registry_key.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#define REQUIRE_SIMULATED_MACHINE() (void)0
#else
#define REQUIRE_SIMULATED_MACHINE() GTEST_SKIP() << "needs the simulated machine's controls"
#endif

namespace vellmora::testing {

class AppTest : public ::testing::Test {
 protected:
  AppTest() { InstallLog::Instance().ForgetLocation(); }
  ~AppTest() override {
    DeleteRegistryTree(RegistryRoot::kLocalMachine, L"SOFTWARE\\Ostrevin");
#if VELLMORA_PLATFORM_SIM
    sim::ClearFaults();
#endif
    InstallLog::Instance().ForgetLocation();
  }

  TestMachine machine_;
};

}  // namespace vellmora::testing
