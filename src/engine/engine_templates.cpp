#include "engine/engine_templates.h"

#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "engine/engine_files.h"
#include "platform/system.h"

namespace vellmora {
namespace {

constexpr int kCopyAttempts = 3;
constexpr std::uint32_t kCopyPauseMilliseconds = 250;

struct TemplateRow {
  const wchar_t* source;
  const wchar_t* destination;
  const char* label;
};
constexpr TemplateRow kTemplates[] = {
    {L"pellucador.conf.template", L"VellmoraOX.conf", "VellmoraOX.conf"},
    {L"Engine\\Manager\\KolvGlobal.xml.template", L"Engine\\Manager\\KolvGlobal.xml",
     "KolvGlobal.xml"},
    {L"Engine\\Manager\\KolvGlobal.xml.template", L"Engine\\Manager\\KolvGlobal.xml-prev",
     "KolvGlobal.xml-prev"},
    {L"Engine\\UserData\\QorMetaData.template.json", L"Engine\\UserData\\VlmMetaData.json",
     "VlmMetaData.json"},
};

}  // namespace

bool MaterializeStagedTemplate(const platform::Path& source, const platform::Path& destination,
                               const std::string& label, std::string* error_text,
                               InstallerEngine& engine) {
  std::string detail;
  for (int attempt = 1; attempt <= kCopyAttempts; ++attempt) {
    const platform::Win32Error error = platform::CopyFileW(source, destination, false);
    if (error == platform::kErrorSuccess && IsPlainFile(destination)) return true;
    detail = error != platform::kErrorSuccess
                 ? std::to_string(error) + ": " + SystemErrorText(error)
                 : "2: the destination disappeared after creation";
    if (attempt < kCopyAttempts) platform::Sleep(kCopyPauseMilliseconds);
  }
  *error_text = label + " (Windows error " + detail + ").";
  ReportLog(engine, "Staged template materialization failed: " + *error_text + " Source: " +
                        ToUtf8(source) + ". Destination: " + ToUtf8(destination) + ".");
  return false;
}

bool MaterializeEngineTemplates(const platform::Path& staged_data_root, std::string* error_text,
                                InstallerEngine& engine) {
  for (const TemplateRow& row : kTemplates) {
    if (!MaterializeStagedTemplate(JoinPath(staged_data_root, row.source),
                                   JoinPath(staged_data_root, row.destination), row.label,
                                   error_text, engine)) {
      return false;
    }
  }
  return true;
}

}  // namespace vellmora
