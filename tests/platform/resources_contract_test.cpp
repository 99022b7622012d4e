#include <gtest/gtest.h>

#include <cstring>

#include "platform/resources.h"

namespace {

using namespace platform;

TEST(ResourcesContract, TheArtworkIsInTheExecutable) {
  struct Case {
    int id;
    const char* signature;
  };
  for (const Case& c : {Case{kResourceArtPanel, "\x89PNG"}, Case{kResourceBootPicture, "\xFF\xD8\xFF"}}) {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    ASSERT_EQ(LoadRcDataResource(c.id, &data, &size), kErrorSuccess) << c.id;
    ASSERT_GT(size, std::strlen(c.signature));
    EXPECT_EQ(std::memcmp(data, c.signature, std::strlen(c.signature)), 0) << c.id;
  }
}

TEST(ResourcesContract, AnUnknownIdIsNotFound) {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
  EXPECT_EQ(LoadRcDataResource(4999, &data, &size), kErrorResourceNameNotFound);
  EXPECT_EQ(data, nullptr);
}

}  // namespace
