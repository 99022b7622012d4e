#include "log_cursor.h"

#include "platform/paths.h"
#include "test_machine.h"

namespace vellmora::testing {

platform::Path PrimaryLogPath() {
  platform::Path program_data;
  platform::SHGetKnownFolderPath(platform::KnownFolder::kProgramData, false, &program_data);
  return program_data + L"\\Vellmora-Installer\\Logs\\Vellmora-Instalacao.txt";
}

LogCursor::LogCursor(platform::Path path) : path_(std::move(path)) { Skip(); }

void LogCursor::Skip() {
  std::string content;
  start_ = ReadTestFile(path_, &content) ? content.size() : 0;
}

std::string LogCursor::NewText() const {
  std::string content;
  if (!ReadTestFile(path_, &content) || content.size() < start_) return {};
  return content.substr(start_);
}

std::vector<std::string> LogCursor::NewLines() const {
  std::vector<std::string> lines;
  std::string text = NewText();
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(WithoutLogPrefix(text.substr(at, end - at)));
    at = end + 2;
  }
  return lines;
}

std::string WithoutLogPrefix(const std::string& line) {
  if (line.empty() || line[0] != '[') return line;
  std::size_t end = line.find("] ");
  return end == std::string::npos ? line : line.substr(end + 2);
}

}  // namespace vellmora::testing
