#include "platform/version.h"

#include <cstring>

#include "platform/files.h"
#include "platform/sim/pe_resources.h"

namespace platform {
namespace {

// Images larger than this are not read whole; the installer asks only about its own programs.
constexpr std::uint64_t kMaxImageBytes = 512ull * 1024 * 1024;

Win32Error ReadImage(const Path& file, std::vector<std::uint8_t>* bytes) {
  FileStatus status;
  Win32Error error = GetFileStatus(file, &status);
  if (error != kErrorSuccess) return error;
  UniqueHandle handle;
  error = CreateFileW(file, kGenericRead, kShareRead | kShareDelete, kOpenExisting, 0, &handle);
  if (error != kErrorSuccess) return error;
  if (status.size > kMaxImageBytes) return sim::internal::kErrorBadExeFormat;
  bytes->assign(status.size, 0);
  std::uint32_t got = 0;
  error = ReadFile(handle.Get(), bytes->data(), static_cast<std::uint32_t>(bytes->size()), &got);
  if (error != kErrorSuccess) return error;
  bytes->resize(got);
  return kErrorSuccess;
}

Win32Error ReadVersionResource(const Path& file, std::vector<std::uint8_t>* resource) {
  std::vector<std::uint8_t> image;
  Win32Error error = ReadImage(file, &image);
  if (error != kErrorSuccess) return error;
  return sim::internal::FindPeResource(image, sim::internal::kResourceTypeVersion,
                                       sim::internal::kVersionResourceId, resource);
}

std::uint32_t U16At(const std::vector<std::uint8_t>& block, std::size_t offset) {
  return static_cast<std::uint32_t>(block[offset] | (block[offset + 1] << 8));
}

}  // namespace

std::uint32_t GetFileVersionInfoSizeW(const Path& file, Win32Error* error) {
  std::vector<std::uint8_t> resource;
  Win32Error result = ReadVersionResource(file, &resource);
  if (error) *error = result;
  return result == kErrorSuccess ? static_cast<std::uint32_t>(resource.size()) : 0;
}

Win32Error GetFileVersionInfoW(const Path& file, std::uint32_t size, std::vector<std::uint8_t>* data) {
  std::vector<std::uint8_t> resource;
  Win32Error error = ReadVersionResource(file, &resource);
  if (error != kErrorSuccess) return error;
  data->assign(size, 0);
  std::memcpy(data->data(), resource.data(), std::min<std::size_t>(size, resource.size()));
  return kErrorSuccess;
}

// Only the root block is answered: VS_VERSIONINFO is wLength, wValueLength, wType, the key
// L"VS_VERSION_INFO" with its terminating zero, padding to 32 bits, then the fixed information.
bool VerQueryValueW(const std::vector<std::uint8_t>& block, const std::wstring& sub_block,
                    const std::uint8_t** value, std::uint32_t* length) {
  constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  constexpr std::size_t kKeyOffset = 6;
  constexpr std::size_t kValueOffset = (kKeyOffset + sizeof(kKey) + 3) & ~std::size_t{3};
  if (sub_block != L"\\" || block.size() < kValueOffset) return false;
  for (std::size_t i = 0; i < sizeof(kKey) / 2; ++i) {
    if (U16At(block, kKeyOffset + 2 * i) != static_cast<std::uint32_t>(kKey[i])) return false;
  }
  std::size_t total = std::min<std::size_t>(U16At(block, 0), block.size());
  std::size_t value_length = U16At(block, 2);
  if (value_length == 0 || kValueOffset + value_length > total) return false;
  *value = block.data() + kValueOffset;
  *length = static_cast<std::uint32_t>(value_length);
  return true;
}

}  // namespace platform
