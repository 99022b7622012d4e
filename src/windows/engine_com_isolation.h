#pragma once
// Gives a staged Engine the product's private COM identity before it is placed: every COM binary
// personalized, the server renamed "VLMServ.exe", and the result validated. A failure leaves the
// staging to the caller's rollback.

#include <cstddef>

#include "platform/types.h"

namespace vellmora {

class InstallerEngine;

struct EngineComBinary {
  const wchar_t* name;
  bool required;
};

// In processing order: ten COM components that must be present, then six optional programs.
inline constexpr EngineComBinary kEngineComBinaries[] = {
    {L"Vellmora.exe", true},          {L"KolvSVC.exe", true},
    {L"KolvC.dll", true},             {L"KolvProxyStub.dll", true},
    {L"RV-MultiInstanceManager.exe", true}, {L"KolvVMMgr.exe", true},
    {L"VBoxCAPI.dll", true},          {L"KolvTypeLib.dll", true},
    {L"VLCore.dll", true},            {L"RV-Common.dll", true},
    {L"RV-Bridge-Native.dll", false}, {L"RV-EnableHyperV.exe", false},
    {L"RV-DiskFormatCheck.exe", false}, {L"RV-Apn.dll", false},
    {L"RV-DiskCompaction.exe", false}, {L"RV-WerHandler2.dll", false},
};

// True when the staged Engine directory now carries a complete private identity. Moves the
// progress from progress_start to progress_end; one log line on failure, one on success. A file
// status that cannot be read raises FileSystemError.
bool IsolateEngineComIdentity(InstallerEngine& engine, const platform::Path& staged_engine_dir,
                              float progress_start, float progress_end);

}  // namespace vellmora
