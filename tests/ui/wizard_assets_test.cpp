#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/resources.h"
#include "support/test_machine.h"
#include "ui/wizard_assets.h"
#include "ui/wizard_harness.h"

extern const unsigned char vellmora_font_fallback[];
extern const std::size_t vellmora_font_fallback_size;
extern const unsigned char vellmora_icon_close[];
extern const std::size_t vellmora_icon_close_size;
extern const unsigned char vellmora_icon_minimise[];
extern const std::size_t vellmora_icon_minimise_size;

namespace vellmora::testing {
namespace {

TEST(DecodeImage, DecodesTheArtworkToRgbaOfItsSize) {
  const unsigned char* art = nullptr;
  std::size_t art_size = 0;
  ASSERT_EQ(platform::LoadRcDataResource(platform::kResourceArtPanel, &art, &art_size),
            platform::kErrorSuccess);
  struct Case {
    const unsigned char* data;
    std::size_t size;
    int width, height;
  };
  for (const Case& c : {Case{art, art_size, 1569, 1002},
                        Case{vellmora_icon_minimise, vellmora_icon_minimise_size, 16, 16},
                        Case{vellmora_icon_close, vellmora_icon_close_size, 24, 24}}) {
    std::optional<DecodedImage> image = DecodeImage(c.data, c.size);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, c.width);
    EXPECT_EQ(image->height, c.height);
    EXPECT_EQ(image->pixels.size(), static_cast<std::size_t>(c.width) * c.height * 4);
  }
}

TEST(DecodeImage, RefusesEmptyTruncatedAndForeignData) {
  const unsigned char text[] = "not an image at all";
  EXPECT_FALSE(DecodeImage(nullptr, 0));
  EXPECT_FALSE(DecodeImage(text, 0));
  EXPECT_FALSE(DecodeImage(text, sizeof text));
  EXPECT_FALSE(DecodeImage(vellmora_icon_close, 40));  // a PNG cut after its header
}

#if VELLMORA_PLATFORM_SIM
// The Windows fonts folder of a simulated machine is the test's to fill.
class WizardFonts : public ::testing::Test {
 protected:
  void Install(const wchar_t* name) {
    ASSERT_TRUE(MakeTestDirectories(L"C:\\Windows\\Fonts"));
    ASSERT_TRUE(WriteTestFile(std::wstring(L"C:\\Windows\\Fonts\\") + name,
                              std::string(reinterpret_cast<const char*>(vellmora_font_fallback),
                                          vellmora_font_fallback_size)));
  }
  TestMachine machine_;
  WizardHarness harness_;  // the ImGui context the atlas belongs to
};

TEST_F(WizardFonts, WithoutWindowsFontsEveryRoleIsTheEmbeddedFace) {
  vellmora::WizardFonts fonts = LoadWizardFonts();
  ASSERT_NE(fonts.regular, nullptr);
  EXPECT_FLOAT_EQ(fonts.regular->LegacySize, 12.4f);
  EXPECT_EQ(fonts.semibold, fonts.regular);
  EXPECT_EQ(fonts.display, fonts.regular);
  EXPECT_EQ(ImGui::GetIO().FontDefault, fonts.regular);
}

TEST_F(WizardFonts, WithoutSemiboldHeadingsUseSegoeUi) {
  Install(L"segoeui.ttf");
  vellmora::WizardFonts fonts = LoadWizardFonts();
  ASSERT_NE(fonts.regular, nullptr);
  EXPECT_FLOAT_EQ(fonts.regular->LegacySize, 18.0f);
  EXPECT_EQ(fonts.semibold, fonts.regular);
  EXPECT_EQ(fonts.display, fonts.regular);
}

TEST_F(WizardFonts, EachRoleHasItsSize) {
  Install(L"segoeui.ttf");
  Install(L"seguisb.ttf");
  vellmora::WizardFonts fonts = LoadWizardFonts();
  EXPECT_FLOAT_EQ(fonts.regular->LegacySize, 18.0f);
  EXPECT_FLOAT_EQ(fonts.semibold->LegacySize, 28.0f);
  EXPECT_FLOAT_EQ(fonts.display->LegacySize, 42.0f);
}

TEST_F(WizardFonts, AFolderOrGarbageUnderTheFontNameIsNoFont) {
  ASSERT_TRUE(MakeTestDirectories(L"C:\\Windows\\Fonts\\segoeui.ttf"));
  EXPECT_EQ(LoadSystemFont("segoeui.ttf", 18.0f), nullptr);
  // A truncated file, and one of a font's size that is no font.
  ASSERT_TRUE(WriteTestFile(L"C:\\Windows\\Fonts\\seguisb.ttf", "not a font"));
  EXPECT_EQ(LoadSystemFont("seguisb.ttf", 28.0f), nullptr);
  ASSERT_TRUE(WriteTestFile(L"C:\\Windows\\Fonts\\seguisb.ttf", std::string(4096, 'x')));
  EXPECT_EQ(LoadSystemFont("seguisb.ttf", 28.0f), nullptr);
  EXPECT_EQ(LoadSystemFont("missing.ttf", 28.0f), nullptr);
}
#endif

}  // namespace
}  // namespace vellmora::testing
