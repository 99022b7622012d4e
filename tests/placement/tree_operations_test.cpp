#include "placement/tree_operations.h"

#include "placement/placement_test.h"
#include "platform/files.h"

namespace vellmora::testing {
namespace {

class TreeOperationsTest : public PlacementTest {};

TEST_F(TreeOperationsTest, RemovalTakesLinksAsLinksAndNeverTouchesTheirTargets) {
  const TreeManifest canary = {{L"keep.txt", "user data"}, {L"sub\\deep.txt", "deep"}};
  WriteTree(machine_.In(L"canary"), canary);
  WriteTree(machine_.In(L"tree"), {{L"a.txt", "a"}, {L"dir\\b.txt", "b"}, {L"empty\\", ""}});
  if (!MakeJunction(machine_.In(L"tree\\dir\\junction"), machine_.In(L"canary"))) {
    GTEST_SKIP() << "this system cannot create junctions";
  }
  ASSERT_TRUE(MakeJunction(machine_.In(L"top-junction"), machine_.In(L"canary")));
  ASSERT_EQ(platform::SetFileAttributesW(machine_.In(L"tree\\a.txt"), platform::kAttributeReadOnly),
            0u);

  EXPECT_EQ(RemoveTreeWithoutFollowingLinks(machine_.In(L"tree")), 0u);
  EXPECT_FALSE(Exists(machine_.In(L"tree")));
  EXPECT_EQ(RemoveTreeWithoutFollowingLinks(machine_.In(L"top-junction")), 0u);
  EXPECT_FALSE(Exists(machine_.In(L"top-junction")));
  EXPECT_EQ(ReadTree(machine_.In(L"canary")), canary);
  EXPECT_EQ(RemoveTreeWithoutFollowingLinks(machine_.In(L"tree")), platform::kErrorFileNotFound);
}

TEST_F(TreeOperationsTest, CopyRefusesLinksAndNeverReplacesWhatIsAlreadyThere) {
  const TreeManifest source = {{L"a.txt", "new a"}, {L"dir\\b.txt", "new b"}, {L"empty\\", ""}};
  WriteTree(machine_.In(L"source"), source);
  MakeTestDirectories(machine_.In(L"copy"));
  int attempts = 0;
  ASSERT_EQ(CopyTreeWithoutFollowingLinks(machine_.In(L"source"), machine_.In(L"copy"), &attempts),
            0u);
  EXPECT_EQ(ReadTree(machine_.In(L"copy")), source);

  // A name that already exists in the target is never written through.
  WriteTree(machine_.In(L"planted"), {{L"a.txt", "planted"}});
  EXPECT_NE(CopyTreeWithoutFollowingLinks(machine_.In(L"source"), machine_.In(L"planted"),
                                          &attempts),
            0u);
  EXPECT_EQ(ReadTree(machine_.In(L"planted")).at(L"a.txt"), "planted");

  WriteTree(machine_.In(L"canary"), {{L"keep.txt", "user data"}});
  if (!MakeJunction(machine_.In(L"source\\dir\\junction"), machine_.In(L"canary"))) {
    GTEST_SKIP() << "this system cannot create junctions";
  }
  MakeTestDirectories(machine_.In(L"copy2"));
  EXPECT_EQ(CopyTreeWithoutFollowingLinks(machine_.In(L"source"), machine_.In(L"copy2"), &attempts),
            platform::kErrorReparsePointEncountered);
  EXPECT_FALSE(Exists(machine_.In(L"copy2\\dir\\junction")));
  EXPECT_FALSE(Exists(machine_.In(L"copy2\\dir\\junction\\keep.txt")));
}

TEST_F(TreeOperationsTest, DirectoriesAreCreatedWithTheirParentsAndAFileIsNoDirectory) {
  EXPECT_EQ(CreateDirectoryWithParents(machine_.In(L"x\\y\\z")), 0u);
  EXPECT_EQ(CreateDirectoryWithParents(machine_.In(L"x\\y\\z")), 0u);
  ASSERT_TRUE(WriteTestFile(machine_.In(L"file"), "f"));
  EXPECT_EQ(CreateDirectoryWithParents(machine_.In(L"file")), platform::kErrorAlreadyExists);
  EXPECT_NE(CreateDirectoryWithParents(machine_.In(L"file\\below")), 0u);
}

}  // namespace
}  // namespace vellmora::testing
