// What each screen draws for a snapshot, and what the mouse does on it.

#include <gtest/gtest.h>

#include "ui/palette.h"
#include "ui/wizard_harness.h"

namespace vellmora::testing {
namespace {

using namespace vellmora::palette;

InstallerSnapshot Idle() {
  InstallerSnapshot snapshot;
  snapshot.fixed_drives = {"C:\\", "D:\\"};
  snapshot.destination_root_text = "C:\\";
  snapshot.install_dir_text = "C:\\Vellmora";
  snapshot.log_path = "C:\\ProgramData\\Vellmora-Installer\\Logs\\Vellmora-Instalacao.txt";
  return snapshot;
}

InstallerSnapshot Busy() {
  InstallerSnapshot snapshot = Idle();
  snapshot.busy = true;
  snapshot.progress = 0.5f;
  snapshot.stage_title = "Step 1/4: downloading the Engine package";
  return snapshot;
}

// Where the layout puts a text: the point, the pixel size and the colour.
struct Anchor {
  const char* text;
  float x, y, pixels;
  ImU32 colour;
};

void ExpectAnchors(const RecordingCanvas& canvas, const std::vector<Anchor>& anchors) {
  for (const Anchor& anchor : anchors) {
    std::optional<DrawnText> drawn = canvas.FindText(anchor.text);
    ASSERT_TRUE(drawn) << "not drawn: " << anchor.text;
    EXPECT_NEAR(drawn->position.x, anchor.x, 0.01f) << anchor.text;
    EXPECT_NEAR(drawn->position.y, anchor.y, 0.01f) << anchor.text;
    EXPECT_NEAR(drawn->pixel_size, anchor.pixels, 0.01f) << anchor.text;
    EXPECT_EQ(drawn->colour, anchor.colour) << anchor.text;
  }
}

TEST(WizardLayout, TheHomeScreenDrawsItsTextsWhereTheLayoutPutsThem) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.Frame();
  ExpectAnchors(wizard.canvas(),
                {{"Instale o Vell Mora", 350, 120, 41.6f, kTextPrimary},
                 {"Seu ambiente Android para jogar, com instalação rápida e", 350, 174, 18.85f,
                  kTextSecondary},
                 {"configuração simples.", 350, 199, 18.85f, kTextSecondary},
                 {"Virtualização", 442, 242, 14.3f, kTextSecondary},
                 {"WHPX nativo", 442, 262, 20.8f, kTextPrimary},
                 {"Hypervisor do Windows.", 442, 289, 14.95f, kTextMuted},
                 {"Android Pie 64-bit", 442, 342, 20.8f, kTextPrimary},
                 {"Escolha o disco", 442, 422, 20.8f, kTextPrimary},
                 {"Você pode ajustar o disco e as opções antes de instalar.", 383, 484, 14.95f,
                  kTextSecondary},
                 {"Vell Mora", 55, 9, 19.5f, Rgb(232, 234, 237)}});
  // The card, its separators and the current step's disc in the accent on the line y = 78.
  ASSERT_TRUE(wizard.canvas().FindShape(ShapeKind::kRectFilled, ImVec2(350, 232)));
  EXPECT_EQ(wizard.canvas().FindShape(ShapeKind::kRectFilled, ImVec2(350, 232))->colour, kCardFill);
  EXPECT_TRUE(wizard.canvas().FindShape(ShapeKind::kLine, ImVec2(350, 312)));
  EXPECT_TRUE(wizard.canvas().FindShape(ShapeKind::kLine, ImVec2(350, 392)));
  bool accent_step = false;
  for (const DrawnShape& shape : wizard.canvas().shapes) {
    if (shape.kind == ShapeKind::kCircleFilled && shape.a.y == 78.0f && shape.size == 16.0f) {
      accent_step = shape.colour == kAccent;
    }
  }
  EXPECT_TRUE(accent_step);
  // Nothing to uninstall on a fresh machine.
  EXPECT_FALSE(wizard.canvas().HasText("Desinstalar"));
}

TEST(WizardLayout, TheChromeDrawsItsBandsAndFallbacksWithoutImages) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.Frame();
  const RecordingCanvas& canvas = wizard.canvas();
  EXPECT_EQ(canvas.FindShape(ShapeKind::kRectFilled, ImVec2(0, 0))->colour, Rgb(9, 11, 14));
  EXPECT_EQ(canvas.FindShape(ShapeKind::kRectFilled, ImVec2(312, 42))->colour, Rgb(15, 20, 25));
  EXPECT_EQ(canvas.FindShape(ShapeKind::kRectFilled, ImVec2(0, 42))->colour, Rgb(0, 0, 0, 32));
  EXPECT_EQ(canvas.FindShape(ShapeKind::kRectFilled, ImVec2(0, 33))->colour, Rgb(11, 12, 14));
  EXPECT_EQ(canvas.FindShape(ShapeKind::kLine, ImVec2(0, 42))->colour, Rgb(51, 59, 67));
  // Without icons, the title buttons are line drawings; the border comes last.
  EXPECT_TRUE(canvas.FindShape(ShapeKind::kLine, ImVec2(891, 21)));
  EXPECT_TRUE(canvas.FindShape(ShapeKind::kLine, ImVec2(933, 15)));
  EXPECT_FALSE(canvas.FindShape(ShapeKind::kImage, ImVec2(0, 42)));
  ASSERT_FALSE(canvas.shapes.empty());
  EXPECT_EQ(canvas.shapes.back().kind, ShapeKind::kRect);
  EXPECT_EQ(canvas.shapes.back().colour, Rgb(67, 78, 90));
  int mark_polygons = 0;
  for (const DrawnShape& shape : canvas.shapes) {
    if (shape.kind == ShapeKind::kPolygon && shape.colour == kAccent && shape.size == 11.0f) {
      EXPECT_GE(shape.a.x, 20.0f);
      EXPECT_LE(shape.a.x, 48.0f);
      ++mark_polygons;
    }
  }
  EXPECT_EQ(mark_polygons, 2);
}

struct PrimaryCase {
  const char* name;
  bool engine, pie64;
  const char* label;
  int full, pie64_installs, opens;
};

class PrimaryButton : public ::testing::TestWithParam<PrimaryCase> {};

TEST_P(PrimaryButton, IsLabelledAndActsByInstallationState) {
  const PrimaryCase& c = GetParam();
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.actions.snapshot.engine_installed = c.engine;
  wizard.actions.snapshot.pie64_installed = c.pie64;
  wizard.actions.snapshot.installation_traces = c.engine;
  wizard.Frame();
  EXPECT_TRUE(wizard.canvas().HasText(c.label));
  EXPECT_EQ(wizard.canvas().HasText("Desinstalar"), c.engine);
  wizard.Click(837, 551);
  EXPECT_EQ(wizard.actions.full_installations, c.full);
  EXPECT_EQ(wizard.actions.pie64_installations, c.pie64_installs);
  EXPECT_EQ(wizard.actions.pie64_opens, c.opens);
}

INSTANTIATE_TEST_SUITE_P(
    States, PrimaryButton,
    ::testing::Values(PrimaryCase{"Fresh", false, false, "Instalar agora", 1, 0, 0},
                      PrimaryCase{"EngineOnly", true, false, "Instalar Pie64", 0, 1, 0},
                      PrimaryCase{"Complete", true, true, "Abrir agora", 0, 0, 1}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(WizardHome, PreviousTracesWithoutAnEngineOfferUninstall) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.actions.snapshot.installation_traces = true;
  wizard.Frame();
  EXPECT_TRUE(wizard.canvas().HasText(
      "Instalação anterior detectada. Você pode desinstalar ou atualizar."));
  EXPECT_TRUE(wizard.canvas().HasText("Desinstalar"));
  EXPECT_TRUE(wizard.canvas().HasText("Instalar agora"));
}

TEST(WizardHome, TheLocationRowAndPersonalizarOpenCustomise) {
  for (ImVec2 target : {ImVec2(600, 430), ImVec2(664, 551)}) {
    WizardHarness wizard;
    wizard.actions.snapshot = Idle();
    wizard.Click(target.x, target.y);
    wizard.Frame();
    EXPECT_EQ(wizard.wizard().state().screen, WizardScreen::kCustomise) << target.x;
    EXPECT_TRUE(wizard.canvas().HasText("Escolha onde instalar"));
    wizard.Click(691, 551);  // "Voltar"
    wizard.Frame();
    EXPECT_EQ(wizard.wizard().state().screen, WizardScreen::kHome);
  }
}

// A sequence of snapshots and the screen the wizard shows after the last.
struct TransitionCase {
  const char* name;
  std::vector<InstallerSnapshot> frames;
  WizardScreen expected;
};

InstallerSnapshot Finished(bool succeeded, bool engine, bool pie64) {
  InstallerSnapshot snapshot = Idle();
  snapshot.last_succeeded = succeeded;
  snapshot.engine_installed = engine;
  snapshot.pie64_installed = pie64;
  return snapshot;
}

class ScreenChoice : public ::testing::TestWithParam<TransitionCase> {};

TEST_P(ScreenChoice, FollowsTheOperation) {
  WizardHarness wizard;
  for (const InstallerSnapshot& snapshot : GetParam().frames) {
    wizard.actions.snapshot = snapshot;
    wizard.Frame();
  }
  EXPECT_EQ(wizard.wizard().state().screen, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, ScreenChoice,
    ::testing::Values(
        TransitionCase{"BusyShowsProgress", {Idle(), Busy()}, WizardScreen::kProgress},
        TransitionCase{"InstalledPie64ShowsFinish", {Busy(), Finished(true, true, true)},
                       WizardScreen::kFinish},
        TransitionCase{"UninstalledReturnsHome", {Busy(), Finished(true, false, false)},
                       WizardScreen::kHome},
        TransitionCase{"FailureStaysOnProgress", {Busy(), Finished(false, false, false)},
                       WizardScreen::kProgress},
        TransitionCase{"EngineWithoutPie64Stays", {Busy(), Finished(true, true, false)},
                       WizardScreen::kProgress},
        // An installation found at start-up is not an operation the wizard saw end.
        TransitionCase{"InstalledAtStartStaysHome", {Finished(true, true, true)}, WizardScreen::kHome}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(WizardProgress, AnOperationThatEndsBeforeTheNextFrameIsStillShown) {
  // The snapshot never shows the operation busy: it failed at once.
  WizardHarness wizard;
  InstallerSnapshot failed = Idle();
  failed.stage_detail = "This operation is not available in this build.";
  wizard.actions.snapshot = failed;
  wizard.Click(837, 551);
  ASSERT_EQ(wizard.actions.full_installations, 1);
  wizard.Frame();
  EXPECT_EQ(wizard.wizard().state().screen, WizardScreen::kProgress);
  EXPECT_TRUE(wizard.canvas().HasText("This operation is not available in this build."));
}

TEST(WizardProgress, DisplayedProgressFollowsTheInstallationWhenIdle) {
  struct Case {
    float progress;
    bool busy, engine, pie64;
    float expected;
  };
  for (const Case& c : {Case{0.2f, false, false, false, 0.2f}, Case{0.2f, false, true, false, 0.35f},
                        Case{0.6f, false, true, false, 0.6f}, Case{0.2f, false, true, true, 1.0f},
                        Case{0.2f, true, true, true, 0.2f}, Case{1.7f, true, false, false, 1.0f},
                        Case{-1.0f, true, false, false, 0.0f}}) {
    InstallerSnapshot snapshot;
    snapshot.progress = c.progress;
    snapshot.busy = c.busy;
    snapshot.engine_installed = c.engine;
    snapshot.pie64_installed = c.pie64;
    EXPECT_FLOAT_EQ(DisplayedProgress(snapshot), c.expected) << c.progress << c.busy << c.engine;
  }
}

TEST(WizardProgress, ShowsPercentageStageChecklistAndRepairedTexts) {
  WizardHarness wizard;
  InstallerSnapshot busy = Busy();
  busy.stage_title = "Instala\xC3\x83\xC2\xA7\xC3\x83\xC2\xA3o do Engine";  // "InstalaÃ§Ã£o"
  busy.stage_detail = "";
  wizard.actions.snapshot = busy;
  wizard.Frame();
  RecordingCanvas& canvas = wizard.canvas();
  ExpectAnchors(canvas, {{"Instalando o Vell Mora", 350, 120, 40.3f, kTextPrimary},
                         {"50%", 350, 217, 44.2f, kAccent},
                         {"A instalação está em andamento.", 350, 466, 14.95f, kTextSecondary},
                         {"Log TXT:", 350, 491, 14.56f, kTextSecondary}});
  std::optional<DrawnText> stage = canvas.FindText("Instalação do Engine");
  ASSERT_TRUE(stage);
  EXPECT_NEAR(stage->position.y, 235, 0.01f);
  EXPECT_NEAR(stage->position.x, 350 + canvas.MeasureText(FontRole::kRegular, 34, "50%").x + 22, 0.01f);
  // The bar is filled to half its width; the first two rows are reached, the third is not.
  std::optional<DrawnShape> fill;
  for (const DrawnShape& shape : canvas.shapes) {
    if (shape.kind == ShapeKind::kRectFilled && shape.a.x == 350 && shape.a.y == 278 &&
        shape.colour == kAccent) {
      fill = shape;
    }
  }
  ASSERT_TRUE(fill);
  EXPECT_NEAR(fill->b.x, 350 + 287, 0.01f);
  EXPECT_EQ(canvas.FindShape(ShapeKind::kCircleFilled, ImVec2(374, 332))->colour, kAccent);
  EXPECT_EQ(canvas.FindShape(ShapeKind::kCircleFilled, ImVec2(374, 380))->colour, kAccent);
  EXPECT_EQ(canvas.FindShape(ShapeKind::kCircleFilled, ImVec2(374, 428))->colour, Rgb(44, 49, 55));
  EXPECT_EQ(canvas.FindText("Identidade Vellmora")->colour, kTextMuted);
  // While busy, no restart buttons; the log buttons are there.
  EXPECT_FALSE(canvas.HasText("Reiniciar agora"));
  EXPECT_TRUE(canvas.HasText("Abrir log"));
  EXPECT_TRUE(canvas.HasText("Abrir pasta"));
}

TEST(WizardProgress, ALongDetailIsCutAtACharacterBoundary) {
  WizardHarness wizard;
  InstallerSnapshot busy = Busy();
  std::string detail;
  for (int i = 0; i < 30; ++i) detail += "Configuração ";
  busy.stage_detail = detail;
  wizard.actions.snapshot = busy;
  wizard.Frame();
  const DrawnText* status = nullptr;
  for (const DrawnText& text : wizard.canvas().texts) {
    if (text.position.y == 466.0f) status = &text;
  }
  ASSERT_NE(status, nullptr);
  ASSERT_GE(status->text.size(), 4u);
  EXPECT_EQ(status->text.substr(status->text.size() - 3), "...");
  EXPECT_EQ(detail.compare(0, status->text.size() - 3, status->text, 0, status->text.size() - 3), 0);
  EXPECT_LE(wizard.canvas().MeasureText(FontRole::kRegular, 11.5f, status->text).x, 574.0f);
}

TEST(WizardProgress, AFailureThatNeedsARestartOffersCloseAndRestart) {
  WizardHarness wizard;
  wizard.actions.snapshot = Busy();
  wizard.Frame();
  InstallerSnapshot failed = Finished(false, false, false);
  failed.restart_required = true;
  failed.stage_detail = "This operation is not available in this build.";
  wizard.actions.snapshot = failed;
  wizard.Frame();
  EXPECT_EQ(wizard.wizard().state().screen, WizardScreen::kProgress);
  EXPECT_TRUE(wizard.canvas().HasText("Fechar"));
  EXPECT_TRUE(wizard.canvas().HasText("Reiniciar agora"));
  EXPECT_FALSE(wizard.canvas().HasText("Abrir pasta"));
  EXPECT_TRUE(wizard.canvas().HasText("This operation is not available in this build."));
  wizard.Click(837, 551);
  ASSERT_EQ(wizard.actions.restarts.size(), 1u);
  EXPECT_FALSE(wizard.actions.restarts[0]);
  wizard.Click(685, 551);
  EXPECT_EQ(wizard.host.close_requests, 1);
}

TEST(WizardProgress, AFailedLogOpenWarnsUntilTheLogMoves) {
  WizardHarness wizard;
  wizard.actions.snapshot = Busy();
  wizard.actions.open_succeeds = false;
  wizard.Click(406, 551);  // "Abrir log"
  ASSERT_EQ(wizard.actions.opened.size(), 1u);
  EXPECT_EQ(wizard.actions.opened[0], "file:" + wizard.actions.snapshot.log_path);
  wizard.Frame();
  std::optional<DrawnText> warning =
      wizard.canvas().FindText("Não foi possível abrir o log. Copie o caminho abaixo.");
  ASSERT_TRUE(warning);
  EXPECT_EQ(warning->colour, kWarning);
  wizard.actions.snapshot.log_path = "C:\\Users\\vellmora\\AppData\\Local\\Temp\\Vellmora-Instalacao.txt";
  wizard.Frame();
  EXPECT_FALSE(wizard.canvas().HasText("Não foi possível abrir o log. Copie o caminho abaixo."));
  // "Abrir pasta" opens the folder; without a log file "Abrir log" does nothing.
  wizard.actions.open_succeeds = true;
  wizard.actions.log_file_exists = false;
  wizard.Click(537, 551);
  wizard.Click(406, 551);
  ASSERT_EQ(wizard.actions.opened.size(), 2u);
  EXPECT_EQ(wizard.actions.opened[1], "folder:" + wizard.actions.snapshot.log_path);
}

TEST(WizardProgress, TheLogPathCopiesOnClickAndExplainsOnHover) {
  WizardHarness wizard;
  wizard.actions.snapshot = Busy();
  wizard.MoveMouse(500, 497);
  wizard.Frame();
  ASSERT_EQ(wizard.canvas().tooltips.size(), 1u);
  EXPECT_EQ(wizard.canvas().tooltips[0],
            wizard.actions.snapshot.log_path + "\nClique para copiar o caminho");
  wizard.Press();
  wizard.Release();
  EXPECT_STREQ(ImGui::GetClipboardText(), wizard.actions.snapshot.log_path.c_str());
}

TEST(WizardCustomise, WithOneFixedDiskTheListNeverOpens) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.actions.snapshot.fixed_drives = {"C:\\"};
  wizard.wizard().state().screen = WizardScreen::kCustomise;
  wizard.Click(637, 272);
  wizard.Frame();
  wizard.Frame();
  // The field's own label is all: no list row repeats it.
  int labels = 0;
  for (const DrawnText& text : wizard.canvas().texts) labels += text.text == "Disco local (C:)";
  EXPECT_EQ(labels, 1);
  EXPECT_TRUE(wizard.actions.selected.empty());
}

TEST(WizardCustomise, TheDriveListSelectsTheClickedDisk) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.wizard().state().screen = WizardScreen::kCustomise;
  wizard.Frame();
  ExpectAnchors(wizard.canvas(), {{"Escolha onde instalar", 350, 127, 36.4f, kTextPrimary},
                                  {"DISCO DE INSTALAÇÃO", 368, 230, 13.65f, kTextSecondary},
                                  {"Disco local (C:)", 420, 261, 17.55f, kTextPrimary},
                                  {"C:\\Vellmora", 411, 351, 16.9f, Rgb(226, 229, 233)}});
  wizard.Click(637, 272);
  wizard.Frame();
  wizard.Frame();
  // Two rows of 42 in the popup at (368, 298) with padding 8 and spacing 4.
  std::optional<DrawnText> second = wizard.canvas().FindText("Disco local (D:)");
  ASSERT_TRUE(second);
  EXPECT_NEAR(second->position.x, 368 + 8 + 50, 0.01f);
  EXPECT_NEAR(second->position.y, 298 + 8 + 46 + 10, 0.01f);
  EXPECT_EQ(second->colour, kTextSecondary);
  wizard.Click(600, 298 + 8 + 46 + 21);
  ASSERT_EQ(wizard.actions.selected.size(), 1u);
  EXPECT_EQ(wizard.actions.selected[0], "D:\\");
  wizard.Frame();
  EXPECT_FALSE(wizard.canvas().HasText("Disco local (D:)"));
}

TEST(WizardCustomise, AnExistingInstallationLocksTheDiskWithATooltip) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.actions.snapshot.engine_installed = true;
  wizard.wizard().state().screen = WizardScreen::kCustomise;
  wizard.MoveMouse(637, 272);
  wizard.Frame();
  ASSERT_EQ(wizard.canvas().tooltips.size(), 1u);
  EXPECT_EQ(wizard.canvas().tooltips[0], "Desinstale o Vell Mora atual antes de trocar o disco.");
  wizard.Press();
  wizard.Release();
  wizard.Frame();
  EXPECT_FALSE(wizard.canvas().HasText("Disco local (D:)"));
  EXPECT_TRUE(wizard.actions.selected.empty());
}

TEST(WizardCustomise, SwitchesToggleAndInstallStartsTheOperation) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.wizard().state().screen = WizardScreen::kCustomise;
  wizard.Click(884, 431);
  EXPECT_FALSE(wizard.wizard().state().create_desktop_shortcut);
  EXPECT_TRUE(wizard.wizard().state().add_to_start_menu);
  wizard.Frame();
  EXPECT_EQ(wizard.canvas().FindShape(ShapeKind::kRectFilled, ImVec2(862, 419))->colour, Rgb(66, 71, 78));
  EXPECT_EQ(wizard.canvas().FindShape(ShapeKind::kRectFilled, ImVec2(862, 461))->colour, kAccent);
  wizard.Click(847, 551);
  EXPECT_EQ(wizard.actions.full_installations, 1);
}

TEST(WizardFinish, ConcluirOpensPie64OnlyWithTheStartSwitchOn) {
  for (bool start : {true, false}) {
    WizardHarness wizard;
    wizard.actions.snapshot = Busy();
    wizard.Frame();
    wizard.actions.snapshot = Finished(true, true, true);
    wizard.Frame();
    ASSERT_EQ(wizard.wizard().state().screen, WizardScreen::kFinish);
    ExpectAnchors(wizard.canvas(), {{"Iniciar o Vellmora ao concluir", 375, 379, 22.1f, kTextPrimary},
                                    {"Abre o emulador automaticamente.", 375, 410, 16.25f, kTextMuted}});
    EXPECT_NEAR(wizard.canvas().FindText("Vell Mora está pronto")->position.y, 218, 0.01f);
    if (!start) wizard.Click(879, 404);  // the start switch
    wizard.Click(857, 551);              // "Concluir"
    EXPECT_EQ(wizard.actions.pie64_opens, start ? 1 : 0) << start;
    EXPECT_EQ(wizard.host.close_requests, 1) << start;
  }
}

TEST(WizardFinish, APendingRestartOffersTheRestartAndReview) {
  WizardHarness wizard;
  wizard.actions.snapshot = Busy();
  wizard.Frame();
  InstallerSnapshot done = Finished(true, true, true);
  done.restart_required = true;
  wizard.actions.snapshot = done;
  wizard.Frame();
  EXPECT_TRUE(wizard.canvas().HasText("Reinicie o Windows"));
  EXPECT_TRUE(wizard.canvas().HasText("Reinicialização necessária"));
  EXPECT_FALSE(wizard.canvas().HasText("Concluir"));
  wizard.Click(837, 551);
  ASSERT_EQ(wizard.actions.restarts.size(), 1u);
  EXPECT_TRUE(wizard.actions.restarts[0]);
  wizard.Click(682, 551);  // "Rever"
  EXPECT_EQ(wizard.wizard().state().screen, WizardScreen::kHome);
}

TEST(WizardUninstall, TheConfirmationStartsCleanupOnlyWhenConfirmed) {
  for (bool confirm : {false, true}) {
    WizardHarness wizard;
    wizard.actions.snapshot = Idle();
    wizard.actions.snapshot.engine_installed = true;
    wizard.Click(412, 551);  // "Desinstalar" on the home screen
    wizard.Frame();
    // The 400 x 180 box sits at (280, 210), its heading at (20, 18) inside it.
    std::optional<DrawnText> heading = wizard.canvas().FindText("Desinstalar o Vell Mora?");
    ASSERT_TRUE(heading);
    EXPECT_FLOAT_EQ(heading->position.x, 300);
    EXPECT_FLOAT_EQ(heading->position.y, 228);
    // "Cancelar" at (20, 133) 160 wide, "Desinstalar" right of it.
    wizard.Click(confirm ? 280 + 20 + 160 + 20 + 90 : 280 + 20 + 80, 210 + 133 + 16);
    wizard.Frame();
    EXPECT_EQ(wizard.actions.cleanups, confirm ? 1 : 0);
    EXPECT_FALSE(wizard.canvas().HasText("Desinstalar o Vell Mora?"));
  }
}

TEST(WizardTitleButtons, CloseIsRefusedWhileBusyAndMinimiseAlwaysWorks) {
  WizardHarness wizard;
  wizard.actions.snapshot = Busy();
  wizard.Click(939, 21);
  EXPECT_EQ(wizard.host.close_requests, 0);
  EXPECT_EQ(wizard.canvas().FindShape(ShapeKind::kLine, ImVec2(933, 15))->colour, Rgb(82, 82, 90));
  wizard.Click(897, 21);
  EXPECT_EQ(wizard.host.minimised, 1);
  wizard.actions.snapshot = Finished(false, false, false);
  wizard.MoveMouse(939, 21);
  EXPECT_EQ(wizard.canvas().FindShape(ShapeKind::kLine, ImVec2(933, 15))->colour, Rgb(255, 255, 255));
  wizard.Press();
  wizard.Release();
  EXPECT_EQ(wizard.host.close_requests, 1);
}

TEST(WizardDrag, TheTitleBandMovesTheWindowExceptOverItsButtons) {
  WizardHarness wizard;
  wizard.actions.snapshot = Idle();
  wizard.MoveMouse(400, 20);
  wizard.Press();
  wizard.MoveMouse(450, 60);  // 50 right, 40 down, past the drag threshold
  ASSERT_FALSE(wizard.host.moves.empty());
  EXPECT_EQ(wizard.host.moves.back().x, 150);
  EXPECT_EQ(wizard.host.moves.back().y, 120);
  wizard.Release();
  const std::size_t moves = wizard.host.moves.size();
  wizard.MoveMouse(939, 21);  // on the close button
  wizard.Press();
  wizard.MoveMouse(800, 100);
  wizard.Release();
  EXPECT_EQ(wizard.host.moves.size(), moves);
}

TEST(WizardWindow, IsCentredInTheWorkAreaOrAtItsCornerWhenItDoesNotFit) {
  struct Case {
    int left, top, width, height, x, y;
  };
  for (const Case& c : {Case{0, 0, 1920, 1040, 480, 220}, Case{-1280, 40, 1280, 984, -1120, 232},
                        Case{0, 0, 800, 1040, 0, 220}, Case{10, 20, 1024, 560, 42, 20},
                        Case{0, 0, 961, 601, 0, 0}}) {
    platform::ScreenPoint origin = platform::CentredWindowOrigin(c.left, c.top, c.width, c.height);
    EXPECT_EQ(origin.x, c.x) << c.width;
    EXPECT_EQ(origin.y, c.y) << c.height;
  }
}

}  // namespace
}  // namespace vellmora::testing
