#include <windows.h>
#include <shlguid.h>
#include <shobjidl.h>

#include <vector>

#include "platform/shell_link.h"
#include "platform/win32/hresult.h"

namespace platform {
namespace {

// The shell link object with its two interfaces, inside a COM apartment of the calling thread.
class ShellLinkObject {
 public:
  ShellLinkObject()
      : initialised_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    result_ = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&link_));
    if (SUCCEEDED(result_)) {
      result_ = link_->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file_));
    }
  }
  ShellLinkObject(const ShellLinkObject&) = delete;
  ShellLinkObject& operator=(const ShellLinkObject&) = delete;
  ~ShellLinkObject() {
    if (file_) file_->Release();
    if (link_) link_->Release();
    if (initialised_) ::CoUninitialize();
  }
  HRESULT Result() const { return result_; }
  IShellLinkW* Link() const { return link_; }
  IPersistFile* File() const { return file_; }

 private:
  bool initialised_;
  HRESULT result_ = E_FAIL;
  IShellLinkW* link_ = nullptr;
  IPersistFile* file_ = nullptr;
};

// One of IShellLinkW's getters into a buffer of the longest path the shell stores.
template <typename Getter>
std::wstring Read(Getter getter) {
  std::vector<wchar_t> buffer(32768, L'\0');
  if (FAILED(getter(buffer.data(), static_cast<int>(buffer.size())))) return {};
  buffer.back() = L'\0';
  return buffer.data();
}

}  // namespace

Win32Error SaveShellLinkW(const Path& link_path, const ShellLink& link) {
  ShellLinkObject object;
  if (FAILED(object.Result())) return win32::ErrorFromHresult(object.Result());
  object.Link()->SetPath(link.target.c_str());
  object.Link()->SetArguments(link.arguments.c_str());
  object.Link()->SetWorkingDirectory(link.working_directory.c_str());
  object.Link()->SetDescription(link.description.c_str());
  return win32::ErrorFromHresult(object.File()->Save(link_path.c_str(), TRUE));
}

Win32Error LoadShellLinkW(const Path& link_path, ShellLink* link) {
  ShellLinkObject object;
  if (FAILED(object.Result())) return win32::ErrorFromHresult(object.Result());
  HRESULT result = object.File()->Load(link_path.c_str(), STGM_READ);
  if (FAILED(result)) return win32::ErrorFromHresult(result);
  IShellLinkW* shell_link = object.Link();
  *link = {};
  link->target = Read([&](wchar_t* text, int size) {
    return shell_link->GetPath(text, size, nullptr, SLGP_RAWPATH);
  });
  link->arguments = Read([&](wchar_t* text, int size) { return shell_link->GetArguments(text, size); });
  link->working_directory =
      Read([&](wchar_t* text, int size) { return shell_link->GetWorkingDirectory(text, size); });
  link->description =
      Read([&](wchar_t* text, int size) { return shell_link->GetDescription(text, size); });
  link->icon_location = Read([&](wchar_t* text, int size) {
    int index = 0;
    return shell_link->GetIconLocation(text, size, &index);
  });
  return kErrorSuccess;
}

}  // namespace platform
