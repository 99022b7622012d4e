#pragma once
// Controls of the simulated Windows machine, for tests, tools and scripts only; the product's code
// never includes this header.
//
// A machine lives in a machine-root folder on the Linux host, shared by every process that names
// it (through UseMachine or the VELLMORA_SIM_MACHINE environment variable):
//   machine.ini        configuration: user, elevation, the current directory relative paths
//                      resolve against (C:\Windows\System32, as an elevated process gets), drives
//                      (letter, type, free bytes), the environment block, known folders, TCP
//                      listeners, faults (readable text; see README.md for an example)
//   drives/<L>/        the contents of drive L: (C:\ is drives/C/)
//   registry.txt       the registry, in a .reg-like text form
//   attributes.txt     hidden, system and archive bits (and read-only of directories and links)
//   mutexes/           the named mutexes' lock files
//   debug-output.txt   what OutputDebugStringA sent
//   acls.txt           owners and access lists (see EffectiveAccessList)
//   processes.txt      the process table (see StartedProcesses)
//   services.txt       the Service Control Manager's services (see AddService)
//   system-tools.txt   system tools told to fail (see SetSystemToolFailure)
//   system-tool-runs.txt, boot-configuration.txt  what the system tools ran and keep
//   local-groups.txt   the local groups and their members (see LocalGroups)
//   root-certificates.pem  the root store HTTPS trusts (see AddRootCertificate)
//   restart-requests.txt, message-boxes.txt, shell-open.txt, restart-deletes.txt
//                      requests recorded instead of acted on
// Names are looked up case-insensitively, as Windows does; new entries keep the case they were
// created with. Unix symbolic links are reported as reparse points.
//
// Every seam call that touches the machine (files, paths, environment, drives, registry, token,
// TCP table, mutexes, debug output) needs one: without UseMachine or VELLMORA_SIM_MACHINE the
// first such call prints a message naming VELLMORA_SIM_MACHINE and aborts. Process and thread
// ids, clocks, Sleep, GUIDs and the exception filter work without a machine.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/paths.h"

namespace sim {

// A rule of `netsh interface portproxy add v4tov4`: connections to listen_address:listen_port go
// to connect_address:connect_port instead.
struct PortProxy {
  std::string listen_address;
  std::uint16_t listen_port = 0;
  std::string connect_address;
  std::uint16_t connect_port = 0;
};

struct DriveOptions {
  char letter = 'C';
  std::string type = "fixed";  // fixed, removable, network, cdrom, ramdisk
  std::uint64_t free_bytes = 512ull << 30;
};

// The processor as CPUID and IsProcessorFeaturePresent describe it. A new machine is a Windows 11
// PC whose Microsoft hypervisor runs (virtualization-based security) on firmware with
// virtualization switched on.
struct ProcessorOptions {
  bool hypervisor_present = true;              // CPUID leaf 1, ECX bit 31
  std::string hypervisor_vendor = "Microsoft Hv";  // leaf 0x40000000 EBX, ECX, EDX (<= 12 bytes)
  bool firmware_virtualization = true;         // PF_VIRT_FIRMWARE_ENABLED
};

struct MachineOptions {
  std::string user = "vellmora";
  bool elevated = true;
  // Default: C: and D: fixed, E: removable, Z: network.
  std::vector<DriveOptions> drives = {{'C', "fixed", 512ull << 30},
                                      {'D', "fixed", 1024ull << 30},
                                      {'E', "removable", 16ull << 30},
                                      {'Z', "network", 2048ull << 30}};
  std::vector<std::uint16_t> tcp_listeners = {135, 445};
};

// Creates (or re-creates, discarding what was there) a machine of an ordinary Windows 11 install:
// C:\Windows\System32, C:\Program Files, C:\Program Files (x86), C:\ProgramData,
// C:\Users\<user>\{AppData\Local\Temp, AppData\Roaming\Microsoft\Windows\Start Menu\Programs,
// Desktop}, the matching environment (ProgramFiles, ProgramW6432, ProgramData, SystemRoot, TEMP,
// TMP, USERPROFILE, LOCALAPPDATA, APPDATA, ...) and an empty registry with HKLM\SOFTWARE and
// HKCU\Software. Returns false with a message on stderr when the folder cannot be written, the
// options make no machine (no C: drive, a drive twice), or the folder holds something that is
// not a machine (so that a mistyped root never wipes a real folder).
bool CreateMachine(const std::string& root, const MachineOptions& options = {});

// Serves the machine at root to this process from now on (instead of VELLMORA_SIM_MACHINE),
// forgetting in-process state of the previous machine (environment, faults, open-handle table:
// handles of the previous machine are closed). It also sets VELLMORA_SIM_MACHINE in the process
// environment, so that child processes started afterwards run on the same machine.
void UseMachine(const std::string& root);
std::string MachineRoot();

// The host path behind a Windows path of the machine (for fixtures that build trees with the
// host's tools); empty when the path is not on one of the machine's drives. Existing components
// are found whatever their letter case.
std::string HostPathOf(const std::wstring& windows_path);
// The Windows path of a host path inside one of the machine's drive folders (host links
// resolved); empty otherwise.
std::wstring WindowsPathOf(const std::string& host_path);

// Machine settings, written to machine.ini so that other processes see them too.
void SetElevated(bool elevated);
void SetFreeBytes(char drive_letter, std::uint64_t free_bytes);
void SetTcpListeners(const std::vector<std::uint16_t>& ports);
// The user's default locale name ("pt-BR"); empty: the system gives none. A new machine has "en-US".
void SetUserLocale(const std::string& name);
void SetProcessor(const ProcessorOptions& processor);
// Where SHGetKnownFolderPath finds a known folder; an empty path leaves the machine without it
// (SHGetKnownFolderPath then fails with kErrorFileNotFound, create or not).
void SetKnownFolder(platform::KnownFolder folder, const std::wstring& path);
// The environment block that processes started later begin with (value null: removed). The
// running process keeps its own block; change that with platform::SetEnvironmentVariableW.
void SetMachineEnvironmentVariable(const std::wstring& name, const std::wstring* value);

// The network as the machine sees it. Host names resolve only through the machine's hosts file
// (C:\Windows\System32\drivers\etc\hosts; "localhost" always), never through the host's
// resolver, and TLS trusts only the certificates of the machine's root store
// (root-certificates.pem in the machine root; none on a new machine).
// AddHostsEntry appends "<address> <name>" to the hosts file, creating it when missing;
// AddRootCertificate appends a PEM certificate to the root store. Both false when they cannot.
bool AddHostsEntry(const std::string& address, const std::string& name);
bool AddRootCertificate(const std::string& pem);
// A port proxy rule in machine.ini, so that the compiled-in https URLs (port 443) reach a test
// server on its own port, as netsh's portproxy does on Windows.
void AddPortProxy(const PortProxy& rule);
// Caps every WinHTTP time-out of this process (connect, send, receive) at the given milliseconds,
// so that a test reaches a 30-second time-out quickly; 0 removes the cap.
void SetHttpTimeoutLimit(int milliseconds);

// Fault injection: the nth operation (1-based, counted in this process from the moment the fault
// is added) of the given kind whose path matches the pattern fails with the error, once.
// Patterns are Windows paths compared case-insensitively with * (any run of characters) and ?;
// registry operations match "HKLM\<sub key>" or "HKCU\<sub key>" (HKLM keys in the 32-bit view
// are matched after redirection, e.g. HKLM\SOFTWARE\WOW6432Node\...).
// Kinds: create_file, read, write, flush, copy, move, replace, delete_file, create_directory,
// remove_directory, set_attributes, get_attributes (GetFileAttributesW and GetFileStatus),
// list_directory, reg_create, reg_open, reg_set, reg_query, reg_delete_value, reg_delete_tree,
// tcp_table (reading the TCP listener table, which has no path: give it the pattern *).
// CreateJunction counts as create_directory and
// remove_directory, set_attributes, list_directory, reg_create, reg_open, reg_set, reg_query,
// reg_delete_value, reg_delete_tree, adjust_privileges (the pattern matches the privilege's name),
// exit_windows (the pattern matches the text "ExitWindowsEx"), shell_execute. CreateJunction counts as create_directory and
// CreateSymbolicLinkW as create_file of the link's path; copy, move and replace match either of
// their two paths. An unknown kind aborts: a test that misspells one would otherwise pass.
// Faults in machine.ini ("fault = <kind> <nth> <error> <pattern>" lines in [faults]) are loaded by
// every process that starts on the machine and count in that process.
// Two error values make the operation go wrong otherwise: kFaultCrash raises an access violation
// inside it (a crash of the caller at that point) and kFaultThrow throws a std::runtime_error out
// of it.
inline constexpr std::uint32_t kFaultCrash = 0xC0000005;
inline constexpr std::uint32_t kFaultThrow = 0xE06D7363;
struct Fault {
  std::string kind;
  std::wstring path_pattern;
  int nth = 1;
  std::uint32_t error = 0;
};
void InjectFault(const Fault& fault);
void ClearFaults();
// Adds a fault line to machine.ini for processes started later.
void AddMachineFault(const Fault& fault);

// A clock for tests, in this process: while it is on, platform::Sleep returns at once and moves
// GetTickCount64 on by the time asked for, so that the spacing of retries can be measured
// without waiting. Named-mutex waits keep the real clock.
void UseFakeClock(bool on);

// Access lists. Every file and directory has an owner and an access list, kept in acls.txt and
// inherited from its parent as on NTFS (see access_control.h in the sim); the security seam and
// the system folder's icacls.exe read and change them. Entries carry the Windows access mask and
// ACE flags (0x1 object inherit, 0x2 container inherit, 0x4 no propagation, 0x8 inherit only,
// 0x10 inherited).
struct AccessEntry {
  std::wstring sid;  // S-1-... form
  std::uint32_t rights = 0;
  std::uint32_t flags = 0;
  bool allow = true;
};
struct AccessList {
  std::wstring owner_sid;
  bool protected_dacl = false;
  std::vector<AccessEntry> entries;  // explicit entries first, then inherited ones
};
// The effective access list of a path; false when the path does not exist.
bool EffectiveAccessList(const std::wstring& path, AccessList* list);
struct Access {
  bool read = false;
  bool write = false;  // write or append data, delete, change attributes, the DACL or the owner
  bool execute = false;
};
// What a token of the SID may do with the path: the SID with the groups any such token holds
// (Everyone and Authenticated Users; the machine's user is also in Users; LocalSystem is also in
// Administrators). An owner may always rewrite the DACL, which counts as write.
Access EffectiveAccess(const std::wstring& path, const std::wstring& sid);
// The SID of the machine's user (machine.ini's user).
std::wstring MachineUserSid();

// System tools: the system folder's tools that the sim provides (icacls.exe, dism.exe,
// bcdedit.exe) can be made to fail.
// A start error makes CreateProcessW fail with it; otherwise the tool starts, does nothing and
// exits with exit_code when that is not 0 or when does_nothing is set (a stand-in that claims
// success). All unset: the tool works again.
struct SystemToolFailure {
  std::uint32_t start_error = 0;
  std::uint32_t exit_code = 0;
  bool does_nothing = false;
  // What the tool prints then (UTF-8); empty: the tool's own failure text, or nothing for a
  // stand-in that claims success.
  std::string output = {};
};
void SetSystemToolFailure(const std::wstring& file_name, const SystemToolFailure& failure);
// Every run of a system tool on this machine (system-tool-runs.txt), oldest first: the tool's file
// name as the command line's program named it, the whole command line and the exit code.
struct SystemToolRun {
  std::wstring tool;
  std::wstring command_line;
  std::uint32_t exit_code = 0;
};
std::vector<SystemToolRun> SystemToolRuns();
// The boot configuration store as bcdedit.exe keeps it (boot-configuration.txt): a setting's
// value ("Auto" for hypervisorlaunchtype after "/set hypervisorlaunchtype auto"); empty when unset.
std::string BootSetting(const std::string& name);

// The machine's local groups (local-groups.txt). A new machine has Administrators (S-1-5-32-544),
// Users (S-1-5-32-545) and Hyper-V Administrators (S-1-5-32-578), the machine's user a member of
// each since logon. The process token holds a group when the user is a member since logon (and,
// for Administrators, only while elevated); NetLocalGroupAddMembers adds members "since logon"
// does not cover, which tokens get at the next logon.
struct LocalGroup {
  std::wstring sid;
  std::wstring name;                     // as LookupAccountSidW answers, possibly localised
  std::vector<std::wstring> members;     // member SIDs the current logon's tokens hold
  std::vector<std::wstring> added_since_logon;
};
// Adds the group, or replaces the one with its SID.
void SetLocalGroup(const LocalGroup& group);
void RemoveLocalGroup(const std::wstring& sid);
std::vector<LocalGroup> LocalGroups();

// The machine's process table: every process started through CreateProcessW on this machine,
// oldest first, with the Windows path of its program.
struct StartedProcess {
  std::uint32_t process_id = 0;
  std::uint32_t parent_process_id = 0;
  std::wstring image_path;
  bool running = false;
};
std::vector<StartedProcess> StartedProcesses();
// What the machine was asked to do that a simulation cannot act on, one entry per request, oldest
// first (files restart-requests.txt, message-boxes.txt and shell-open.txt of the machine root):
//   restart requests: "flags=0x00000012 reason=0x80040002"
//   message boxes:    "<caption>|<text>|type=0x00000030" (UTF-8)
//   shell opens:      "open|<path>" (UTF-8)
std::vector<std::string> RecordedRestarts();
std::vector<std::string> RecordedMessageBoxes();
std::vector<std::string> RecordedShellOpens();
// Files DeleteFileAtRestart scheduled for deletion at the next restart (restart-deletes.txt),
// their Windows paths in UTF-8; nothing deletes them.
std::vector<std::string> RecordedRestartDeletes();
// A process that this process's snapshots list under exe_file but that OpenProcess refuses with
// kErrorAccessDenied, as Windows does for another user's or a protected process. Returns its
// (made-up, never running) id; ClearUnopenableProcesses forgets them all.
std::uint32_t AddUnopenableProcess(const std::wstring& exe_file);
void ClearUnopenableProcesses();

// The Service Control Manager's table (services.txt). A service whose deletion was asked for stays
// "marked for deletion" (OpenServiceW fails with kErrorServiceMarkedForDelete) until the last
// handle of this process closes, or for good while held_elsewhere says another process holds it.
struct ServiceRecord {
  std::wstring name;
  std::uint32_t service_type = 0x1;  // SERVICE_KERNEL_DRIVER
  std::uint32_t start_type = 3;      // SERVICE_DEMAND_START
  std::uint32_t state = 1;           // SERVICE_STOPPED
  std::wstring image_path;           // lpBinaryPathName, as configured
  // ControlService(SERVICE_CONTROL_STOP) of a running service fails with it (a driver that
  // cannot be unloaded refuses with 1052); 0: the service stops.
  std::uint32_t stop_error = 0;
  bool held_elsewhere = false;
  bool marked_for_delete = false;
  // Someone else's change: when the service is next opened with DELETE access, this becomes its
  // image path (empty: nothing changes).
  std::wstring image_path_on_delete_open;
};
// Adds the service, or replaces the one of the same name (ignoring letter case).
void AddService(const ServiceRecord& record);
// The table as it is now, in the order services were added.
std::vector<ServiceRecord> Services();

}  // namespace sim
