#include "placement/access_control.h"

#include <algorithm>
#include <vector>

#include "app/install_log.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/system_errors.h"
#include "app/system_helpers.h"
#include "app/text.h"
#include "package/run_captured.h"
#include "platform/files.h"
#include "windows/product_registry_key.h"

namespace vellmora {
namespace {

constexpr std::uint32_t kAclTimeLimitMs = 300000;
constexpr std::size_t kOutputLimit = 3000;
// How an unsafe entry is reported: the generic category's "operation not permitted".
constexpr const char* kUnsafeEntryError = "error=Operation not permitted (1).";

std::string Unsigned(std::uint32_t value) { return std::to_string(value); }

bool IsLink(std::uint32_t attributes) {
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kAttributeReparsePoint) != 0;
}

bool IsRealDirectory(std::uint32_t attributes) {
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kAttributeDirectory) != 0 && !IsLink(attributes);
}

std::string ErrorText(platform::Win32Error error) {
  return "error=" + SystemErrorText(error) + " (" + SignedErrorCode(error) + ").";
}

// The result of walking a tree without following links.
struct TreeAudit {
  enum Outcome { kPlain, kCannotStart, kCannotAdvance, kUnsafeEntry } outcome = kPlain;
  Path entry;  // the unsafe entry
  std::uint32_t attributes = platform::kInvalidFileAttributes;
  platform::Win32Error error = platform::kErrorSuccess;
};

// Every entry below root must have readable attributes and no reparse point; directories that
// cannot be opened for lack of permission are skipped.
bool AuditBelow(const Path& directory, bool top, TreeAudit* audit) {
  std::vector<platform::DirectoryEntry> entries;
  platform::Win32Error error = platform::ListDirectory(directory, &entries);
  if (error == platform::kErrorAccessDenied && !top) return true;
  if (error != platform::kErrorSuccess) {
    audit->outcome = top ? TreeAudit::kCannotStart : TreeAudit::kCannotAdvance;
    audit->error = error;
    return false;
  }
  for (const auto& entry : entries) {
    const Path path = JoinPath(directory, entry.name);
    platform::Win32Error attribute_error = platform::kErrorSuccess;
    std::uint32_t attributes = platform::GetFileAttributesW(path, &attribute_error);
    if (attributes == platform::kInvalidFileAttributes || IsLink(attributes) ||
        IsLink(entry.status.attributes)) {
      audit->outcome = TreeAudit::kUnsafeEntry;
      audit->entry = path;
      audit->attributes = attributes;
      audit->error = attribute_error;
      return false;
    }
    if ((attributes & platform::kAttributeDirectory) != 0 && !AuditBelow(path, false, audit)) {
      return false;
    }
  }
  return true;
}

TreeAudit AuditTree(const Path& root) {
  TreeAudit audit;
  AuditBelow(root, true, &audit);
  return audit;
}

struct ToolRun {
  bool succeeded = false;
  bool launched = false;
  std::uint32_t exit_code = 0;
  platform::Win32Error windows_error = 0;
  std::string output;
};

ToolRun RunIcacls(InstallerEngine& engine, const std::wstring& arguments) {
  const std::wstring command =
      QuoteArgument(JoinPath(System32Dir(), L"icacls.exe")) + L" " + arguments;
  ToolRun run;
  bool ended = RunCaptured(engine, command, kAclTimeLimitMs, &run.exit_code, &run.output,
                           &run.windows_error);
  run.launched = run.windows_error == platform::kErrorSuccess ||
                 run.windows_error == platform::kErrorTimeout;
  run.succeeded = ended && run.exit_code == 0;
  return run;
}

// "...exitCode=<n>, win32Error=<n>" and the output ending of every diagnostic line.
std::string RunDetails(const ToolRun& run) {
  std::string line = "launched=" + std::string(run.launched ? "yes" : "no") +
                     ", exitCode=" + Unsigned(run.exit_code) +
                     ", win32Error=" + Unsigned(run.windows_error);
  std::string output = SanitizeToolOutput(run.output);
  return line + (output.empty() ? "." : ", output=" + output + ".");
}

// A data-directory plan in progress: its root, whether preserved targets are honoured, and the
// entries it refused (nothing below them gets a step).
struct DataPlan {
  Path root;
  bool installed = false;
  std::vector<Path> rejected;
  bool ok = true;
};

bool IsPreservedTarget(const DataPlan& plan, const Path& target) {
  if (!plan.installed || !IsPathInside(target, plan.root)) return false;
  std::wstring relative = ToLowerCase(target.substr(WithoutTrailingSeparators(plan.root).size() + 1));
  std::replace(relative.begin(), relative.end(), L'/', L'\\');
  static const wchar_t* const kPreserved[] = {
      L"pellucador.conf", L"installed-engine-package-manifest.json",
      L"engine\\userdata\\qormetadata.json",
      L"engine\\pie64\\installed-instance-package-manifest.json"};
  return std::any_of(std::begin(kPreserved), std::end(kPreserved),
                     [&](const wchar_t* name) { return relative == name; });
}

bool RunAclStep(InstallerEngine& engine, DataPlan& plan, const std::string& label,
                const Path& target, const std::wstring& arguments, bool recursive) {
  const std::string target_text = ToUtf8(target);
  if (IsPreservedTarget(plan, target)) {
    WriteDiagnostic("ACL [" + label + "]: preserved pre-activation ACL for endpoint-protected "
                    "target=" + target_text + ".");
    return true;
  }
  for (const Path& rejected : plan.rejected) {
    if (IsPathInside(target, rejected) || PathKey(target) == PathKey(rejected)) {
      WriteDiagnostic("ACL [" + label + "]: skipped target below a rejected entry target=" +
                      target_text + ".");
      return false;
    }
  }
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(target, &status);
  if (error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound) {
    WriteDiagnostic("ACL [" + label + "]: skipped missing target=" + target_text + ".");
    return true;
  }
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, "ACL failure [" + label + "]: cannot inspect target=" + target_text + ", " +
                          ErrorText(error));
    return false;
  }
  if (IsLink(status.attributes)) {
    // icacls would change what the link points at.
    WriteDiagnostic("ACL [" + label + "]: refused reparse-point target=" + target_text + ".");
    ReportLog(engine, "ACL failure [" + label + "] on " + target_text +
                          ". See the diagnostic log for the Windows response.");
    return false;
  }
  ToolRun run = RunIcacls(engine, QuoteArgument(target) + L" " + arguments +
                                      (recursive ? L" /T /C" : L"") + L" /Q");
  WriteDiagnostic("ACL [" + label + "]: target=" + target_text +
                  ", recursive=" + (recursive ? "yes" : "no") + ", " + RunDetails(run));
  if (!run.succeeded) {
    ReportLog(engine, "ACL failure [" + label + "] on " + target_text +
                          ". See the diagnostic log for the Windows response.");
  }
  return run.succeeded;
}

void Step(InstallerEngine& engine, DataPlan& plan, const std::string& label, const Path& target,
          const std::wstring& arguments, bool recursive) {
  if (!RunAclStep(engine, plan, label, target, arguments, recursive)) plan.ok = false;
}

// The plan's direct entries: checked, walked, then reset to inherit from the root.
void SecureDataChildren(InstallerEngine& engine, DataPlan& plan) {
  std::vector<platform::DirectoryEntry> entries;
  platform::Win32Error error = platform::ListDirectory(plan.root, &entries);
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, "ACL failure [ProgramData enumeration]: target=" + ToUtf8(plan.root) + ", " +
                          ErrorText(error));
    plan.ok = false;
    return;
  }
  for (const auto& entry : entries) {
    const Path path = JoinPath(plan.root, entry.name);
    std::uint32_t attributes = platform::GetFileAttributesW(path);
    if (EqualsIgnoringCase(entry.name, L"Runtime")) {
      if (!IsRealDirectory(attributes)) {
        plan.ok = false;
        plan.rejected.push_back(path);
      }
      continue;
    }
    if (attributes == platform::kInvalidFileAttributes || IsLink(attributes) ||
        IsLink(entry.status.attributes)) {
      plan.ok = false;
      plan.rejected.push_back(path);
      continue;
    }
    const bool directory = (attributes & platform::kAttributeDirectory) != 0;
    if (directory) {
      TreeAudit audit = AuditTree(path);
      if (audit.outcome != TreeAudit::kPlain) {
        ReportLog(engine, "ACL failure [ProgramData traversal]: target=" + ToUtf8(path) + ", " +
                              (audit.outcome == TreeAudit::kUnsafeEntry ? kUnsafeEntryError
                                                                        : ErrorText(audit.error)));
        plan.ok = false;
        plan.rejected.push_back(path);
        continue;
      }
    }
    Step(engine, plan, "ProgramData child inheritance", path, L"/inheritance:e", directory);
    Step(engine, plan, "ProgramData child reset", path, L"/reset", directory);
  }
}

void ReportUnsafeTree(InstallerEngine& engine, const std::string& plan_name, const Path& target,
                      const TreeAudit& audit) {
  switch (audit.outcome) {
    case TreeAudit::kPlain: return;
    case TreeAudit::kCannotStart:
      ReportLog(engine, "ACL failure [" + plan_name + " enumeration]: target=" + ToUtf8(target) +
                            ", " + ErrorText(audit.error));
      return;
    case TreeAudit::kCannotAdvance:
      ReportLog(engine, "ACL failure [" + plan_name + " traversal]: target=" + ToUtf8(target) +
                            ", " + ErrorText(audit.error));
      return;
    case TreeAudit::kUnsafeEntry:
      ReportLog(engine, "ACL failure [" + plan_name + " unsafe entry]: target=" +
                            ToUtf8(audit.entry) + ", attributes=" + Unsigned(audit.attributes) +
                            ", win32Error=" + Unsigned(audit.error) + ".");
      return;
  }
}

}  // namespace

std::string SanitizeToolOutput(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (char c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    if (c == ' ' && !clean.empty() && clean.back() == ' ') continue;
    clean.push_back(c);
  }
  const std::size_t first = clean.find_first_not_of(" \f\v");
  if (first == std::string::npos) return {};
  clean = clean.substr(first, clean.find_last_not_of(" \f\v") - first + 1);
  if (clean.size() > kOutputLimit) clean.resize(kOutputLimit);
  return clean;
}

bool SecureProgramFilesRoot(InstallerEngine& engine) {
  const Path target = engine.paths.InstallDir();
  platform::Win32Error error = platform::kErrorSuccess;
  std::uint32_t attributes = platform::GetFileAttributesW(target, &error);
  if (!IsRealDirectory(attributes)) {
    ReportLog(engine, "ACL failure [ProgramFiles validation]: target=" + ToUtf8(target) +
                          ", attributes=" + Unsigned(attributes) + ", win32Error=" +
                          Unsigned(error) + ".");
    return false;
  }
  TreeAudit audit = AuditTree(target);
  if (audit.outcome != TreeAudit::kPlain) {
    ReportUnsafeTree(engine, "ProgramFiles", target, audit);
    return false;
  }
  // Not a reset to the parent: under a drive root that would let every signed-in user modify
  // the programs that are later registered and run elevated.
  ToolRun run = RunIcacls(engine, QuoteArgument(target) + L" " + kLeastPrivilegeGrant +
                                      L" /T /C /Q");
  WriteDiagnostic("ACL [ProgramFiles reset]: target=" + ToUtf8(target) + ", " + RunDetails(run));
  if (run.succeeded) {
    WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"ProgramFilesAclSecured", 1);
    ReportLog(engine, "[+] Vellmora runtime permissions secured.");
  } else {
    ReportLog(engine,
              "ACL failure [ProgramFiles reset]. See the diagnostic log for the Windows response.");
    ReportLog(engine, "Failed to secure the Vellmora runtime permissions.");
  }
  return run.succeeded;
}

bool SecureProgramDataRoot(InstallerEngine& engine, const Path& root) {
  DataPlan plan;
  plan.installed = root.empty();
  plan.root = plan.installed ? engine.paths.DataDir() : root;
  platform::Win32Error error = platform::kErrorSuccess;
  std::uint32_t attributes = platform::GetFileAttributesW(plan.root, &error);
  if (!IsRealDirectory(attributes)) {
    ReportLog(engine, "ACL failure [ProgramData validation]: target=" + ToUtf8(plan.root) +
                          ", attributes=" + Unsigned(attributes) + ", win32Error=" +
                          Unsigned(error) + ".");
    return false;
  }
  Step(engine, plan, "ProgramData root inheritance", plan.root, L"/inheritance:e", false);
  Step(engine, plan, "ProgramData root reset", plan.root, L"/reset", false);
  // Tightened at once: until then the root inherits "users may create" from ProgramData.
  Step(engine, plan, "ProgramData least privilege", plan.root, kLeastPrivilegeGrant, false);
  SecureDataChildren(engine, plan);

  const Path runtime = JoinPath(plan.root, L"Runtime");
  std::uint32_t runtime_attributes = platform::GetFileAttributesW(runtime, &error);
  if (runtime_attributes != platform::kInvalidFileAttributes) {
    if (IsRealDirectory(runtime_attributes)) {
      Step(engine, plan, "Runtime directory inheritance", runtime, L"/inheritance:e", false);
    } else {
      plan.ok = false;
    }
  } else if (error != platform::kErrorFileNotFound && error != platform::kErrorPathNotFound) {
    plan.ok = false;
  }

  for (const wchar_t* relative : {L"Logs", L"Dumps", L"Engine\\UserData", L"Engine\\Pie64"}) {
    Step(engine, plan, "Mutable directory grant", JoinPath(plan.root, relative),
         L"/grant:r *S-1-5-32-545:(OI)(CI)M", false);
  }
  for (const wchar_t* relative : {L"VellmoraOX.conf", L"Engine\\Manager\\KolvGlobal.xml",
                                  L"Engine\\Manager\\KolvGlobal.xml-prev"}) {
    Step(engine, plan, "Mutable file grant", JoinPath(plan.root, relative),
         L"/grant:r *S-1-5-32-545:M", false);
  }
  for (const wchar_t* relative :
       {L"Provisioning", L"installed-engine-package-manifest.json",
        L"Engine\\Pie64\\installed-instance-package-manifest.json",
        L"Engine\\Pie64\\Pie64.kolv.template", L"Engine\\Pie64\\Android.kolv.in",
        L"Engine\\Pie64\\Root.vhd", L"Engine\\Pie64\\fastboot.vdi"}) {
    const Path target = JoinPath(plan.root, relative);
    platform::FileStatus status;
    error = platform::GetFileStatus(target, &status);
    if (error != platform::kErrorSuccess && error != platform::kErrorFileNotFound &&
        error != platform::kErrorPathNotFound) {
      throw FileSystemError("status", target, error);
    }
    const bool directory =
        error == platform::kErrorSuccess && IsRealDirectory(status.attributes);
    Step(engine, plan, "Protected payload ACL", target,
         directory ? kLeastPrivilegeGrant : kProtectedFileGrant, false);
  }

  if (plan.ok) {
    WriteRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"ProgramDataAclSecured", 1);
    ReportLog(engine, "[+] ProgramData permissions secured with least-privilege runtime access.");
  } else {
    ReportLog(engine, "Warning: not all ProgramData permissions could be secured.");
  }
  return plan.ok;
}

bool SecureLocalAppDataRoot(InstallerEngine& engine) {
  const Path target = JoinPath(engine.paths.local_app_data, L"DO-Rarari_ovm5");
  platform::FileStatus status;
  platform::Win32Error error = platform::GetFileStatus(target, &status);
  if (error == platform::kErrorSuccess && !IsRealDirectory(status.attributes)) {
    error = IsLink(status.attributes) ? platform::kErrorReparsePointEncountered
                                      : platform::kErrorDirectory;
  }
  if (error != platform::kErrorSuccess) {
    ReportLog(engine, "ACL failure [LocalAppData validation]: target=" + ToUtf8(target) + ", " +
                          ErrorText(error));
    return false;
  }
  // "/T" would follow a link planted anywhere below: the tree is walked first.
  TreeAudit audit = AuditTree(target);
  if (audit.outcome != TreeAudit::kPlain) {
    ReportLog(engine, "ACL failure [LocalAppData traversal]: target=" +
                          ToUtf8(audit.outcome == TreeAudit::kUnsafeEntry ? audit.entry : target) +
                          ", " +
                          (audit.outcome == TreeAudit::kUnsafeEntry ? kUnsafeEntryError
                                                                    : ErrorText(audit.error)));
    ReportLog(engine, "Failed to restore the LocalAppData cache permissions.");
    return false;
  }
  bool ok = true;
  for (const char* label : {"LocalAppData inheritance", "LocalAppData reset"}) {
    const std::wstring arguments =
        std::string(label) == "LocalAppData inheritance" ? L"/inheritance:e" : L"/reset";
    ToolRun run = RunIcacls(engine, QuoteArgument(target) + L" " + arguments + L" /T /C /Q");
    WriteDiagnostic("ACL [" + std::string(label) + "]: target=" + ToUtf8(target) + ", " +
                    RunDetails(run));
    if (!run.succeeded) {
      ReportLog(engine, "ACL failure [" + std::string(label) +
                            "]. See the diagnostic log for the Windows response.");
      ok = false;
      break;
    }
  }
  ReportLog(engine, ok ? "[+] Local cache permissions restored for the desktop user."
                       : "Failed to restore the LocalAppData cache permissions.");
  return ok;
}

}  // namespace vellmora
