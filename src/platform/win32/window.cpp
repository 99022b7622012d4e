// The wizard's window on Windows: a borderless, topmost popup of 960 x 600 drawn by Dear ImGui over
// Direct3D 11. d3d11.dll and dwmapi.dll are not known DLLs, so their functions are taken from the
// system folder at run time (system_library.h), as the ImGui backends' are.

#include <windows.h>
#include <d3d11.h>
#include <dwmapi.h>

#include <vector>

#include "imgui.h"
#include "imgui_impl_dx11.h"
#include "imgui_impl_win32.h"
#include "platform/window.h"
#include "platform/win32/system_library.h"

extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND window, UINT message, WPARAM w,
                                                             LPARAM l);

namespace platform {
namespace {

constexpr wchar_t kWindowClass[] = L"VellmoraInstallerWindow";
constexpr int kAppIconResource = 101;

struct WindowState {
  HWND window = nullptr;
  ID3D11Device* device = nullptr;
  ID3D11DeviceContext* device_context = nullptr;
  IDXGISwapChain* swap_chain = nullptr;
  ID3D11RenderTargetView* render_target_view = nullptr;
  UINT resize_width = 0;
  UINT resize_height = 0;
  WindowClient* client = nullptr;
};

WindowState g_state;  // the wizard thread's; the window procedure runs on it too

template <typename T>
void Release(T*& object) {
  if (object) object->Release();
  object = nullptr;
}

bool CreateRenderTarget() {
  ID3D11Texture2D* back_buffer = nullptr;
  if (FAILED(g_state.swap_chain->GetBuffer(0, IID_PPV_ARGS(&back_buffer))) || !back_buffer) return false;
  HRESULT result = g_state.device->CreateRenderTargetView(back_buffer, nullptr, &g_state.render_target_view);
  back_buffer->Release();
  return SUCCEEDED(result);
}

bool CreateDevice(HWND window) {
  auto create = win32::SystemFunction<decltype(&::D3D11CreateDeviceAndSwapChain)>(
      L"d3d11.dll", "D3D11CreateDeviceAndSwapChain");
  if (!create) return false;
  DXGI_SWAP_CHAIN_DESC description{};
  description.BufferCount = 2;
  description.BufferDesc.Width = 0;  // from the window
  description.BufferDesc.Height = 0;
  description.BufferDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  description.BufferDesc.RefreshRate.Numerator = 60;
  description.BufferDesc.RefreshRate.Denominator = 1;
  description.Flags = DXGI_SWAP_CHAIN_FLAG_ALLOW_MODE_SWITCH;
  description.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
  description.OutputWindow = window;
  description.SampleDesc.Count = 1;
  description.Windowed = TRUE;
  description.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
  const D3D_FEATURE_LEVEL levels[] = {D3D_FEATURE_LEVEL_11_0, D3D_FEATURE_LEVEL_10_0};
  D3D_FEATURE_LEVEL obtained{};
  HRESULT result = create(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, 0, levels, 2, D3D11_SDK_VERSION,
                          &description, &g_state.swap_chain, &g_state.device, &obtained,
                          &g_state.device_context);
  if (result == DXGI_ERROR_UNSUPPORTED) {  // no hardware driver: the WARP software rasteriser
    result = create(nullptr, D3D_DRIVER_TYPE_WARP, nullptr, 0, levels, 2, D3D11_SDK_VERSION,
                    &description, &g_state.swap_chain, &g_state.device, &obtained,
                    &g_state.device_context);
  }
  if (FAILED(result)) return false;
  return CreateRenderTarget();
}

void ReleaseDevice() {
  Release(g_state.render_target_view);
  Release(g_state.swap_chain);
  Release(g_state.device_context);
  Release(g_state.device);
}

LRESULT WINAPI InstallerWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  ImGui_ImplWin32_WndProcHandler(window, message, w, l);
  switch (message) {
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    case WM_SIZE:
      if (w != SIZE_MINIMIZED) {
        g_state.resize_width = LOWORD(l);
        g_state.resize_height = HIWORD(l);
      }
      return 0;
    case WM_CLOSE:
      // Closing while an operation runs is impossible: button, taskbar and Alt+F4 alike.
      if (!g_state.client || g_state.client->MayClose()) ::DestroyWindow(window);
      return 0;
    case WM_MOUSEACTIVATE:
      return MA_ACTIVATE;
    case WM_SYSCOMMAND:
      if ((w & 0xFFF0) == SC_KEYMENU) return 0;  // Alt opens no window menu
      break;
    default:
      break;
  }
  return ::DefWindowProcW(window, message, w, l);
}

class Win32WindowHost : public WindowHost {
 public:
  ~Win32WindowHost() override {
    for (ID3D11ShaderResourceView* view : textures_) view->Release();
  }
  RawWindow Handle() override { return reinterpret_cast<RawWindow>(g_state.window); }
  void PostCloseRequest() override { ::PostMessageW(g_state.window, WM_CLOSE, 0, 0); }
  void Minimise() override { ::ShowWindow(g_state.window, SW_MINIMIZE); }
  ScreenPoint WindowTopLeft() override {
    RECT rect{};
    ::GetWindowRect(g_state.window, &rect);
    return {rect.left, rect.top};
  }
  ScreenPoint CursorPosition() override {
    POINT point{};
    ::GetCursorPos(&point);
    return {point.x, point.y};
  }
  void MoveTo(ScreenPoint top_left) override {
    ::SetWindowPos(g_state.window, nullptr, top_left.x, top_left.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  std::uint64_t CreateTexture(const RgbaImage& image) override {
    if (!g_state.device || image.width <= 0 || image.height <= 0 || !image.pixels) return 0;
    D3D11_TEXTURE2D_DESC description{};
    description.Width = static_cast<UINT>(image.width);
    description.Height = static_cast<UINT>(image.height);
    description.MipLevels = 1;
    description.ArraySize = 1;
    description.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    description.SampleDesc.Count = 1;
    description.Usage = D3D11_USAGE_DEFAULT;
    description.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    D3D11_SUBRESOURCE_DATA data{};
    data.pSysMem = image.pixels;
    data.SysMemPitch = description.Width * 4;
    ID3D11Texture2D* texture = nullptr;
    if (FAILED(g_state.device->CreateTexture2D(&description, &data, &texture)) || !texture) return 0;
    D3D11_SHADER_RESOURCE_VIEW_DESC view_description{};
    view_description.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    view_description.ViewDimension = D3D11_SRV_DIMENSION_TEXTURE2D;
    view_description.Texture2D.MipLevels = 1;
    ID3D11ShaderResourceView* view = nullptr;
    HRESULT result = g_state.device->CreateShaderResourceView(texture, &view_description, &view);
    texture->Release();
    if (FAILED(result) || !view) return 0;
    textures_.push_back(view);
    return reinterpret_cast<std::uint64_t>(view);
  }

 private:
  std::vector<ID3D11ShaderResourceView*> textures_;
};

POINT CentredPosition() {
  RECT area{};
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  const ScreenPoint origin =
      CentredWindowOrigin(area.left, area.top, area.right - area.left, area.bottom - area.top);
  return {origin.x, origin.y};
}

void ExtendFrameAndFlush(HWND window) {
  auto extend = win32::SystemFunction<decltype(&::DwmExtendFrameIntoClientArea)>(
      L"dwmapi.dll", "DwmExtendFrameIntoClientArea");
  auto flush = win32::SystemFunction<decltype(&::DwmFlush)>(L"dwmapi.dll", "DwmFlush");
  const MARGINS margins = {-1, -1, -1, -1};  // transparent pixels (the corners) show the desktop
  if (extend) extend(window, &margins);
  ::ShowWindow(window, SW_SHOWDEFAULT);
  ::UpdateWindow(window);
  ::SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  if (flush) flush();
}

}  // namespace

bool RunWizardWindow(WindowClient& client) {
  using SetAwareness = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
  if (auto set_awareness = win32::SystemFunction<SetAwareness>(L"user32.dll",
                                                               "SetProcessDpiAwarenessContext")) {
    set_awareness(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  }
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(kAppIconResource));
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.style = CS_CLASSDC;
  window_class.lpfnWndProc = InstallerWindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = icon;
  window_class.hIconSm = icon;
  window_class.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClass;
  ::RegisterClassExW(&window_class);

  const POINT position = CentredPosition();
  g_state = WindowState{};
  g_state.window = ::CreateWindowExW(0, kWindowClass, L"Vellmora Installer", WS_POPUP, position.x,
                                     position.y, kWizardWindowWidth, kWizardWindowHeight, nullptr,
                                     nullptr, instance, nullptr);
  auto tear_down_window = [&] {
    if (g_state.window && ::IsWindow(g_state.window)) ::DestroyWindow(g_state.window);
    g_state.window = nullptr;
    ::UnregisterClassW(kWindowClass, instance);
    if (icon) ::DestroyIcon(icon);
  };
  if (!g_state.window) {
    tear_down_window();
    return false;
  }
  ::SendMessageW(g_state.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  ::SendMessageW(g_state.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  if (!CreateDevice(g_state.window)) {
    ReleaseDevice();
    tear_down_window();
    return false;
  }

  {
    Win32WindowHost host;
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui::StyleColorsDark();
    ImGui_ImplWin32_Init(g_state.window);
    ImGui_ImplDX11_Init(g_state.device, g_state.device_context);
    client.Start(host);  // fonts and the three images
    ExtendFrameAndFlush(g_state.window);
    g_state.client = &client;

    for (bool done = false; !done;) {
      MSG message;
      while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
        if (message.message == WM_QUIT) done = true;
      }
      if (done) break;
      if (g_state.resize_width != 0 && g_state.resize_height != 0) {
        Release(g_state.render_target_view);
        g_state.swap_chain->ResizeBuffers(0, g_state.resize_width, g_state.resize_height,
                                          DXGI_FORMAT_UNKNOWN, 0);
        g_state.resize_width = g_state.resize_height = 0;
        CreateRenderTarget();
      }
      ImGui_ImplDX11_NewFrame();
      ImGui_ImplWin32_NewFrame();
      ImGui::NewFrame();
      client.Frame(host);
      ImGui::Render();
      const float clear[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      g_state.device_context->OMSetRenderTargets(1, &g_state.render_target_view, nullptr);
      g_state.device_context->ClearRenderTargetView(g_state.render_target_view, clear);
      ImGui_ImplDX11_RenderDrawData(ImGui::GetDrawData());
      g_state.swap_chain->Present(1, 0);
    }
    g_state.client = nullptr;
    ImGui_ImplDX11_Shutdown();
    ImGui_ImplWin32_Shutdown();
    ImGui::DestroyContext();
  }  // the textures go with the host
  ReleaseDevice();
  tear_down_window();
  return true;
}

int MessageBoxW(RawWindow owner, const std::wstring& text, const std::wstring& caption,
                std::uint32_t type) {
  return ::MessageBoxW(reinterpret_cast<HWND>(owner), text.c_str(), caption.c_str(), type);
}

}  // namespace platform
