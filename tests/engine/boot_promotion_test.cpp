#include "engine/boot_promotion.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "engine/engine_test.h"
#include "platform/files.h"
#include "platform/resources.h"

namespace vellmora::testing {
namespace {

// What the player reads, written out here once more so that a change to the product's text shows.
constexpr std::string_view kExpectedMetadata = R"({
    "boot_promotion_obj": {
        "boot_promotion_display_time": 6000,
        "boot_promotion_id": "vellmora-default-v1",
        "boot_promotion_images": [
            {
                "button_text": "",
                "extra_payload": {
                    "click_action_packagename": "",
                    "click_generic_action": "NoAction",
                    "hash_tags": "#vellmora"
                },
                "id": "vellmora_boot",
                "image_url": "BootPromotion_Vellmora.jpg",
                "order": "1",
                "promo_button_click_status_text": ""
            }
        ],
        "last_modified_time": "Vellmora installer"
    },
    "boot_promotion_orientation": "landscape",
    "promotion_images_display_date": {
        "BootPromotion_Vellmora.jpg": "Vellmora installer"
    }
}
)";

class BootPromotionTest : public EngineTest {
 protected:
  BootPromotionTest() { MakeTestDirectories(engine_.paths.DataDir()); }
  platform::Path Promotions() {
    return JoinPath(engine_.paths.DataDir(), L"Engine\\Pie64\\Promotions");
  }
  platform::Path Picture() { return JoinPath(Promotions(), L"BootPromotion_Vellmora.jpg"); }
  platform::Path Metadata() { return JoinPath(Promotions(), L"Promotions.json"); }
  static std::string BootPictureResource() {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    EXPECT_EQ(platform::LoadRcDataResource(platform::kResourceBootPicture, &data, &size), 0u);
    return std::string(reinterpret_cast<const char*>(data), size);
  }
};

TEST_F(BootPromotionTest, WritesThePictureAndTheMetadataIntoMissingFolders) {
  ASSERT_TRUE(InstallBootPromotion(engine_)) << LogText();
  EXPECT_EQ(LogText(), "");

  const std::string metadata = Read(Metadata());
  EXPECT_EQ(metadata.size(), 835u);
  EXPECT_EQ(metadata, kExpectedMetadata);
  EXPECT_EQ(metadata.find('\r'), std::string::npos);
  const std::string picture = Read(Picture());
  EXPECT_EQ(picture.substr(0, 3), "\xFF\xD8\xFF");
  EXPECT_EQ(picture, BootPictureResource());
  EXPECT_EQ(ReadTree(Promotions()).size(), 2u) << "no temporary file is left";
}

TEST_F(BootPromotionTest, ASecondRunRewritesBothFilesIdentically) {
  Write(Picture(), "an older picture");
  Write(Metadata(), "{}");
  ASSERT_TRUE(InstallBootPromotion(engine_)) << LogText();
  const TreeManifest first = ReadTree(Promotions());
  EXPECT_EQ(first.at(L"Promotions.json"), kExpectedMetadata);
  ASSERT_TRUE(InstallBootPromotion(engine_)) << LogText();
  EXPECT_EQ(ReadTree(Promotions()), first);
}

// Engine\Pie64 is writable by ordinary users: a junction at any level would carry the elevated
// writes into a folder of the user's choosing.
TEST_F(BootPromotionTest, ALinkAtAnyLevelStopsBeforeAnythingIsWritten) {
  for (const wchar_t* level : {L"Engine", L"Engine\\Pie64", L"Engine\\Pie64\\Promotions"}) {
    SCOPED_TRACE(ToUtf8(level));
    RemoveTestTree(JoinPath(engine_.paths.DataDir(), L"Engine"));
    const platform::Path elsewhere = machine_.In(L"elsewhere");
    RemoveTestTree(elsewhere);
    MakeTestDirectories(elsewhere);
    const platform::Path link = JoinPath(engine_.paths.DataDir(), level);
    MakeTestDirectories(ParentPath(link));
    if (!MakeJunction(link, elsewhere)) GTEST_SKIP() << "no junctions on this system";
    engine_.view.log_lines.clear();

    EXPECT_FALSE(InstallBootPromotion(engine_));
    EXPECT_EQ(LogText(), "Could not create the Pie64 instance resources directory.\n");
    EXPECT_TRUE(ReadTree(elsewhere).empty()) << "nothing reached the junction's target";
  }
}

TEST_F(BootPromotionTest, AFileWherePromotionsBelongsFails) {
  Write(Promotions(), "not a folder");
  EXPECT_FALSE(InstallBootPromotion(engine_));
  EXPECT_EQ(LogText(), "Could not create the Pie64 instance resources directory.\n");
  EXPECT_EQ(Read(Promotions()), "not a folder");
}

TEST_F(BootPromotionTest, EachFileThatCannotBeWrittenHasItsLine) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  struct Case {
    const wchar_t* temporary;
    const char* line;
  };
  for (const Case& c : {Case{L"*BootPromotion_Vellmora.jpg.vellmora.tmp",
                             "Could not install the Vellmora Pie64 boot image.\n"},
                        Case{L"*Promotions.json.vellmora.tmp",
                             "Could not install the Vellmora Pie64 boot metadata.\n"}}) {
    SCOPED_TRACE(ToUtf8(c.temporary));
    sim::ClearFaults();
    sim::InjectFault({"write", c.temporary, 1, platform::kErrorDiskFull});
    engine_.view.log_lines.clear();
    EXPECT_FALSE(InstallBootPromotion(engine_));
    EXPECT_EQ(LogText(), c.line);
  }
  // The next call overwrites what the failed ones left.
  sim::ClearFaults();
  ASSERT_TRUE(InstallBootPromotion(engine_)) << LogText();
  EXPECT_EQ(Read(Metadata()), kExpectedMetadata);
#endif
}

}  // namespace
}  // namespace vellmora::testing
