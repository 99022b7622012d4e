#pragma once
// The wizard's top-level window: the native window, its graphics device and the Dear ImGui
// platform and renderer backends, driven by a frame loop. win32/ draws with Direct3D 11 into a
// borderless popup window; sim/ opens the same window on the Linux desktop with GLFW and OpenGL 3,
// so that the wizard can be looked at and screenshotted against the simulated machine.
//
// The chrome, the screens and every widget are drawn by the portable wizard inside
// WindowClient::Frame, between the backends' new frame and the render.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

// An HWND; 0 is no window.
using RawWindow = std::intptr_t;

inline constexpr int kWizardWindowWidth = 960;
inline constexpr int kWizardWindowHeight = 600;

struct ScreenPoint {
  int x = 0;
  int y = 0;
};

// Where the window goes in a monitor's work area (left, top, width, height): centred, or at the
// area's top-left corner along an axis where the area is smaller than the window.
constexpr ScreenPoint CentredWindowOrigin(int left, int top, int width, int height) {
  const int dx = (width - kWizardWindowWidth) / 2;
  const int dy = (height - kWizardWindowHeight) / 2;
  return {left + (dx > 0 ? dx : 0), top + (dy > 0 ? dy : 0)};
}

// Decoded RGBA pixels, 4 bytes each, rows top to bottom.
struct RgbaImage {
  int width = 0;
  int height = 0;
  const unsigned char* pixels = nullptr;
};

// The live window, for the wizard.
class WindowHost {
 public:
  virtual ~WindowHost() = default;
  virtual RawWindow Handle() = 0;
  // PostMessage(WM_CLOSE): the window procedure asks WindowClient::MayClose first.
  virtual void PostCloseRequest() = 0;
  // ShowWindow(SW_MINIMIZE).
  virtual void Minimise() = 0;
  // The window's top-left corner and the cursor, in screen pixels.
  virtual ScreenPoint WindowTopLeft() = 0;
  virtual ScreenPoint CursorPosition() = 0;
  // SetWindowPos without resizing, z-order change or activation.
  virtual void MoveTo(ScreenPoint top_left) = 0;
  // An immutable RGBA texture of the device (an ImTextureID), 0 when the device refuses it.
  // Textures live until the window is torn down.
  virtual std::uint64_t CreateTexture(const RgbaImage& image) = 0;
};

class WindowClient {
 public:
  virtual ~WindowClient() = default;
  // Once, after the Dear ImGui context and both backends exist: fonts, style and textures.
  virtual void Start(WindowHost& host) = 0;
  // Every frame, between ImGui::NewFrame and ImGui::Render.
  virtual void Frame(WindowHost& host) = 0;
  // A close request (close button, taskbar, Alt+F4): destroy the window only when true.
  virtual bool MayClose() = 0;
};

// Creates the 960 x 600 window titled "Vellmora Installer" centred in the primary monitor's work
// area, the device and the Dear ImGui context, runs the frame loop (one frame per display refresh)
// until the window has been destroyed, then tears everything down. Returns false at once, with
// nothing shown, when no device can be created.
bool RunWizardWindow(WindowClient& client);

// MessageBoxW. The result is the button pressed (IDOK = 1), 0 on failure.
inline constexpr std::uint32_t kMbIconExclamation = 0x00000030;
int MessageBoxW(RawWindow owner, const std::wstring& text, const std::wstring& caption,
                std::uint32_t type);

}  // namespace platform
