#pragma once
// Process identity, clocks, GUIDs, the debugger channel and the last-chance exception filter.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace platform {

std::uint32_t GetCurrentProcessId();
std::uint32_t GetCurrentThreadId();

struct SystemTime {  // SYSTEMTIME
  std::uint16_t year = 0;
  std::uint16_t month = 0;
  std::uint16_t day_of_week = 0;
  std::uint16_t day = 0;
  std::uint16_t hour = 0;
  std::uint16_t minute = 0;
  std::uint16_t second = 0;
  std::uint16_t milliseconds = 0;
};
SystemTime GetLocalTime();
// Milliseconds since the system started; never goes backwards.
std::uint64_t GetTickCount64();
void Sleep(std::uint32_t milliseconds);

struct Guid {  // GUID
  std::uint32_t data1 = 0;
  std::uint16_t data2 = 0;
  std::uint16_t data3 = 0;
  std::uint8_t data4[8] = {};
};
// CoCreateGuid: a new random GUID.
Win32Error CoCreateGuid(Guid* guid);
// CLSIDFromString: the GUID a braced text ("{8-4-4-4-12}", hexadecimal digits of either case)
// stands for; kErrorClassString when the text is no such GUID (nor, on Windows, a registered
// ProgID).
inline constexpr Win32Error kErrorClassString = 0x800401F3;  // CO_E_CLASSSTRING
Win32Error CLSIDFromString(const std::wstring& text, Guid* guid);

// OutputDebugStringA: text for an attached debugger.
void OutputDebugStringA(const std::string& text);

// What the last-chance filter learns of the exception, from EXCEPTION_POINTERS.
struct ExceptionDetails {
  bool has_record = false;             // false when no exception record was available
  std::uint32_t code = 0;              // ExceptionCode, 0 without a record
  const void* address = nullptr;       // ExceptionAddress, null without a record
};
inline constexpr long kExceptionExecuteHandler = 1;
using UnhandledExceptionFilter = long (*)(const ExceptionDetails& details);
// SetUnhandledExceptionFilter: the filter runs on the faulting thread for any exception nothing
// else handled; returning kExceptionExecuteHandler ends the process without the system's error
// dialog. abort() and std::terminate raise no exception and never reach it.
void SetUnhandledExceptionFilter(UnhandledExceptionFilter filter);

}  // namespace platform
