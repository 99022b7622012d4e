#include "engine/path_mapping.h"

#include "app/text.h"

namespace vellmora {
namespace {

constexpr const char* kLegacyInstallDir = "C:\\Program Files\\Pellucador_kta5";
constexpr const char* kLegacyDataDir = "C:\\ProgramData\\Pellucador_kta5";

std::string Utf16Le(const std::string& utf8) {
  const std::vector<std::uint8_t> units = ToUtf16LeBytes(FromUtf8(utf8), false);
  return std::string(units.begin(), units.end());
}

}  // namespace

std::string EscapeBackslashes(const std::string& text) {
  std::string doubled;
  doubled.reserve(text.size());
  for (char c : text) {
    doubled += c;
    if (c == '\\') doubled += '\\';
  }
  return doubled;
}

std::string EscapeXml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '\'': escaped += "&apos;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

PathMapping BuildPathMapping(const InstallPaths& paths) {
  const std::string install_dir = ToUtf8(paths.InstallDir());
  const std::string data_dir = ToUtf8(paths.DataDir());
  const std::string profile = ToUtf8(paths.user_profile);
  PathMapping mapping;
  auto add = [&](bool utf16, const std::string& from, const std::string& to) {
    PathMappingEntry entry;
    entry.utf16 = utf16;
    entry.from = utf16 ? Utf16Le(from) : from;
    entry.to = utf16 ? Utf16Le(to) : to;
    entry.to_text = to;
    mapping.entries.push_back(std::move(entry));
  };
  add(false, kLegacyInstallDir, install_dir);
  add(false, kLegacyDataDir, data_dir);
  add(false, EscapeBackslashes(kLegacyInstallDir), EscapeBackslashes(install_dir));
  add(false, EscapeBackslashes(kLegacyDataDir), EscapeBackslashes(data_dir));
  add(false, "__OSTREVIN_USERPROFILE__", profile);
  add(false, "__OSTREVIN_USERPROFILE_ESCAPED__", EscapeBackslashes(profile));
  add(false, "Pellucador_kta5", "Vellmora");
  add(false, "DO-Rarari_kta5", "DO-Rarari_ovm5");
  add(false, "_vlm5", "_ovm5");
  add(true, kLegacyInstallDir, install_dir);
  add(true, kLegacyDataDir, data_dir);
  add(true, "Pellucador_kta5", "Vellmora");
  add(true, "DO-Rarari_kta5", "DO-Rarari_ovm5");
  add(true, "_vlm5", "_ovm5");
  const char* renamed[][2] = {{"pellucador.conf", "VellmoraOX.conf"},
                              {"QorMetaData.json", "VlmMetaData.json"},
                              {"KolvRT.dll", "VLCore.dll"}};
  for (const auto& pair : renamed) {
    add(false, pair[0], pair[1]);
    add(true, pair[0], pair[1]);
  }
  return mapping;
}

std::size_t ReplaceAllOccurrences(std::string* bytes, const std::string& from,
                                  const std::string& to) {
  if (from.empty()) return 0;
  std::size_t position = bytes->find(from);
  if (position == std::string::npos) return 0;
  // One pass into a new buffer: a file of hundreds of MiB with many hits stays linear.
  std::string result;
  result.reserve(bytes->size());
  std::size_t count = 0;
  std::size_t copied = 0;
  while (position != std::string::npos) {
    result.append(*bytes, copied, position - copied);
    result += to;
    copied = position + from.size();
    ++count;
    position = bytes->find(from, copied);
  }
  result.append(*bytes, copied, std::string::npos);
  *bytes = std::move(result);
  return count;
}

}  // namespace vellmora
