#include "engine/boot_promotion.h"

#include <string>
#include <vector>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "platform/files.h"
#include "platform/resources.h"

namespace vellmora {

const std::string_view kBootPromotionMetadata =
    "{\n"
    "    \"boot_promotion_obj\": {\n"
    "        \"boot_promotion_display_time\": 6000,\n"
    "        \"boot_promotion_id\": \"vellmora-default-v1\",\n"
    "        \"boot_promotion_images\": [\n"
    "            {\n"
    "                \"button_text\": \"\",\n"
    "                \"extra_payload\": {\n"
    "                    \"click_action_packagename\": \"\",\n"
    "                    \"click_generic_action\": \"NoAction\",\n"
    "                    \"hash_tags\": \"#vellmora\"\n"
    "                },\n"
    "                \"id\": \"vellmora_boot\",\n"
    "                \"image_url\": \"BootPromotion_Vellmora.jpg\",\n"
    "                \"order\": \"1\",\n"
    "                \"promo_button_click_status_text\": \"\"\n"
    "            }\n"
    "        ],\n"
    "        \"last_modified_time\": \"Vellmora installer\"\n"
    "    },\n"
    "    \"boot_promotion_orientation\": \"landscape\",\n"
    "    \"promotion_images_display_date\": {\n"
    "        \"BootPromotion_Vellmora.jpg\": \"Vellmora installer\"\n"
    "    }\n"
    "}\n";

namespace {

// Creates the directory when it is missing and opens it itself (never a link's target), shared
// for reading and writing but not for deletion: while the handle is open nobody can rename or
// remove it, nor any folder above it. Valid only when what was opened is a real directory.
platform::UniqueHandle HoldRealDirectory(const platform::Path& path) {
  const platform::Win32Error created = platform::CreateDirectoryW(path);
  if (created != platform::kErrorSuccess && created != platform::kErrorAlreadyExists) return {};
  platform::UniqueHandle directory;
  if (platform::CreateFileW(path, platform::kGenericRead,
                            platform::kShareRead | platform::kShareWrite, platform::kOpenExisting,
                            platform::kFlagBackupSemantics | platform::kFlagOpenReparsePoint,
                            &directory) != platform::kErrorSuccess) {
    return {};
  }
  // Asked after the open: the entry can no longer change under the handle.
  platform::FileStatus status;
  if (platform::GetFileStatus(path, &status) != platform::kErrorSuccess ||
      (status.attributes & platform::kAttributeDirectory) == 0 ||
      (status.attributes & platform::kAttributeReparsePoint) != 0) {
    return {};
  }
  return directory;
}

// Holds every level from the data directory down to Promotions; false at the first one that is
// missing and cannot be made, or is not a real directory.
bool HoldPromotionsFolder(const platform::Path& data_dir, std::vector<platform::UniqueHandle>* held,
                          platform::Path* promotions) {
  platform::Path level = data_dir;
  for (const wchar_t* name : {L"", L"Engine", L"Pie64", L"Promotions"}) {
    if (*name) level = JoinPath(level, name);
    platform::UniqueHandle directory = HoldRealDirectory(level);
    if (!directory.Valid()) return false;
    held->push_back(std::move(directory));
  }
  *promotions = level;
  return true;
}

bool WriteBootPicture(const platform::Path& target) {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  if (platform::LoadRcDataResource(platform::kResourceBootPicture, &data, &size) !=
      platform::kErrorSuccess) {
    return false;
  }
  return ReplaceFileAtomically(target, std::string(reinterpret_cast<const char*>(data), size));
}

}  // namespace

bool InstallBootPromotion(InstallerEngine& engine) {
  std::vector<platform::UniqueHandle> held;
  platform::Path promotions;
  if (!HoldPromotionsFolder(engine.paths.DataDir(), &held, &promotions)) {
    ReportLog(engine, "Could not create the Pie64 instance resources directory.");
    return false;
  }
  if (!WriteBootPicture(JoinPath(promotions, L"BootPromotion_Vellmora.jpg"))) {
    ReportLog(engine, "Could not install the Vellmora Pie64 boot image.");
    return false;
  }
  if (!ReplaceFileAtomically(JoinPath(promotions, L"Promotions.json"),
                             std::string(kBootPromotionMetadata))) {
    ReportLog(engine, "Could not install the Vellmora Pie64 boot metadata.");
    return false;
  }
  return true;
}

}  // namespace vellmora
