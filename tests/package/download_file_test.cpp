#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/installer_engine.h"
#include "app/text.h"
#include "app/app_test.h"
#include "package/package_locations.h"
#include "platform/files.h"
#include "platform/http.h"
#include "support/download_servers.h"
#include "support/wine_detection.h"

namespace vellmora::testing {
namespace {

constexpr float kBandStart = 0.055f;
constexpr float kBandEnd = 0.65f;
constexpr const char* kLabel = "Pie64 instance package";
constexpr std::uint64_t kMiB = 1048576;

// Wine's WinHTTP passes socket errors through where Windows reports its own codes.
std::string ResetError() { return RunningUnderWine() ? "10054" : "12030"; }
// The fault server resets after 2.5 MiB; Wine loses the half-filled read that the reset ends.
std::uint64_t BytesBeforeReset() { return RunningUnderWine() ? 2 * kMiB : 2 * kMiB + kMiB / 2; }
std::string TimeoutError() { return RunningUnderWine() ? "10060" : "12002"; }

class DownloadFileTest : public AppTest {
 protected:
  void SetUp() override {
    if (!TestDownloadServers().available) GTEST_SKIP() << TestDownloadServers().why_not;
    if (trusted_) TrustDownloadServers(machine_);
    target_ = machine_.In(L"Staging\\New\\Vellmora-Instance-Pie64.rar");
  }
  ~DownloadFileTest() override {
#if VELLMORA_PLATFORM_SIM
    sim::SetHttpTimeoutLimit(0);
#endif
  }

  bool Download(const std::wstring& url) {
    bool done = engine_.DownloadFile(url, target_, kBandStart, kBandEnd, kLabel);
    InstallerSnapshot snapshot = engine_.TakeSnapshot();
    lines_ = snapshot.log_lines;
    progress_ = snapshot.progress;
    return done;
  }
  bool TargetExists() const {
    return platform::GetFileAttributesW(target_) != platform::kInvalidFileAttributes;
  }
  std::string Target() const { return ToUtf8(target_); }
  std::string LastLine() const { return lines_.empty() ? "" : lines_.back(); }
  bool Logged(const std::string& line) const {
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }

  bool trusted_ = true;
  InstallerEngine engine_;
  platform::Path target_;
  std::vector<std::string> lines_;
  float progress_ = 0.0f;
};

TEST(PackageLocations, BothPackagesComeFromTheDefaultHostOverHttps) {
  for (const wchar_t* url : {kEnginePackageUrl, kInstancePackageUrl}) {
    platform::UrlComponents parts;
    ASSERT_EQ(platform::WinHttpCrackUrl(url, &parts), platform::kErrorSuccess);
    EXPECT_EQ(parts.scheme, platform::kInternetSchemeHttps);
    EXPECT_EQ(parts.host, kDefaultPackageHost);
    EXPECT_EQ(parts.port, 443);
    EXPECT_TRUE(parts.extra_info.empty());
  }
  platform::UrlComponents engine, instance;
  platform::WinHttpCrackUrl(kEnginePackageUrl, &engine);
  platform::WinHttpCrackUrl(kInstancePackageUrl, &instance);
  EXPECT_EQ(engine.path, L"/3.9.1.1/Vellmora-Engine-3.9.1.0.rar");
  EXPECT_EQ(instance.path, L"/3.9.1.1/Vellmora-InstanceP64-3.9.1.0.rar");
}

TEST_F(DownloadFileTest, APackageArrivesWholeWithItsLinesMarksAndTheBandsEnd) {
  ASSERT_TRUE(Download(NginxUrl("/3.9.1.1/Vellmora-Engine-3.9.1.0.rar")));
  const std::string host = TestMachine::IsSimulated() ? TestDownloadServers().host_name : "localhost";
  const std::vector<std::string> expected = {
      "[*] Downloading Pie64 instance package to " + Target() + "...",
      "Download source: host=" + host + ", path=/3.9.1.1/Vellmora-Engine-3.9.1.0.rar.",
      "HTTP 200; reported_bytes=3145745.",
      "[*] Pie64 instance package download: 25%.",
      "[*] Pie64 instance package download: 50%.",
      "[*] Pie64 instance package download: 75%.",
      "[+] Pie64 instance package downloaded (4 MiB).",
  };
  EXPECT_EQ(lines_, expected);
  EXPECT_FLOAT_EQ(progress_, kBandEnd);
  std::string content;
  ASSERT_TRUE(ReadTestFile(target_, &content));
  EXPECT_TRUE(content == ServedContent(3 * kMiB + 17)) << content.size();
}

TEST_F(DownloadFileTest, TheSizeIsReportedInMiBRoundedUp) {
  const std::pair<const char*, const char*> cases[] = {
      {"/exact-1mib.bin", "[+] Pie64 instance package downloaded (1 MiB)."},
      {"/one-over-1mib.bin", "[+] Pie64 instance package downloaded (2 MiB)."},
  };
  for (const auto& [path, line] : cases) {
    ASSERT_TRUE(Download(NginxUrl(path))) << path;
    EXPECT_EQ(LastLine(), line);
  }
}

TEST_F(DownloadFileTest, ABodyOfUnknownLengthIsAcceptedAndMovesTheBarOnlyAtTheEnd) {
  ASSERT_TRUE(Download(FaultServerUrl("/no-length")));
  EXPECT_TRUE(Logged("HTTP 200; reported_bytes=unknown."));
  EXPECT_FALSE(Logged("[*] Pie64 instance package download: 25%."));
  EXPECT_EQ(LastLine(), "[+] Pie64 instance package downloaded (2 MiB).");
  EXPECT_FLOAT_EQ(progress_, kBandEnd);
}

TEST_F(DownloadFileTest, TheQueryIsSentButNotLogged) {
  ASSERT_TRUE(Download(FaultServerUrl("/query?token=vellmora-42")));
  const std::string host = TestMachine::IsSimulated() ? TestDownloadServers().host_name : "localhost";
  EXPECT_TRUE(Logged("Download source: host=" + host + ", path=/query.")) << ::testing::PrintToString(lines_);
}

TEST_F(DownloadFileTest, ARedirectionIsFollowed) {
  ASSERT_TRUE(Download(FaultServerUrl("/redirect")));
  EXPECT_TRUE(Logged("HTTP 200; reported_bytes=3145745."));
}

TEST_F(DownloadFileTest, AnExistingFileAtTheTargetIsReplacedWhole) {
  ASSERT_TRUE(MakeTestDirectories(machine_.In(L"Staging\\New")));
  ASSERT_TRUE(WriteTestFile(target_, std::string(2 * kMiB, 'x')));
  ASSERT_TRUE(Download(NginxUrl("/exact-1mib.bin")));
  std::string content;
  ASSERT_TRUE(ReadTestFile(target_, &content));
  EXPECT_TRUE(content == ServedContent(kMiB)) << content.size();
}

struct FailureCase {
  const char* name;
  std::wstring url;
  std::string last_line;  // the failure line, which must end the log
  float progress;
};

TEST_F(DownloadFileTest, EachServerFaultEndsWithItsLineAndLeavesNoFile) {
  const FailureCase cases[] = {
      {"404", FaultServerUrl("/missing"), "Server returned HTTP 404.", 0.0f},
      {"short body", FaultServerUrl("/short"),
       "The package download was incomplete: received_bytes=1048576, reported_bytes=3145728, "
       "flushed=yes.",
       kBandStart + (kBandEnd - kBandStart) / 3},
      // Chunked, so the reader gets more than Content-Length announced; the bar stops at the
      // band's end instead of running into the next package's band.
      {"long body", FaultServerUrl("/long"),
       "The package download was incomplete: received_bytes=3145728, reported_bytes=1048576, "
       "flushed=yes.",
       kBandEnd},
      {"reset after 2.5 MiB", FaultServerUrl("/drop"),
       "WinHttpReadData failed after " + std::to_string(BytesBeforeReset()) +
           " bytes (Windows error " + ResetError() + ").",
       kBandStart + (kBandEnd - kBandStart) * static_cast<float>(BytesBeforeReset()) / (4 * kMiB)},
      {"empty body", NginxUrl("/empty.bin"),
       "The package download was incomplete: received_bytes=0, reported_bytes=0, flushed=yes.",
       0.0f},
      {"nobody listening", L"https://127.0.0.1:1/3.9.1.1/Vellmora-Engine-3.9.1.0.rar",
       "WinHttpSendRequest failed (Windows error 12029).", 0.0f},
      {"not an http URL", L"ftp://packages.vellmora.com/3.9.1.1/Vellmora-Engine-3.9.1.0.rar",
       "Invalid download URL (WinHTTP error 12006).", 0.0f},
  };
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    engine_.SetProgressRange(0.0f, 1.0f);
    EXPECT_FALSE(Download(c.url));
    EXPECT_EQ(LastLine(), c.last_line);
    EXPECT_FALSE(TargetExists());
    EXPECT_NEAR(progress_, c.progress, 1e-5);
  }
}

TEST_F(DownloadFileTest, ASilentServerFailsTheReadAtTheTimeout) {
#if VELLMORA_PLATFORM_SIM
  sim::SetHttpTimeoutLimit(1500);
#endif
  EXPECT_FALSE(Download(FaultServerUrl("/stall")));
  EXPECT_EQ(LastLine(),
            "WinHttpReadData failed after 1048576 bytes (Windows error " + TimeoutError() + ").");
  EXPECT_FALSE(TargetExists());
}

TEST_F(DownloadFileTest, AFolderThatCannotBeCreatedIsReported) {
  ASSERT_TRUE(WriteTestFile(machine_.In(L"Staging"), "a file where the folder should be"));
  EXPECT_FALSE(Download(NginxUrl("/exact-1mib.bin")));
  EXPECT_EQ(LastLine().rfind("Could not create download directory " +
                                 ToUtf8(machine_.In(L"Staging\\New")) + " (Windows error ",
                             0),
            0u)
      << LastLine();
  EXPECT_FALSE(TargetExists());
}

#if VELLMORA_PLATFORM_SIM
TEST_F(DownloadFileTest, AFullDiskFailsTheWriteAndRemovesThePartialFile) {
  sim::SetFreeBytes('C', kMiB / 2);
  EXPECT_FALSE(Download(NginxUrl("/3.9.1.1/Vellmora-Engine-3.9.1.0.rar")));
  // How much lands before the disk is full depends on how the body arrived in reads; never more
  // than the free space.
  const std::string line = LastLine();
  const std::string head = "Failed to write " + Target() + " after ";
  const std::string tail = " bytes (C runtime error 28).";
  ASSERT_TRUE(line.size() > head.size() + tail.size() && line.compare(0, head.size(), head) == 0 &&
              line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
      << line;
  const std::string written = line.substr(head.size(), line.size() - head.size() - tail.size());
  ASSERT_EQ(written.find_first_not_of("0123456789"), std::string::npos) << line;
  EXPECT_LE(std::stoull(written), kMiB / 2) << line;
  EXPECT_FALSE(TargetExists());
}

TEST_F(DownloadFileTest, AFileThatCannotBeCreatedIsReportedWithItsCRuntimeError) {
  sim::InjectFault({"create_file", target_, 1, platform::kErrorAccessDenied});
  EXPECT_FALSE(Download(NginxUrl("/exact-1mib.bin")));
  EXPECT_EQ(LastLine(), "Could not create temporary download file " + Target() +
                            " (C runtime error 13).");
  EXPECT_FALSE(TargetExists());
}

TEST_F(DownloadFileTest, APartialFileThatCannotBeRemovedIsReported) {
  // The first delete clears the target before the download; the second removes the partial file.
  sim::InjectFault({"delete_file", target_, 2, platform::kErrorSharingViolation});
  EXPECT_FALSE(Download(FaultServerUrl("/short")));
  EXPECT_EQ(LastLine(), "Warning: Could not remove the partial download " + Target() +
                            " (Windows error 32).");
}

TEST_F(DownloadFileTest, ALinkAtTheTargetIsReplacedNotWrittenThrough) {
  platform::Path elsewhere = machine_.In(L"elsewhere.txt");
  ASSERT_TRUE(WriteTestFile(elsewhere, "not the installer's"));
  ASSERT_TRUE(MakeTestDirectories(machine_.In(L"Staging\\New")));
  ASSERT_EQ(platform::CreateSymbolicLinkW(target_, elsewhere, false), platform::kErrorSuccess);
  ASSERT_TRUE(Download(NginxUrl("/exact-1mib.bin")));
  std::string content;
  ASSERT_TRUE(ReadTestFile(elsewhere, &content));
  EXPECT_EQ(content, "not the installer's");
  platform::FileStatus status;
  ASSERT_EQ(platform::GetFileStatus(target_, &status), platform::kErrorSuccess);
  EXPECT_EQ(status.attributes & platform::kAttributeReparsePoint, 0u);
  EXPECT_EQ(status.size, kMiB);
}

TEST_F(DownloadFileTest, TheCompiledInPackageUrlReachesALocalServerThroughHostsAndPortProxy) {
  sim::AddPortProxy({"127.0.0.1", 443, "127.0.0.1",
                     static_cast<std::uint16_t>(TestDownloadServers().nginx_port)});
  ASSERT_TRUE(Download(kEnginePackageUrl));
  EXPECT_TRUE(Logged("Download source: host=packages.vellmora.com, "
                     "path=/3.9.1.1/Vellmora-Engine-3.9.1.0.rar."));
  EXPECT_EQ(LastLine(), "[+] Pie64 instance package downloaded (4 MiB).");
}

// The closed world of the simulated machine: an unknown name, then an untrusted certificate.
class UntrustedDownloadTest : public DownloadFileTest {
 protected:
  UntrustedDownloadTest() { trusted_ = false; }
};

TEST_F(UntrustedDownloadTest, AnUnknownHostOrUntrustedServerFailsTheSend) {
  EXPECT_FALSE(Download(NginxUrl("/exact-1mib.bin")));
  EXPECT_EQ(LastLine(), "WinHttpSendRequest failed (Windows error 12007).");
  sim::AddHostsEntry("127.0.0.1", TestDownloadServers().host_name);
  EXPECT_FALSE(Download(NginxUrl("/exact-1mib.bin")));
  EXPECT_EQ(LastLine(), "WinHttpSendRequest failed (Windows error 12175).");
}
#endif

}  // namespace
}  // namespace vellmora::testing
