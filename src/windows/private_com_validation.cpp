#include "windows/private_com_validation.h"

#include <cstring>

#include "app/file_helpers.h"
#include "app/path_helpers.h"
#include "app/text.h"
#include "platform/files.h"
#include "platform/system.h"
#include "windows/com_identity_catalog.h"
#include "windows/com_identity_occurrences.h"
#include "windows/pe64_view.h"

namespace vellmora {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool ContainsIgnoreCase(std::string_view bytes, std::string_view text, std::size_t stride) {
  const std::size_t span = text.size() * stride;
  if (text.empty() || bytes.size() < span) return false;
  for (std::size_t i = 0; i + span <= bytes.size(); ++i) {
    std::size_t k = 0;
    while (k < text.size() && AsciiLower(bytes[i + k * stride]) == AsciiLower(text[k]) &&
           (stride == 1 || bytes[i + k * stride + 1] == 0)) {
      ++k;
    }
    if (k == text.size()) return true;
  }
  return false;
}

bool IsTokenCharacter(unsigned unit) {
  return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') ||
         (unit >= '0' && unit <= '9') || unit == '.' || unit == '_';
}

bool IsPlainFileAt(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess &&
         (status.attributes & (platform::kAttributeDirectory | platform::kAttributeReparsePoint)) ==
             0;
}

bool Exists(const platform::Path& path) {
  platform::FileStatus status;
  return platform::GetFileStatus(path, &status) == platform::kErrorSuccess;
}

// The file when it is at least a DOS header long and starts with "MZ".
bool ReadImage(const platform::Path& path, std::string* bytes) {
  return ReadWholeFile(path, bytes) && bytes->size() >= 64 && (*bytes)[0] == 'M' &&
         (*bytes)[1] == 'Z';
}

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

BinaryGuid BinaryOf(const platform::Guid& guid) {
  BinaryGuid binary;
  for (int i = 0; i < 4; ++i) binary[i] = static_cast<std::uint8_t>(guid.data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) binary[4 + i] = static_cast<std::uint8_t>(guid.data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) binary[6 + i] = static_cast<std::uint8_t>(guid.data3 >> (8 * i));
  std::memcpy(binary.data() + 8, guid.data4, 8);
  return binary;
}

}  // namespace

bool BytesContainIgnoreCase(std::string_view bytes, std::string_view text) {
  return ContainsIgnoreCase(bytes, text, 1) || ContainsIgnoreCase(bytes, text, 2);
}

bool BytesContainToken(std::string_view bytes, std::string_view text, bool utf16) {
  const std::size_t stride = utf16 ? 2 : 1;
  const std::size_t span = text.size() * stride;
  if (text.empty() || bytes.size() < span) return false;
  auto unit = [&](std::size_t at) {
    return utf16 ? static_cast<unsigned>(static_cast<std::uint8_t>(bytes[at]) |
                                         static_cast<std::uint8_t>(bytes[at + 1]) << 8)
                 : static_cast<unsigned>(static_cast<std::uint8_t>(bytes[at]));
  };
  for (std::size_t i = 0; i + span <= bytes.size(); ++i) {
    std::size_t k = 0;
    while (k < text.size() && unit(i + k * stride) == static_cast<std::uint8_t>(text[k])) ++k;
    if (k != text.size()) continue;
    if (i >= stride && IsTokenCharacter(unit(i - stride))) continue;
    if (i + span + stride <= bytes.size() && IsTokenCharacter(unit(i + span))) continue;
    return true;
  }
  return false;
}

bool ValidatePrivateGuidInBinary(const platform::Path& path, std::string_view original,
                                 std::string* error) {
  const std::string shown = ToUtf8(path);
  std::string bytes;
  if (!ReadImage(path, &bytes)) return Fail(error, "Missing or invalid private COM binary: " + shown);
  PeHeaders headers;
  const PeHeaderCheck check = ReadPeHeaders(bytes, &headers);
  if (check == PeHeaderCheck::kNotPe || check == PeHeaderCheck::kNoSignature) {
    return Fail(error, "Invalid PE header in private COM binary: " + shown);
  }
  if (check != PeHeaderCheck::kValid || headers.sections.empty()) {
    return Fail(error, "Invalid section table in private COM binary: " + shown);
  }
  std::string private_text;
  if (!PrivateGuidText(original, &private_text, error)) return false;
  platform::Guid decoded;
  if (platform::CLSIDFromString(L"{" + FromUtf8(private_text) + L"}", &decoded) !=
      platform::kErrorSuccess) {
    return Fail(error, "The private COM GUID could not be decoded.");
  }
  const BinaryGuid binary = BinaryOf(decoded);
  const std::string_view wanted(reinterpret_cast<const char*>(binary.data()), binary.size());
  bool found = false;
  for (const PeSection& section : headers.sections) {
    if (section.raw_size == 0) continue;
    const std::uint64_t end = std::uint64_t{section.raw_pointer} + section.raw_size;
    if (end > bytes.size()) {
      return Fail(error, "An invalid PE section prevents private COM validation: " + shown);
    }
    if (!VerifyNoOriginalIdentity(bytes, section.raw_pointer, static_cast<std::size_t>(end),
                                  error)) {
      *error += " File: " + shown;
      return false;
    }
    const std::string_view range(bytes.data() + section.raw_pointer, section.raw_size);
    found = found || range.find(wanted) != std::string_view::npos;
  }
  if (!found) return Fail(error, "The expected private COM GUID is missing from " + shown);
  return true;
}

bool ValidatePrivateComIdentity(const platform::Path& engine_dir, std::string* error) {
  if (!IsPlainFileAt(JoinPath(engine_dir, L"VLMServ.exe")) ||
      Exists(JoinPath(engine_dir, L"KolvSVC.exe"))) {
    return Fail(error, "The Vellmora COM server was not privately renamed.");
  }
  std::string core;
  if (!ReadImage(JoinPath(engine_dir, L"VLCore.dll"), &core)) {
    return Fail(error, "VLCore.dll is missing or invalid; private COM paths cannot be verified.");
  }
  if (BytesContainIgnoreCase(core, "KolvSVC.exe") || !BytesContainIgnoreCase(core, "VLMServ.exe")) {
    return Fail(error, "VLCore.dll still references the shared COM server or lacks its private "
                       "server path.");
  }
  std::string common;
  if (!ReadImage(JoinPath(engine_dir, L"RV-Common.dll"), &common)) {
    return Fail(error,
                "RV-Common.dll is missing or invalid; private process paths cannot be verified.");
  }
  bool old_literal = false;
  bool private_literal = false;
  for (const bool utf16 : {false, true}) {
    for (const char* text : {"KolvSVC", "KolvSVC.exe", "KolvSvc.exe"}) {
      old_literal = old_literal || BytesContainToken(common, text, utf16);
    }
    for (const char* text : {"VLMServ", "VLMServ.exe"}) {
      private_literal = private_literal || BytesContainToken(common, text, utf16);
    }
  }
  if (old_literal || !private_literal) {
    return Fail(error, "RV-Common.dll still has the old process literal or lacks the private "
                       "VLMServ literal.");
  }
  if (!BytesContainToken(common, "KolvSvc", false)) {
    return Fail(error, "RV-Common.dll CLR metadata lost the KolvSvc member name.");
  }
  const std::pair<const wchar_t*, const char*> binaries[] = {
      {L"Vellmora.exe", "470A6E9B-2049-4DC1-B901-D967E4CADF8A"},
      {L"VLMServ.exe", "AE316C2B-C93A-4B56-93F9-696F59A5E91F"},
      {L"KolvC.dll", "F1C2EA8F-9FCD-43C1-A8DB-94F57A3BAE9A"},
      {L"KolvProxyStub.dll", "F3265CBC-288B-4670-9518-1A0B4A58192F"},
  };
  for (const auto& [name, original] : binaries) {
    if (!ValidatePrivateGuidInBinary(JoinPath(engine_dir, name), original, error)) return false;
  }
  return true;
}

}  // namespace vellmora
