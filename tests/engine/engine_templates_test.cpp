#include "engine/engine_templates.h"

#include "app/path_helpers.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "engine/engine_test.h"

namespace vellmora::testing {
namespace {

class EngineTemplatesTest : public EngineTest {
 protected:
  void WriteTemplates() {
    Write(JoinPath(pd_, L"pellucador.conf.template"), "conf");
    Write(JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml.template"), "<xml/>");
    Write(JoinPath(pd_, L"Engine\\UserData\\QorMetaData.template.json"), "{}");
  }
};

TEST_F(EngineTemplatesTest, EveryTemplateGetsItsWorkingFileAndStays) {
  WriteTemplates();
  Write(JoinPath(pd_, L"VellmoraOX.conf"), "stale");
  std::string error;
  ASSERT_TRUE(MaterializeEngineTemplates(pd_, &error, engine_)) << error;
  EXPECT_EQ(Read(JoinPath(pd_, L"VellmoraOX.conf")), "conf");
  EXPECT_EQ(Read(JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml")), "<xml/>");
  EXPECT_EQ(Read(JoinPath(pd_, L"Engine\\Manager\\KolvGlobal.xml-prev")), "<xml/>");
  EXPECT_EQ(Read(JoinPath(pd_, L"Engine\\UserData\\VlmMetaData.json")), "{}");
  EXPECT_EQ(Read(JoinPath(pd_, L"pellucador.conf.template")), "conf");
  EXPECT_EQ(LogText(), "");
}

TEST_F(EngineTemplatesTest, AMissingTemplateStopsAtItsRowWithTheWindowsError) {
  WriteTemplates();
  const platform::Path source = JoinPath(pd_, L"Engine\\UserData\\QorMetaData.template.json");
  RemoveTestTree(source);
  std::string error;
  EXPECT_FALSE(MaterializeEngineTemplates(pd_, &error, engine_));
  const std::string expected = "VlmMetaData.json (Windows error 2: " +
                               SystemErrorText(platform::kErrorFileNotFound) + ").";
  EXPECT_EQ(error, expected);
  EXPECT_EQ(LogText(), "Staged template materialization failed: " + expected + " Source: " +
                           ToUtf8(source) + ". Destination: " +
                           ToUtf8(JoinPath(pd_, L"Engine\\UserData\\VlmMetaData.json")) + ".\n");
}

TEST_F(EngineTemplatesTest, ACopyIsTriedThreeTimesAndTheSecondSuccessCounts) {
  REQUIRE_SIMULATED_MACHINE();
  WriteTemplates();
  const platform::Path destination = JoinPath(pd_, L"VellmoraOX.conf");
#if VELLMORA_PLATFORM_SIM
  sim::InjectFault({"copy", destination, 1, platform::kErrorSharingViolation});
#endif
  std::string error;
  EXPECT_TRUE(MaterializeStagedTemplate(JoinPath(pd_, L"pellucador.conf.template"), destination,
                                        "VellmoraOX.conf", &error, engine_));
  EXPECT_EQ(Read(destination), "conf");

  for (int nth = 1; nth <= 3; ++nth) {
#if VELLMORA_PLATFORM_SIM
    sim::InjectFault({"copy", destination, 1, platform::kErrorAccessDenied});
#endif
  }
  EXPECT_FALSE(MaterializeStagedTemplate(JoinPath(pd_, L"pellucador.conf.template"), destination,
                                         "VellmoraOX.conf", &error, engine_));
  EXPECT_EQ(error, "VellmoraOX.conf (Windows error 5: " +
                       SystemErrorText(platform::kErrorAccessDenied) + ").");
}

}  // namespace
}  // namespace vellmora::testing
