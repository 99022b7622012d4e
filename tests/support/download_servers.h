#pragma once
// The HTTPS servers of the download tests (download_servers.py): Debian's nginx with a few
// package files and the project's fault server, both on 127.0.0.1 with a CA made for the run.
//
// Natively the first caller starts them, and they stop when the test process ends (their stdin
// is a pipe from it). The Windows suites run under Wine, which cannot start the Linux servers:
// scripts/test starts them and names their description in VELLMORA_DOWNLOAD_SERVERS, and the
// first caller adds the run's CA to the ROOT store of the Wine prefix (removed at exit).

#include <cstdint>
#include <map>
#include <string>

#include "support/test_machine.h"

namespace vellmora::testing {

struct DownloadServers {
  bool available = false;
  std::string why_not;  // when not available
  int nginx_port = 0;
  int fault_port = 0;
  std::string host_name;  // the certificate's DNS name
  std::string ca_pem;     // the CA certificate, PEM text
  std::map<std::string, std::uint64_t> file_sizes;  // nginx's files, by path without the "/"
  std::string folder;     // host folder the servers work in (the benchmark's files go there)
};

const DownloadServers& TestDownloadServers();

// The first size bytes of every file the servers make up (a 64 KiB block that is not one byte
// value repeated, so that a lost, doubled or shifted block shows).
std::string ServedContent(std::size_t size);

// Makes the machine trust the servers and find them by name: on the simulated machine the CA goes
// into its root store and host_name into its hosts file. Windows already trusts the CA (see
// above) but cannot be given a hosts entry, so its URLs name localhost instead.
void TrustDownloadServers(const TestMachine& machine);
// https URLs of a path (starting with "/") on each server, by name where the machine has one.
std::wstring NginxUrl(const std::string& path);
std::wstring FaultServerUrl(const std::string& path);

}  // namespace vellmora::testing
