#include "windows/engine_binary_personalization.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "app/file_helpers.h"
#include "app/install_log.h"
#include "app/path_helpers.h"
#include "app/text.h"
#include "engine/pe_checksum.h"
#include "engine/version_patch.h"
#include "windows/com_identity_occurrences.h"
#include "windows/pe64_view.h"
#include "windows/proxy_interface_tables.h"

namespace vellmora {
namespace {

constexpr std::size_t kScanWindow = 4u << 20;
constexpr std::uint64_t kChecksumFieldEnd = 92;

// Replaces every pattern inside [begin, end) by one of equal length, left to right, going on after
// each replacement. The search runs in 4 MiB windows overlapping by the pattern's length less one,
// so that progress can be reported after each.
std::size_t ReplaceInRange(std::string* bytes, std::size_t begin, std::size_t end,
                           std::string_view from, std::string_view to,
                           const std::function<void(std::size_t)>& scanned) {
  std::size_t count = 0;
  std::size_t at = begin;
  for (std::size_t window = begin; window < end; window += kScanWindow) {
    const std::size_t window_end = std::min(end, window + kScanWindow + from.size() - 1);
    at = std::max(at, window);
    while (at + from.size() <= window_end) {
      const std::string_view rest(bytes->data() + at, window_end - at);
      const std::size_t found = rest.find(from);
      if (found == std::string_view::npos) break;
      bytes->replace(at + found, to.size(), to);
      ++count;
      at += found + from.size();
    }
    scanned(std::min(end, window + kScanWindow) - window);
  }
  return count;
}

class BinaryPersonalizer {
 public:
  BinaryPersonalizer(const platform::Path& path, const PersonalizationProgress& progress)
      : path_(path), name_(LastComponent(path)), progress_(progress) {}

  PersonalizationResult Run();

 private:
  bool PatchSection(std::size_t begin, std::size_t end);
  void Processed(std::size_t bytes) {
    processed_ += bytes;
    if (progress_ && total_ > 0) {
      progress_(std::min(1.0, static_cast<double>(processed_) / (2.0 * static_cast<double>(total_))) * 0.9);
    }
  }
  bool Done(bool succeeded) {
    if (progress_) progress_(1.0);
    result_.succeeded = succeeded;
    return succeeded;
  }

  const platform::Path path_;
  const std::wstring name_;
  const PersonalizationProgress& progress_;
  std::string bytes_;
  ComReplacementCounters counters_;
  PersonalizationResult result_;
  std::uint64_t total_ = 0;
  std::uint64_t processed_ = 0;
};

bool BinaryPersonalizer::PatchSection(std::size_t begin, std::size_t end) {
  const auto scanned = [](std::size_t) {};
  counters_.tag_and_version += ReplaceInRange(&bytes_, begin, end, "_kta5", "_ovm5", scanned);
  counters_.tag_and_version += ReplaceInRange(&bytes_, begin, end, std::string_view("_\0k\0t\0a\0" "5\0", 10),
                                              std::string_view("_\0o\0v\0m\0" "5\0", 10), scanned);
  if (!EqualsIgnoringCase(name_, L"Vellmora.exe")) {
    counters_.tag_and_version += PatchVersionBlocks(&bytes_, begin, end);
  }
  std::string error;
  if (!PatchComIdentityInRange(&bytes_, begin, end, &counters_, &error)) return false;
  Processed(end - begin);
  if (!VerifyNoOriginalIdentity(bytes_, begin, end, &error)) return false;
  Processed(end - begin);
  return true;
}

PersonalizationResult BinaryPersonalizer::Run() {
  if (!ReadWholeFile(path_, &bytes_)) return result_;
  if (bytes_.size() < 2 || bytes_[0] != 'M' || bytes_[1] != 'Z') {
    Done(true);
    return result_;
  }
  PeHeaders headers;
  const PeHeaderCheck check = ReadPeHeaders(bytes_, &headers);
  if (check == PeHeaderCheck::kNotPe || check == PeHeaderCheck::kNoSignature) {
    Done(true);
    return result_;
  }
  result_.pe_image = true;
  const std::uint64_t size = bytes_.size();
  if (check != PeHeaderCheck::kValid || size < headers.signature_offset + kChecksumFieldEnd) {
    return result_;
  }
  for (const PeSection& section : headers.sections) total_ += section.raw_size;
  for (const PeSection& section : headers.sections) {
    if (section.raw_pointer >= size) continue;
    const std::uint64_t end = std::min<std::uint64_t>(
        std::uint64_t{section.raw_pointer} + section.raw_size, size);
    if (!PatchSection(section.raw_pointer, static_cast<std::size_t>(end))) return result_;
  }
  if (EqualsIgnoringCase(name_, L"KolvProxyStub.dll")) {
    std::size_t interfaces = 0;
    std::string error;
    if (!RepairProxyInterfaceTables(&bytes_, &interfaces, &error)) {
      WriteDiagnostic("COM proxy IID lookup repair failed: " + error);
      return result_;
    }
    WriteDiagnostic("COM proxy IID lookup validated: " + std::to_string(interfaces) +
                    " interfaces.");
  }
  result_.replacements = counters_.Total();
  if (result_.replacements == 0) {
    Done(true);
    return result_;
  }
  if (UpdatePeChecksum(&bytes_) != PeChecksumUpdate::kUpdated) return result_;
  Done(ReplaceFileAtomically(path_, bytes_));
  return result_;
}

}  // namespace

PersonalizationResult PersonalizeEngineBinary(const platform::Path& path,
                                              const PersonalizationProgress& progress) {
  return BinaryPersonalizer(path, progress).Run();
}

}  // namespace vellmora
