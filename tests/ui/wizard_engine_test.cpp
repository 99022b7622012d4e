// The wizard on the real InstallerEngine of a test machine: what a user sees after pressing a
// button whose operation this build does not contain yet.

#include <chrono>
#include <thread>

#include "app/app_test.h"
#include "app/installer_engine.h"
#include "app/not_built.h"
#include "ui/engine_wizard_actions.h"
#include "ui/wizard_harness.h"

namespace vellmora::testing {
namespace {

class WizardOnEngine : public AppTest {
 protected:
  bool WaitUntilIdle() {
    for (int i = 0; i < 500; ++i) {
      if (!engine_.TakeSnapshot().busy) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  InstallerEngine engine_;
  WizardHarness wizard_;
};

TEST_F(WizardOnEngine, AnOperationOfALaterBuildEndsOnTheProgressScreenWithItsMessage) {
  EngineWizardActions actions(engine_, wizard_.host);
  wizard_.UseActions(actions);
  wizard_.Frame();
  ASSERT_TRUE(wizard_.canvas().HasText("Instalar agora"));
  wizard_.Click(837, 551);
  ASSERT_TRUE(WaitUntilIdle());
  wizard_.Frame();
  EXPECT_EQ(wizard_.wizard().state().screen, WizardScreen::kProgress);
  EXPECT_TRUE(wizard_.canvas().HasText(kNotAvailableMessage));
  // The operation is over: the close button works again.
  wizard_.Click(939, 21);
  EXPECT_EQ(wizard_.host.close_requests, 1);
}

TEST_F(WizardOnEngine, ConfirmedUninstallRunsTheCleanup) {
  EngineWizardActions actions(engine_, wizard_.host);
  wizard_.UseActions(actions);
  {
    // The home screen offers the uninstall once traces of an installation are known.
    std::lock_guard<std::mutex> guard(engine_.lock);
    engine_.view.installation_traces = true;
  }
  LogCursor log;
  wizard_.Click(412, 551);
  wizard_.Click(280 + 20 + 160 + 20 + 90, 210 + 133 + 16);
  ASSERT_TRUE(WaitUntilIdle());
  wizard_.Frame();
  EXPECT_NE(log.NewText().find("Preparing Vellmora cleanup"), std::string::npos) << log.NewText();
  EXPECT_EQ(wizard_.wizard().state().screen, WizardScreen::kProgress);
  EXPECT_TRUE(wizard_.canvas().HasText(kNotAvailableMessage));
}

}  // namespace
}  // namespace vellmora::testing
