#include "platform/hardware.h"

#include <gtest/gtest.h>

#include "support/test_machine.h"
#include "support/wine_detection.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {
namespace {

TEST(HardwareContractTest, TheMachineHasProcessorsAndMemory) {
  TestMachine machine;
  EXPECT_GE(platform::GetActiveProcessorCount(), 1u);
  std::uint64_t bytes = 0;
  ASSERT_EQ(platform::GetTotalPhysicalMemory(&bytes), platform::kErrorSuccess);
  // Any machine that runs Windows 10 has more than 256 MiB.
  EXPECT_GT(bytes, 256ull << 20);
}

TEST(HardwareContractTest, ThePrimaryScreenHasASize) {
  TestMachine machine;
  const platform::ScreenSize size = platform::GetPrimaryScreenSize();
  if (RunningUnderWine() && size.width == 0) {
    GTEST_SKIP() << "Wine without a display reports no screen";
  }
  EXPECT_GT(size.width, 0);
  EXPECT_GT(size.height, 0);
}

#if VELLMORA_PLATFORM_SIM
TEST(HardwareContractTest, TheSimulatedMachineReportsItsSettings) {
  TestMachine machine;
  sim::HardwareOptions laptop;
  laptop.logical_processors = 1;
  laptop.physical_memory = 4ull << 30;
  laptop.screen_width = 1366;
  laptop.screen_height = 768;
  sim::SetHardware(laptop);
  EXPECT_EQ(platform::GetActiveProcessorCount(), 1u);
  std::uint64_t bytes = 0;
  ASSERT_EQ(platform::GetTotalPhysicalMemory(&bytes), platform::kErrorSuccess);
  EXPECT_EQ(bytes, 4ull << 30);
  EXPECT_EQ(platform::GetPrimaryScreenSize().width, 1366);
  EXPECT_EQ(platform::GetPrimaryScreenSize().height, 768);
}
#endif

}  // namespace
}  // namespace vellmora::testing
