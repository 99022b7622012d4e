#pragma once
// The disk identities of the Pie64 instance: the VHD footer of "Root.vhd" (cookie, checksum, disk
// UUID), the disk elements of the ".kolv" VM definitions, and the one UUID that ties them
// together. Everything is checked on bytes and exact text fragments, without an XML parser.

#include <string>
#include <vector>

#include "platform/types.h"

namespace vellmora {

// The footer's disk UUID in registry form ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the first
// three groups little-endian, as Windows lays a GUID out in memory). False with the message for
// the user when the file is no valid VHD. Reads the last 512 bytes only and changes nothing.
bool ReadVhdFooter(const platform::Path& root_vhd, std::string* uuid, std::string* error);

// True when every listed definition (relative names resolve against instance_dir) registers and
// attaches the footer's UUID of instance_dir\Root.vhd exactly once each. With update_allowed a
// definition that registers another UUID gets the footer's everywhere instead, rewritten whole.
bool SyncRootVhdUuid(const platform::Path& instance_dir,
                     const std::vector<platform::Path>& definitions, bool update_allowed,
                     std::string* error);

// True when the definition declares exactly one system disk (Root.vhd, VHD, Normal) and one boot
// disk (fastboot.vdi, VDI, Readonly); other disks are ignored. False also when it cannot be read.
bool CheckVmDiskEntries(const platform::Path& definition);

// "080027" and six upper-case hexadecimal digits of a GUID made for this call; empty when no GUID
// could be created.
std::string NewMacAddress();

}  // namespace vellmora
