#pragma once
// Wine differs from Windows in a few places that tests must not mistake for product faults.

namespace vellmora::testing {

// True when the Windows build runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

}  // namespace vellmora::testing
