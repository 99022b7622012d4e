#pragma once
// The small fixed files of the packages: the product icon, QML cache files and the text
// templates, each in the form its reader expects.

#include <string>

#include "forge/disk_images.h"

namespace forge {

// A 16x16, 32-bit icon (ICONDIR, one entry, a BITMAPINFOHEADER image with its mask).
std::string ProductIcon();
// A compiled QML cache unit: the "qv4cdata" magic, then a small body derived from `name`.
std::string QmlCacheFile(const std::string& name);

std::string HostConfigTemplate();
std::string MachineRegistryTemplate();
// The Engine's instance list: an empty "Organization" array.
std::string InstanceMetadataTemplate();
// A VM definition with the media registry of the two disks and their attachments; the root
// disk's UUID occurs exactly twice (registration and attachment). It carries every token a
// registration fills: the Machine UUID, MAC address, CPU count, memory size, the VDES service
// library, and the install folders of the side-by-side, the older and the plain edition.
std::string VmDefinition(const std::string& name, const DiskUuid& root, const DiskUuid& boot);

}  // namespace forge
