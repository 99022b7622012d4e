// Dear ImGui's Direct3D 11 renderer backend, compiled with its shader compiler taken from
// d3dcompiler_47.dll in the system folder at run time instead of a static import (the DLL is not a
// known DLL; a planted copy beside the executable would otherwise load first).

#include <windows.h>
#include <d3dcompiler.h>

#include "platform/win32/system_library.h"

static HRESULT WINAPI LoadedD3DCompile(LPCVOID source, SIZE_T size, LPCSTR name,
                                       const D3D_SHADER_MACRO* defines, ID3DInclude* include,
                                       LPCSTR entry, LPCSTR target, UINT flags1, UINT flags2,
                                       ID3DBlob** code, ID3DBlob** errors) {
  static auto function = platform::win32::SystemFunction<decltype(&::D3DCompile)>(
      L"d3dcompiler_47.dll", "D3DCompile");
  if (!function) return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  return function(source, size, name, defines, include, entry, target, flags1, flags2, code, errors);
}

#define D3DCompile LoadedD3DCompile
#include "imgui_impl_dx11.cpp"
