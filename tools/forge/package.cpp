#include "forge/forge.h"

namespace forge {

namespace {
bool NotYet(std::string* error) {
  if (error) *error = "the package forge is not available in this build yet";
  return false;
}
}  // namespace

bool WritePackage(const PackageOptions&, const std::filesystem::path&, std::string* error) {
  return NotYet(error);
}
bool LayOutPackageTree(const PackageOptions&, const std::filesystem::path&, std::string* error) {
  return NotYet(error);
}
bool LayOutInstalledEngine(const PackageOptions&, const InstalledEngineDirs&, std::string* error) {
  return NotYet(error);
}

}  // namespace forge
