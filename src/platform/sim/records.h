#pragma once
// Requests the simulated machine records instead of acting on (restarting Windows, showing a
// message box, opening a file in its program), one line each in a file of the machine root, so
// that tests and other processes can see what was asked.

#include <string>
#include <vector>

namespace sim::internal {

void AppendRecord(const char* file_name, const std::string& line);
std::vector<std::string> ReadRecord(const char* file_name);

inline constexpr const char* kRestartRecord = "restart-requests.txt";
inline constexpr const char* kMessageBoxRecord = "message-boxes.txt";
inline constexpr const char* kShellOpenRecord = "shell-open.txt";
inline constexpr const char* kRestartDeleteRecord = "restart-deletes.txt";

}  // namespace sim::internal
