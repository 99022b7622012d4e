#pragma once
// The embedded 7-Zip console program: written from the installer's own resources into a private
// staging directory and run there as a hidden child, with live progress, heartbeat lines, a
// one-hour limit and the tail of its output in the log when it fails.
//
// A staging directory lives from CreateStagingDirectory until its owner calls
// RemoveStagingDirectory, on success and on every failure path. Both it and its shared parent
// ".VellmoraInstaller" admit only LocalSystem and the Administrators group from the moment they
// exist, so that nothing an ordinary user can write is ever loaded by the elevated tool.

#include <cstdint>
#include <string>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

// Raw-data resources of the installer's own module and the names they are written under.
inline constexpr int kArchiveToolResource = 202;     // "7z.exe"
inline constexpr int kArchiveLibraryResource = 203;  // "7z.dll"
inline constexpr int kArchiveLicenceResource = 204;  // "LICENSE-7ZIP.txt"
inline constexpr const wchar_t* kArchiveToolFileName = L"7z.exe";
inline constexpr const wchar_t* kArchiveLibraryFileName = L"7z.dll";
inline constexpr const wchar_t* kArchiveLicenceFileName = L"LICENSE-7ZIP.txt";

// Time limits of the archive tool run without captured progress, and of any archive run.
inline constexpr std::uint32_t kArchiveTimeLimitMs = 3600000;

// Writes the resource's bytes to target (created or truncated). False, without touching target,
// when the resource is missing or empty; false when the file cannot be fully written.
bool WriteResourceToFile(InstallerEngine& engine, int resource_id, const std::wstring& target);

// <drive root of install_base>\.VellmoraInstaller\Vellmora-<GUID>, created exclusively and secured;
// empty (after one log line) when it cannot be created or secured.
std::wstring CreateStagingDirectory(InstallerEngine& engine);
// Removes the staging directory's tree (without following links; errors ignored) and the shared
// parent when this was its last staging directory.
void RemoveStagingDirectory(const std::wstring& path);

// Runs "<tool> <command> <archive>" (+ " -o<destination> -y -aoa" when a destination is given).
// With 0 <= progress_start < progress_end the tool's progress moves the progress bar through that
// band, and a non-empty label adds milestone, heartbeat and completion lines; otherwise it runs
// through RunCaptured without progress. False (after its log lines) when it could not run, failed
// or ran past one hour.
bool RunArchiveTool(InstallerEngine& engine, const std::wstring& tool, const std::wstring& command,
                    const std::wstring& archive, const std::wstring& destination,
                    float progress_start, float progress_end, const std::string& label);

// "Archive tool output tail: " + the last 2048 bytes of text on one line; nothing for empty text.
void LogArchiveOutputTail(InstallerEngine& engine, const std::string& text);

}  // namespace vellmora
