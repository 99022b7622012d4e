#pragma once
// The local groups of a simulated machine (local-groups.txt in the machine root), one line per
// group: "<sid>|<name>|<member sids since logon>|<member sids added since logon>", SIDs separated
// by blanks. Without the file the machine has the groups of a new one (see sim_control.h).

#include <functional>
#include <string>
#include <vector>

#include "platform/sim/sim_control.h"

namespace sim::internal {

std::vector<LocalGroup> ReadLocalGroups();
// Read-modify-write under the machine lock.
void ChangeLocalGroups(const std::function<void(std::vector<LocalGroup>*)>& change);

}  // namespace sim::internal
