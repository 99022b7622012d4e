#include "engine/path_normalization.h"

#include <vector>

#include "app/file_helpers.h"
#include "app/installer_engine.h"
#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "engine/engine_files.h"
#include "engine/path_mapping.h"
#include "engine/pe_checksum.h"
#include "platform/files.h"

namespace vellmora {
namespace {

constexpr std::uint64_t kLargestRewrittenFile = 512ull << 20;

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool IsSkippedName(const std::wstring& lower_name) {
  return lower_name == L"kolvrt.dll" || lower_name == L"pellucador.conf" ||
         lower_name == L"qormetadata.json" ||
         (lower_name.rfind(L"installed-", 0) == 0 && EndsWith(lower_name, L"package-manifest.json"));
}

bool IsTextName(const std::wstring& lower_name) {
  for (const wchar_t* suffix :
       {L".conf", L".xml", L".json", L".kolv", L".in", L".ini", L".cfg", L".txt"}) {
    if (EndsWith(lower_name, suffix)) return true;
  }
  return lower_name.find(L".xml-") != std::wstring::npos ||
         lower_name.find(L".kolv-") != std::wstring::npos;
}

// XML files (the machine registry, VM definitions and their copies) take escaped values.
bool IsXmlName(const std::wstring& lower_name) {
  return lower_name.find(L".xml") != std::wstring::npos ||
         lower_name.find(L".kolv") != std::wstring::npos;
}

bool StartsWithMz(const platform::Path& path) {
  platform::UniqueHandle file;
  if (platform::CreateFileW(path, platform::kGenericRead, platform::kShareAll,
                            platform::kOpenExisting, platform::kAttributeNormal,
                            &file) != platform::kErrorSuccess) {
    return false;
  }
  char head[2] = {};
  std::uint32_t read = 0;
  return platform::ReadFile(file.Get(), head, 2, &read) == platform::kErrorSuccess && read == 2 &&
         head[0] == 'M' && head[1] == 'Z';
}

bool IsNotFound(platform::Win32Error error) {
  return error == platform::kErrorFileNotFound || error == platform::kErrorPathNotFound;
}

// The same mapping with every inserted text XML-escaped, in the entry's own encoding.
PathMapping XmlEscaped(const PathMapping& mapping) {
  PathMapping escaped = mapping;
  for (PathMappingEntry& entry : escaped.entries) {
    const std::string value = EscapeXml(entry.to_text);
    if (value == entry.to_text) continue;
    if (entry.utf16) {
      const std::vector<std::uint8_t> units = ToUtf16LeBytes(FromUtf8(value), false);
      entry.to.assign(units.begin(), units.end());
    } else {
      entry.to = value;
    }
  }
  return escaped;
}

class Normalizer {
 public:
  Normalizer(InstallerEngine& engine)
      : engine_(engine), mapping_(BuildPathMapping(engine.paths)), xml_mapping_(XmlEscaped(mapping_)) {}

  bool IsolateRenamedFiles(const platform::Path& pf, const platform::Path& pd);
  bool RewriteTree(const platform::Path& directory);

 private:
  bool RewriteFile(const platform::Path& path, const platform::DirectoryEntry& entry);
  bool Fail(const std::string& line) {
    ReportLog(engine_, line);
    return false;
  }

  InstallerEngine& engine_;
  const PathMapping mapping_;
  const PathMapping xml_mapping_;
};

bool Normalizer::IsolateRenamedFiles(const platform::Path& pf, const platform::Path& pd) {
  const platform::Path legacy_runtime = JoinPath(pf, L"KolvRT.dll");
  const platform::Path isolated_runtime = JoinPath(pf, L"VLCore.dll");
  platform::Win32Error error = platform::kErrorSuccess;
  const std::uint32_t attributes = platform::GetFileAttributesW(isolated_runtime, &error);
  if (attributes == platform::kInvalidFileAttributes && !IsNotFound(error)) {
    return Fail("Could not inspect the isolated Vellmora runtime library (Windows error " +
                std::to_string(error) + ").");
  }
  const bool isolated_present = attributes != platform::kInvalidFileAttributes &&
                                (attributes & platform::kAttributeDirectory) == 0;
  if (!isolated_present) {
    if (!IsPlainFile(legacy_runtime)) {
      return Fail("The Vellmora runtime library is missing from the staged Engine.");
    }
    error = platform::CopyFileW(legacy_runtime, isolated_runtime, false);
    if (error != platform::kErrorSuccess) {
      return Fail("Could not isolate the Vellmora runtime library: " + SystemErrorText(error) + ".");
    }
    error = platform::DeleteFileW(legacy_runtime);
    if (error != platform::kErrorSuccess && !IsNotFound(error)) {
      ReportLog(engine_, "The protected legacy runtime was retained and will be ignored.");
    }
  }
  struct Isolated {
    platform::Path legacy;
    platform::Path isolated;
    const char* what;
  };
  const Isolated copies[] = {
      {JoinPath(pd, L"pellucador.conf"), JoinPath(pd, L"VellmoraOX.conf"), "host configuration"},
      {JoinPath(pd, L"Engine\\UserData\\QorMetaData.json"),
       JoinPath(pd, L"Engine\\UserData\\VlmMetaData.json"), "instance metadata"},
  };
  for (const Isolated& copy : copies) {
    if (IsPlainFile(copy.isolated)) continue;
    error = platform::CopyFileW(copy.legacy, copy.isolated, false);
    if (error != platform::kErrorSuccess) {
      return Fail(std::string("Could not isolate the Vellmora ") + copy.what + ": " +
                  SystemErrorText(error) + ".");
    }
  }
  return true;
}

bool Normalizer::RewriteTree(const platform::Path& directory) {
  std::vector<platform::DirectoryEntry> entries;
  const platform::Win32Error error = platform::ListDirectory(directory, &entries);
  if (error == platform::kErrorAccessDenied) {
    ReportLog(engine_, "Warning: a folder could not be opened while normalizing Vellmora paths "
                       "and was left as it is: " + ToUtf8(directory) + ".");
    return true;
  }
  if (error != platform::kErrorSuccess) {
    return Fail("Could not enumerate a configuration path: " + SystemErrorText(error));
  }
  for (const platform::DirectoryEntry& entry : entries) {
    const platform::Path path = JoinPath(directory, entry.name);
    // A link inside a staged root could make this elevated rewrite reach any file of the machine.
    if ((entry.status.attributes & platform::kAttributeReparsePoint) != 0) {
      return Fail("Refusing to normalize Vellmora paths through a reparse point: " +
                  ToUtf8(path) + ".");
    }
    if ((entry.status.attributes & platform::kAttributeDirectory) != 0) {
      if (!RewriteTree(path)) return false;
    } else if (!RewriteFile(path, entry)) {
      return false;
    }
  }
  return true;
}

bool Normalizer::RewriteFile(const platform::Path& path, const platform::DirectoryEntry& entry) {
  const std::wstring name = ToLowerCase(entry.name);
  if (IsSkippedName(name)) return true;
  const bool text = IsTextName(name);
  const bool pe = StartsWithMz(path);
  if (!text && !pe) return true;
  if (entry.status.size > kLargestRewrittenFile) return true;
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) {
    return Fail("Could not read a file while normalizing Vellmora paths: " + ToUtf8(path) + ".");
  }
  const PathMapping& mapping = !pe && IsXmlName(name) ? xml_mapping_ : mapping_;
  std::size_t applied = mapping.entries.size();
  if (name == L"vlcore.dll") applied -= PathMapping::kRuntimeLibraryEntries;
  std::size_t replacements = 0;
  for (std::size_t i = 0; i < applied; ++i) {
    const PathMappingEntry& mapped = mapping.entries[i];
    // A PE image keeps its layout: a text of another byte length cannot be put in its place.
    if (pe && mapped.ChangesLength() && bytes.find(mapped.from) != std::string::npos) {
      return Fail("Refusing to resize an embedded PE path in " + ToUtf8(path) +
                  ". The Engine package needs a fixed-size path mapping.");
    }
    replacements += ReplaceAllOccurrences(&bytes, mapped.from, mapped.to);
  }
  if (replacements == 0) return true;
  if (pe) {
    switch (UpdatePeChecksum(&bytes)) {
      case PeChecksumUpdate::kUpdated: break;
      case PeChecksumUpdate::kTruncated:
        return Fail("A portable executable is truncated: " + ToUtf8(path) + ".");
      case PeChecksumUpdate::kInvalidHeader:
        return Fail("A portable executable has an invalid PE header: " + ToUtf8(path) + ".");
      case PeChecksumUpdate::kNotCalculated:
        return Fail("Could not calculate the PE checksum for " + ToUtf8(path) + ".");
    }
  }
  if (!ReplaceFileAtomically(path, bytes)) {
    return Fail("Could not write a file while normalizing Vellmora paths: " + ToUtf8(path) + ".");
  }
  return true;
}

}  // namespace

bool NormalizeEnginePaths(InstallerEngine& engine, const platform::Path& staged_program_files,
                          const platform::Path& staged_program_data,
                          const platform::Path& staged_local_app_data) {
  Normalizer normalizer(engine);
  if (!normalizer.IsolateRenamedFiles(staged_program_files, staged_program_data)) return false;
  for (const platform::Path& root :
       {staged_program_files, staged_program_data, staged_local_app_data}) {
    platform::FileStatus status;
    if (platform::GetFileStatus(root, &status) != platform::kErrorSuccess ||
        (status.attributes & platform::kAttributeDirectory) == 0) {
      continue;
    }
    if ((status.attributes & platform::kAttributeReparsePoint) != 0) {
      ReportLog(engine, "Refusing to normalize Vellmora paths through a reparse point: " +
                            ToUtf8(root) + ".");
      return false;
    }
    if (!normalizer.RewriteTree(root)) return false;
  }
  return true;
}

bool IsEndpointProtectedTarget(bool enabled, const platform::Path& root,
                               const platform::Path& target) {
  if (!enabled) return false;
  static const std::wstring kLongPathPrefix = L"\\\\?\\";
  std::wstring base = LexicallyNormal(root);
  std::wstring path = LexicallyNormal(target);
  if (base.rfind(kLongPathPrefix, 0) == 0 && path.rfind(kLongPathPrefix, 0) == 0) {
    base.erase(0, kLongPathPrefix.size());
    path.erase(0, kLongPathPrefix.size());
  }
  base = ToLowerCase(WithoutTrailingSeparators(base));
  path = ToLowerCase(path);
  if (path.size() <= base.size() + 1 || path.compare(0, base.size(), base) != 0 ||
      path[base.size()] != L'\\') {
    return false;
  }
  const std::wstring relative = path.substr(base.size() + 1);
  for (const wchar_t* protected_target :
       {L"pellucador.conf", L"installed-engine-package-manifest.json",
        L"engine\\userdata\\qormetadata.json",
        L"engine\\pie64\\installed-instance-package-manifest.json"}) {
    if (relative == protected_target) return true;
  }
  return false;
}

}  // namespace vellmora
