// Loading and saving the volume list file through the file system, with damaged files and
// failing writes.
#include <gtest/gtest.h>

#include "engine/volumes.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

const std::string kAppDir = "C:\\Program Files\\Tidewell\\";
const std::string kFile = kAppDir + "VOLUMES.TWB";
const std::string kBad = kFile + ".bad";

std::unique_ptr<TVolumeRec> Vol(const std::string& name, bool isDefault = false,
                                bool autoRefresh = false) {
  auto rec = std::make_unique<TVolumeRec>();
  rec->Name = name;
  rec->BackupPath = "E:\\" + name + "\\";
  rec->SeparateFolders = true;
  rec->IsDefault = isDefault;
  rec->AutoRefresh = autoRefresh;
  rec->Frequency = 1;
  rec->RefreshTime = 0.5;
  rec->LastRefresh = 45291.25;
  return rec;
}

std::string Encode(const std::vector<std::unique_ptr<TVolumeRec>>& list) {
  TValueWriter w;
  for (const auto& rec : list) WriteVolumeRec(w, *rec);
  return w.Data();
}

std::vector<std::string> Names(const TVolumeList& list) {
  std::vector<std::string> names;
  for (const auto& rec : list) names.push_back(rec->Name);
  return names;
}

class VolumeStoreTest : public testing::Test {
 protected:
  VolumeStoreTest() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.MakeDirs(kAppDir);
  }
  // A fresh store, as at the next start of the program.
  TVolumeStore Restart() { return TVolumeStore(fs, prompts, kAppDir); }

  MemoryFileSystem fs;
  ScriptedPrompts prompts;
};

TEST_F(VolumeStoreTest, SmallVolumeLoadsAndSavesByteForByte) {
  TVolumeList one;
  one.push_back(std::make_unique<TVolumeRec>());
  one[0]->Name = "Docs";
  one[0]->BackupPath = "D:\\BACKUP\\";
  one[0]->SeparateFolders = true;
  one[0]->IsDefault = true;
  const std::string bytes = Encode(one);
  ASSERT_EQ(bytes.size(), 48u);
  fs.WriteFile(kFile, bytes);

  TVolumeStore store = Restart();
  const auto result = store.Load("");
  ASSERT_EQ(Names(store.VolumeList), std::vector<std::string>{"Docs"});
  EXPECT_EQ(store.VolumeList[0]->BackupPath, "D:\\BACKUP\\");
  EXPECT_EQ(result.SelectedIndex, 0);  // the default volume
  EXPECT_FALSE(result.AnyAutoRefresh);
  EXPECT_FALSE(store.KeepAsideOnSave());

  ASSERT_TRUE(store.Save());
  EXPECT_EQ(fs.Contents(kFile), bytes);
  EXPECT_FALSE(fs.Exists(kBad));
  EXPECT_EQ(prompts.Count(), 0u);
}

TEST_F(VolumeStoreTest, MissingAndEmptyFilesGiveAnEmptyList) {
  {
    TVolumeStore store = Restart();
    const auto result = store.Load("DOCS");
    EXPECT_TRUE(store.VolumeList.empty());
    EXPECT_EQ(result.SelectedIndex, -1);
    EXPECT_FALSE(store.KeepAsideOnSave());
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(fs.Contents(kFile), std::string());  // created, zero bytes
  }
  {
    TVolumeStore store = Restart();
    store.Load("");
    EXPECT_TRUE(store.VolumeList.empty());
    EXPECT_FALSE(store.KeepAsideOnSave());  // an empty file is a valid file
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(fs.Contents(kFile), std::string());
    EXPECT_FALSE(fs.Exists(kBad));
  }
  // A missing program folder is a missing file too, not damage.
  TVolumeStore elsewhere(fs, prompts, "C:\\Nowhere\\");
  elsewhere.Load("");
  EXPECT_FALSE(elsewhere.KeepAsideOnSave());
  EXPECT_EQ(prompts.Count(), 0u);
}

TEST_F(VolumeStoreTest, FileCutInsideTheThirdVolumeKeepsTheFirstTwoAndTheDamagedBytes) {
  TVolumeList three;
  three.push_back(Vol("Alpha"));
  three.push_back(Vol("Beta"));
  three.push_back(Vol("Gamma"));
  const std::string full = Encode(three);
  TVolumeList two;
  two.push_back(Vol("Alpha"));
  two.push_back(Vol("Beta"));
  const size_t thirdStart = Encode(two).size();

  // Every cut inside the third record, from its first byte to one short of its end.
  for (size_t cut = thirdStart + 1; cut < full.size(); ++cut) {
    SCOPED_TRACE(cut);
    fs.WriteFile(kFile, full.substr(0, cut));
    TVolumeStore store = Restart();
    store.Load("");
    ASSERT_EQ(Names(store.VolumeList), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_TRUE(store.KeepAsideOnSave());
  }
  EXPECT_EQ(prompts.Count(), 0u);  // loading stays silent

  const std::string damaged = full.substr(0, full.size() - 7);
  fs.WriteFile(kFile, damaged);
  TVolumeStore store = Restart();
  store.Load("");
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(fs.Contents(kBad), damaged);
  EXPECT_EQ(fs.Contents(kFile), Encode(two));
  EXPECT_EQ(prompts.Count(), 0u);
  // Once replaced, the file is sound: saving again must not move it over the kept copy.
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(fs.Contents(kBad), damaged);

  // The next run finds a sound file and leaves the kept copy alone.
  TVolumeStore next = Restart();
  next.Load("");
  EXPECT_EQ(Names(next.VolumeList), (std::vector<std::string>{"Alpha", "Beta"}));
  EXPECT_FALSE(next.KeepAsideOnSave());
  ASSERT_TRUE(next.Save());
  EXPECT_EQ(fs.Contents(kBad), damaged);
}

TEST_F(VolumeStoreTest, WrongTagInsideARecordDropsThatRecordOnly) {
  TVolumeList list;
  list.push_back(Vol("Alpha"));
  list.push_back(Vol("Beta"));
  std::string bytes = Encode(list);
  // Beta's Frequency (02 01) turned into an identifier tag.
  const size_t freq = bytes.rfind(std::string("\x02\x01", 2));
  ASSERT_NE(freq, std::string::npos);
  bytes[freq] = '\x07';
  fs.WriteFile(kFile, bytes);
  TVolumeStore store = Restart();
  store.Load("");
  EXPECT_EQ(Names(store.VolumeList), std::vector<std::string>{"Alpha"});
  EXPECT_TRUE(store.KeepAsideOnSave());
}

TEST_F(VolumeStoreTest, FailedSaveReportsAndLeavesThePreviousFile) {
  TVolumeList list;
  list.push_back(Vol("Alpha"));
  const std::string before = Encode(list);
  fs.WriteFile(kFile, before);

  for (FsOp op : {FsOp::WriteAtomic, FsOp::Write, FsOp::Replace}) {
    SCOPED_TRACE(FsOpName(op));
    prompts.Clear();
    TVolumeStore store = Restart();
    store.Load("");
    store.VolumeList.push_back(Vol("Beta"));
    FsFault fault;
    fault.op = op;
    fault.path = kFile;
    fault.error = op == FsOp::Write ? winerr::DiskFull : winerr::AccessDenied;
    fault.times = FsFault::kAlways;
    fault.partialBytes = 5;
    fs.AddFault(fault);
    EXPECT_FALSE(store.Save());
    fs.ClearFaults();
    ASSERT_EQ(prompts.Count(), 1u);
    EXPECT_EQ(prompts.Last().text, "Unable to save information of volumes");
    EXPECT_EQ(prompts.Last().caption, "Tidewell");
    EXPECT_EQ(prompts.Last().flags, uint32_t(mb::Ok));
    EXPECT_EQ(fs.Contents(kFile), before);
  }
}

TEST_F(VolumeStoreTest, DamagedFileIsNeverLostWhenTheSaveFails) {
  TVolumeList list;
  list.push_back(Vol("Alpha"));
  const std::string damaged = Encode(list) + "\x07\x09" "Bet";
  fs.WriteFile(kFile, damaged);
  TVolumeStore store = Restart();
  store.Load("");
  ASSERT_TRUE(store.KeepAsideOnSave());

  // Cannot even move it aside: no replacement at all.
  FsFault moveFault;
  moveFault.op = FsOp::Move;
  moveFault.path = kFile;
  moveFault.error = winerr::SharingViolation;
  fs.AddFault(moveFault);
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(fs.Contents(kFile), damaged);

  // Moved aside, then the write fails: the damaged file goes back where the next start looks.
  FsFault writeFault;
  writeFault.op = FsOp::WriteAtomic;
  writeFault.path = kFile;
  fs.AddFault(writeFault);
  EXPECT_FALSE(store.Save());
  EXPECT_EQ(prompts.Count(), 2u);
  EXPECT_EQ(fs.Contents(kFile), damaged);
  EXPECT_TRUE(store.KeepAsideOnSave());

  ASSERT_TRUE(store.Save());
  EXPECT_EQ(fs.Contents(kBad), damaged);
  EXPECT_EQ(fs.Contents(kFile), Encode(list));
}

TEST_F(VolumeStoreTest, UnreadableFileIsKeptAsideNotOverwritten) {
  TVolumeList list;
  list.push_back(Vol("Alpha"));
  fs.WriteFile(kFile, Encode(list));
  FsFault readFault;
  readFault.op = FsOp::ReadAll;
  readFault.path = kFile;
  readFault.error = winerr::SharingViolation;

  // A brief hold is waited out.
  int brief = fs.AddFault(readFault);
  TVolumeStore store = Restart();
  store.Load("");
  ASSERT_EQ(store.VolumeList.size(), 1u);
  EXPECT_EQ(fs.FaultHits(brief), 1);
  fs.ClearFaults();

  // A lasting one leaves the list empty; the file is kept aside, never overwritten, and a
  // second such start keeps its own file without touching the first one kept.
  readFault.times = FsFault::kAlways;
  fs.AddFault(readFault);
  TVolumeStore first = Restart();
  first.Load("");
  EXPECT_TRUE(first.VolumeList.empty());
  EXPECT_EQ(prompts.Count(), 0u);
  ASSERT_TRUE(first.Save());
  EXPECT_EQ(fs.Contents(kBad), Encode(list));
  EXPECT_EQ(fs.Contents(kFile), std::string());

  TVolumeStore second = Restart();
  second.Load("");
  second.VolumeList.push_back(Vol("Beta"));
  ASSERT_TRUE(second.Save());
  EXPECT_EQ(fs.Contents(kBad), Encode(list));
  EXPECT_EQ(fs.Contents(kBad + "1"), std::string());
  fs.ClearFaults();
  TVolumeStore third = Restart();
  third.Load("");
  ASSERT_EQ(third.VolumeList.size(), 1u);
  EXPECT_EQ(third.VolumeList[0]->Name, "Beta");
}

TEST_F(VolumeStoreTest, ExtendedValuesADoubleCannotHoldKeepTheOriginalAside) {
  TVolumeList list;
  list.push_back(Vol("Alpha"));
  std::string bytes = Encode(list);
  // LastRefresh (the last ten bytes) given significand bits below a double's precision.
  bytes[bytes.size() - 10] = '\x01';
  fs.WriteFile(kFile, bytes);
  TVolumeStore store = Restart();
  store.Load("");
  ASSERT_EQ(store.VolumeList.size(), 1u);
  EXPECT_EQ(store.VolumeList[0]->LastRefresh, 45291.25);
  EXPECT_TRUE(store.KeepAsideOnSave());
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(fs.Contents(kBad), bytes);
}

TEST_F(VolumeStoreTest, SelectionFollowsDefaultThenLastOpenedAndTheLaterRowWins) {
  struct Case {
    std::vector<bool> defaults;
    std::string last;
    int expected;
  } cases[] = {
      {{false, false, false}, "", -1},
      {{false, true, false}, "", 1},
      {{false, false, false}, "DOCS", 2},      // "Docs" is the third row
      {{false, false, false}, "docs", 2},      // compared without regard to case
      {{true, false, false}, "DOCS", 2},       // last opened is later than the default
      {{false, false, true}, "ALPHA", 2},      // the default is later than the last opened
      {{true, false, true}, "", 2},            // two defaults: the later row
      {{false, false, false}, "MISSING", -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.last);
    TVolumeList list;
    list.push_back(Vol("Alpha", c.defaults[0]));
    list.push_back(Vol("Beta", c.defaults[1]));
    list.push_back(Vol("Docs", c.defaults[2]));
    fs.WriteFile(kFile, Encode(list));
    TVolumeStore store = Restart();
    EXPECT_EQ(store.Load(c.last).SelectedIndex, c.expected);
  }

  TVolumeList accented;
  accented.push_back(Vol("Caf\xC3\xA9"));
  accented.push_back(Vol("Other"));
  fs.WriteFile(kFile, Encode(accented));
  TVolumeStore store = Restart();
  EXPECT_EQ(store.Load("CAF\xC3\x89").SelectedIndex, 0);
}

TEST_F(VolumeStoreTest, ReportsWhetherAnyVolumeRefreshesAutomatically) {
  TVolumeList list;
  list.push_back(Vol("Alpha"));
  list.push_back(Vol("Beta", false, true));
  list.push_back(Vol("Gamma"));
  fs.WriteFile(kFile, Encode(list));
  TVolumeStore store = Restart();
  EXPECT_TRUE(store.Load("").AnyAutoRefresh);

  list[1]->AutoRefresh = false;
  fs.WriteFile(kFile, Encode(list));
  TVolumeStore none = Restart();
  EXPECT_FALSE(none.Load("").AnyAutoRefresh);

  // Only volumes actually loaded count: an automatic one in a damaged record does not.
  list[2]->AutoRefresh = true;
  const std::string bytes = Encode(list);
  fs.WriteFile(kFile, bytes.substr(0, bytes.size() - 3));
  TVolumeStore cut = Restart();
  EXPECT_FALSE(cut.Load("").AnyAutoRefresh);
}

TEST_F(VolumeStoreTest, ReservedWordNamesComeBackInTheirFixedSpelling) {
  TVolumeStore store = Restart();
  store.Load("");
  for (const char* name : {"true", "FALSE", "Nil"}) store.VolumeList.push_back(Vol(name));
  ASSERT_TRUE(store.Save());
  const std::string bytes = *fs.Contents(kFile);
  EXPECT_EQ(bytes[0], '\x09');  // the name is one byte

  TVolumeStore next = Restart();
  next.Load("");
  EXPECT_EQ(Names(next.VolumeList), (std::vector<std::string>{"True", "False", "nil"}));
  EXPECT_EQ(next.VolumeList[1]->BackupPath, "E:\\FALSE\\");
}

}  // namespace
}  // namespace tw
