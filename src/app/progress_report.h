#pragma once
// The channel from a running operation to the installation log and the wizard. Each writes the
// log file first, outside the InstallerEngine lock, then updates the state under it.

#include <string>

namespace vellmora {

class InstallerEngine;

// "LOG: " + message in the file; the message in the visible log.
void ReportLog(InstallerEngine& engine, const std::string& message);
// "STAGE: " + title (+ " | " + detail) in the file; the stage line of the wizard. A repeated
// identical stage adds no visible line.
void ReportStage(InstallerEngine& engine, const std::string& title, const std::string& detail);
// The "FINISH SUCCESS: "/"FINISH ERROR: " line, and the end of the operation (or, while chained,
// of one step of it: the busy flag then stays set).
void ReportFinish(InstallerEngine& engine, bool success, const std::string& message);
// The rule, "BEGIN: " and "CONTEXT: " lines that open every operation in the log.
void WriteOperationHeader(InstallerEngine& engine, const std::string& title);

}  // namespace vellmora
