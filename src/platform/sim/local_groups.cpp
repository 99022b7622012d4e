#include "platform/sim/local_groups.h"

#include <fstream>
#include <sstream>

#include "platform/sim/access_control.h"
#include "platform/sim/machine.h"
#include "platform/sim/shared_store.h"
#include "platform/sim/text.h"

namespace sim::internal {
namespace {

std::string StorePath() { return Root() + "/local-groups.txt"; }

std::vector<LocalGroup> NewMachineGroups() {
  const std::wstring user = UserSid();
  return {{L"S-1-5-32-544", L"Administrators", {user}, {}},
          {L"S-1-5-32-545", L"Users", {user}, {}},
          {L"S-1-5-32-578", L"Hyper-V Administrators", {user}, {}}};
}

std::vector<std::wstring> SidList(const std::string& text) {
  std::vector<std::wstring> sids;
  std::istringstream in(text);
  std::string sid;
  while (in >> sid) sids.push_back(FromUtf8(sid));
  return sids;
}

std::string SidText(const std::vector<std::wstring>& sids) {
  std::string text;
  for (const std::wstring& sid : sids) text += (text.empty() ? "" : " ") + ToUtf8(sid);
  return text;
}

std::string Format(const std::vector<LocalGroup>& groups) {
  std::string text = "; sid|name|members since logon|members added since logon\n";
  for (const LocalGroup& group : groups) {
    text += ToUtf8(group.sid) + "|" + ToUtf8(group.name) + "|" + SidText(group.members) + "|" +
            SidText(group.added_since_logon) + "\n";
  }
  return text;
}

}  // namespace

std::vector<LocalGroup> ReadLocalGroups() {
  std::ifstream in(StorePath());
  if (!in) return NewMachineGroups();
  std::vector<LocalGroup> groups;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == ';') continue;
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t bar = line.find('|'); fields.size() < 3 && bar != std::string::npos;
         bar = line.find('|', start)) {
      fields.push_back(line.substr(start, bar - start));
      start = bar + 1;
    }
    fields.push_back(line.substr(start));
    if (fields.size() != 4) Fatal(StorePath() + ": expected sid|name|members|added: " + line);
    groups.push_back({FromUtf8(Trim(fields[0])), FromUtf8(fields[1]), SidList(fields[2]),
                      SidList(fields[3])});
  }
  return groups;
}

void ChangeLocalGroups(const std::function<void(std::vector<LocalGroup>*)>& change) {
  MachineLock machine(Root());
  std::vector<LocalGroup> groups = ReadLocalGroups();
  change(&groups);
  if (!WriteFileAtomically(StorePath(), Format(groups))) Fatal("cannot write " + StorePath());
}

}  // namespace sim::internal

namespace sim {

void SetLocalGroup(const LocalGroup& group) {
  internal::ChangeLocalGroups([&](std::vector<LocalGroup>* groups) {
    for (LocalGroup& listed : *groups) {
      if (internal::EqualsIgnoringCase(listed.sid, group.sid)) {
        listed = group;
        return;
      }
    }
    groups->push_back(group);
  });
}

void RemoveLocalGroup(const std::wstring& sid) {
  internal::ChangeLocalGroups([&](std::vector<LocalGroup>* groups) {
    std::erase_if(*groups, [&](const LocalGroup& group) {
      return internal::EqualsIgnoringCase(group.sid, sid);
    });
  });
}

std::vector<LocalGroup> LocalGroups() { return internal::ReadLocalGroups(); }

}  // namespace sim
