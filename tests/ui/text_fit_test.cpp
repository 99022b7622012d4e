#include <gtest/gtest.h>

#include "ui/text_fit.h"
#include "ui/wizard_harness.h"

namespace vellmora::testing {
namespace {

bool ValidUtf8Boundary(const std::string& text) {
  // No continuation byte may directly follow an ASCII byte or start the text.
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80 && (i == 0 || static_cast<unsigned char>(text[i - 1]) < 0x80)) return false;
    if (byte >= 0xC0 && (i + 1 >= text.size() || (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80)) {
      return false;
    }
  }
  return true;
}

class TextFit : public ::testing::Test {
 protected:
  float Width(const std::string& text) {
    return harness_.canvas().MeasureText(FontRole::kRegular, 13.0f, text).x;
  }
  WizardHarness harness_;
};

TEST_F(TextFit, AFittingTextIsUnchanged) {
  EXPECT_EQ(FitWithEllipsis(harness_.canvas(), "Pronto", 500, 13), "Pronto");
  EXPECT_EQ(FitPathKeepingEnd(harness_.canvas(), "C:\\Vellmora", 500, 13), "C:\\Vellmora");
}

TEST_F(TextFit, EllipsisCutsAtACharacterBoundaryAndFits) {
  // Two- and three-byte characters (ç, ã, →, ✓) at every cut.
  const std::string text = "Instalação concluída → ações ✓✓ pendentes →→→ ção ção";
  for (float width = 40; width < Width(text); width += 1) {
    std::string fitted = FitWithEllipsis(harness_.canvas(), text, width, 13);
    ASSERT_GE(fitted.size(), 3u);
    ASSERT_EQ(fitted.substr(fitted.size() - 3), "...");
    const std::string kept = fitted.substr(0, fitted.size() - 3);
    EXPECT_EQ(text.compare(0, kept.size(), kept), 0) << width;
    EXPECT_TRUE(ValidUtf8Boundary(kept)) << width << " " << kept;
    if (kept.size() >= 4) {
      EXPECT_LE(Width(fitted), width) << fitted;
    }
  }
}

TEST_F(TextFit, EllipsisNeverCutsBelowThreeBytes) {
  std::string fitted = FitWithEllipsis(harness_.canvas(), "ABCDEFGHIJ", 1, 13);
  EXPECT_EQ(fitted, "ABC...");
}

TEST_F(TextFit, APathKeepsItsEnd) {
  const std::string path = "C:\\ProgramData\\Vellmora-Installer\\Logs\\Instalação\\Vellmora-Instalacao.txt";
  const float width = Width("...Logs\\Instalação\\Vellmora-Instalacao.txt") + 1;
  std::string fitted = FitPathKeepingEnd(harness_.canvas(), path, width, 13);
  ASSERT_EQ(fitted.substr(0, 3), "...");
  EXPECT_EQ(fitted, "...Logs\\Instalação\\Vellmora-Instalacao.txt");
  EXPECT_LE(Width(fitted), width);
  // One pixel less loses a character from the front, never half of one.
  std::string tighter = FitPathKeepingEnd(harness_.canvas(), path, width - 2, 13);
  EXPECT_LT(tighter.size(), fitted.size());
  EXPECT_TRUE(ValidUtf8Boundary(tighter.substr(3)));
  // Nothing fits: the whole text follows the ellipsis.
  EXPECT_EQ(FitPathKeepingEnd(harness_.canvas(), path, 2, 13), "..." + path);
}

TEST(RepairDoubleEncodedText, RepairsPortugueseLettersAndDropsStrayCircumflexA) {
  struct Case {
    const char* broken;
    const char* repaired;
  };
  for (const Case& c : {
           Case{"Instala\xC3\x83\xC2\xA7\xC3\x83\xC2\xA3o", "Instalação"},
           Case{"\xC3\x83\xE2\x80\xA1\xC3\x83\xC6\x92O", "ÇÃO"},
           Case{"M\xC3\x83\xC2\xA1quina \xC3\x83\xE2\x80\x9Crg\xC3\x83\xC2\xA3o", "Máquina Órgão"},
           Case{"\xC3\x83\xE2\x80\xB0 \xC3\x83\xC2\xAAxito \xC3\x82\xC2\xB7 ok", "É êxito · ok"},
           Case{"100\xC3\x82 %", "100 %"},
           Case{"Já correto: ç", "Já correto: ç"},
       }) {
    EXPECT_EQ(RepairDoubleEncodedText(c.broken), c.repaired) << c.repaired;
  }
}

}  // namespace
}  // namespace vellmora::testing
