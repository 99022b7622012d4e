#include "placement/engine_roots.h"

#include "app/path_helpers.h"
#include "app/progress_report.h"
#include "app/registry_access.h"
#include "app/text.h"
#include "placement/placement_test.h"
#include "platform/files.h"
#include "windows/product_registry_key.h"

namespace vellmora::testing {
namespace {

const char* const kNames[] = {"ProgramFiles", "ProgramData", "LocalAppData"};

TreeManifest OldTree(int root) {
  std::string tag = kNames[root];
  return {{L"old.txt", "old " + tag}, {L"shared\\config.txt", "old config " + tag}};
}

TreeManifest NewTree(int root) {
  std::string tag = kNames[root];
  return {{L"new.txt", "new " + tag},
          {L"shared\\config.txt", "new config " + tag},
          {L"shared\\deep\\more.bin", std::string(3000, 'n')},
          {L"empty\\", ""}};
}

const std::string kUserDisk = std::string("VHDX user disk \0\x01\xff bytes", 26);

// The outcome of one Engine transaction, driven as the Engine procedure drives it.
struct Outcome {
  bool succeeded = false;
  std::string message;
  bool restart = false;
};

class EngineRootsTest : public PlacementTest {
 protected:
  platform::Path Destination(int root) {
    switch (root) {
      case 0: return engine_.paths.InstallDir();
      case 1: return engine_.paths.DataDir();
      default: return JoinPath(engine_.paths.local_app_data, L"DO-Rarari_ovm5");
    }
  }
  // The pattern of a root's destination and of its siblings: destination + suffix.
  std::wstring Pattern(int root, const std::wstring& suffix) {
    static const wchar_t* const kLeaves[] = {L"*\\D\\Vellmora", L"*\\ProgramData\\Vellmora",
                                             L"*\\DO-Rarari_ovm5"};
    return kLeaves[root] + suffix;
  }
  platform::Path Extraction() { return machine_.In(L"extract"); }

  void WriteRoots(bool existing) {
    static const wchar_t* const kSources[] = {L"payload\\ProgramFiles\\Vellmora",
                                              L"payload\\ProgramData\\Vellmora",
                                              L"payload\\LocalAppData\\DO-Rarari_vlm5"};
    for (int root = 0; root < 3; ++root) {
      WriteTree(JoinPath(Extraction(), kSources[root]), NewTree(root));
      if (existing) WriteTree(Destination(root), OldTree(root));
    }
    if (existing) {
      WriteTree(engine_.paths.DataDir(), {{L"Runtime\\Pellucador_kta5\\old.dll", "runtime"},
                                          {L"Engine\\Pie64\\Data.vhdx", kUserDisk},
                                          {L"Engine\\Pie64\\Pie64.kolv", "vm"}});
    }
  }

  // The destination's tree without the Pie64 data that the preservation moves in and out.
  TreeManifest RootTree(int root) {
    TreeManifest tree = ReadTree(Destination(root));
    if (root == 1) {
      for (auto it = tree.begin(); it != tree.end();) {
        bool pie64 = it->first.rfind(L"Engine\\Pie64", 0) == 0 || it->first == L"Engine\\" ||
                     it->first.rfind(L"Runtime", 0) == 0;
        it = pie64 ? tree.erase(it) : std::next(it);
      }
    }
    return tree;
  }

  Outcome Run() {
    platform::Path recovery;
    if (!PreserveExistingPie64(engine_, &recovery)) return {false, "preserve failed", false};
    Pie64RestoreState pie64(engine_, recovery);
    EngineRoots roots(engine_);
    EngineOperationEnd end{engine_, pie64, {}};
    EngineTransactionContext context{roots, end};
    std::string message;
    bool restart = false;
    if (!roots.Prepare(Extraction(), &message)) {
      FailEngineBeforeTransaction(end, message);
    } else if (!roots.PreserveAll(&message, &restart) || !roots.ActivateAll(&message, &restart)) {
      AbortEngineTransaction(context, message, restart);
    } else {
      roots.ReportValidated();
      roots.MarkCommitted();
      roots.Commit();
      if (RestorePie64BeforeEngineCompletes(pie64)) {
        ReportFinish(engine_, true, "Engine installed.");
      } else {
        FailCommittedEngine(context, "Engine installed without Pie64 data.");
      }
    }
    InstallerSnapshot snapshot = engine_.TakeSnapshot();
    return {snapshot.last_succeeded, snapshot.stage_detail, snapshot.restart_required};
  }

  // Every sibling the transaction may leave (staging, backup, ".failed", Pie64 recovery) is
  // either gone or named in the log by its full path.
  void ExpectEveryLeftoverNamed() {
    const std::string log = LogText();
    for (const platform::Path& parent :
         {engine_.paths.install_base, engine_.paths.data_base, engine_.paths.local_app_data}) {
      for (const std::wstring& name : EntriesContaining(parent, L".ostrevin-")) {
        std::string path = ToUtf8(JoinPath(parent, name));
        EXPECT_NE(log.find(path), std::string::npos) << "unnamed leftover " << path;
      }
      for (const std::wstring& name : EntriesContaining(parent, L"failed-install")) {
        ADD_FAILURE() << "unexpected " << ToUtf8(name);
      }
    }
  }

  void ExpectUserDiskBack() {
    std::string disk;
    ASSERT_TRUE(ReadTestFile(JoinPath(engine_.paths.DataDir(), L"Engine\\Pie64\\Data.vhdx"), &disk));
    EXPECT_EQ(disk, kUserDisk);
    EXPECT_TRUE(EntriesContaining(engine_.paths.data_base, L"ostrevin-backup").empty());
  }
};

enum class Op { kPrepareRename, kPrepareCopy, kPreserve, kActivate, kCommitDelete };

struct FaultCase {
  Op op;
  int root;
  bool existing;  // the three destinations existed
};

std::string CaseName(const FaultCase& c, bool transient) {
  static const char* const kOps[] = {"PrepareRename", "PrepareCopy", "Preserve", "Activate",
                                     "CommitDelete"};
  return std::string(kOps[static_cast<int>(c.op)]) + kNames[c.root] +
         (c.existing ? "Existing" : "Absent") + (transient ? "Transient" : "Permanent");
}

class EngineRootsFaultMatrix
    : public EngineRootsTest,
      public ::testing::WithParamInterface<std::tuple<FaultCase, bool>> {
 protected:
  // count faults of the kind on the pattern, the first one due at the nth match.
  void Inject(const char* kind, const std::wstring& pattern, int nth, bool transient) {
#if VELLMORA_PLATFORM_SIM
    const int count = transient ? 20 : 1;
    for (int i = 0; i < count; ++i) {
      sim::InjectFault({kind, pattern, nth,
                        transient ? platform::kErrorSharingViolation : platform::kErrorWriteFault});
    }
#else
    (void)kind, (void)pattern, (void)nth, (void)transient;
#endif
  }
};

TEST_P(EngineRootsFaultMatrix, EveryDestinationEndsOldOrCompleteAndEveryLeftoverIsNamed) {
  REQUIRE_SIMULATED_MACHINE();
  const auto& [fault, transient] = GetParam();
  WriteRoots(fault.existing);
  const int r = fault.root;
  const std::string attempt = transient ? "attempt=20/20" : "attempt=1/20";
  std::string operation;
  std::string expected_message;
  bool expected_restart = false;
  bool expect_success = false;
  switch (fault.op) {
    case Op::kPrepareRename:  // the copy takes over
      Inject("move", Pattern(r, L".ostrevin-new-*"), 1, transient);
      expect_success = true;
      break;
    case Op::kPrepareCopy:
      Inject("move", Pattern(r, L".ostrevin-new-*"), 1, false);
      Inject("copy", Pattern(r, L".ostrevin-new-*"), 1, transient);
      operation = "prepare-copy";
      expected_message = "An Engine root could not be prepared for transactional installation.";
      break;
    case Op::kPreserve:
      Inject("move", Pattern(r, L".ostrevin-old-*"), 1, transient);
      operation = "preserve-current";
      expected_message = std::string("The current ") + kNames[r] +
                         " root is still in use. Restart Windows and retry the installation.";
      expected_restart = true;
      break;
    case Op::kActivate:
      Inject("move", Pattern(r, L".ostrevin-new-*"), 2, transient);
      operation = "activate-new";
      expected_message = std::string("The new ") + kNames[r] +
                         " root could not be activated; the previous installation was restored.";
      expected_restart = transient;
      break;
    case Op::kCommitDelete:
      Inject("remove_directory", Pattern(r, L".ostrevin-old-*"), 1, transient);
      expect_success = true;
      break;
  }

  Outcome outcome = Run();
  const std::string log = LogText();
  EXPECT_EQ(outcome.succeeded, expect_success) << log;
  EXPECT_EQ(outcome.restart, expected_restart) << log;
  if (!expect_success) {
    EXPECT_EQ(outcome.message, expected_message) << log;
    EXPECT_NE(log.find(std::string("Root transaction failed [") + kNames[r] +
                       "] operation=" + operation),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(attempt + " Windows error=" + (transient ? "32" : "29")),
              std::string::npos)
        << log;
    if (fault.op != Op::kPrepareCopy) {
      EXPECT_NE(log.find("[+] Engine root transaction rolled back successfully."),
                std::string::npos);
    }
  }
  for (int root = 0; root < 3; ++root) {
    SCOPED_TRACE(kNames[root]);
    if (expect_success) {
      EXPECT_EQ(RootTree(root), NewTree(root));
    } else if (fault.existing) {
      EXPECT_EQ(RootTree(root), OldTree(root));
    } else {
      EXPECT_FALSE(Exists(Destination(root))) << log;
    }
  }
  if (fault.op == Op::kCommitDelete) {
    EXPECT_NE(log.find("Warning: committed rollback root remains at "), std::string::npos) << log;
  }
  ExpectEveryLeftoverNamed();
  if (fault.existing) ExpectUserDiskBack();
}

std::vector<FaultCase> MatrixCases() {
  std::vector<FaultCase> cases;
  for (bool existing : {true, false}) {
    for (int root = 0; root < 3; ++root) {
      cases.push_back({Op::kPrepareRename, root, existing});
      cases.push_back({Op::kPrepareCopy, root, existing});
      cases.push_back({Op::kActivate, root, existing});
      if (!existing) continue;
      cases.push_back({Op::kPreserve, root, existing});
      if (root != 1) cases.push_back({Op::kCommitDelete, root, existing});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineRootsFaultMatrix,
    ::testing::Combine(::testing::ValuesIn(MatrixCases()), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<FaultCase, bool>>& param) {
      return CaseName(std::get<0>(param.param), std::get<1>(param.param));
    });

}  // namespace
}  // namespace vellmora::testing

namespace vellmora::testing {
namespace {

enum class RollbackStep { kRollbackNew, kRollbackPrevious, kCleanupRemove };

struct RollbackCase {
  RollbackStep step;
  int root;
  bool existing;
};

std::string RollbackCaseName(const RollbackCase& c, bool transient) {
  static const char* const kSteps[] = {"RollbackNew", "RollbackPrevious", "CleanupRemove"};
  return std::string(kSteps[static_cast<int>(c.step)]) + kNames[c.root] +
         (c.existing ? "Existing" : "Absent") + (transient ? "Transient" : "Permanent");
}

class EngineRollbackMatrix
    : public EngineRootsTest,
      public ::testing::WithParamInterface<std::tuple<RollbackCase, bool>> {};

// The activation of the last root fails, after the first two were activated; then one step of
// the rollback (or of the cleanup after it) fails as well.
TEST_P(EngineRollbackMatrix, AFailedRollbackStepLeavesEachDestinationWholeAndEveryCopyNamed) {
  REQUIRE_SIMULATED_MACHINE();
#if VELLMORA_PLATFORM_SIM
  const auto& [c, transient] = GetParam();
  WriteRoots(c.existing);
  const platform::Win32Error error =
      transient ? platform::kErrorSharingViolation : platform::kErrorWriteFault;
  const int activation_failure = c.step == RollbackStep::kCleanupRemove ? 1 : 2;
  sim::InjectFault({"move", Pattern(activation_failure, L".ostrevin-new-*"), 2,
                    platform::kErrorWriteFault});
  for (int i = 0; i < (transient ? 20 : 1); ++i) {
    switch (c.step) {
      case RollbackStep::kRollbackNew:
        sim::InjectFault({"move", Pattern(c.root, L".ostrevin-new-*.failed"), 1, error});
        break;
      case RollbackStep::kRollbackPrevious:
        sim::InjectFault({"move", Pattern(c.root, L".ostrevin-old-*"), 2, error});
        break;
      case RollbackStep::kCleanupRemove:
        sim::InjectFault({"remove_directory", Pattern(c.root, L".ostrevin-new-*.failed*"), 1,
                          error});
        break;
    }
  }

  Outcome outcome = Run();
  const std::string log = LogText();
  const bool incomplete = c.step != RollbackStep::kCleanupRemove;
  std::string expected = std::string("The new ") + kNames[activation_failure] +
                         " root could not be activated; the previous installation was restored.";
  if (incomplete) {
    expected += " Some Engine recovery roots could not be restored automatically; do not delete "
                "any .ostrevin-old directory.";
  }
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.message, expected) << log;
  EXPECT_EQ(outcome.restart, incomplete) << log;
  if (incomplete) {
    const char* operation =
        c.step == RollbackStep::kRollbackNew ? "rollback-new" : "rollback-previous";
    EXPECT_NE(log.find(std::string("Root transaction failed [") + kNames[c.root] +
                       "] operation=" + operation),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(std::string(transient ? "attempt=20/20" : "attempt=1/20") +
                       " Windows error=" + std::to_string(error)),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("CRITICAL: Engine root rollback was incomplete; recovery roots were "
                       "preserved."),
              std::string::npos);
    EXPECT_NE(log.find("Rollback warning: the Engine roots were not fully restored."),
              std::string::npos);
    std::uint32_t reboot = 0;
    EXPECT_TRUE(ReadRegistryDword(RegistryRoot::kLocalMachine, kProductKey, L"RebootRequired",
                                  &reboot));
    EXPECT_EQ(reboot, 1u);
  } else {
    EXPECT_NE(log.find("[+] Engine root transaction rolled back successfully."), std::string::npos);
    EXPECT_NE(log.find("Warning: temporary Engine root remains at "), std::string::npos) << log;
  }
  for (int root = 0; root < 3; ++root) {
    SCOPED_TRACE(kNames[root]);
    const bool keeps_new = incomplete && root == c.root;
    if (keeps_new) {
      EXPECT_EQ(RootTree(root), NewTree(root)) << log;
    } else if (c.existing) {
      EXPECT_EQ(RootTree(root), OldTree(root)) << log;
    } else {
      EXPECT_FALSE(Exists(Destination(root))) << log;
    }
  }
  ExpectEveryLeftoverNamed();
  if (c.existing) ExpectUserDiskBack();
#endif
}

std::vector<RollbackCase> RollbackCases() {
  return {{RollbackStep::kRollbackNew, 0, true},      {RollbackStep::kRollbackNew, 1, true},
          {RollbackStep::kRollbackPrevious, 0, true}, {RollbackStep::kRollbackPrevious, 1, true},
          {RollbackStep::kRollbackPrevious, 2, true}, {RollbackStep::kCleanupRemove, 0, true},
          {RollbackStep::kRollbackNew, 0, false},     {RollbackStep::kRollbackNew, 1, false},
          {RollbackStep::kCleanupRemove, 0, false}};
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineRollbackMatrix,
    ::testing::Combine(::testing::ValuesIn(RollbackCases()), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<RollbackCase, bool>>& param) {
      return RollbackCaseName(std::get<0>(param.param), std::get<1>(param.param));
    });

}  // namespace
}  // namespace vellmora::testing

namespace vellmora::testing {
namespace {

TEST_F(EngineRootsTest, CommitDeletesTheBackupsButKeepsProgramDataAsARecoveryRoot) {
  WriteRoots(true);
  Outcome outcome = Run();
  ASSERT_TRUE(outcome.succeeded) << LogText();
  const std::string log = LogText();
  EXPECT_NE(log.find("[+] All three Engine roots were activated as one rollback transaction."),
            std::string::npos);
  std::vector<std::wstring> kept = EntriesContaining(engine_.paths.data_base, L".ostrevin-old-");
  ASSERT_EQ(kept.size(), 1u);
  const platform::Path backup = JoinPath(engine_.paths.data_base, kept[0]);
  std::wstring recorded;
  ASSERT_TRUE(ReadRegistryString(RegistryRoot::kLocalMachine, kProductKey,
                                 L"PreviousEngineProgramDataRecoveryPath", &recorded));
  EXPECT_EQ(recorded, backup);
  EXPECT_NE(log.find("[+] Previous ProgramData was retained for SharedFolder/InputMapper recovery "
                     "at " +
                     ToUtf8(backup) + "."),
            std::string::npos);
  // The obsolete Runtime went; Pie64 had moved out before.
  TreeManifest expected = OldTree(1);
  expected[L"Engine\\"] = "";
  EXPECT_EQ(ReadTree(backup), expected);
  EXPECT_TRUE(EntriesContaining(engine_.paths.install_base, L".ostrevin-").empty());
  EXPECT_TRUE(EntriesContaining(engine_.paths.local_app_data, L".ostrevin-").empty());
  ExpectUserDiskBack();
}

TEST_F(EngineRootsTest, LeavingBetweenPreserveAndCommitRollsBackAllThree) {
  WriteRoots(true);
  {
    EngineRoots roots(engine_);
    std::string message;
    bool restart = false;
    ASSERT_TRUE(roots.Prepare(Extraction(), &message));
    ASSERT_TRUE(roots.PreserveAll(&message, &restart));
    ASSERT_TRUE(roots.ActivateAll(&message, &restart));
    // The procedure leaves here, as an exception would make it.
  }
  for (int root = 0; root < 3; ++root) EXPECT_EQ(ReadTree(Destination(root)).count(L"old.txt"), 1u);
  ExpectEveryLeftoverNamed();
  EXPECT_NE(LogText().find("[+] Engine root transaction rolled back successfully."),
            std::string::npos);
}

TEST_F(EngineRootsTest, AFailureAfterTheCommitPointNamesTheBackupsAndRollsNothingBack) {
  WriteRoots(true);
  platform::Path recovery;
  ASSERT_TRUE(PreserveExistingPie64(engine_, &recovery));
  Pie64RestoreState pie64(engine_, recovery);
  EngineRoots roots(engine_);
  EngineOperationEnd end{engine_, pie64, {}};
  EngineTransactionContext context{roots, end};
  std::string message;
  bool restart = false;
  ASSERT_TRUE(roots.Prepare(Extraction(), &message));
  ASSERT_TRUE(roots.PreserveAll(&message, &restart));
  ASSERT_TRUE(roots.ActivateAll(&message, &restart));
  roots.MarkCommitted();
  bool released = false;
  context.end.release = [&] { released = true; };
  FailCommittedEngine(context, "COM registration failed.");

  EXPECT_TRUE(released);
  InstallerSnapshot snapshot = engine_.TakeSnapshot();
  EXPECT_FALSE(snapshot.last_succeeded);
  EXPECT_EQ(snapshot.stage_detail, "COM registration failed.");
  const std::string log = LogText();
  for (int root = 0; root < 3; ++root) {
    EXPECT_EQ(RootTree(root), NewTree(root));
    const RootTransaction* record = roots.Find(kNames[root]);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(Exists(record->backup_path));
    EXPECT_NE(log.find(std::string("Recovery notice: previous ") + kNames[root] + " remains at " +
                       ToUtf8(record->backup_path) + "."),
              std::string::npos);
  }
  ExpectUserDiskBack();
}

// Runs on every platform without injected faults: the third staging tree vanishes between
// preservation and activation, so that its activation fails after the first two went in.
TEST_F(EngineRootsTest, AnActivationFailureRollsAllThreeBackThroughTheRealRenames) {
  WriteRoots(true);
  platform::Path recovery;
  ASSERT_TRUE(PreserveExistingPie64(engine_, &recovery));
  Pie64RestoreState pie64(engine_, recovery);
  EngineRoots roots(engine_);
  EngineOperationEnd end{engine_, pie64, {}};
  EngineTransactionContext context{roots, end};
  std::string message;
  bool restart = false;
  ASSERT_TRUE(roots.Prepare(Extraction(), &message));
  ASSERT_TRUE(roots.PreserveAll(&message, &restart));
  const platform::Path moved_away = machine_.In(L"moved-away");
  ASSERT_EQ(platform::MoveFileExW(roots.records()[2].staging_path, moved_away, 0), 0u);
  ASSERT_FALSE(roots.ActivateAll(&message, &restart));
  EXPECT_FALSE(restart);
  AbortEngineTransaction(context, message, restart);

  InstallerSnapshot snapshot = engine_.TakeSnapshot();
  EXPECT_FALSE(snapshot.last_succeeded);
  EXPECT_EQ(snapshot.stage_detail,
            "The new LocalAppData root could not be activated; the previous installation was "
            "restored.");
  EXPECT_FALSE(snapshot.restart_required);
  const std::string log = LogText();
  EXPECT_NE(log.find("Root transaction failed [LocalAppData] operation=activate-new"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("[+] Engine root transaction rolled back successfully."), std::string::npos);
  for (int root = 0; root < 3; ++root) EXPECT_EQ(RootTree(root), OldTree(root)) << kNames[root];
  ExpectEveryLeftoverNamed();
  for (const platform::Path& parent :
       {engine_.paths.install_base, engine_.paths.data_base, engine_.paths.local_app_data}) {
    EXPECT_TRUE(EntriesContaining(parent, L".ostrevin-").empty()) << ToUtf8(parent);
  }
  ExpectUserDiskBack();
  EXPECT_EQ(ReadTree(moved_away), NewTree(2));
}

TEST_F(EngineRootsTest, APreparationFailureCleansUpAndTouchesNoDestination) {
  WriteRoots(true);
  RemoveTestTree(JoinPath(Extraction(), L"payload\\LocalAppData"));
  Outcome outcome = Run();
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_EQ(outcome.message, "An Engine root could not be prepared for transactional installation.");
  for (int root = 0; root < 3; ++root) EXPECT_EQ(RootTree(root), OldTree(root));
  for (const platform::Path& parent : {engine_.paths.install_base, engine_.paths.data_base}) {
    EXPECT_TRUE(EntriesContaining(parent, L".ostrevin-new-").empty());
  }
  ExpectUserDiskBack();
}

}  // namespace
}  // namespace vellmora::testing
