#include "support/download_servers.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#include <wincrypt.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#endif

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace vellmora::testing {
namespace {

std::string ReadHostFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// The key=value lines download_servers.py writes once it serves.
bool ParseInfo(const std::string& text, DownloadServers* servers, std::string* ca_der_path) {
  std::istringstream lines(text);
  std::string line;
  std::string ca_pem_path;
  while (std::getline(lines, line)) {
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (key == "nginx_port") servers->nginx_port = std::atoi(value.c_str());
    if (key == "fault_port") servers->fault_port = std::atoi(value.c_str());
    if (key == "host") servers->host_name = value;
    if (key == "ca_pem") ca_pem_path = value;
    if (key == "ca_der") *ca_der_path = value;
    if (key == "folder") servers->folder = value;
    if (key.rfind("file.", 0) == 0) {
      servers->file_sizes[key.substr(5)] = std::strtoull(value.c_str(), nullptr, 10);
    }
  }
#ifdef _WIN32
  // The host's paths, reached through Wine's Z: drive.
  auto through_z = [](std::string path) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return "Z:" + path;
  };
  ca_pem_path = through_z(ca_pem_path);
  *ca_der_path = through_z(*ca_der_path);
#endif
  servers->ca_pem = ReadHostFile(ca_pem_path);
  return servers->nginx_port > 0 && servers->fault_port > 0 && !servers->ca_pem.empty();
}

#ifdef _WIN32

std::string g_ca_der;

// Takes the run's CA out of the ROOT store again; says so on stderr when it cannot, since the
// prefix would then trust it for good.
void RemoveRunCertificate() {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                                   L"Root");
  bool removed = false;
  if (store != nullptr) {
    PCCERT_CONTEXT ours = CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(g_ca_der.data()),
        static_cast<DWORD>(g_ca_der.size()));
    if (ours != nullptr) {
      PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0,
                                                        CERT_FIND_EXISTING, ours, nullptr);
      // CertDeleteCertificateFromStore frees the context it is given.
      removed = found != nullptr && CertDeleteCertificateFromStore(found);
      CertFreeCertificateContext(ours);
    }
    // The chain engine may hold the store open too; commit rather than wait for the last close.
    if (removed) removed = CertControlStore(store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(store, 0);
  }
  if (!removed) {
    std::fprintf(stderr, "download tests: the run's CA stays in the ROOT store (error %lu)\n",
                 GetLastError());
  }
}

DownloadServers Start() {
  DownloadServers servers;
  const char* info = std::getenv("VELLMORA_DOWNLOAD_SERVERS");
  if (info == nullptr || *info == '\0') {
    servers.why_not = "VELLMORA_DOWNLOAD_SERVERS is not set: scripts/test starts the servers";
    return servers;
  }
  std::string path = info;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  std::string der_path;
  if (!ParseInfo(ReadHostFile("Z:" + path), &servers, &der_path)) {
    servers.why_not = std::string("no server description in ") + info;
    return servers;
  }
  g_ca_der = ReadHostFile(der_path);
  if (g_ca_der.empty() ||
      !CertAddEncodedCertificateToSystemStoreW(L"Root",
                                               reinterpret_cast<const BYTE*>(g_ca_der.data()),
                                               static_cast<DWORD>(g_ca_der.size()))) {
    servers.why_not = "the run's CA could not be added to the ROOT store";
    return servers;
  }
  std::atexit(RemoveRunCertificate);
  servers.available = true;
  return servers;
}

#else

int g_server_stdin = -1;

DownloadServers Start() {
  DownloadServers servers;
  std::string folder_template =
      (std::filesystem::temp_directory_path() / "vellmora-download-servers.XXXXXX").string();
  if (mkdtemp(folder_template.data()) == nullptr) {
    servers.why_not = "no temporary folder";
    return servers;
  }
  std::string folder = folder_template;
  std::string info = folder + ".info";
  int to_child[2];
  int from_child[2];
  if (pipe(to_child) != 0 || pipe(from_child) != 0) {
    servers.why_not = "no pipes";
    return servers;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(to_child[0], 0);
    dup2(from_child[1], 1);
    close(to_child[1]);
    close(from_child[0]);
    execl("/usr/bin/python3", "python3", VELLMORA_DOWNLOAD_SERVERS_SCRIPT, "--dir", folder.c_str(),
          "--info", info.c_str(), "--watch-stdin", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(to_child[0]);
  close(from_child[1]);
  // Kept open until the process ends: its end is the servers' signal to stop.
  g_server_stdin = to_child[1];
  fcntl(g_server_stdin, F_SETFD, FD_CLOEXEC);
  // The line "ready" once the servers serve (it may come in pieces).
  std::string said;
  while (said.find('\n') == std::string::npos) {
    pollfd ready = {from_child[0], POLLIN, 0};
    char text[64];
    if (poll(&ready, 1, 60000) != 1) break;
    ssize_t count = read(from_child[0], text, sizeof text);
    if (count <= 0) break;
    said.append(text, static_cast<std::size_t>(count));
  }
  close(from_child[0]);
  bool started = said.rfind("ready\n", 0) == 0;
  std::string der_path;
  if (!started || !ParseInfo(ReadHostFile(info), &servers, &der_path)) {
    servers.why_not = "download_servers.py did not start (nginx, openssl and python3 come from "
                      "scripts/setup)";
    return servers;
  }
  std::filesystem::remove(info);
  servers.available = true;
  return servers;
}

#endif

}  // namespace

const DownloadServers& TestDownloadServers() {
  static std::once_flag once;
  static DownloadServers servers;
  std::call_once(once, [] { servers = Start(); });
  return servers;
}

std::string ServedContent(std::size_t size) {
  std::string block(65536, '\0');
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  }
  std::string content;
  content.reserve(size + block.size());
  while (content.size() < size) content += block;
  content.resize(size);
  return content;
}

void TrustDownloadServers(const TestMachine&) {
#if VELLMORA_PLATFORM_SIM
  const DownloadServers& servers = TestDownloadServers();
  sim::AddRootCertificate(servers.ca_pem);
  sim::AddHostsEntry("127.0.0.1", servers.host_name);
#endif
}

namespace {

std::wstring Url(int port, const std::string& path) {
  const DownloadServers& servers = TestDownloadServers();
  // Wine's certificate check matches DNS names only, not the certificate's IP address; localhost
  // is a DNS name of the certificate too, and the host's resolver answers it with 127.0.0.1.
  std::string host = TestMachine::IsSimulated() ? servers.host_name : "localhost";
  std::string url = "https://" + host + ":" + std::to_string(port) + path;
  return std::wstring(url.begin(), url.end());
}

}  // namespace

std::wstring NginxUrl(const std::string& path) {
  return Url(TestDownloadServers().nginx_port, path);
}

std::wstring FaultServerUrl(const std::string& path) {
  return Url(TestDownloadServers().fault_port, path);
}

}  // namespace vellmora::testing
