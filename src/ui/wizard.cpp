#include "ui/wizard.h"

#include <algorithm>
#include <cmath>

#include "app/text.h"
#include "ui/palette.h"
#include "ui/text_fit.h"
#include "ui/widgets.h"

namespace vellmora {
namespace {

using namespace palette;
using namespace wizard_action;

constexpr const char* kConfirmPopup = "##ConfirmUninstall";
constexpr const char* kDriveListPopup = "##DriveList";

bool AnyInstallation(const InstallerSnapshot& snapshot) {
  return snapshot.installation_traces || snapshot.engine_installed || snapshot.pie64_installed;
}

// "Disco local (C:)" for a root text such as C:\.
std::string DriveLabel(const std::string& root) {
  return "Disco local (" + (root.empty() ? std::string("C:") : root.substr(0, 2)) + ")";
}

}  // namespace

float DisplayedProgress(const InstallerSnapshot& snapshot) {
  float progress = std::clamp(snapshot.progress, 0.0f, 1.0f);
  if (!snapshot.busy) {
    if (snapshot.pie64_installed) {
      progress = 1.0f;
    } else if (snapshot.engine_installed) {
      progress = std::max(progress, 0.35f);
    }
  }
  return progress;
}

void Wizard::Frame() {
  RunWizardFrame();
  drag_.Update(host_);
  ImGui::End();
}

void Wizard::RunWizardFrame() {
  BeginMainWindow();
  const InstallerSnapshot snapshot = actions_.TakeSnapshot();
  DrawWindowChrome(canvas_, textures_);
  ChooseScreen(snapshot);
  const float progress = DisplayedProgress(snapshot);
  Act(DrawWizardScreen(state_.screen, snapshot, progress), snapshot);
  DrawUninstallConfirmation();
  switch (DrawTitleButtons(canvas_, textures_, snapshot.busy)) {
    case TitleButton::kMinimise: host_.Minimise(); break;
    case TitleButton::kClose: host_.PostCloseRequest(); break;
    case TitleButton::kNone: break;
  }
  EndMainWindow(canvas_);
}

void Wizard::ChooseScreen(const InstallerSnapshot& snapshot) {
  if (snapshot.busy) {
    state_.screen = WizardScreen::kProgress;
    state_.operation_seen = true;
  } else if (state_.operation_seen && snapshot.last_succeeded) {
    if (snapshot.pie64_installed) {
      state_.screen = WizardScreen::kFinish;
      state_.operation_seen = false;
    } else if (!snapshot.engine_installed) {
      state_.screen = WizardScreen::kHome;  // a finished uninstall
      state_.operation_seen = false;
    }
  }
}

// An operation that ends before the next frame's snapshot (one that fails at once) would never be
// seen busy, and the wizard would stay where it was with no word of the result: it is followed from
// the click on.
void Wizard::FollowStartedOperation() {
  state_.screen = WizardScreen::kProgress;
  state_.operation_seen = true;
}

void Wizard::Act(unsigned flags, const InstallerSnapshot& snapshot) {
  if (flags & kPrimary) {
    if (!snapshot.engine_installed) {
      actions_.StartFullInstallation();
      FollowStartedOperation();
    } else if (!snapshot.pie64_installed) {
      actions_.StartPie64Installation();
      FollowStartedOperation();
    } else {
      actions_.OpenPie64();
    }
  }
  if (flags & kCustomise) state_.screen = WizardScreen::kCustomise;
  if (flags & kBackHome) state_.screen = WizardScreen::kHome;
  if (flags & kClose) host_.PostCloseRequest();
  if (flags & kReview) state_.screen = WizardScreen::kHome;
  if (flags & kOpenAndClose) {
    actions_.OpenPie64();
    host_.PostCloseRequest();
  }
  if (flags & kConfirmUninstall) ImGui::OpenPopup(kConfirmPopup);
  if (flags & kRestart) actions_.RestartWindowsNow(snapshot.last_succeeded);
}

unsigned Wizard::DrawWizardScreen(WizardScreen screen, const InstallerSnapshot& snapshot,
                                  float progress) {
  DrawStepIndicator(canvas_, static_cast<int>(screen));
  switch (screen) {
    case WizardScreen::kHome: return DrawHome(snapshot);
    case WizardScreen::kCustomise: return DrawCustomise(snapshot);
    case WizardScreen::kProgress: return DrawProgress(snapshot, progress);
    case WizardScreen::kFinish: return DrawFinish(snapshot);
  }
  return 0;
}

unsigned Wizard::DrawHome(const InstallerSnapshot& snapshot) {
  unsigned flags = 0;
  canvas_.Text(FontRole::kDisplay, 32.0f, ImVec2(350, 120), kTextPrimary, "Instale o Vell Mora");
  canvas_.Text(FontRole::kRegular, 14.5f, ImVec2(350, 174), kTextSecondary,
               "Seu ambiente Android para jogar, com instalação rápida e");
  canvas_.Text(FontRole::kRegular, 14.5f, ImVec2(350, 199), kTextSecondary, "configuração simples.");

  DrawCard(canvas_, ImVec2(350, 232), ImVec2(924, 472));
  DrawSeparator(canvas_, 350, 924, 312);
  DrawSeparator(canvas_, 350, 924, 392);
  DrawFeatureRow(canvas_, 232, FeatureIcon::kChip, "Virtualização", "WHPX nativo",
                 "Hypervisor do Windows.");
  DrawFeatureRow(canvas_, 312, FeatureIcon::kMonitor, "Sistema Android", "Android Pie 64-bit",
                 "Ambiente para seus jogos.");
  if (HitArea("##HomeLocationRow", ImVec2(350, 392), ImVec2(574, 80)).clicked && !snapshot.busy) {
    flags |= kCustomise;
  }
  DrawFeatureRow(canvas_, 392, FeatureIcon::kFolder, "Local de instalação", "Escolha o disco",
                 "Ajuste em Personalizar.");
  canvas_.Line(ImVec2(894, 428), ImVec2(901, 432), kTextSecondary, 1.8f);
  canvas_.Line(ImVec2(901, 432), ImVec2(894, 436), kTextSecondary, 1.8f);

  canvas_.Circle(ImVec2(363, 494), 10.0f, kTextSecondary, 0, 1.4f);
  DrawCentredLabel(canvas_, "i", ImVec2(353, 484), ImVec2(373, 504), 11.5f, kTextSecondary, false);
  canvas_.Text(FontRole::kRegular, 11.5f, ImVec2(383, 484), kTextSecondary,
               snapshot.installation_traces && !snapshot.engine_installed
                   ? "Instalação anterior detectada. Você pode desinstalar ou atualizar."
                   : "Você pode ajustar o disco e as opções antes de instalar.");
  DrawSeparator(canvas_, 350, 924, 515);

  const bool enabled = !snapshot.busy;
  if (AnyInstallation(snapshot) &&
      DrawHomeButton(canvas_, "##HomeUninstall", "Desinstalar", 350, 124, false, enabled)) {
    flags |= kConfirmUninstall;
  }
  // The sliders icon sits left of the label, which is centred in the rest of the button.
  if (DrawHomeButton(canvas_, "##HomeCustomise", "Personalizar", 587, 154, false, enabled, 12.0f)) {
    flags |= kCustomise;
  }
  const ImU32 sliders = enabled ? kTextPrimary : kTextMuted;
  constexpr float kSliderY[] = {542, 550, 558};
  constexpr float kDotX[] = {609, 615, 609};
  for (int i = 0; i < 3; ++i) {
    canvas_.Line(ImVec2(603, kSliderY[i]), ImVec2(620, kSliderY[i]), sliders, 1.6f);
    canvas_.CircleFilled(ImVec2(kDotX[i], kSliderY[i]), 2.5f, sliders);
  }
  const char* primary_label = snapshot.pie64_installed    ? "Abrir agora"
                              : snapshot.engine_installed ? "Instalar Pie64"
                                                          : "Instalar agora";
  // The arrow takes the right end; the label is centred in what is left.
  if (DrawHomeButton(canvas_, "##HomePrimary", primary_label, 751, 173, true, enabled, -8.0f)) {
    flags |= kPrimary;
  }
  const ImU32 arrow = enabled ? kTextOnAccentDark : kTextMuted;
  canvas_.Line(ImVec2(899, 551), ImVec2(910, 551), arrow, 1.8f);
  canvas_.Line(ImVec2(905, 546), ImVec2(910, 551), arrow, 1.8f);
  canvas_.Line(ImVec2(905, 556), ImVec2(910, 551), arrow, 1.8f);
  return flags;
}

unsigned Wizard::DrawCustomise(const InstallerSnapshot& snapshot) {
  unsigned flags = 0;
  canvas_.Text(FontRole::kDisplay, 28.0f, ImVec2(350, 127), kTextPrimary, "Escolha onde instalar");
  canvas_.Text(FontRole::kRegular, 14.0f, ImVec2(350, 177), kTextSecondary,
               "Selecione o disco e a pasta de instalação.");
  DrawCard(canvas_, ImVec2(350, 215), ImVec2(924, 396));
  canvas_.Text(FontRole::kSemibold, 10.5f, ImVec2(368, 230), kTextSecondary, "DISCO DE INSTALAÇÃO");
  DrawDiskField(snapshot);
  canvas_.Text(FontRole::kRegular, 11.0f, ImVec2(368, 298), kTextSecondary, "20 GB necessários");
  canvas_.Text(FontRole::kSemibold, 10.5f, ImVec2(368, 320), kTextSecondary, "PASTA DE INSTALAÇÃO");

  canvas_.RectFilled(ImVec2(368, 343), ImVec2(743, 384), kFieldFill, 7.0f);
  canvas_.Rect(ImVec2(368, 343), ImVec2(743, 384), kFieldBorder, 7.0f, 0, 1.0f);
  const ImVec2 folder[] = {{384, 358}, {390, 358}, {392, 360.5f}, {398, 360.5f}, {398, 368}, {384, 368}};
  for (std::size_t i = 0; i < std::size(folder); ++i) {
    canvas_.Line(folder[i], folder[(i + 1) % std::size(folder)], kTextSecondary, 1.4f);
  }
  std::string folder_text = snapshot.install_dir_text;
  if (folder_text.empty()) {
    folder_text = (snapshot.destination_root_text.empty() ? std::string("C:")
                                                          : snapshot.destination_root_text.substr(0, 2)) +
                  "\\Vellmora";
  }
  canvas_.Text(FontRole::kRegular, 13.0f, ImVec2(411, 351), Rgb(226, 229, 233),
               FitWithEllipsis(canvas_, folder_text, 320.0f, 13.0f));

  HitArea("##ChooseFolder", ImVec2(753, 343), ImVec2(153, 41));  // no action: the folder follows the disk
  canvas_.RectFilled(ImVec2(753, 343), ImVec2(906, 384), Rgb(20, 24, 28), 7.0f);
  canvas_.Rect(ImVec2(753, 343), ImVec2(906, 384), kFieldBorder, 7.0f, 0, 1.0f);
  DrawCentredLabel(canvas_, "Escolher pasta", ImVec2(753, 343), ImVec2(906, 384), 12.5f, kTextMuted);

  DrawCard(canvas_, ImVec2(350, 410), ImVec2(924, 495));
  DrawSeparator(canvas_, 368, 906, 452);
  canvas_.Text(FontRole::kRegular, 12.5f, ImVec2(407, 419), kTextPrimary,
               "Criar atalho na área de trabalho");
  canvas_.Text(FontRole::kRegular, 12.5f, ImVec2(407, 462), kTextPrimary, "Adicionar ao menu Iniciar");
  canvas_.Rect(ImVec2(371, 420), ImVec2(389, 433), kAccent, 2.0f, 0, 1.6f);
  canvas_.Line(ImVec2(380, 433), ImVec2(380, 437), kAccent, 1.6f);
  canvas_.Line(ImVec2(375, 437.5f), ImVec2(385, 437.5f), kAccent, 1.6f);
  canvas_.Line(ImVec2(371, 467), ImVec2(389, 467), kAccent, 1.8f);
  canvas_.Line(ImVec2(371, 473), ImVec2(389, 473), kAccent, 1.8f);
  DrawSwitch(canvas_, "##DesktopShortcut", ImVec2(862, 419), &state_.create_desktop_shortcut);
  DrawSwitch(canvas_, "##StartMenu", ImVec2(862, 461), &state_.add_to_start_menu);
  DrawSeparator(canvas_, 350, 924, 515);

  const ButtonState back = HitArea("##CustomiseBack", ImVec2(624, 529), ImVec2(135, 44));
  canvas_.RectFilled(ImVec2(624, 529), ImVec2(759, 573), back.hovered ? Rgb(31, 36, 42) : Rgb(20, 24, 28),
                     7.0f);
  canvas_.Rect(ImVec2(624, 529), ImVec2(759, 573), kFieldBorder, 7.0f, 0, 1.0f);
  DrawCentredLabel(canvas_, "Voltar", ImVec2(624, 529), ImVec2(759, 573), 12.5f, kTextPrimary);
  if (back.clicked) flags |= kBackHome;
  if (DrawWizardButton(canvas_, "##CustomiseInstall", "Instalar  →", ImVec2(770, 529),
                       ImVec2(154, 44), true, !snapshot.busy)) {
    flags |= kPrimary;
  }
  return flags;
}

void Wizard::DrawDiskField(const InstallerSnapshot& snapshot) {
  const bool changeable =
      !snapshot.busy && !AnyInstallation(snapshot) && snapshot.fixed_drives.size() >= 2;
  const ImVec2 min(368, 251), max(906, 293);
  const ButtonState field = HitArea("##DiskField", min, ImVec2(max.x - min.x, max.y - min.y));
  const bool list_open = ImGui::IsPopupOpen(kDriveListPopup);
  const bool hot = changeable && field.hovered;
  canvas_.RectFilled(min, max, hot ? kFieldFillHovered : kFieldFill, 7.0f);
  canvas_.Rect(min, max, hot || list_open ? kAccent : kFieldBorder, 7.0f, 0, 1.0f);
  DrawDriveIcon(canvas_, ImVec2(383, 266), ImVec2(402, 279), kTextSecondary);
  canvas_.Text(FontRole::kSemibold, 13.5f, ImVec2(420, 261), kTextPrimary,
               DriveLabel(snapshot.destination_root_text));
  canvas_.Line(ImVec2(882, 269), ImVec2(888, 275), kTextSecondary, 1.8f);
  canvas_.Line(ImVec2(888, 275), ImVec2(894, 269), kTextSecondary, 1.8f);
  if (field.hovered && AnyInstallation(snapshot)) {
    canvas_.Tooltip("Desinstale o Vell Mora atual antes de trocar o disco.");
  }
  if (field.clicked && changeable) ImGui::OpenPopup(kDriveListPopup);
  DrawDriveList(snapshot, changeable);
}

void Wizard::DrawDriveList(const InstallerSnapshot& snapshot, bool changeable) {
  const int shown = static_cast<int>(std::min<std::size_t>(snapshot.fixed_drives.size(), 4));
  ImGui::SetNextWindowPos(ImVec2(368, 298));
  ImGui::SetNextWindowSize(ImVec2(538, 46.0f * static_cast<float>(shown) + 16.0f));
  ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(8, 8));
  ImGui::PushStyleVar(ImGuiStyleVar_PopupRounding, 7.0f);
  ImGui::PushStyleVar(ImGuiStyleVar_PopupBorderSize, 1.0f);
  ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(0, 4));
  ImGui::PushStyleVar(ImGuiStyleVar_ScrollbarSize, 8.0f);
  ImGui::PushStyleColor(ImGuiCol_PopupBg, ImVec4(0.065f, 0.086f, 0.105f, 1.0f));
  ImGui::PushStyleColor(ImGuiCol_ScrollbarBg, ImVec4(0.065f, 0.086f, 0.105f, 1.0f));
  ImGui::PushStyleColor(ImGuiCol_ScrollbarGrab, ImVec4(0.42f, 0.46f, 0.5f, 1.0f));
  ImGui::PushStyleColor(ImGuiCol_Border, ImGui::ColorConvertU32ToFloat4(kAccent));
  ImGui::PushStyleColor(ImGuiCol_NavCursor, ImGui::ColorConvertU32ToFloat4(kAccent));
  if (ImGui::BeginPopup(kDriveListPopup, ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoResize)) {
    for (std::size_t i = 0; i < snapshot.fixed_drives.size(); ++i) {
      const std::string& drive = snapshot.fixed_drives[i];
      ImGui::PushID(static_cast<int>(i));
      const ImVec2 row = ImGui::GetCursorScreenPos();
      const bool clicked = ImGui::InvisibleButton("##DriveRow", ImVec2(522, 42));
      const bool hovered = ImGui::IsItemHovered();
      const bool selected = EqualsIgnoringCase(drive, snapshot.destination_root_text);
      if (selected) ImGui::SetItemDefaultFocus();
      const ImVec2 row_max(row.x + 522, row.y + 42);
      canvas_.RectFilled(row, row_max,
                         hovered ? Rgb(58, 42, 27) : selected ? Rgb(38, 40, 39) : Rgb(19, 27, 33), 5.0f);
      if (hovered || selected) canvas_.Rect(row, row_max, kAccent, 5.0f, 0, 1.0f);
      const bool lit = hovered || selected;
      DrawDriveIcon(canvas_, ImVec2(row.x + 14, row.y + 15), ImVec2(row.x + 33, row.y + 28),
                    lit ? kAccent : kTextSecondary);
      canvas_.Text(FontRole::kSemibold, 13.5f, ImVec2(row.x + 50, row.y + 10),
                   lit ? kTextPrimary : kTextSecondary, DriveLabel(drive));
      if (selected) DrawCheckMark(canvas_, ImVec2(row_max.x - 22, row.y + 21), 1.05f, kAccent, 2.0f);
      if (clicked && changeable) {
        actions_.SelectDestination(drive);
        ImGui::CloseCurrentPopup();
      }
      ImGui::PopID();
    }
    ImGui::EndPopup();
  }
  ImGui::PopStyleColor(5);
  ImGui::PopStyleVar(5);
}

unsigned Wizard::DrawProgress(const InstallerSnapshot& snapshot, float progress) {
  unsigned flags = 0;
  canvas_.Text(FontRole::kDisplay, 31.0f, ImVec2(350, 120), kTextPrimary,
               snapshot.last_succeeded && progress >= 1.0f ? "Finalizando o Vell Mora"
                                                           : "Instalando o Vell Mora");
  canvas_.Text(FontRole::kRegular, 14.5f, ImVec2(350, 174), kTextSecondary,
               "Acompanhe abaixo cada etapa da instalação.");

  char percentage[16];
  std::snprintf(percentage, sizeof percentage, "%d%%", static_cast<int>(std::lround(progress * 100.0f)));
  canvas_.Text(FontRole::kRegular, 34.0f, ImVec2(350, 217), kAccent, percentage);
  const float stage_x = 350.0f + canvas_.MeasureText(FontRole::kRegular, 34.0f, percentage).x + 22.0f;
  std::string stage = RepairDoubleEncodedText(snapshot.stage_title);
  if (stage.empty()) stage = "Preparando os arquivos do emulador";
  canvas_.Text(FontRole::kRegular, 13.0f, ImVec2(stage_x, 235), kTextSecondary,
               FitWithEllipsis(canvas_, stage, 924.0f - stage_x, 13.0f));

  canvas_.RectFilled(ImVec2(350, 278), ImVec2(924, 288), Rgb(45, 49, 55), 5.0f);
  if (progress > 0.0f) {
    canvas_.RectFilled(ImVec2(350, 278), ImVec2(350 + 574 * progress, 288), kAccent, 5.0f);
  }

  DrawCard(canvas_, ImVec2(350, 308), ImVec2(924, 452));
  struct Row {
    float threshold;
    const char* title;
    const char* note;
  };
  constexpr Row kRows[] = {{0.12f, "Arquivos do emulador", "Download e validação do pacote"},
                           {0.48f, "Máquina Android", "Disco virtual, WHPX e preferências"},
                           {0.98f, "Identidade Vellmora", "Tema, ícones e personalização"}};
  for (int j = 0; j < 3; ++j) {
    const float y = 332.0f + 48.0f * static_cast<float>(j);
    const bool reached = progress >= kRows[j].threshold;
    canvas_.CircleFilled(ImVec2(374, y), 10.0f, reached ? kAccent : Rgb(44, 49, 55));
    if (reached) DrawCheckMark(canvas_, ImVec2(374, y), 0.88f, kTextOnAccentDark, 1.8f);
    canvas_.Text(FontRole::kRegular, 13.5f, ImVec2(398, y - 17), reached ? kTextPrimary : kTextMuted,
                 kRows[j].title);
    canvas_.Text(FontRole::kRegular, 11.0f, ImVec2(398, y + 5), kTextMuted, kRows[j].note);
  }
  DrawSeparator(canvas_, 365, 909, 356);
  DrawSeparator(canvas_, 365, 909, 404);

  if (snapshot.log_path != state_.remembered_log_path) {
    state_.remembered_log_path = snapshot.log_path;
    state_.log_open_failed = false;
  }
  std::string status;
  ImU32 status_colour = kTextSecondary;
  if (state_.log_open_failed) {
    status = "Não foi possível abrir o log. Copie o caminho abaixo.";
    status_colour = kWarning;
  } else {
    status = RepairDoubleEncodedText(snapshot.stage_detail);
    if (status.empty()) {
      status = snapshot.busy ? "A instalação está em andamento." : "Aguardando o início da instalação.";
    }
  }
  canvas_.Text(FontRole::kRegular, 11.5f, ImVec2(350, 466), status_colour,
               FitWithEllipsis(canvas_, status, 574.0f, 11.5f));

  const bool restart_buttons = !snapshot.busy && snapshot.restart_required;
  DrawLogAccess(snapshot, restart_buttons);
  DrawSeparator(canvas_, 350, 924, 516);
  if (restart_buttons) {
    if (DrawWizardButton(canvas_, "##ProgressClose", "Fechar", ImVec2(629, 529), ImVec2(112, 44),
                         false, true)) {
      flags |= kClose;
    }
    if (DrawWizardButton(canvas_, "##ProgressRestart", "Reiniciar agora", ImVec2(751, 529),
                         ImVec2(173, 44), true, true)) {
      flags |= kRestart;
    }
  }
  return flags;
}

void Wizard::DrawLogAccess(const InstallerSnapshot& snapshot, bool restart_buttons) {
  const std::string& path = snapshot.log_path;
  if (path.empty()) return;
  canvas_.Text(FontRole::kRegular, 11.2f, ImVec2(350, 491), kTextSecondary, "Log TXT:");
  canvas_.Text(FontRole::kRegular, 11.2f, ImVec2(415, 491), kTextPrimary,
               FitPathKeepingEnd(canvas_, path, 509.0f, 11.2f));
  const ButtonState copy = HitArea("##CopyLogPath", ImVec2(415, 489), ImVec2(509, 18));
  if (copy.hovered) canvas_.Tooltip(path + "\nClique para copiar o caminho");
  if (copy.clicked) ImGui::SetClipboardText(path.c_str());

  auto open = [&](bool folder) {
    state_.log_open_failed = !actions_.OpenWithShell(path, folder);
  };
  if (DrawWizardButton(canvas_, "##OpenLog", "Abrir log", ImVec2(350, 529), ImVec2(112, 44), false,
                       actions_.PathExists(path, false))) {
    open(false);
  }
  if (!restart_buttons &&
      DrawWizardButton(canvas_, "##OpenLogFolder", "Abrir pasta", ImVec2(472, 529), ImVec2(130, 44),
                       false, actions_.PathExists(path, true))) {
    open(true);
  }
}

unsigned Wizard::DrawFinish(const InstallerSnapshot& snapshot) {
  unsigned flags = 0;
  const bool restart = snapshot.restart_required;
  const ImVec2 badge(637, 167);
  canvas_.Circle(badge, 34.0f, kAccent, 36, 2.0f);
  canvas_.CircleFilled(badge, 26.0f, kAccent);
  DrawCheckMark(canvas_, badge, 2.2f, kTextOnAccentDark, 3.0f);

  auto centred = [&](FontRole role, float size, float y, ImU32 colour, const char* text) {
    const float width = canvas_.MeasureText(role, size, text).x;
    canvas_.Text(role, size, ImVec2(637.0f - width * 0.5f, y), colour, text);
  };
  centred(FontRole::kDisplay, 30.0f, 218, kTextPrimary,
          restart ? "Reinicie o Windows" : "Vell Mora está pronto");
  centred(FontRole::kRegular, 13.5f, 273, kTextSecondary,
          restart ? "Há uma alteração pendente. Reinicie o computador"
                  : "A instalação foi concluída. Seu emulador está pronto");
  centred(FontRole::kRegular, 13.5f, 299, kTextSecondary,
          restart ? "antes de abrir o emulador." : "para uso.");

  DrawCard(canvas_, ImVec2(350, 359), ImVec2(924, 453));
  canvas_.Text(FontRole::kSemibold, 17.0f, ImVec2(375, 379), kTextPrimary,
               restart ? "Reinicialização necessária" : "Iniciar o Vellmora ao concluir");
  canvas_.Text(FontRole::kRegular, 12.5f, ImVec2(375, 410), kTextMuted,
               restart ? "O Windows concluirá as alterações pendentes."
                       : "Abre o emulador automaticamente.");
  if (!restart) {
    const ImVec2 at(855, 391);
    if (HitArea("##StartAfterFinish", at, ImVec2(48, 27)).clicked) {
      state_.start_after_finish = !state_.start_after_finish;
    }
    const bool on = state_.start_after_finish;
    canvas_.RectFilled(at, ImVec2(at.x + 48, at.y + 27), on ? kAccent : Rgb(66, 71, 78), 13.5f);
    canvas_.CircleFilled(ImVec2(at.x + (on ? 34.0f : 14.0f), at.y + 13.5f), 10.5f,
                         on ? Rgb(20, 21, 23) : Rgb(221, 224, 229));
  }
  DrawSeparator(canvas_, 350, 924, 516);

  if (DrawWizardButton(canvas_, "##FinishReview", "Rever", ImVec2(restart ? 623.0f : 662.0f, 529),
                       ImVec2(118, 44), false, true)) {
    flags |= kReview;
  }
  if (restart) {
    if (DrawWizardButton(canvas_, "##FinishRestart", "Reiniciar agora", ImVec2(751, 529),
                         ImVec2(173, 44), true, true)) {
      flags |= kRestart;
    }
  } else if (DrawWizardButton(canvas_, "##FinishDone", "Concluir", ImVec2(790, 529), ImVec2(134, 44),
                              true, true)) {
    flags |= state_.start_after_finish ? kOpenAndClose : kClose;
  }
  return flags;
}

void Wizard::DrawUninstallConfirmation() {
  const ImVec2 corner = ImGui::GetWindowPos();
  ImGui::SetNextWindowPos(ImVec2(corner.x + 280, corner.y + 210), ImGuiCond_Appearing);
  ImGui::SetNextWindowSize(ImVec2(400, 180));
  if (!ImGui::BeginPopupModal(kConfirmPopup, nullptr,
                              ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                  ImGuiWindowFlags_NoMove)) {
    return;
  }
  const ImVec2 origin = ImGui::GetWindowPos();
  canvas_.Text(FontRole::kRegular, 13.0f, ImVec2(origin.x + 20, origin.y + 18), kTextPrimary,
               "Desinstalar o Vell Mora?");
  ImGui::SetCursorPos(ImVec2(20, 48));
  ImGui::PushTextWrapPos(380);
  ImGui::TextWrapped("%s",
                     "Somente os arquivos, serviços, atalhos e registros do Vell Mora serão "
                     "removidos. Outros emuladores serão preservados.");
  ImGui::PopTextWrapPos();
  ImGui::SetCursorPos(ImVec2(20, 133));
  if (ImGui::Button("Cancelar", ImVec2(160, 32))) ImGui::CloseCurrentPopup();
  ImGui::SameLine();
  if (ImGui::Button("Desinstalar", ImVec2(180, 32))) {
    ImGui::CloseCurrentPopup();
    actions_.StartCleanup();
    FollowStartedOperation();
  }
  ImGui::EndPopup();
}

}  // namespace vellmora
