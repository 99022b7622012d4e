#include <windows.h>
#include <exdisp.h>
#include <servprov.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shlguid.h>
#include <shobjidl.h>

#include "platform/shell.h"
#include "platform/win32/hresult.h"

namespace platform {
namespace {

Win32Error ErrorOfShellExecute(HINSTANCE result) {
  auto code = reinterpret_cast<INT_PTR>(result);
  if (code > 32) return kErrorSuccess;
  // Values up to 32 are the old WinExec codes; the common ones equal the Win32 errors.
  switch (code) {
    case 0: return ERROR_OUTOFMEMORY;
    case SE_ERR_ACCESSDENIED: return ERROR_ACCESS_DENIED;
    case SE_ERR_FNF: return ERROR_FILE_NOT_FOUND;
    case SE_ERR_PNF: return ERROR_PATH_NOT_FOUND;
    case SE_ERR_NOASSOC: return ERROR_NO_ASSOCIATION;
    default: {
      DWORD error = ::GetLastError();
      return error ? error : ERROR_GEN_FAILURE;
    }
  }
}

// Releases a COM interface pointer when it goes out of scope.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  ~ComPtr() {
    if (pointer_) pointer_->Release();
  }
  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  Interface** Put() { return &pointer_; }
  void** PutVoid() { return reinterpret_cast<void**>(&pointer_); }

 private:
  Interface* pointer_ = nullptr;
};

class Variant {
 public:
  Variant() { ::VariantInit(&value_); }
  explicit Variant(const std::wstring& text) : Variant() {
    value_.vt = VT_BSTR;
    value_.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
  explicit Variant(int number) : Variant() {
    value_.vt = VT_I4;
    value_.lVal = number;
  }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { ::VariantClear(&value_); }
  VARIANT* Get() { return &value_; }
  const VARIANT& Value() const { return value_; }

 private:
  VARIANT value_;
};

// COM on the calling thread for one call; uninitialised only when this call initialised it.
class ApartmentScope {
 public:
  ApartmentScope()
      : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ApartmentScope(const ApartmentScope&) = delete;
  ApartmentScope& operator=(const ApartmentScope&) = delete;
  ~ApartmentScope() {
    if (initialised_) ::CoUninitialize();
  }

 private:
  bool initialised_;
};

}  // namespace

Win32Error ShellExecuteOpenW(const Path& path) {
  return ErrorOfShellExecute(
      ::ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

Win32Error ShellExecuteW(const std::wstring& verb, const Path& file, const std::wstring& parameters,
                         const Path& directory, int show) {
  return ErrorOfShellExecute(::ShellExecuteW(nullptr, verb.c_str(), file.c_str(),
                                             parameters.c_str(), directory.c_str(), show));
}

Win32Error ShellExecuteFromDesktopW(const std::wstring& verb, const Path& file,
                                    const std::wstring& parameters, const Path& directory,
                                    int show, std::string* failed_step) {
  ApartmentScope apartment;
  auto failed = [&](const char* step, HRESULT result) {
    *failed_step = step;
    // A step that "succeeds" without an object is a missing interface all the same.
    return win32::ErrorFromHresult(FAILED(result) ? result : E_NOINTERFACE);
  };

  ComPtr<IShellWindows> windows;
  HRESULT result = ::CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER,
                                      IID_IShellWindows, windows.PutVoid());
  if (FAILED(result) || !windows.Get()) return failed("CoCreateInstance(ShellWindows)", result);

  Variant location(CSIDL_DESKTOP);
  Variant root;
  long window = 0;
  ComPtr<IDispatch> desktop;
  result = windows->FindWindowSW(location.Get(), root.Get(), SWC_DESKTOP, &window,
                                 SWFO_NEEDDISPATCH, desktop.Put());
  // S_FALSE: no desktop window is registered.
  if (result != S_OK || !desktop.Get()) return failed("FindWindowSW", result);

  ComPtr<IServiceProvider> services;
  result = desktop->QueryInterface(IID_IServiceProvider, services.PutVoid());
  if (FAILED(result) || !services.Get()) return failed("IServiceProvider", result);
  ComPtr<IShellBrowser> browser;
  result = services->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.PutVoid());
  if (FAILED(result) || !browser.Get()) return failed("QueryService(SID_STopLevelBrowser)", result);
  ComPtr<IShellView> view;
  result = browser->QueryActiveShellView(view.Put());
  if (FAILED(result) || !view.Get()) return failed("QueryActiveShellView", result);
  ComPtr<IDispatch> background;
  result = view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid());
  if (FAILED(result) || !background.Get()) return failed("GetItemObject(SVGIO_BACKGROUND)", result);
  ComPtr<IShellFolderViewDual> folder_view;
  result = background->QueryInterface(IID_IShellFolderViewDual, folder_view.PutVoid());
  if (FAILED(result) || !folder_view.Get()) return failed("IShellFolderViewDual", result);
  ComPtr<IDispatch> application;
  result = folder_view->get_Application(application.Put());
  if (FAILED(result) || !application.Get()) return failed("get_Application", result);
  ComPtr<IShellDispatch2> shell;
  result = application->QueryInterface(IID_IShellDispatch2, shell.PutVoid());
  if (FAILED(result) || !shell.Get()) return failed("IShellDispatch2", result);

  BSTR file_text = ::SysAllocStringLen(file.data(), static_cast<UINT>(file.size()));
  Variant arguments(parameters);
  Variant folder(directory);
  Variant operation(verb);
  Variant show_command(show);
  result = shell->ShellExecute(file_text, arguments.Value(), folder.Value(), operation.Value(),
                               show_command.Value());
  ::SysFreeString(file_text);
  if (FAILED(result)) return failed("IShellDispatch2::ShellExecute", result);
  return kErrorSuccess;
}

}  // namespace platform
