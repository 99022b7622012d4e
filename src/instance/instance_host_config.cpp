#include "instance/instance_host_config.h"

#include <vector>

#include "app/text.h"
#include "engine/host_config.h"
#include "engine/machine_configuration.h"

namespace vellmora {
namespace {

constexpr const char* kInstancePrefix = "klv.instance.Pie64.";
constexpr const char* kInstalledImages = "klv.installed_images=";

const std::vector<std::string> kResetPrefixes = {
    "klv.instance.Pie64.gl_win_",
    "klv.instance.Pie64.macro_win_",
    "klv.instance.Pie64.camera_",
    "klv.instance.Pie64.status.",
    "klv.instance.Pie64.boot_duration=",
    "klv.instance.Pie64.app_launch_count=",
    "klv.instance.Pie64.launch_date=",
    "klv.instance.Pie64.ads_display_time=",
    "klv.instance.Pie64.ads_app_activity=",
    "klv.instance.Pie64.airplane_mode_active_time=",
    "klv.instance.Pie64.google_login_popup_shown=",
    "klv.instance.Pie64.zimcoin_signin_completed=",
    "klv.instance.Pie64.split_ad_show_times=",
    "klv.instance.Pie64.vulkan_supported=",
};

const char* const kUnresolvedTokenMarkers[] = {"__VLM_", "@@KLV_", "@@RV_"};

using Setting = std::pair<std::string, std::string>;

// The lines of the text: split at "\n", a "\r" before it dropped. A final "\n" ends the last
// line; it does not begin an empty one.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = next;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "Pie64" joins the installed-images list unless it is there in any letter case.
void ListPie64(std::vector<std::string>* lines) {
  bool found = false;
  for (std::string& line : *lines) {
    if (!StartsWith(line, kInstalledImages)) continue;
    found = true;
    const std::size_t first = line.find('"');
    const std::size_t last = line.rfind('"');
    std::string list = first != std::string::npos && last > first
                           ? line.substr(first + 1, last - first - 1)
                           : std::string();
    bool listed = false;
    std::size_t start = 0;
    while (start <= list.size()) {
      std::size_t comma = list.find(',', start);
      if (comma == std::string::npos) comma = list.size();
      listed = listed || EqualsIgnoringCase(list.substr(start, comma - start), std::string("Pie64"));
      start = comma + 1;
    }
    if (!listed) list += list.empty() ? "Pie64" : ",Pie64";
    line = std::string(kInstalledImages) + "\"" + list + "\"";
  }
  if (!found) lines->push_back(std::string(kInstalledImages) + "\"Pie64\"");
}

void SetInstanceKeyIfAbsent(std::vector<std::string>* lines, const std::string& key,
                            const std::string& value) {
  const std::string full = kInstancePrefix + key;
  for (const std::string& line : *lines) {
    if (StartsWith(line, full + "=")) return;
  }
  lines->push_back(full + "=\"" + value + "\"");
}

}  // namespace

bool RecordInstanceInHostConfig(std::string* text, const InstanceHostValues& values, bool reset,
                                std::string* detail) {
  const std::string adb_port = std::to_string(values.adb_port);
  const std::string cores = std::to_string(values.cpu_cores);
  const std::string memory = std::to_string(values.memory_mib);
  const std::string width = std::to_string(values.screen_width);
  const std::string height = std::to_string(values.screen_height);

  HostConfig config(*text);
  if (reset) config.RemoveLinesWithPrefixes(kResetPrefixes);
  std::vector<std::string> lines = SplitLines(config.Text());
  ListPie64(&lines);
  const std::vector<Setting> kept = {
      {"abi_list", "x86,x64,arm,arm64"},
      {"adb_port", adb_port},
      {"status.adb_port", adb_port},
      {"android_google_ad_id", values.advertising_id},
      {"android_id", values.android_id},
      {"cpus", cores},
      {"ram", memory},
      {"display_name", "Vellmora"},
      {"device_profile_code", "rog7"},
      {"dpi", "240"},
      {"fb_width", width},
      {"fb_height", height},
      {"graphics_engine", "aga"},
      {"graphics_renderer", "vlcn"},
      {"astc_decoding_mode", "software"},
      {"enable_high_fps", "1"},
      {"max_fps", "240"},
      {"enable_vsync", "0"},
      {"enable_root_access", "1"},
      {"show_sidebar", "1"},
      {"status.ip_addr_prefix_len", "24"},
      {"status.ip_gateway_addr", "10.0.2.2"},
      {"status.ip_guest_addr", "10.0.2.15"},
  };
  for (const auto& [key, value] : kept) SetInstanceKeyIfAbsent(&lines, key, value);
  config = HostConfig(JoinLines(lines));

  const std::vector<Setting> always = {
      {"klv.shared_folders", "Documents,Pictures,InputMapper,KlvSharedFolder"},
      {"klv.pellucador_cloud_url", kCloudEndpoint},
      {"klv.enable_adb_access", "0"},
      {"klv.enable_adb_remote_access", "0"},
  };
  for (const auto& [key, value] : always) config.SetValue(key, value);
  if (reset) {
    const std::string p = kInstancePrefix;
    const std::vector<Setting> fresh = {
        {p + "android_google_ad_id", values.advertising_id},
        {p + "android_id", values.android_id},
        {p + "google_account_logins", ""},
        {p + "token", ""},
        {p + "refresh_token", ""},
        {p + "zimra_email", ""},
        {p + "zimra_userId", ""},
        {p + "zimra_username", ""},
        {p + "zimra_userAvatarUrl", ""},
        {p + "device_carrier_code", ""},
        {p + "device_country_code", ""},
        {p + "device_custom_brand", ""},
        {p + "device_custom_manufacturer", ""},
        {p + "device_custom_model", ""},
        {p + "custom_resolution_selected", "0"},
        {p + "abi_list", "x86,x64,arm,arm64"},
        {p + "adb_port", adb_port},
        {p + "status.adb_port", adb_port},
        {p + "cpus", cores},
        {p + "ram", memory},
        {"klv.fresh_cpu_core", cores},
        {"klv.fresh_cpu_ram", memory},
        {"klv.system_ram", std::to_string(values.physical_memory_mib)},
        {p + "display_name", "Vellmora"},
        {p + "device_profile_code", "rog7"},
        {p + "dpi", "240"},
        {p + "fb_width", width},
        {p + "fb_height", height},
        {p + "graphics_engine", "aga"},
        {p + "graphics_renderer", "vlcn"},
        {p + "astc_decoding_mode", "software"},
        {p + "enable_high_fps", "1"},
        {p + "max_fps", "240"},
        {p + "enable_vsync", "0"},
        {p + "enable_root_access", "1"},
        {p + "show_sidebar", "1"},
        {p + "first_boot", "0"},
        {p + "boot_duration", "-1"},
        {p + "status.ip_addr_prefix_len", "24"},
        {p + "status.ip_gateway_addr", "10.0.2.2"},
        {p + "status.ip_guest_addr", "10.0.2.15"},
    };
    for (const auto& [key, value] : fresh) config.SetValue(key, value);
  }
  for (const char* marker : kUnresolvedTokenMarkers) {
    if (config.Text().find(marker) != std::string::npos) {
      *detail = "the v3 configuration still contains an unresolved package token.";
      return false;
    }
  }
  *text = config.Text();
  return true;
}

}  // namespace vellmora
