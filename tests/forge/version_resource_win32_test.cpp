// The forged programs as Windows itself reads them: the version API, the loader and a run.

#include <windows.h>

#include <vector>

#include "forge_test_support.h"

namespace forge_test {
namespace {

struct Versions {
  bool read = false;
  DWORD file_ms = 0, file_ls = 0, product_ms = 0, product_ls = 0;
  std::wstring product_text;
};

Versions ReadVersions(const std::filesystem::path& file) {
  Versions versions;
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return versions;
  std::vector<unsigned char> block(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, block.data())) return versions;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixed_size = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) ||
      fixed_size < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD)
    return versions;
  versions.file_ms = fixed->dwFileVersionMS;
  versions.file_ls = fixed->dwFileVersionLS;
  versions.product_ms = fixed->dwProductVersionMS;
  versions.product_ls = fixed->dwProductVersionLS;
  wchar_t* text = nullptr;
  UINT length = 0;
  if (VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                     reinterpret_cast<void**>(&text), &length) && length > 0)
    versions.product_text.assign(text, length - 1);
  versions.read = true;
  return versions;
}

TEST_F(ForgeTest, WindowsReadsTheVersionsOfVellmoraExe) {
  struct Row {
    const char* file;
    const char* product;
    DWORD file_ms, file_ls, product_ms, product_ls;
    const wchar_t* product_text;
  };
  const Row rows[] = {
      {"3.9.1.0", "3.9.1.0", 0x00030009, 0x00010000, 0x00030009, 0x00010000, L"3.9.1.0"},
      {"3.9.0.0", "3.9.1.2", 0x00030009, 0x00000000, 0x00030009, 0x00010002, L"3.9.1.2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    forge::PackageOptions options;
    options.file_version = row.file;
    options.product_version = row.product;
    std::filesystem::remove_all(In("tree"));
    std::string error;
    ASSERT_TRUE(forge::LayOutPackageTree(options, In("tree"), &error)) << error;
    const Versions versions = ReadVersions(In("tree/payload/ProgramFiles/Vellmora/Vellmora.exe"));
    ASSERT_TRUE(versions.read);
    EXPECT_EQ(versions.file_ms, row.file_ms);
    EXPECT_EQ(versions.file_ls, row.file_ls);
    EXPECT_EQ(versions.product_ms, row.product_ms);
    EXPECT_EQ(versions.product_ls, row.product_ls);
    EXPECT_EQ(versions.product_text, row.product_text);
  }
}

TEST_F(ForgeTest, TheForgedProgramsLoadAndRun) {
  // With and without a data section of their own.
  forge::PackageOptions options;
  options.pe_read_only_data["Vellmora.exe"] = std::string("Vellmora.exe\0VLMServ.exe\0", 25);
  options.pe_read_only_data["KolvRT.dll"] = std::string(5000, 'x');
  std::string error;
  ASSERT_TRUE(forge::LayOutPackageTree(options, In("tree"), &error)) << error;
  const auto dir = In("tree/payload/ProgramFiles/Vellmora");
  for (const char* name : {"Vellmora.exe", "KolvSVC.exe"}) {
    SCOPED_TRACE(name);
    std::wstring line = L"\"" + (dir / name).wstring() + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW((dir / name).c_str(), line.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
        << GetLastError();
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  for (const char* name : {"KolvC.dll", "KolvRT.dll", "KolvProxyStub.dll"}) {
    SCOPED_TRACE(name);
    HMODULE module = LoadLibraryExW((dir / name).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    ASSERT_NE(module, nullptr) << GetLastError();
    EXPECT_TRUE(FreeLibrary(module));
  }
}

}  // namespace
}  // namespace forge_test
