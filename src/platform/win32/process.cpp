#include <windows.h>
#include <tlhelp32.h>

#include <vector>

#include "platform/process.h"

namespace platform {
namespace {

HANDLE HandleOf(RawHandle handle) { return reinterpret_cast<HANDLE>(handle); }
RawHandle RawOf(HANDLE handle) { return reinterpret_cast<RawHandle>(handle); }
HANDLE StdHandleOf(RawHandle handle) { return handle == kNoHandle ? nullptr : HandleOf(handle); }

}  // namespace

Win32Error CreateProcessW(const std::wstring& command_line, bool inherit_handles,
                          std::uint32_t creation_flags, const StartupInfo& startup,
                          ProcessInformation* information) {
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::vector<wchar_t> line(command_line.begin(), command_line.end());
  line.push_back(L'\0');
  STARTUPINFOW info{};
  info.cb = sizeof info;
  if (startup.use_show_window) {
    info.dwFlags |= STARTF_USESHOWWINDOW;
    info.wShowWindow = startup.show_window;
  }
  if (startup.use_std_handles) {
    info.dwFlags |= STARTF_USESTDHANDLES;
    info.hStdInput = StdHandleOf(startup.std_input);
    info.hStdOutput = StdHandleOf(startup.std_output);
    info.hStdError = StdHandleOf(startup.std_error);
  }
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit_handles ? TRUE : FALSE,
                        creation_flags, nullptr, nullptr, &info, &process)) {
    return ::GetLastError();
  }
  information->process.Reset(RawOf(process.hProcess));
  information->thread.Reset(RawOf(process.hThread));
  information->process_id = process.dwProcessId;
  information->thread_id = process.dwThreadId;
  return kErrorSuccess;
}

Win32Error TerminateProcess(RawHandle process, std::uint32_t exit_code) {
  return ::TerminateProcess(HandleOf(process), exit_code) ? kErrorSuccess : ::GetLastError();
}

Win32Error GetExitCodeProcess(RawHandle process, std::uint32_t* exit_code) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(HandleOf(process), &code)) return ::GetLastError();
  *exit_code = code;
  return kErrorSuccess;
}

Win32Error CreatePipe(bool inheritable, UniqueHandle* read_end, UniqueHandle* write_end) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = inheritable ? TRUE : FALSE;
  HANDLE read = nullptr;
  HANDLE write = nullptr;
  if (!::CreatePipe(&read, &write, &attributes, 0)) return ::GetLastError();
  read_end->Reset(RawOf(read));
  write_end->Reset(RawOf(write));
  return kErrorSuccess;
}

Win32Error SetHandleInformation(RawHandle handle, std::uint32_t mask, std::uint32_t flags) {
  return ::SetHandleInformation(HandleOf(handle), mask, flags) ? kErrorSuccess : ::GetLastError();
}

Win32Error PeekNamedPipe(RawHandle pipe, std::uint32_t* bytes_available) {
  DWORD available = 0;
  if (!::PeekNamedPipe(HandleOf(pipe), nullptr, 0, nullptr, &available, nullptr)) {
    return ::GetLastError();
  }
  *bytes_available = available;
  return kErrorSuccess;
}

Win32Error GetTempFileNameW(const Path& directory, const std::wstring& prefix, Path* file_name) {
  wchar_t name[MAX_PATH + 1] = {};
  if (::GetTempFileNameW(directory.c_str(), prefix.c_str(), 0, name) == 0) return ::GetLastError();
  file_name->assign(name);
  return kErrorSuccess;
}

Win32Error OemToWide(const std::string& bytes, std::wstring* text) {
  text->clear();
  if (bytes.empty()) return kErrorSuccess;
  int size = static_cast<int>(bytes.size());
  int length = ::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, nullptr, 0);
  if (length <= 0) return ::GetLastError();
  std::wstring converted(static_cast<std::size_t>(length), L'\0');
  if (::MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), size, converted.data(), length) <= 0) {
    return ::GetLastError();
  }
  *text = std::move(converted);
  return kErrorSuccess;
}

Win32Error ListProcesses(std::vector<ProcessEntry>* entries) {
  entries->clear();
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return ::GetLastError();
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  Win32Error error = kErrorSuccess;
  if (!::Process32FirstW(snapshot, &entry)) {
    error = ::GetLastError();
  } else {
    do {
      entries->push_back({entry.th32ProcessID, entry.szExeFile});
      entry.dwSize = sizeof entry;
    } while (::Process32NextW(snapshot, &entry));
    DWORD last = ::GetLastError();
    if (last != ERROR_NO_MORE_FILES) error = last;
  }
  ::CloseHandle(snapshot);
  return error;
}

Win32Error OpenProcess(std::uint32_t access, std::uint32_t process_id, UniqueHandle* process) {
  HANDLE opened = ::OpenProcess(access, FALSE, process_id);
  if (!opened) return ::GetLastError();
  process->Reset(RawOf(opened));
  return kErrorSuccess;
}

Win32Error QueryFullProcessImageNameW(RawHandle process, Path* image_path) {
  std::vector<wchar_t> buffer(32768);
  DWORD size = static_cast<DWORD>(buffer.size());
  if (!::QueryFullProcessImageNameW(HandleOf(process), 0, buffer.data(), &size)) {
    return ::GetLastError();
  }
  image_path->assign(buffer.data(), size);
  return kErrorSuccess;
}

}  // namespace platform
