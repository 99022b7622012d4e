#pragma once
// Version resources of executable files, as Version.dll has them: the size of a file's version
// resource, the resource itself, and a value inside it. Only the root block ("\") is needed: the
// fixed file information (VS_FIXEDFILEINFO).

#include <cstdint>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// VS_FIXEDFILEINFO, 52 bytes, in the order of its fields.
struct FixedFileInfo {
  std::uint32_t signature = 0;
  std::uint32_t struct_version = 0;
  std::uint32_t file_version_ms = 0;     // high word: first number, low word: second
  std::uint32_t file_version_ls = 0;     // high word: third number, low word: fourth
  std::uint32_t product_version_ms = 0;
  std::uint32_t product_version_ls = 0;
  std::uint32_t file_flags_mask = 0;
  std::uint32_t file_flags = 0;
  std::uint32_t file_os = 0;
  std::uint32_t file_type = 0;
  std::uint32_t file_subtype = 0;
  std::uint32_t file_date_ms = 0;
  std::uint32_t file_date_ls = 0;
};
inline constexpr std::uint32_t kFixedFileInfoSize = 52;
static_assert(sizeof(FixedFileInfo) == kFixedFileInfoSize);

// GetFileVersionInfoSizeW: the buffer size GetFileVersionInfoW needs; 0 with the error when the
// file cannot be read, is not an executable image or carries no version resource.
std::uint32_t GetFileVersionInfoSizeW(const Path& file, Win32Error* error = nullptr);
// GetFileVersionInfoW: the version resource into *data (resized to size).
Win32Error GetFileVersionInfoW(const Path& file, std::uint32_t size, std::vector<std::uint8_t>* data);
// VerQueryValueW on a block from GetFileVersionInfoW: *value points into block, *length is the
// value's size in bytes. False when the block has no such value.
bool VerQueryValueW(const std::vector<std::uint8_t>& block, const std::wstring& sub_block,
                    const std::uint8_t** value, std::uint32_t* length);

}  // namespace platform
