#include "placement/pie64_preservation.h"

#include "app/path_helpers.h"
#include "app/text.h"
#include "placement/placement_test.h"
#include "platform/files.h"

namespace vellmora::testing {
namespace {

const std::string kUserDisk = std::string("user disk\0\x7f\x80 data", 20);
const TreeManifest kUserPie64 = {{L"Data.vhdx", kUserDisk}, {L"Pie64.kolv", "user vm"}};
const TreeManifest kFreshPie64 = {{L"Data.vhdx", "fresh disk"}, {L"Pie64.kolv", "fresh vm"}};

class Pie64PreservationTest : public PlacementTest {
 protected:
  platform::Path Pie64() { return Pie64Directory(engine_); }
  platform::Path Preserve() {
    platform::Path recovery;
    EXPECT_TRUE(PreserveExistingPie64(engine_, &recovery)) << LogText();
    return recovery;
  }
  std::vector<std::wstring> Siblings(const std::wstring& text) {
    return EntriesContaining(engine_.paths.data_base, text);
  }
};

TEST_F(Pie64PreservationTest, WithoutADataDiskNothingIsPreservedAndRestoreIsANoOp) {
  WriteTree(Pie64(), {{L"Pie64.kolv", "vm"}});
  platform::Path recovery = L"stale";
  ASSERT_TRUE(PreserveExistingPie64(engine_, &recovery));
  EXPECT_TRUE(recovery.empty());
  EXPECT_EQ(ReadTree(Pie64()), (TreeManifest{{L"Pie64.kolv", "vm"}}));
  EXPECT_TRUE(RestorePreservedPie64(engine_, recovery));
  Pie64RestoreState state(engine_, recovery);
  EXPECT_TRUE(state.restored);
  EXPECT_TRUE(RestorePie64BeforeEngineCompletes(state));
  EXPECT_EQ(LogText(), "");
}

TEST_F(Pie64PreservationTest, PreservedDataComesBackAndTheFreshInstallIsSetAsideNotDeleted) {
  WriteTree(Pie64(), kUserPie64);
  const platform::Path recovery = Preserve();
  ASSERT_FALSE(recovery.empty());
  EXPECT_FALSE(Exists(Pie64()));
  EXPECT_EQ(ReadTree(JoinPath(recovery, L"Pie64")), kUserPie64);
  EXPECT_NE(LogText().find("[+] Existing Pie64 data was preserved before cleanup at " +
                           ToUtf8(recovery) + "."),
            std::string::npos);

  WriteTree(Pie64(), kFreshPie64);
  Pie64RestoreState state(engine_, recovery);
  RestorePie64AfterInstanceFailure(state);
  EXPECT_TRUE(state.restored);
  EXPECT_EQ(ReadTree(Pie64()), kUserPie64);
  EXPECT_FALSE(Exists(recovery));
  std::vector<std::wstring> failed = Siblings(L"Vellmora.failed-install-");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(ReadTree(JoinPath(JoinPath(engine_.paths.data_base, failed[0]), L"Pie64")),
            kFreshPie64);
  const std::string log = LogText();
  EXPECT_NE(log.find("[+] Partial Pie64 installation was preserved at "), std::string::npos);
  EXPECT_NE(log.find("[+] Previous Pie64 data was restored after the instance transaction failed."),
            std::string::npos);

  // The flag keeps a later failure path from restoring a second time.
  RestorePie64AfterEngineFailure(state);
  EXPECT_EQ(LogText(), log);
}

// A "Data.vhdx" that is not a regular file is still the user's disk (often a link to where the
// user moved it): it is neither "nothing to preserve" nor deleted with the old instance.
TEST_F(Pie64PreservationTest, ADataDiskThatIsNoRegularFileFailsSafely) {
  WriteTree(machine_.In(L"moved"), {{L"Data.vhdx", kUserDisk}});
  for (const char* kind : {"directory", "file link"}) {
    SCOPED_TRACE(kind);
    RemoveTestTree(Pie64());
    WriteTree(Pie64(), {{L"Pie64.kolv", "vm"}});
    const platform::Path disk = JoinPath(Pie64(), L"Data.vhdx");
    if (std::string(kind) == "directory") {
      MakeTestDirectories(disk);
    } else if (platform::CreateSymbolicLinkW(disk, machine_.In(L"moved\\Data.vhdx"), false) != 0 ||
               !Exists(disk)) {
      continue;  // this system cannot create symbolic links
    }
    const std::string before = LogText();
    platform::Path recovery;
    EXPECT_FALSE(PreserveExistingPie64(engine_, &recovery));
    EXPECT_TRUE(recovery.empty());
    EXPECT_EQ(LogText().substr(before.size()),
              "The existing Pie64 payload could not be preserved safely.\n");
    EXPECT_TRUE(Exists(disk));
    EXPECT_TRUE(Siblings(L"ostrevin-backup").empty());
  }
  std::string moved;
  ASSERT_TRUE(ReadTestFile(machine_.In(L"moved\\Data.vhdx"), &moved));
  EXPECT_EQ(moved, kUserDisk);
}

TEST_F(Pie64PreservationTest, APie64JunctionIsNotMoved) {
  WriteTree(machine_.In(L"elsewhere"), kUserPie64);
  MakeTestDirectories(ParentPath(Pie64()));
  if (!MakeJunction(Pie64(), machine_.In(L"elsewhere"))) {
    GTEST_SKIP() << "this system cannot create junctions";
  }
  platform::Path recovery;
  EXPECT_FALSE(PreserveExistingPie64(engine_, &recovery));
  EXPECT_NE(LogText().find("The existing Pie64 payload could not be preserved safely."),
            std::string::npos);
  EXPECT_EQ(ReadTree(machine_.In(L"elsewhere")), kUserPie64);
  EXPECT_TRUE(Siblings(L"ostrevin-backup").empty());
}

// After an incomplete rollback the data directory's name may be empty while its old tree waits
// under ".ostrevin-old-": the restore must not build a bare data directory there.
TEST_F(Pie64PreservationTest, RestoreIntoAMissingDataDirectoryFailsAndBuildsNothing) {
  WriteTree(Pie64(), kUserPie64);
  const platform::Path recovery = Preserve();
  RemoveTestTree(engine_.paths.DataDir());

  Pie64RestoreState state(engine_, recovery);
  std::string message = "The new ProgramData root could not be activated.";
  AppendPie64RecoveryNotice(state, &message);
  EXPECT_EQ(message, "The new ProgramData root could not be activated. Pie64 recovery is retained "
                     "at " +
                         ToUtf8(recovery) + ".");
  EXPECT_FALSE(Exists(engine_.paths.DataDir()));
  EXPECT_EQ(ReadTree(JoinPath(recovery, L"Pie64")), kUserPie64);
  const std::string log = LogText();
  EXPECT_NE(log.find("Pie64 recovery could not create its destination (Windows error 3: "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("CRITICAL: automatic Pie64 recovery failed. Recovery directory: " +
                     ToUtf8(recovery) + "."),
            std::string::npos);

  // Once the data directory is back, only its Engine folder is created.
  MakeTestDirectories(engine_.paths.DataDir());
  EXPECT_TRUE(RestorePie64BeforeEngineCompletes(state));
  EXPECT_EQ(ReadTree(Pie64()), kUserPie64);
}

TEST_F(Pie64PreservationTest, AMissingRecoverySourceIsReported) {
  WriteTree(Pie64(), kUserPie64);
  const platform::Path recovery = Preserve();
  RemoveTestTree(JoinPath(recovery, L"Pie64\\Data.vhdx"));
  EXPECT_FALSE(RestorePreservedPie64(engine_, recovery));
  EXPECT_NE(LogText().find("Pie64 recovery source is missing or unreadable: " +
                           ToUtf8(JoinPath(recovery, L"Pie64")) + "."),
            std::string::npos);
}

// Each move of the preservation and the restore fails in turn, transiently 20 times or at once.
enum class Pie64Move { kPreserve, kSetAside, kRestore };

class Pie64MoveMatrix : public Pie64PreservationTest,
                        public ::testing::WithParamInterface<std::tuple<Pie64Move, bool>> {};

TEST_P(Pie64MoveMatrix, AFailedMoveKeepsEveryCopyWhereTheLogSays) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  const auto& [move, transient] = GetParam();
  const platform::Win32Error error =
      transient ? platform::kErrorSharingViolation : platform::kErrorWriteFault;
  WriteTree(Pie64(), kUserPie64);
  platform::Path recovery;
  if (move != Pie64Move::kPreserve) {
    recovery = Preserve();
    WriteTree(Pie64(), kFreshPie64);
  }
  const std::wstring pattern = move == Pie64Move::kSetAside ? L"*\\Vellmora.failed-install-*"
                                                            : L"*\\Vellmora.ostrevin-backup-*";
  for (int i = 0; i < (transient ? 20 : 1); ++i) sim::InjectFault({"move", pattern, 1, error});

  const std::string code = std::to_string(error);
  if (move == Pie64Move::kPreserve) {
    EXPECT_FALSE(PreserveExistingPie64(engine_, &recovery));
    EXPECT_TRUE(recovery.empty());
    EXPECT_NE(LogText().find("The existing Pie64 payload is in use or could not be moved to a safe "
                             "recovery directory after " +
                             std::string(transient ? "20" : "1") + " attempts (Windows error " +
                             code + ": "),
              std::string::npos)
        << LogText();
    EXPECT_EQ(ReadTree(Pie64()), kUserPie64);
    EXPECT_TRUE(Siblings(L"ostrevin-backup").empty());
    return;
  }
  EXPECT_FALSE(RestorePreservedPie64(engine_, recovery));
  const std::string log = LogText();
  if (move == Pie64Move::kSetAside) {
    EXPECT_NE(log.find("Pie64 recovery could not preserve the partial destination " +
                       ToUtf8(Pie64()) + " (Windows error " + code + ": "),
              std::string::npos)
        << log;
  } else {
    EXPECT_NE(log.find("Pie64 recovery failed while restoring " +
                       ToUtf8(JoinPath(recovery, L"Pie64")) + " (Windows error " + code + ": "),
              std::string::npos)
        << log;
  }
  EXPECT_EQ(ReadTree(Pie64()), kFreshPie64);  // put back where it was
  EXPECT_EQ(ReadTree(JoinPath(recovery, L"Pie64")), kUserPie64);
#endif
}

std::string Pie64MoveName(const ::testing::TestParamInfo<std::tuple<Pie64Move, bool>>& param) {
  static const char* const kMoves[] = {"Preserve", "SetAside", "Restore"};
  return std::string(kMoves[static_cast<int>(std::get<0>(param.param))]) +
         (std::get<1>(param.param) ? "Transient" : "Permanent");
}

INSTANTIATE_TEST_SUITE_P(Faults, Pie64MoveMatrix,
                         ::testing::Combine(::testing::Values(Pie64Move::kPreserve,
                                                              Pie64Move::kSetAside,
                                                              Pie64Move::kRestore),
                                            ::testing::Bool()),
                         Pie64MoveName);

}  // namespace
}  // namespace vellmora::testing
