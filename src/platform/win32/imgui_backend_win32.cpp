// Dear ImGui's Win32 platform backend, compiled with its DWM calls taken from dwmapi.dll in the
// system folder at run time: dwmapi is not a known DLL, and a static import would let a planted
// copy beside the executable load first.

#include <windows.h>
#include <dwmapi.h>

#include "platform/win32/system_library.h"

static HRESULT WINAPI LoadedDwmIsCompositionEnabled(BOOL* enabled) {
  static auto function = platform::win32::SystemFunction<decltype(&::DwmIsCompositionEnabled)>(
      L"dwmapi.dll", "DwmIsCompositionEnabled");
  return function ? function(enabled) : E_NOTIMPL;
}

static HRESULT WINAPI LoadedDwmGetColorizationColor(DWORD* colour, BOOL* opaque) {
  static auto function = platform::win32::SystemFunction<decltype(&::DwmGetColorizationColor)>(
      L"dwmapi.dll", "DwmGetColorizationColor");
  return function ? function(colour, opaque) : E_NOTIMPL;
}

static HRESULT WINAPI LoadedDwmEnableBlurBehindWindow(HWND window, const DWM_BLURBEHIND* blur) {
  static auto function = platform::win32::SystemFunction<decltype(&::DwmEnableBlurBehindWindow)>(
      L"dwmapi.dll", "DwmEnableBlurBehindWindow");
  return function ? function(window, blur) : E_NOTIMPL;
}

#define DwmIsCompositionEnabled LoadedDwmIsCompositionEnabled
#define DwmGetColorizationColor LoadedDwmGetColorizationColor
#define DwmEnableBlurBehindWindow LoadedDwmEnableBlurBehindWindow
#include "imgui_impl_win32.cpp"
