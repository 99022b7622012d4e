// The normalised forged Engine as Windows itself takes it: every PE file loads, as a data file and
// as an image, and carries the checksum the system's image help computes.
#ifdef _WIN32

#include <windows.h>

#include "app/path_helpers.h"
#include "app/text.h"
#include "engine/engine_templates.h"
#include "engine/engine_test.h"
#include "engine/path_normalization.h"
#include "platform/files.h"
#include "platform/image_help.h"

namespace vellmora::testing {
namespace {

class NormalizedEngineTest : public EngineTest {};

TEST_F(NormalizedEngineTest, EveryPatchedPeFileLoadsAndHasTheSystemsChecksum) {
  forge::PackageOptions options;
  options.pe_read_only_data["KolvVMM.dll"] = "DO-Rarari_kta5|" + Utf16("KolvRT.dll");
  options.pe_read_only_data["KolvC.dll"] = Utf16("DO-Rarari_kta5") + "|_vlm5";
  options.pe_read_only_data["Vellmora.exe"] = "pellucador.conf|" + Utf16("QorMetaData.json");
  StageForgedEngine(options);
  std::string error;
  ASSERT_TRUE(MaterializeEngineTemplates(pd_, &error, engine_)) << error;
  ASSERT_TRUE(NormalizeEnginePaths(engine_, pf_, pd_, la_)) << LogText();

  std::vector<platform::DirectoryEntry> entries;
  ASSERT_EQ(platform::ListDirectory(pf_, &entries), platform::kErrorSuccess);
  int images = 0;
  for (const auto& entry : entries) {
    if ((entry.status.attributes & platform::kAttributeDirectory) != 0) continue;
    const platform::Path path = JoinPath(pf_, entry.name);
    const std::string bytes = Read(path);
    if (bytes.compare(0, 2, "MZ") != 0) continue;
    ++images;
    std::uint32_t stored = 0;
    std::uint32_t computed = 0;
    ASSERT_TRUE(platform::CheckSumMappedFile(bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                                             &stored, &computed))
        << ToUtf8(entry.name);
    EXPECT_EQ(stored, computed) << ToUtf8(entry.name);
    HMODULE data = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    EXPECT_NE(data, nullptr) << ToUtf8(entry.name) << " " << ::GetLastError();
    if (data) ::FreeLibrary(data);
    const bool library = EqualsIgnoringCase(entry.name.substr(entry.name.size() - 4), L".dll");
    HMODULE image = ::LoadLibraryExW(path.c_str(), nullptr,
                                     library ? 0 : LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    EXPECT_NE(image, nullptr) << ToUtf8(entry.name) << " " << ::GetLastError();
    if (image) ::FreeLibrary(image);
  }
  EXPECT_GE(images, 8);
  const std::string vmm = Read(JoinPath(pf_, L"KolvVMM.dll"));
  EXPECT_NE(vmm.find("DO-Rarari_ovm5|" + Utf16("VLCore.dll")), std::string::npos);
  const std::string player = Read(JoinPath(pf_, L"Vellmora.exe"));
  EXPECT_NE(player.find("VellmoraOX.conf|" + Utf16("VlmMetaData.json")), std::string::npos);
}

}  // namespace
}  // namespace vellmora::testing

#endif  // _WIN32
