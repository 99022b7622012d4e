#pragma once
// The judgement of a 7-Zip technical listing ("l -slt"), as pure text work: no process, no file.
// CheckArchiveListing runs the tool and hands its output here; the fuzz target and the benchmark
// call it directly.

#include <string>
#include <string_view>
#include <vector>

namespace vellmora {

// More entries than this reject the archive.
inline constexpr std::size_t kMaxArchiveEntries = 100000;

// True when every entry after the listing's separator line passes the name rules, is allowed by
// the roots and occurs once, no link, reparse, alternate-stream or anti-item ("Anti = +")
// property is listed,
// and each marker (alternatives separated by '|') names a listed entry. Otherwise *reason is the
// reason of the first failure, as the layout failure line carries it.
bool ScanArchiveListing(std::string_view listing, const std::vector<std::string>& required_markers,
                        const std::vector<std::string>& allowed_roots, std::string* reason);

}  // namespace vellmora
