#pragma once
// Drives: the logical drive list, drive types and free space.

#include <cstdint>
#include <vector>

#include "platform/types.h"

namespace platform {

// GetDriveTypeW results (DRIVE_*).
inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdrom = 5;
inline constexpr std::uint32_t kDriveRamdisk = 6;

// GetLogicalDriveStringsW: the roots of the logical drives ("C:\", "D:\", ...) in the order
// Windows reports them.
Win32Error GetLogicalDriveStringsW(std::vector<Path>* roots);

// GetDriveTypeW of a drive root (a path that ends in a backslash).
std::uint32_t GetDriveTypeW(const Path& root);

// GetDiskFreeSpaceExW: the bytes available to the caller on the volume of root.
Win32Error GetDiskFreeSpaceExW(const Path& root, std::uint64_t* free_bytes_available);

}  // namespace platform
