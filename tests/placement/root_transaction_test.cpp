#include "placement/root_transaction.h"

#include "app/path_helpers.h"
#include "app/system_errors.h"
#include "app/text.h"
#include "placement/placement_test.h"
#include "platform/files.h"
#include "platform/system.h"

namespace vellmora::testing {
namespace {

constexpr const wchar_t* kId = L"0F2A4C6E-1B3D-4E5F-8A9B-0C1D2E3F4A5B";

const TreeManifest kOldTree = {{L"Vellmora.exe", "old player"}, {L"bin\\KolvC.dll", "old dll"}};
const TreeManifest kNewTree = {{L"Vellmora.exe", "new player"},
                               {L"bin\\KolvC.dll", "new dll"},
                               {L"bin\\new.txt", "added"},
                               {L"empty\\", ""}};

class RootTransactionTest : public PlacementTest {
 protected:
  RootTransaction Record() {
    WriteTree(machine_.In(L"extract\\Pie64"), kNewTree);
    return MakeRootTransaction("Pie64", machine_.In(L"extract\\Pie64"), machine_.In(L"D\\Vellmora"),
                               kId);
  }
  RootReporter Reporter() {
    return [this](const std::string& line) { lines_ += line + "\n"; };
  }
  std::string lines_;
};

TEST_F(RootTransactionTest, RecordNamesItsSiblingsAfterTheTransactionId) {
  RootTransaction record = Record();
  EXPECT_EQ(record.staging_path, machine_.In(L"D\\Vellmora.ostrevin-new-") + kId);
  EXPECT_EQ(record.backup_path, machine_.In(L"D\\Vellmora.ostrevin-old-") + kId);
  EXPECT_EQ(record.FailedPath(), record.staging_path + L".failed");
}

TEST_F(RootTransactionTest, FailureLineCarriesOperationPathsAttemptAndSystemText) {
  RootTransaction record = MakeRootTransaction("ProgramData", L"C:\\x\\src", L"D:\\Vellmora", kId);
  EXPECT_EQ(FormatRootFailure(record, "activate-new", L"D:\\Vellmora.ostrevin-new-1",
                              L"D:\\Vellmora", 32, 20),
            "Root transaction failed [ProgramData] operation=activate-new "
            "source=\"D:\\Vellmora.ostrevin-new-1\" destination=\"D:\\Vellmora\" attempt=20/20 "
            "Windows error=32 message=\"" +
                SystemErrorText(32) + "\".");
  EXPECT_NE(FormatRootFailure(record, "x", L"a", L"b", 0x80070005u, 1)
                .find("Windows error=-2147024891 "),
            std::string::npos);
  EXPECT_NE(FormatRootFailure(record, "reserve-staging", L"a", L"b", 17, "File exists", 1)
                .find("Windows error=17 message=\"File exists\"."),
            std::string::npos);
}

TEST_F(RootTransactionTest, TransientErrorsAreTheSharingAndBusyFamilyOnly) {
  for (platform::Win32Error error : {5u, 32u, 33u, 145u, 170u, 1237u}) {
    EXPECT_TRUE(IsTransientFileError(error)) << error;
  }
  for (platform::Win32Error error : {0u, 2u, 3u, 17u, 80u, 87u, 112u, 183u}) {
    EXPECT_FALSE(IsTransientFileError(error)) << error;
  }
}

TEST_F(RootTransactionTest, PreparedTreeStandsAtTheStagingPathAndTheSourceIsGone) {
  RootTransaction record = Record();
  ASSERT_TRUE(PrepareRoot(record, Reporter()));
  EXPECT_EQ(ReadTree(record.staging_path), kNewTree);
  EXPECT_FALSE(Exists(record.source));
  EXPECT_TRUE(record.staging_owned);
  EXPECT_NE(lines_.find("[+] Prepared transactional Engine root [Pie64]."), std::string::npos);
}

TEST_F(RootTransactionTest, AnOccupiedStagingOrBackupNameStopsPreparationAndIsLeftAlone) {
  for (bool at_backup : {false, true}) {
    SCOPED_TRACE(at_backup ? "backup" : "staging");
    RootTransaction record = Record();
    const platform::Path occupied = at_backup ? record.backup_path : record.staging_path;
    const TreeManifest theirs = {{L"theirs.txt", "someone else's"}};
    WriteTree(occupied, theirs);
    lines_.clear();

    EXPECT_FALSE(PrepareRoot(record, Reporter()));
    EXPECT_NE(lines_.find("operation=reserve-staging"), std::string::npos);
    EXPECT_NE(lines_.find("destination=\"" + ToUtf8(occupied) + "\" attempt=1/20 Windows error=17"),
              std::string::npos);
    EXPECT_EQ(ReadTree(record.source), kNewTree);  // untouched

    std::vector<RootTransaction> records = {record};
    CleanupTemporaryRoots(records, Reporter());
    EXPECT_EQ(ReadTree(occupied), theirs);
    RemoveTestTree(occupied);
  }
}

TEST_F(RootTransactionTest, MissingSourceIsReportedWithItsPath) {
  RootTransaction record =
      MakeRootTransaction("Pie64", machine_.In(L"extract\\none"), machine_.In(L"D\\Vellmora"), kId);
  EXPECT_FALSE(PrepareRoot(record, Reporter()));
  EXPECT_EQ(lines_, "Root transaction source is missing [Pie64]: " +
                        ToUtf8(machine_.In(L"extract\\none")) + ".\n");
}

TEST_F(RootTransactionTest, StagingTreeWithAJunctionIsRejectedAndRemovedWithoutTheTarget) {
  const TreeManifest canary = {{L"keep.txt", "user data"}};
  WriteTree(machine_.In(L"canary"), canary);
  RootTransaction record = Record();
  if (!MakeJunction(JoinPath(record.source, L"bin\\junction"), machine_.In(L"canary"))) {
    GTEST_SKIP() << "this system cannot create junctions";
  }
  WriteTree(record.destination, kOldTree);

  EXPECT_FALSE(PrepareRoot(record, Reporter()));
  EXPECT_NE(lines_.find("Root transaction rejected an unreadable or reparse-point staging tree "
                        "[Pie64]: " +
                        ToUtf8(record.staging_path) + "."),
            std::string::npos);
  EXPECT_FALSE(Exists(record.staging_path));
  EXPECT_EQ(ReadTree(machine_.In(L"canary")), canary);
  EXPECT_EQ(ReadTree(record.destination), kOldTree);
}

TEST_F(RootTransactionTest, SingleRootReplacesAnExistingTreeAndLeavesNothingBeside) {
  WriteTree(machine_.In(L"D\\Vellmora"), kOldTree);
  WriteTree(machine_.In(L"extract\\Pie64"), kNewTree);
  ASSERT_TRUE(engine_.MoveStagedRoot(machine_.In(L"extract"), L"Pie64", machine_.In(L"D\\Vellmora"),
                                     true));
  EXPECT_EQ(ReadTree(machine_.In(L"D\\Vellmora")), kNewTree);
  EXPECT_TRUE(EntriesContaining(machine_.In(L"D"), L".ostrevin-").empty());
  EXPECT_NE(LogText().find("[+] Transactional root installed: " +
                           ToUtf8(machine_.In(L"D\\Vellmora")) + "."),
            std::string::npos);
}

TEST_F(RootTransactionTest, SingleRootIntoAnAbsentDestinationIsOneRename) {
  WriteTree(machine_.In(L"extract\\Pie64"), kNewTree);
  ASSERT_TRUE(engine_.MoveStagedRoot(machine_.In(L"extract"), L"Pie64",
                                     machine_.In(L"D\\ProgramData\\Vellmora\\Engine\\Pie64"), true));
  EXPECT_EQ(ReadTree(machine_.In(L"D\\ProgramData\\Vellmora\\Engine\\Pie64")), kNewTree);
  EXPECT_TRUE(EntriesContaining(machine_.In(L"D\\ProgramData\\Vellmora\\Engine"), L".ostrevin-")
                  .empty());
}

TEST_F(RootTransactionTest, SingleRootMissingFromTheArchiveIsReportedOnlyWhenRequired) {
  EXPECT_FALSE(engine_.MoveStagedRoot(machine_.In(L"extract"), L"Pie64",
                                      machine_.In(L"D\\Vellmora"), false));
  EXPECT_EQ(LogText(), "");
  EXPECT_FALSE(engine_.MoveStagedRoot(machine_.In(L"extract"), L"Pie64",
                                      machine_.In(L"D\\Vellmora"), true));
  EXPECT_EQ(LogText(), "The staged archive does not contain a Pie64 root: " +
                           ToUtf8(machine_.In(L"extract")) + "\n");
}

TEST_F(RootTransactionTest, CleanupAfterActivationLeavesATreePlantedAtTheFreedStagingName) {
  RootTransaction record = Record();
  ASSERT_TRUE(PrepareRoot(record, Reporter()));
  platform::Win32Error error = 0;
  int attempts = 0;
  ASSERT_TRUE(ActivateNewRoot(record, &error, &attempts));
  const TreeManifest theirs = {{L"theirs.txt", "planted after activation"}};
  WriteTree(record.staging_path, theirs);

  std::vector<RootTransaction> records = {record};
  CleanupTemporaryRoots(records, Reporter());
  EXPECT_EQ(ReadTree(record.staging_path), theirs);
  EXPECT_EQ(ReadTree(record.destination), kNewTree);
}

TEST_F(RootTransactionTest, CleanupKeepsAnOwnedTreeThatGainedALinkAndSaysSo) {
  const TreeManifest canary = {{L"keep.txt", "user data"}};
  WriteTree(machine_.In(L"canary"), canary);
  RootTransaction record = Record();
  ASSERT_TRUE(PrepareRoot(record, Reporter()));
  if (!MakeJunction(JoinPath(record.staging_path, L"junction"), machine_.In(L"canary"))) {
    GTEST_SKIP() << "this system cannot create junctions";
  }
  std::vector<RootTransaction> records = {record};
  lines_.clear();
  CleanupTemporaryRoots(records, Reporter());
  EXPECT_EQ(lines_, "Warning: temporary Engine root remains at " + ToUtf8(record.staging_path) +
                        " (Windows error 4395).\n");
  EXPECT_TRUE(Exists(JoinPath(record.staging_path, L"junction")));
  EXPECT_EQ(ReadTree(machine_.In(L"canary")), canary);
}

TEST_F(RootTransactionTest, AFileHeldOpenInTheCurrentRootKeepsItInPlaceFor20Attempts) {
  RootTransaction record = Record();
  WriteTree(record.destination, kOldTree);
  platform::UniqueHandle held;
  ASSERT_EQ(platform::CreateFileW(JoinPath(record.destination, L"Vellmora.exe"),
                                  platform::kGenericRead, 0, platform::kOpenExisting,
                                  platform::kAttributeNormal, &held),
            0u);
  platform::Win32Error error = 0;
  int attempts = 0;
  const std::uint64_t start = platform::GetTickCount64();
  if (PreserveCurrentRoot(record, &error, &attempts)) {
    platform::MoveFileExW(record.backup_path, record.destination, 0);
    GTEST_SKIP() << "this system renames a directory while a file inside it is open "
                    "(NTFS refuses it)";
  }
  EXPECT_TRUE(IsTransientFileError(error)) << error;
  EXPECT_EQ(attempts, 20);
  if (TestMachine::IsSimulated()) {
    EXPECT_EQ(platform::GetTickCount64() - start, 19u * 500u);  // no sleep after the last one
  }
  EXPECT_FALSE(record.previous_preserved);
  held.Reset();
  EXPECT_EQ(ReadTree(record.destination), kOldTree);
}

TEST_F(RootTransactionTest, ObsoleteRuntimeIsRemovedOnlyAsAPlainTree) {
  const platform::Path root = machine_.In(L"D\\ProgramData\\Vellmora");
  EXPECT_TRUE(RemoveObsoleteRuntime(root, L"Runtime"));  // absent, parent included
  WriteTree(JoinPath(root, L"Runtime"), {{L"Pellucador_kta5\\x.dll", "x"}});
  EXPECT_TRUE(RemoveObsoleteRuntime(root, L"Runtime"));
  EXPECT_FALSE(Exists(JoinPath(root, L"Runtime")));
  EXPECT_FALSE(RemoveObsoleteRuntime(root, L"..\\Elsewhere"));

  const TreeManifest canary = {{L"keep.txt", "user data"}};
  WriteTree(machine_.In(L"canary"), canary);
  if (!MakeJunction(JoinPath(root, L".vellmora_runtime"), machine_.In(L"canary"))) {
    GTEST_SKIP() << "this system cannot create junctions";
  }
  EXPECT_FALSE(RemoveObsoleteRuntime(root, L".vellmora_runtime"));
  EXPECT_TRUE(Exists(JoinPath(root, L".vellmora_runtime")));
  WriteTree(JoinPath(root, L"Runtime"), {{L"a.txt", "a"}});
  ASSERT_TRUE(MakeJunction(JoinPath(root, L"Runtime\\inner"), machine_.In(L"canary")));
  EXPECT_FALSE(RemoveObsoleteRuntime(root, L"Runtime"));
  EXPECT_EQ(ReadTree(machine_.In(L"canary")), canary);
}

}  // namespace
}  // namespace vellmora::testing

namespace vellmora::testing {
namespace {

enum class SingleOp { kPrepareRename, kPrepareCopy, kPreserve, kActivate, kDeleteBackup,
                      kRollbackPrevious };

struct SingleCase {
  SingleOp op;
  bool existing;
};

class MoveStagedRootMatrix : public RootTransactionTest,
                             public ::testing::WithParamInterface<std::tuple<SingleCase, bool>> {};

TEST_P(MoveStagedRootMatrix, TheDestinationEndsOldOrCompleteAndLeftoversAreNamed) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  const auto& [c, transient] = GetParam();
  const platform::Path destination = machine_.In(L"D\\Vellmora");
  if (c.existing) WriteTree(destination, kOldTree);
  WriteTree(machine_.In(L"extract\\Pie64"), kNewTree);
  const platform::Win32Error error =
      transient ? platform::kErrorSharingViolation : platform::kErrorWriteFault;
  auto inject = [&](const char* kind, const wchar_t* pattern, int nth, platform::Win32Error code,
                    int count) {
    for (int i = 0; i < count; ++i) sim::InjectFault({kind, pattern, nth, code});
  };
  const int count = transient ? 20 : 1;
  const char* operation = nullptr;
  bool installed = false;
  switch (c.op) {
    case SingleOp::kPrepareRename:
      inject("move", L"*\\Vellmora.ostrevin-new-*", 1, error, count);
      installed = true;
      break;
    case SingleOp::kPrepareCopy:
      inject("move", L"*\\Vellmora.ostrevin-new-*", 1, platform::kErrorNotSameDevice, 1);
      inject("copy", L"*\\Vellmora.ostrevin-new-*", 1, error, count);
      operation = "prepare-copy";
      break;
    case SingleOp::kPreserve:
      inject("move", L"*\\Vellmora.ostrevin-old-*", 1, error, count);
      operation = "preserve-current";
      break;
    case SingleOp::kActivate:
      inject("move", L"*\\Vellmora.ostrevin-new-*", 2, error, count);
      operation = "activate-new";
      break;
    case SingleOp::kDeleteBackup:
      inject("remove_directory", L"*\\Vellmora.ostrevin-old-*", 1, error, count);
      installed = true;
      break;
    case SingleOp::kRollbackPrevious:
      // Activation fails for good, then the old tree cannot be put back either: the complete
      // new tree takes the install name rather than leaving it empty.
      inject("move", L"*\\Vellmora.ostrevin-new-*", 2, platform::kErrorWriteFault, 1);
      inject("move", L"*\\Vellmora.ostrevin-old-*", 2, error, count);
      operation = "rollback-previous";
      break;
  }

  const bool result = engine_.MoveStagedRoot(machine_.In(L"extract"), L"Pie64", destination, true);
  const std::string log = LogText();
  EXPECT_EQ(result, installed) << log;
  if (operation) {
    EXPECT_NE(log.find(std::string("Root transaction failed [Pie64] operation=") + operation),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(std::string(transient ? "attempt=20/20" : "attempt=1/20") +
                       " Windows error=" + std::to_string(error)),
              std::string::npos)
        << log;
  }
  if (installed || c.op == SingleOp::kRollbackPrevious) {
    EXPECT_EQ(ReadTree(destination), kNewTree) << log;
  } else if (c.existing) {
    EXPECT_EQ(ReadTree(destination), kOldTree) << log;
  } else {
    EXPECT_FALSE(Exists(destination)) << log;
  }
  for (const std::wstring& name : EntriesContaining(machine_.In(L"D"), L".ostrevin-")) {
    const std::string path = ToUtf8(machine_.In(L"D\\" + name));
    EXPECT_NE(log.find(path), std::string::npos) << "unnamed leftover " << path << "\n" << log;
  }
#endif
}

std::vector<SingleCase> SingleCases() {
  return {{SingleOp::kPrepareRename, true}, {SingleOp::kPrepareCopy, true},
          {SingleOp::kPreserve, true},      {SingleOp::kActivate, true},
          {SingleOp::kDeleteBackup, true},  {SingleOp::kRollbackPrevious, true},
          {SingleOp::kPrepareRename, false}, {SingleOp::kPrepareCopy, false},
          {SingleOp::kActivate, false}};
}

std::string SingleCaseName(const ::testing::TestParamInfo<std::tuple<SingleCase, bool>>& param) {
  static const char* const kOps[] = {"PrepareRename", "PrepareCopy",  "Preserve",
                                     "Activate",      "DeleteBackup", "RollbackPrevious"};
  const SingleCase& c = std::get<0>(param.param);
  return std::string(kOps[static_cast<int>(c.op)]) + (c.existing ? "Existing" : "Absent") +
         (std::get<1>(param.param) ? "Transient" : "Permanent");
}

INSTANTIATE_TEST_SUITE_P(Faults, MoveStagedRootMatrix,
                         ::testing::Combine(::testing::ValuesIn(SingleCases()), ::testing::Bool()),
                         SingleCaseName);

}  // namespace
}  // namespace vellmora::testing
