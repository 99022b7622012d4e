#pragma once
// What each package archive may hold (allowed roots) and must hold (required markers), in archive
// form. The listing check compares them after normalisation, so their case is for the reader.

#include <string>
#include <vector>

namespace vellmora {

struct PackageLayout {
  const char* kind;  // the manifest kind: "engine" or "instance"
  std::vector<std::string> allowed_roots;
  std::vector<std::string> required_markers;
};

const PackageLayout& EnginePackageLayout();
const PackageLayout& InstancePackageLayout();

}  // namespace vellmora
