#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "platform/system.h"
#include "support/test_machine.h"

namespace {

using namespace platform;

TEST(SystemContract, GuidsAreRandomVersionFourWithTheStandardVariant) {
  std::set<std::uint32_t> first_words;
  for (int i = 0; i < 64; ++i) {
    Guid guid;
    ASSERT_EQ(CoCreateGuid(&guid), kErrorSuccess);
    EXPECT_EQ(guid.data3 >> 12, 4u);
    EXPECT_EQ(guid.data4[0] & 0xC0, 0x80);
    first_words.insert(guid.data1);
  }
  EXPECT_GT(first_words.size(), 60u);
}

TEST(SystemContract, ClsidFromStringDecodesBracedTextOfEitherCase) {
  for (const wchar_t* text : {L"{EA319BDC-02C2-46E7-83D1-F6C33C03202B}",
                              L"{ea319bdc-02c2-46e7-83d1-f6c33c03202b}"}) {
    Guid guid;
    ASSERT_EQ(CLSIDFromString(text, &guid), kErrorSuccess);
    EXPECT_EQ(guid.data1, 0xEA319BDCu);
    EXPECT_EQ(guid.data2, 0x02C2u);
    EXPECT_EQ(guid.data3, 0x46E7u);
    const std::uint8_t data4[8] = {0x83, 0xD1, 0xF6, 0xC3, 0x3C, 0x03, 0x20, 0x2B};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(guid.data4[i], data4[i]) << i;
  }
  for (const wchar_t* text : {L"{EA319BDC-02C2-46E7-83D1-F6C33C03202G}",
                              L"{EA319BDC-02C2-46E7-83D1-F6C33C03202}",
                              L"{EA319BDC+02C2-46E7-83D1-F6C33C03202B}",
                              L"{EA319BDC-02C2-46E7-83D1-F6C33C03202B",
                              L"Vellmora.NoSuchProgId.1"}) {
    Guid guid;
    EXPECT_EQ(CLSIDFromString(text, &guid), kErrorClassString) << std::wstring(text).size();
  }
}

TEST(SystemContract, TickCountNeverGoesBackAndFollowsSleep) {
  std::uint64_t start = GetTickCount64();
  std::uint64_t last = start;
  for (int i = 0; i < 1000; ++i) {
    std::uint64_t now = GetTickCount64();
    ASSERT_GE(now, last);
    last = now;
  }
  Sleep(50);
  std::uint64_t elapsed = GetTickCount64() - start;
  // The tick count has a resolution of about 16 ms on Windows.
  EXPECT_GE(elapsed, 30u);
  EXPECT_LT(elapsed, 5000u);
}

TEST(SystemContract, LocalTimeIsAPlausibleCalendarTime) {
  SystemTime time = GetLocalTime();
  EXPECT_GE(time.year, 2024);
  EXPECT_GE(time.month, 1);
  EXPECT_LE(time.month, 12);
  EXPECT_GE(time.day, 1);
  EXPECT_LE(time.day, 31);
  EXPECT_LE(time.day_of_week, 6);
  EXPECT_LE(time.hour, 23);
  EXPECT_LE(time.minute, 59);
  EXPECT_LE(time.second, 60);
  EXPECT_LE(time.milliseconds, 999);
}

TEST(SystemContract, ThreadIdsDifferBetweenThreadsAndProcessIdIsShared) {
  std::uint32_t main_thread = GetCurrentThreadId();
  std::uint32_t process = GetCurrentProcessId();
  std::uint32_t other_thread = 0;
  std::uint32_t other_process = 0;
  std::thread worker([&] {
    other_thread = GetCurrentThreadId();
    other_process = GetCurrentProcessId();
  });
  worker.join();
  EXPECT_NE(main_thread, 0u);
  EXPECT_NE(other_thread, main_thread);
  EXPECT_EQ(other_process, process);
  EXPECT_EQ(GetCurrentThreadId(), main_thread);
}

}  // namespace
