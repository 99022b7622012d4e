#pragma once
// The fixture of the placement tests: an InstallerEngine whose installation lives in the test's
// sandbox (<sandbox>\D\Vellmora, <sandbox>\D\ProgramData\Vellmora, a LocalAppData folder), trees
// written from a list of files, and manifests to compare trees by. On the simulated machine the
// clock is fake, so that 20 transient failures cost no 9.5 s of real waiting.

#include <map>
#include <string>
#include <vector>

#include "app/app_test.h"
#include "app/installer_engine.h"

namespace vellmora::testing {

// Relative path (backslashes) -> content; a trailing "\" marks an empty directory.
using TreeManifest = std::map<std::wstring, std::string>;

class PlacementTest : public AppTest {
 protected:
  PlacementTest();
  ~PlacementTest() override;

  // Writes every file of the manifest below root (creating directories as needed).
  void WriteTree(const platform::Path& root, const TreeManifest& files);
  // Reads the tree below root without following links; a link is listed as "-> link".
  TreeManifest ReadTree(const platform::Path& root);
  bool Exists(const platform::Path& path);
  // The visible log lines of the engine so far, joined with line breaks.
  std::string LogText();
  // The names in directory that contain the text.
  std::vector<std::wstring> EntriesContaining(const platform::Path& directory,
                                              const std::wstring& text);
  // A junction at link to target; false (the test should skip) where none can be created.
  bool MakeJunction(const platform::Path& link, const platform::Path& target);

  InstallerEngine engine_;
};

}  // namespace vellmora::testing
