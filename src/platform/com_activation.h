#pragma once
// COM as a client of a local server needs it: initialising COM on the calling thread, creating
// an instance of a class served by another process (CoCreateInstance with CLSCTX_LOCAL_SERVER)
// and asking it for one interface, releasing that interface. Class ids are decoded by
// CLSIDFromString of system.h.
// Results are HRESULTs, printed by callers as "0x%08lX".

#include <cstdint>
#include <string>

#include "platform/system.h"
#include "platform/types.h"

namespace platform {

using HResult = std::uint32_t;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;                       // COM was already initialised so
inline constexpr HResult kENoInterface = 0x80004002;        // the object lacks the interface
inline constexpr HResult kEInvalidArg = 0x80070057;
inline constexpr HResult kCoENotInitialized = 0x800401F0;
inline constexpr HResult kRegdbEClassNotReg = 0x80040154;   // no registered server for the class
inline constexpr HResult kCoEServerExecFailure = 0x80080005;
inline constexpr HResult kRpcEChangedMode = 0x80010106;     // the thread chose another model
inline constexpr HResult kFileNotFoundHResult = 0x80070002;  // HRESULT_FROM_WIN32(2)

inline bool Succeeded(HResult result) { return (result & 0x80000000u) == 0; }

// CoInitializeEx flags and CLSCTX values.
inline constexpr std::uint32_t kCoinitMultithreaded = 0x0;
inline constexpr std::uint32_t kCoinitApartmentThreaded = 0x2;
inline constexpr std::uint32_t kClsctxLocalServer = 0x4;

// CoInitializeEx on the calling thread: kSOk the first time, kSFalse when the thread already
// has the same model, kRpcEChangedMode when it chose the other one (COM stays as it was).
HResult CoInitializeEx(std::uint32_t coinit);
// CoUninitialize: undoes one successful CoInitializeEx (kSOk or kSFalse) of the thread.
void CoUninitialize();

// An interface pointer the caller holds; released (IUnknown::Release) when it goes out of scope.
struct ComInterfaceKind;
using ComInterface = OwnedHandle<ComInterfaceKind>;
template <>
void OwnedHandle<ComInterfaceKind>::Close();  // IUnknown::Release

// CoCreateInstance without an outer object: the class's server is found in the registry as COM
// finds it (HKEY_CLASSES_ROOT\CLSID\{clsid}\LocalServer32 for kClsctxLocalServer), started when it
// is not running, and asked for iid, which is marshalled through the proxy registered for it.
HResult CoCreateInstance(const Guid& clsid, std::uint32_t context, const Guid& iid,
                         ComInterface* object);

}  // namespace platform
