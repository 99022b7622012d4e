#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/http.h"
#include "support/download_servers.h"
#include "support/test_machine.h"
#include "support/wine_detection.h"

#if VELLMORA_PLATFORM_SIM
#include "platform/sim/sim_control.h"
#endif

namespace {

using namespace platform;
using vellmora::testing::FaultServerUrl;
using vellmora::testing::NginxUrl;
using vellmora::testing::TestDownloadServers;
using vellmora::testing::RunningUnderWine;
using vellmora::testing::ServedContent;
using vellmora::testing::TestMachine;

// Wine's WinHTTP passes socket errors through where Windows reports its own codes.
constexpr Win32Error kWineConnectionReset = 10054;  // WSAECONNRESET
constexpr Win32Error kWineTimedOut = 10060;         // WSAETIMEDOUT

constexpr std::uint32_t kMiB = 1u << 20;

// What one GET saw, step by step; the first failing step ends it.
struct Exchange {
  Win32Error send = kErrorSuccess;
  Win32Error receive = kErrorSuccess;
  std::uint32_t status = 0;
  Win32Error length_error = kErrorSuccess;
  std::wstring length_text;
  std::string body;
  Win32Error read = kErrorSuccess;
  int reads = 0;
};

Exchange Get(const std::wstring& url, int receive_timeout_ms = 30000) {
  Exchange exchange;
  UrlComponents parts;
  EXPECT_EQ(WinHttpCrackUrl(url, &parts), kErrorSuccess);
  HttpHandle raw = kNoHttpHandle;
  UniqueHttpHandle session, connection, request;
  EXPECT_EQ(WinHttpOpen(L"Vellmora contract test", &raw), kErrorSuccess);
  session.Reset(raw);
  EXPECT_EQ(WinHttpSetTimeouts(session.Get(), 30000, 30000, 30000, receive_timeout_ms), kErrorSuccess);
  EXPECT_EQ(WinHttpConnect(session.Get(), parts.host, parts.port, &raw), kErrorSuccess);
  connection.Reset(raw);
  EXPECT_EQ(WinHttpOpenRequest(connection.Get(), L"GET", parts.path + parts.extra_info,
                               parts.scheme == kInternetSchemeHttps, &raw),
            kErrorSuccess);
  request.Reset(raw);
  exchange.send = WinHttpSendRequest(request.Get());
  if (exchange.send != kErrorSuccess) return exchange;
  exchange.receive = WinHttpReceiveResponse(request.Get());
  if (exchange.receive != kErrorSuccess) return exchange;
  EXPECT_EQ(WinHttpQueryStatusCode(request.Get(), &exchange.status), kErrorSuccess);
  exchange.length_error = WinHttpQueryContentLength(request.Get(), 64, &exchange.length_text);
  std::vector<char> buffer(kMiB);
  for (;;) {
    std::uint32_t read = 0;
    exchange.read = WinHttpReadData(request.Get(), buffer.data(), kMiB, &read);
    if (exchange.read != kErrorSuccess || read == 0) break;
    ++exchange.reads;
    exchange.body.append(buffer.data(), read);
  }
  return exchange;
}

class HttpContract : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestDownloadServers().available) GTEST_SKIP() << TestDownloadServers().why_not;
    vellmora::testing::TrustDownloadServers(machine_);
  }
  TestMachine machine_;
};

TEST(HttpUrlContract, CrackUrlSplitsSchemeHostPortPathAndExtra) {
  struct Case {
    const wchar_t* url;
    int scheme;
    const wchar_t* host;
    std::uint16_t port;
    const wchar_t* path;
    const wchar_t* extra;
  };
  const Case cases[] = {
      {L"https://packages.vellmora.com/3.9.1.1/Vellmora-Engine-3.9.1.0.rar", kInternetSchemeHttps,
       L"packages.vellmora.com", 443, L"/3.9.1.1/Vellmora-Engine-3.9.1.0.rar", L""},
      {L"http://127.0.0.1:8080/a/b.rar?token=1&x=2", kInternetSchemeHttp, L"127.0.0.1", 8080,
       L"/a/b.rar", L"?token=1&x=2"},
      {L"HTTPS://Host.Example:444/p#part", kInternetSchemeHttps, L"Host.Example", 444, L"/p",
       L"#part"},
  };
  for (const Case& c : cases) {
    // Wine leaves a fragment in the path.
    if (RunningUnderWine() && wcschr(c.url, L'#') != nullptr) continue;
    UrlComponents parts;
    ASSERT_EQ(WinHttpCrackUrl(c.url, &parts), kErrorSuccess) << std::string(c.url, c.url + wcslen(c.url));
    EXPECT_EQ(parts.scheme, c.scheme);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(parts.port, c.port);
    EXPECT_EQ(parts.path, c.path);
    EXPECT_EQ(parts.extra_info, c.extra);
  }
}

TEST(HttpUrlContract, CrackUrlRefusesWhatIsNotAnHttpUrl) {
  UrlComponents parts;
  EXPECT_EQ(WinHttpCrackUrl(L"ftp://packages.vellmora.com/x.rar", &parts),
            kErrorWinHttpUnrecognizedScheme);
  EXPECT_NE(WinHttpCrackUrl(L"packages.vellmora.com/x.rar", &parts), kErrorSuccess);
  EXPECT_EQ(WinHttpCrackUrl(L"https://packages.vellmora.com:99999/x.rar", &parts),
            kErrorWinHttpInvalidUrl);
}

TEST_F(HttpContract, ServesAFileWithItsLengthInBlocksOfAtMostTheBuffer) {
  Exchange exchange = Get(NginxUrl("/3.9.1.1/Vellmora-Engine-3.9.1.0.rar"));
  ASSERT_EQ(exchange.send, kErrorSuccess);
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.status, 200u);
  EXPECT_EQ(exchange.length_error, kErrorSuccess);
  EXPECT_EQ(exchange.length_text, L"3145745");
  EXPECT_EQ(exchange.read, kErrorSuccess);
  EXPECT_GE(exchange.reads, 4);
  EXPECT_TRUE(exchange.body == ServedContent(3 * kMiB + 17)) << exchange.body.size();
}

TEST_F(HttpContract, AnErrorStatusIsAnAnswerNotAFailure) {
  Exchange exchange = Get(FaultServerUrl("/missing"));
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.status, 404u);
}

TEST_F(HttpContract, AResponseWithoutContentLengthHasNoSuchHeaderAndEndsWithTheConnection) {
  Exchange exchange = Get(FaultServerUrl("/no-length"));
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.status, 200u);
  EXPECT_EQ(exchange.length_error, kErrorWinHttpHeaderNotFound);
  EXPECT_EQ(exchange.read, kErrorSuccess);
  EXPECT_EQ(exchange.body.size(), kMiB + kMiB / 2);
}

TEST_F(HttpContract, RedirectionsAreFollowed) {
  Exchange exchange = Get(FaultServerUrl("/redirect"));
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.status, 200u);
  EXPECT_EQ(exchange.length_text, L"3145745");
  EXPECT_EQ(exchange.body.size(), 3 * kMiB + 17);
}

TEST_F(HttpContract, TheQueryStringReachesTheServer) {
  EXPECT_EQ(Get(FaultServerUrl("/query?token=vellmora-42")).status, 200u);
  EXPECT_EQ(Get(FaultServerUrl("/query")).status, 403u);
}

TEST_F(HttpContract, AChunkedBodyIsReadWholeWhateverContentLengthClaims) {
  Exchange exchange = Get(FaultServerUrl("/long"));
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.length_text, L"1048576");
  EXPECT_EQ(exchange.read, kErrorSuccess);
  EXPECT_EQ(exchange.body.size(), 3 * kMiB);
}

TEST_F(HttpContract, AResetConnectionFailsTheReadAfterTheBytesThatArrived) {
  Exchange exchange = Get(FaultServerUrl("/drop"));
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.read, RunningUnderWine() ? kWineConnectionReset : kErrorWinHttpConnectionError);
  EXPECT_LE(exchange.body.size(), 2 * kMiB + kMiB / 2);
}

TEST_F(HttpContract, ABodyCutShortByACleanCloseEndsEarlyWithoutAnError) {
  Exchange exchange = Get(FaultServerUrl("/short"));
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.length_text, std::to_wstring(3 * kMiB));
  EXPECT_EQ(exchange.read, kErrorSuccess);
  EXPECT_EQ(exchange.body.size(), kMiB);
}

TEST_F(HttpContract, ASilentServerRunsOutTheReceiveTimeout) {
  Exchange exchange = Get(FaultServerUrl("/stall"), 1500);
  ASSERT_EQ(exchange.receive, kErrorSuccess);
  EXPECT_EQ(exchange.read, RunningUnderWine() ? kWineTimedOut : kErrorWinHttpTimeout);
  EXPECT_EQ(exchange.body.size(), kMiB);
}

TEST_F(HttpContract, NobodyListeningFailsTheSend) {
  // Port 1 (tcpmux) has no listener on any machine these tests run on.
  Exchange exchange = Get(L"https://127.0.0.1:1/x.rar");
  EXPECT_EQ(exchange.send, kErrorWinHttpCannotConnect);
}

TEST_F(HttpContract, ReadingBeforeTheResponseIsAnIncorrectHandleState) {
  if (RunningUnderWine()) GTEST_SKIP() << "Wine reads nothing and reports success";
  HttpHandle session = kNoHttpHandle, connection = kNoHttpHandle, request = kNoHttpHandle;
  ASSERT_EQ(WinHttpOpen(L"Vellmora contract test", &session), kErrorSuccess);
  ASSERT_EQ(WinHttpConnect(session, L"127.0.0.1", 1, &connection), kErrorSuccess);
  ASSERT_EQ(WinHttpOpenRequest(connection, L"GET", L"/x", true, &request), kErrorSuccess);
  char byte = 0;
  std::uint32_t read = 0;
  EXPECT_EQ(WinHttpReadData(request, &byte, 1, &read), kErrorWinHttpIncorrectHandleState);
  for (HttpHandle handle : {request, connection, session}) WinHttpCloseHandle(handle);
}

#if VELLMORA_PLATFORM_SIM
// Windows and Wine trust the run's CA process-wide and use the host's resolver, so these two
// closed-world rules are the simulated machine's alone.
TEST(HttpSimulatedMachine, OnlyTheMachinesRootStoreIsTrusted) {
  if (!TestDownloadServers().available) GTEST_SKIP() << TestDownloadServers().why_not;
  TestMachine machine;
  sim::AddHostsEntry("127.0.0.1", TestDownloadServers().host_name);
  EXPECT_EQ(Get(NginxUrl("/exact-1mib.bin")).send, kErrorWinHttpSecureFailure);
}

TEST(HttpSimulatedMachine, HostNamesResolveOnlyThroughTheMachinesHostsFile) {
  if (!TestDownloadServers().available) GTEST_SKIP() << TestDownloadServers().why_not;
  TestMachine machine;
  sim::AddRootCertificate(TestDownloadServers().ca_pem);
  EXPECT_EQ(Get(NginxUrl("/exact-1mib.bin")).send, kErrorWinHttpNameNotResolved);
  sim::AddHostsEntry("127.0.0.1", TestDownloadServers().host_name);
  EXPECT_EQ(Get(NginxUrl("/exact-1mib.bin")).status, 200u);
}
#endif

}  // namespace
