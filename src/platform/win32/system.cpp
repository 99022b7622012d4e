#include <windows.h>
#include <objbase.h>

#include <atomic>

#include "platform/system.h"
#include "platform/win32/hresult.h"

namespace platform {
namespace {

std::atomic<UnhandledExceptionFilter> g_exception_filter{nullptr};

LONG WINAPI ExceptionFilterTrampoline(EXCEPTION_POINTERS* pointers) {
  UnhandledExceptionFilter filter = g_exception_filter.load();
  if (!filter) return EXCEPTION_CONTINUE_SEARCH;
  ExceptionDetails details;
  if (pointers && pointers->ExceptionRecord) {
    details.has_record = true;
    details.code = pointers->ExceptionRecord->ExceptionCode;
    details.address = pointers->ExceptionRecord->ExceptionAddress;
  }
  return filter(details);
}

Guid FromGuid(const GUID& system) {
  Guid guid;
  guid.data1 = system.Data1;
  guid.data2 = system.Data2;
  guid.data3 = system.Data3;
  for (int i = 0; i < 8; ++i) guid.data4[i] = system.Data4[i];
  return guid;
}

}  // namespace

std::uint32_t GetCurrentProcessId() { return ::GetCurrentProcessId(); }

std::uint32_t GetCurrentThreadId() { return ::GetCurrentThreadId(); }

SystemTime GetLocalTime() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  SystemTime time;
  time.year = now.wYear;
  time.month = now.wMonth;
  time.day_of_week = now.wDayOfWeek;
  time.day = now.wDay;
  time.hour = now.wHour;
  time.minute = now.wMinute;
  time.second = now.wSecond;
  time.milliseconds = now.wMilliseconds;
  return time;
}

std::uint64_t GetTickCount64() { return ::GetTickCount64(); }

void Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

Win32Error CoCreateGuid(Guid* guid) {
  GUID created{};
  HRESULT result = ::CoCreateGuid(&created);
  if (FAILED(result)) return win32::ErrorFromHresult(result);
  *guid = FromGuid(created);
  return kErrorSuccess;
}

Win32Error CLSIDFromString(const std::wstring& text, Guid* guid) {
  CLSID parsed{};
  HRESULT result = ::CLSIDFromString(text.c_str(), &parsed);
  if (FAILED(result)) return win32::ErrorFromHresult(result);
  *guid = FromGuid(parsed);
  return kErrorSuccess;
}

void OutputDebugStringA(const std::string& text) { ::OutputDebugStringA(text.c_str()); }

void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) {
  g_exception_filter.store(filter);
  ::SetUnhandledExceptionFilter(filter ? ExceptionFilterTrampoline : nullptr);
}

}  // namespace platform
