#include <cstdio>

#include "platform/sim/records.h"
#include "platform/sim/text.h"
#include "platform/window.h"

namespace platform {

// Nobody sits at the simulated machine: the box is recorded and answered with OK.
int MessageBoxW(RawWindow, const std::wstring& text, const std::wstring& caption,
                std::uint32_t type) {
  char flags[32];
  std::snprintf(flags, sizeof flags, "type=0x%08X", type);
  sim::internal::AppendRecord(sim::internal::kMessageBoxRecord, sim::internal::ToUtf8(caption) + "|" +
                                                                    sim::internal::ToUtf8(text) + "|" +
                                                                    flags);
  return 1;
}

}  // namespace platform
