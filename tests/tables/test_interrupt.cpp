// Every change of a table interrupted at every step of its writing: by a failed step (an I/O
// error, a full disk), and by the death of the process there (SIGKILL in a child process, as a
// crash or a power cut ends the program). Afterwards the table must be exactly the old file or
// the complete new table, never neither; a failure reported to the caller must leave the old
// file byte for byte; and an in-place record write torn in the middle must come back whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "table_test_util.h"
#include "tables/datatable.h"
#include "tables/iofault.h"
#include "tables/recordpatch.h"

namespace qv {
namespace {

using namespace testing;  // the helpers of table_test_util.h
using detail::IoStep;

// What a table holds, as a fresh table object reads it from the file.
struct Content {
  std::vector<FieldDef> fields;
  std::vector<std::vector<TValue>> rows;
  bool operator==(const Content&) const = default;
};

Content Read(const std::string& path) {
  TDataTable t;
  t.SetName(path);
  t.Open();
  return {t.Fields(), AllRows(t)};
}

struct Operation {
  const char* name;
  std::function<void(TDataTable&)> run;
};

const std::vector<Operation> kOperations = {
    {"add fields",
     [](TDataTable& t) {
       t.AddFields({{"novo", FieldType::Float, 0}, {"obs", FieldType::String, 12}});
     }},
    {"delete a field", [](TDataTable& t) { t.DeleteField(1); }},
    {"rename fields",
     [](TDataTable& t) {
       t.RenameFields({{0, "G"}, {3, "prod"}});
     }},
    {"delete records",
     [](TDataTable& t) {
       t.DeleteRecords({0, 7, 8, 29});
     }},
    {"post an edited record",
     [](TDataTable& t) {
       t.GoTo(12);
       t.SetValue(3, N(-1.5e-7));
       t.SetValue(1, S("Ipê"));
       t.Post();
     }},
    {"post an inserted record",
     [](TDataTable& t) {
       t.GoTo(3);
       t.Insert();
       t.SetValue(0, N(99));
       t.Post();
     }},
    {"save a copy over another table",
     [](TDataTable& t) {
       t.SaveCopy(std::filesystem::path(t.Name()).parent_path() / "copia.csv");
     }},
};

class Interrupted : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    table_ = dir_ / (std::string("ensaio") + GetParam());
    TDataTable t;
    CreateOpen(t, table_,
               {{"gen", FieldType::Float, 0},
                {"nome", FieldType::String, 20},
                {"n", FieldType::Integer, 0},
                {"y", FieldType::Float, 0}});
    t.BeginBatch();
    for (int i = 0; i < 30; ++i) {
      AppendRow(t, {N(i + 1), i % 4 == 0 ? B() : S("Conceição " + std::to_string(i)), N(i * 3),
                    i % 5 == 2 ? B() : N(i / 7.0)});
    }
    t.EndBatch();
    t.Close();
    original_ = ReadBytes(table_);
    WriteBytes(Copy(), "gen,y\n1,2\n");
  }
  void TearDown() override { detail::SetIoFaultHook(nullptr); }

  std::string Copy() const { return dir_ / "copia.csv"; }

  // Puts the old files back and removes everything else (temporaries of a killed process).
  void Restore() {
    for (const std::string& f : dir_.Files()) std::filesystem::remove(dir_ / f);
    WriteBytes(table_, original_);
    WriteBytes(Copy(), "gen,y\n1,2\n");
  }

  // The file the operation changes.
  std::string Target(const Operation& op) const {
    return std::string(op.name).rfind("save", 0) == 0 ? Copy() : table_;
  }
  std::string OldBytes(const Operation& op) const {
    return Target(op) == table_ ? original_ : "gen,y\n1,2\n";
  }

  // Runs op once without faults: the content it leaves, its file's bytes, and its steps.
  Content Reference(const Operation& op, std::vector<IoStep>& steps, std::string& bytes) {
    Restore();
    detail::SetIoFaultHook([&](IoStep s) {
      steps.push_back(s);
      return 0;
    });
    TDataTable t;
    t.SetName(table_);
    t.Open();
    op.run(t);
    detail::SetIoFaultHook(nullptr);
    bytes = ReadBytes(Target(op));
    return Read(Target(op));
  }

  // Runs op on the table in a child process that is killed (SIGKILL) at the step `killAt`
  // (counted from 0 over every step) or at the first step of the kind `killAtKind`. Returns
  // whether the child died that way.
  bool KilledDuring(const Operation& op, std::size_t killAt,
                    std::optional<IoStep> killAtKind = std::nullopt) const {
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
      std::size_t n = 0;
      detail::SetIoFaultHook([&](IoStep s) {
        if (killAtKind ? s == *killAtKind : n == killAt) raise(SIGKILL);
        ++n;
        return 0;
      });
      try {
        TDataTable t;
        t.SetName(table_);
        t.Open();
        op.run(t);
      } catch (...) {
      }
      _exit(0);
    }
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFSIGNALED(status) &&
           WTERMSIG(status) == SIGKILL;
  }

  ScratchDir dir_;
  std::string table_, original_;
};

// Each step fails in turn, with an I/O error and with a full disk. A failure the caller is told
// of leaves the file as it was, byte for byte, with no temporary left and the table in memory
// as it was; the few steps after the new version is in place (the fsync of the directory, the
// removal of the journal) cannot lose it and are not reported.
TEST_P(Interrupted, EveryStepFailingLeavesTheOldFileOrTheNewTable) {
  for (const Operation& op : kOperations) {
    std::vector<IoStep> steps;
    std::string newBytes;
    const Content expected = Reference(op, steps, newBytes);
    ASSERT_FALSE(steps.empty()) << op.name;
    for (const int err : {EIO, ENOSPC}) {
      for (std::size_t k = 0; k < steps.size(); ++k) {
        Restore();
        const auto filesBefore = dir_.Files();
        TDataTable t;
        t.SetName(table_);
        t.Open();
        const Content before{t.Fields(), AllRows(t)};
        std::size_t n = 0;
        detail::SetIoFaultHook([&](IoStep) { return n++ == k ? err : 0; });
        bool failed = false;
        try {
          op.run(t);
        } catch (const TableError& e) {
          failed = true;
          EXPECT_NE(std::string(e.what()).find(std::strerror(err)), std::string::npos) << e.what();
        }
        detail::SetIoFaultHook(nullptr);
        const std::string where = std::string(op.name) + ", step " + std::to_string(k + 1) +
                                  " of " + std::to_string(steps.size()) + ", " + strerror(err);
        if (failed) {
          EXPECT_TRUE(SameBytes(ReadBytes(Target(op)), OldBytes(op))) << where;
          EXPECT_EQ(dir_.Files(), filesBefore) << where;
          t.Cancel();
          EXPECT_EQ((Content{t.Fields(), AllRows(t)}), before) << where;
        } else {
          EXPECT_EQ(Read(Target(op)), expected) << where;
        }
      }
    }
  }
}

// A real full disk, by a limit on the size of the files this process writes (smaller than any
// version of the table): every operation fails with a message, and the next opening finds the
// old file byte for byte. Nothing goes into the current directory meanwhile.
TEST_P(Interrupted, AFullDiskFailsEveryOperationAndKeepsTheOldFile) {
  ScratchDir elsewhere;
  const std::string cwd = std::filesystem::current_path().string();
  std::filesystem::current_path(elsewhere.Path());
  for (const Operation& op : kOperations) {
    Restore();
    TDataTable t;
    t.SetName(table_);
    t.Open();
    {
      const FileSizeLimit limit(400);
      EXPECT_THROW(op.run(t), TableError) << op.name;
    }
    Read(Target(op));  // a record write left to the journal is undone here
    EXPECT_TRUE(SameBytes(ReadBytes(Target(op)), OldBytes(op))) << op.name;
  }
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(elsewhere.Files().empty());
}

// The formats whose edited records are written in place (a CSV table is always rewritten whole).
class InterruptedInPlace : public Interrupted {};

// The process dies at each step in turn. Whatever it was doing, the next opening of the table
// finds the old file byte for byte or the complete new table.
TEST_P(Interrupted, KilledAtEveryStepLeavesTheOldFileOrTheNewTable) {
  for (const Operation& op : kOperations) {
    std::vector<IoStep> steps;
    std::string newBytes;
    const Content expected = Reference(op, steps, newBytes);
    for (std::size_t k = 0; k < steps.size(); ++k) {
      Restore();
      const std::string where = std::string(op.name) + ", killed at step " + std::to_string(k + 1) +
                                " of " + std::to_string(steps.size());
      ASSERT_TRUE(KilledDuring(op, k)) << where;
      const Content after = Read(Target(op));  // an interrupted record write is undone here
      const std::string bytes = ReadBytes(Target(op));
      if (bytes != OldBytes(op)) {
        EXPECT_EQ(after, expected) << where;
      }
      EXPECT_FALSE(std::filesystem::exists(detail::JournalPath(table_))) << where;
    }
  }
}

// The record write in place torn by a crash: the new bytes reached the disk in part only (a
// power cut between two sectors). The journal puts the old record back.
TEST_P(InterruptedInPlace, ATornRecordWriteComesBackAsTheOldRecord) {
  const Operation& edit = kOperations[4];
  std::vector<IoStep> steps;
  std::string newBytes;
  Reference(edit, steps, newBytes);
  ASSERT_EQ(newBytes.size(), original_.size());  // written in place
  std::size_t first = 0, last = original_.size();
  while (original_[first] == newBytes[first]) ++first;
  while (original_[last - 1] == newBytes[last - 1]) --last;

  // Killed just before the record is written: the journal is complete, the table untouched.
  Restore();
  ASSERT_TRUE(KilledDuring(edit, 0, IoStep::WriteRecord));
  ASSERT_TRUE(std::filesystem::exists(detail::JournalPath(table_)));
  // Half of the new record on the disk, as a torn write leaves it: written into the table's
  // own file, as the interrupted pwrite would. (A new file in its place is another file to the
  // journal, which then rightly leaves it alone; whether that new file happened to get the old
  // one's inode number back depended on what else was creating files at the moment.)
  const std::size_t half = first + (last - first) / 2;
  OverwriteBytes(table_, first, newBytes.substr(first, half - first));
  ASSERT_FALSE(SameBytes(ReadBytes(table_), original_));
  TDataTable t;
  t.SetName(table_);
  t.Open();
  EXPECT_TRUE(SameBytes(ReadBytes(table_), original_));
  EXPECT_FALSE(std::filesystem::exists(detail::JournalPath(table_)));
}

// A real full disk, by a limit on the size of the files this process writes: the journal fits,
// the record (past the limit) does not, and neither does putting it back. The journal then
// restores it at the next opening.
TEST_P(InterruptedInPlace, ARecordThatCannotBeWrittenNorPutBackIsRestoredAtTheNextOpening) {
  TDataTable t;
  t.SetName(table_);
  t.Open();
  t.GoTo(29);
  t.SetValue(0, N(7));
  std::string message;
  {
    // The journal of one record is smaller than this; the last record lies beyond it.
    const FileSizeLimit limit(1024);
    try {
      t.Post();
    } catch (const TableError& e) {
      message = e.what();
    }
  }
  EXPECT_NE(message.find("volta ao que era"), std::string::npos) << message;
  EXPECT_EQ(t.ValueAt(29, 0), N(30));  // the table in memory as it was
  t.Close();
  EXPECT_TRUE(SameBytes(ReadBytes(table_), original_));  // the write failed before a byte changed
  t.Open();
  EXPECT_FALSE(std::filesystem::exists(detail::JournalPath(table_)));
  t.GoTo(29);
  t.SetValue(0, N(7));
  t.Post();  // with room it goes in
  EXPECT_EQ(Read(table_).rows[29][0], N(7));
}

// A journal left from another version of the file (the table rewritten since) or a journal cut
// short never touches the table.
TEST_P(InterruptedInPlace, AStaleOrIncompleteJournalIsIgnored) {
  const std::string journal = detail::JournalPath(table_);
  // A complete journal of this table, kept aside, and the table then rewritten whole.
  Restore();
  ASSERT_TRUE(KilledDuring(kOperations[4], 0, IoStep::WriteRecord));
  const std::string journalBytes = ReadBytes(journal);
  ASSERT_FALSE(journalBytes.empty());
  {
    TDataTable t;
    t.SetName(table_);
    t.Open();
    t.DeleteRecords({29});
  }
  const std::string rewritten = ReadBytes(table_);
  for (const std::string& bytes : {journalBytes, journalBytes.substr(0, journalBytes.size() - 3)}) {
    WriteBytes(journal, bytes);
    TDataTable t;
    t.SetName(table_);
    t.Open();
    EXPECT_TRUE(SameBytes(ReadBytes(table_), rewritten));
    EXPECT_FALSE(std::filesystem::exists(journal));
  }
}

std::string FormatName(const ::testing::TestParamInfo<const char*>& info) {
  return std::string(info.param + 1);
}

INSTANTIATE_TEST_SUITE_P(Formats, Interrupted, ::testing::Values(".db", ".dbf", ".csv"),
                         FormatName);
INSTANTIATE_TEST_SUITE_P(Formats, InterruptedInPlace, ::testing::Values(".db", ".dbf"), FormatName);

}  // namespace
}  // namespace qv
