#pragma once
// One Engine binary moved into the product's private COM identity and namespace: the edition tag,
// the engine version, every COM identity of the catalog in every form, and for the proxy library
// the re-sorted interface tables; then the image checksum. The file is rewritten only when all of
// that succeeded and something changed.

#include <cstddef>
#include <functional>

#include "platform/types.h"

namespace vellmora {

struct PersonalizationResult {
  bool succeeded = false;
  std::size_t replacements = 0;  // tag and version replacements, GUIDs and names together
  bool pe_image = false;
};

// Reports the fraction of the file done, from 0 to 1.
using PersonalizationProgress = std::function<void(double)>;

PersonalizationResult PersonalizeEngineBinary(const platform::Path& path,
                                              const PersonalizationProgress& progress);

}  // namespace vellmora
