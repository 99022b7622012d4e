#pragma once
// The Pie64 instance's records in the host configuration "VellmoraOX.conf": the installed-images
// list, the instance keys a repair keeps and those every registration rewrites.

#include <cstdint>
#include <string>

namespace vellmora {

struct InstanceHostValues {
  int adb_port = 0;
  int cpu_cores = 0;
  int memory_mib = 0;
  std::uint64_t physical_memory_mib = 0;
  int screen_width = 0;
  int screen_height = 0;
  std::string android_id;            // 16 upper-case hexadecimal digits
  std::string advertising_id;        // a GUID without braces
};

// Records the instance in the text. reset (a new instance just placed) also drops the old
// instance's session, account and statistics lines and writes its identities anew; without it
// the keys already there keep their values. Lines are split at "\n" (a "\r" before it belongs to
// the ending) and written back each followed by "\r\n", so a second run adds nothing. False with
// the detail when the result still holds an unresolved package token.
bool RecordInstanceInHostConfig(std::string* text, const InstanceHostValues& values, bool reset,
                                std::string* detail);

}  // namespace vellmora
