#pragma once
// The safety check every package passes before anything of it is extracted: the archive tool's
// technical listing, captured into a temporary file beside the archive (gone again as soon as the
// check closes it), judged by ScanArchiveListing. Each rejection is one "ARCHIVE LAYOUT FAILURE: "
// line in the installation log only; the user-facing message is the caller's.

#include <string>
#include <vector>

#include "platform/types.h"

namespace vellmora {

// The archive tool's time limit for a listing.
inline constexpr std::uint32_t kListingTimeLimitMs = 3600000;
// A listing larger than this is refused unread.
inline constexpr std::uint64_t kMaxListingBytes = 64ull * 1024 * 1024;

// True when the archive is acceptable: every entry a plain, allowed, unique path, no link,
// reparse, alternate-stream or anti-item metadata, and every required marker present.
bool CheckArchiveListing(const platform::Path& tool, const platform::Path& archive,
                         const std::vector<std::string>& required_markers,
                         const std::vector<std::string>& allowed_roots);

// "ARCHIVE LAYOUT FAILURE: <reason> | archive=<archive>" in the log; always false.
bool ReportArchiveLayoutFailure(const platform::Path& archive, const std::string& reason);

// The listing command line. Streams are listed as items of their own ("-sns"), so that an
// alternate stream can never pass unseen.
std::wstring ArchiveListingCommandLine(const platform::Path& tool, const platform::Path& archive);

}  // namespace vellmora
