#include <gtest/gtest.h>

#include <cwchar>

#include "app/path_helpers.h"
#include "app_test.h"

namespace vellmora::testing {
namespace {

// Full-path resolution belongs to the machine, so these run on one.
class PathHelpersTest : public AppTest {};

struct KeyCase {
  const wchar_t* a;
  const wchar_t* b;
  bool same;
};

TEST_F(PathHelpersTest, PathKeyNormalisesBeforeComparing) {
  const KeyCase cases[] = {
      {L"C:/Program Files/../Vellmora/", L"c:\\vellmora", true},
      {L"\\\\?\\C:\\Vellmora\\Bin", L"C:\\Vellmora\\bin", true},
      {L"C:\\Vellmora\\.\\bin\\\\x", L"C:\\Vellmora\\bin\\x", true},
      {L"D:\\Vellmora", L"C:\\Vellmora", false},
      {L"C:\\Vellmora2", L"C:\\Vellmora", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathKey(c.a) == PathKey(c.b), c.same) << PathKey(c.a).size() << " vs " << c.b;
  }
  EXPECT_EQ(PathKey(L"C:\\"), L"c:\\");
  EXPECT_EQ(PathKey(L"C:\\Vellmora\\"), L"c:\\vellmora");
}

struct InsideCase {
  const wchar_t* path;
  const wchar_t* directory;
  bool inside;
};

TEST_F(PathHelpersTest, IsPathInsideStrictlyBelowOnly) {
  const InsideCase cases[] = {
      {L"D:\\Vellmora\\bin", L"D:\\VELLMORA", true},
      {L"D:\\Vellmora2", L"D:\\Vellmora", false},
      {L"D:\\Vellmora", L"D:\\Vellmora", false},
      {L"D:\\Vellmora\\", L"D:\\Vellmora", false},
      {L"C:\\ab", L"C:\\a", false},
      {L"D:\\Vellmora\\..\\Other", L"D:\\Vellmora", false},
      {L"D:\\Vellmora", L"D:\\", true},
      {L"D:\\", L"D:\\", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsPathInside(c.path, c.directory), c.inside)
        << std::string(c.path, c.path + std::wcslen(c.path)) << " in "
        << std::string(c.directory, c.directory + std::wcslen(c.directory));
  }
}

struct PartsCase {
  const wchar_t* path;
  const wchar_t* root;
  const wchar_t* parent;
  const wchar_t* last;
  bool absolute;
};

TEST_F(PathHelpersTest, PathPartsRootParentLastComponent) {
  const PartsCase cases[] = {
      {L"D:\\Games", L"D:\\", L"D:\\", L"Games", true},
      {L"d:", L"d:", L"d:", L"", false},
      {L"D:\\Apps\\Vellmora\\", L"D:\\", L"D:\\Apps", L"Vellmora", true},
      {L"C:\\\\x", L"C:\\\\", L"C:\\\\", L"x", true},
      {L"relative\\x", L"", L"relative", L"x", false},
      {L"\\\\server\\share\\dir", L"\\\\server\\share\\", L"\\\\server\\share\\", L"dir", true},
      {L"\\\\?\\C:\\Vellmora", L"\\\\?\\C:\\", L"\\\\?\\C:\\", L"Vellmora", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.path, c.path + std::wcslen(c.path)));
    EXPECT_EQ(RootOf(c.path), c.root);
    EXPECT_EQ(ParentPath(c.path), c.parent);
    EXPECT_EQ(LastComponent(c.path), c.last);
    EXPECT_EQ(IsAbsolutePath(c.path), c.absolute);
  }
}

TEST_F(PathHelpersTest, PathPartsTrailingSeparatorsGoButARootStays) {
  EXPECT_EQ(WithoutTrailingSeparators(L"D:\\Apps\\Vellmora\\/\\"), L"D:\\Apps\\Vellmora");
  EXPECT_EQ(WithoutTrailingSeparators(L"D:\\"), L"D:\\");
  EXPECT_EQ(JoinPath(L"D:\\", L"Vellmora"), L"D:\\Vellmora");
  EXPECT_EQ(JoinPath(L"D:\\ProgramData", L"Vellmora"), L"D:\\ProgramData\\Vellmora");
}

}  // namespace
}  // namespace vellmora::testing
