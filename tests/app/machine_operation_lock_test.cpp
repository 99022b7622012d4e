#include "app/machine_operation_lock.h"

#include <fstream>
#include <sstream>
#include <thread>

#include "app_test.h"

namespace vellmora::testing {
namespace {

class MachineOperationLockTest : public AppTest {};

// Other users and elevation levels can open the mutex only under its exact name and with the
// access list it was created with; the simulated machine keeps what the creator asked for.
TEST_F(MachineOperationLockTest, TheMutexIsCreatedUnderItsNameWithItsAccessList) {
  REQUIRE_SIMULATED_MACHINE();
  MachineOperationLock lock;
  ASSERT_TRUE(lock.Acquire(kMachineLockTimeoutMs));
  std::ifstream sddl(machine_.SimRoot() + "/mutexes/Global%5CVellmoraDriverSwitch_v2.sddl");
  ASSERT_TRUE(sddl.good()) << "no mutex of that name was created";
  std::stringstream text;
  text << sddl.rdbuf();
  EXPECT_EQ(text.str(), "D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;GA;;;AU)");
}

TEST_F(MachineOperationLockTest, AnotherThreadWaitsForTheOwnerToRelease) {
  MachineOperationLock owner;
  ASSERT_TRUE(owner.Acquire(kMachineLockTimeoutMs));
  bool acquired_while_owned = true;
  std::thread([&] {
    MachineOperationLock other;
    acquired_while_owned = other.Acquire(100);
  }).join();
  EXPECT_FALSE(acquired_while_owned);
  owner.Release();
  EXPECT_FALSE(owner.Owned());
  bool acquired_after = false;
  std::thread([&] {
    MachineOperationLock other;
    acquired_after = other.Acquire(1000);
  }).join();
  EXPECT_TRUE(acquired_after);
}

}  // namespace
}  // namespace vellmora::testing
