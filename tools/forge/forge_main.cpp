// vellmora-forge: writes a forged Engine or Pie64 instance package, or lays its tree out.
//
//   vellmora-forge engine|instance OUT [options]
//   vellmora-forge tree engine|instance DIR [options]
//
// Exit codes: 0 written, 1 the forge failed (the reason on standard error), 2 bad usage.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "forge/forge.h"

namespace {

constexpr char kUsage[] =
    "usage: vellmora-forge engine|instance OUT [options]\n"
    "       vellmora-forge tree engine|instance DIR [options]\n"
    "options:\n"
    "  --format rar5|7z          archive format (default rar5)\n"
    "  --payload-size N[K|M|G]   approximate bytes of file data (default 4M)\n"
    "  --file-version V          Vellmora.exe's file version (default 3.9.1.0)\n"
    "  --product-version V       Vellmora.exe's product version (default 3.9.1.0)\n"
    "  --manifest-version V      the manifest's package version (default 3.9.1.0)\n"
    "  --release-id R            the manifest's release identifier\n"
    "  --escape-release-plus     write the release identifier's '+' as \\u002B\n"
    "  --no-root-disk            leave the instance manifest's disks object out\n"
    "  --manifest FILE           use FILE as package-manifest.json\n"
    "  --omit PATH               leave a path of the layout out (repeatable)\n"
    "  --hostile NAME            add a hostile entry (repeatable): traversal, absolute-path,\n"
    "                            drive-letter, device-name, duplicate-spelling,\n"
    "                            backslash-spelling, non-ascii,\n"
    "                            outside-roots, unix-symlink, windows-symlink, junction,\n"
    "                            hard-link, alternate-stream, anti-item\n"
    "  --7zz PATH                the 7-Zip program for --format 7z\n"
    "  --standins DIR            the Engine's programs from the built stand-ins in DIR\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "vellmora-forge: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

bool ParseSize(const std::string& text, std::uint64_t* size) {
  if (text.empty()) return false;
  std::size_t used = 0;
  unsigned long long value = 0;
  try {
    value = std::stoull(text, &used);
  } catch (...) {
    return false;
  }
  const std::string unit = text.substr(used);
  int shift = 0;
  if (unit == "K" || unit == "k") shift = 10;
  else if (unit == "M" || unit == "m") shift = 20;
  else if (unit == "G" || unit == "g") shift = 30;
  else if (!unit.empty()) return false;
  *size = static_cast<std::uint64_t>(value) << shift;
  return true;
}

bool ParseKind(const std::string& text, forge::PackageKind* kind) {
  if (text == "engine") *kind = forge::PackageKind::kEngine;
  else if (text == "instance") *kind = forge::PackageKind::kInstance;
  else return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  int next = 1;
  const bool tree = argc > 1 && std::string(argv[1]) == "tree";
  if (tree) ++next;
  if (argc - next < 2) return Usage("a package kind and an output path are needed");
  forge::PackageOptions options;
  if (!ParseKind(argv[next], &options.kind)) return Usage(std::string("unknown kind: ") + argv[next]);
  const std::string out = argv[next + 1];
  for (int i = next + 2; i < argc; ++i) {
    const std::string option = argv[i];
    const bool has_value = i + 1 < argc;
    const std::string value = has_value ? argv[i + 1] : "";
    auto take = [&](std::string* field) {
      *field = value;
      ++i;
    };
    if (option == "--escape-release-plus") {
      options.escape_release_plus = true;
    } else if (option == "--no-root-disk") {
      options.manifest_root_disk = false;
    } else if (!has_value) {
      return Usage("unknown option or missing value: " + option);
    } else if (option == "--format") {
      if (value == "rar5") options.format = forge::ArchiveFormat::kRar5;
      else if (value == "7z") options.format = forge::ArchiveFormat::kSevenZip;
      else return Usage("unknown format: " + value);
      ++i;
    } else if (option == "--payload-size") {
      if (!ParseSize(value, &options.payload_bytes)) return Usage("not a size: " + value);
      ++i;
    } else if (option == "--file-version") {
      take(&options.file_version);
    } else if (option == "--product-version") {
      take(&options.product_version);
    } else if (option == "--manifest-version") {
      take(&options.manifest_version);
    } else if (option == "--release-id") {
      take(&options.release_id);
    } else if (option == "--manifest") {
      std::ifstream file(value, std::ios::binary);
      std::ostringstream text;
      text << file.rdbuf();
      if (!file || text.str().empty()) return Usage("cannot read the manifest " + value);
      options.manifest_text = text.str();
      ++i;
    } else if (option == "--omit") {
      options.omitted_paths.push_back(value);
      ++i;
    } else if (option == "--hostile") {
      forge::Hostile hostile;
      if (!forge::ParseHostile(value, &hostile)) return Usage("unknown hostile entry: " + value);
      options.extra_entries.push_back(forge::HostileEntry(options.kind, hostile));
      ++i;
    } else if (option == "--standins") {
      options.standins_dir = value;
      ++i;
    } else if (option == "--7zz") {
      options.seven_zip = value;
      ++i;
    } else {
      return Usage("unknown option: " + option);
    }
  }
  std::string error;
  const bool ok = tree ? forge::LayOutPackageTree(options, out, &error)
                       : forge::WritePackage(options, out, &error);
  if (!ok) {
    std::fprintf(stderr, "vellmora-forge: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
