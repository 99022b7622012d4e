#include "platform/sim/records.h"

#include <fstream>

#include "platform/sim/machine.h"

namespace sim {
namespace internal {

void AppendRecord(const char* file_name, const std::string& line) {
  std::string flat = line;
  for (char& c : flat) {
    if (c == '\n' || c == '\r') c = ' ';  // one request stays one line
  }
  std::ofstream out(Root() + "/" + file_name, std::ios::app | std::ios::binary);
  out << flat << '\n';
}

std::vector<std::string> ReadRecord(const char* file_name) {
  std::vector<std::string> lines;
  std::ifstream in(Root() + "/" + file_name, std::ios::binary);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace internal

std::vector<std::string> RecordedRestarts() { return internal::ReadRecord(internal::kRestartRecord); }
std::vector<std::string> RecordedMessageBoxes() {
  return internal::ReadRecord(internal::kMessageBoxRecord);
}
std::vector<std::string> RecordedShellOpens() {
  return internal::ReadRecord(internal::kShellOpenRecord);
}
std::vector<std::string> RecordedRestartDeletes() {
  return internal::ReadRecord(internal::kRestartDeleteRecord);
}

}  // namespace sim
