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
  guid->data1 = created.Data1;
  guid->data2 = created.Data2;
  guid->data3 = created.Data3;
  for (int i = 0; i < 8; ++i) guid->data4[i] = created.Data4[i];
  return kErrorSuccess;
}

void OutputDebugStringA(const std::string& text) { ::OutputDebugStringA(text.c_str()); }

void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter) {
  g_exception_filter.store(filter);
  ::SetUnhandledExceptionFilter(filter ? ExceptionFilterTrampoline : nullptr);
}

}  // namespace platform
