// The context-menu extension's decisions: its menu, its help texts, and the marks it writes into
// a volume's selection file, read back as Tidewell reads them.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/volumeedit.h"

#include "engine/volumes.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryNamedMutex.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedPrompts.h"
#include "platform/ProfileFile.h"
#include "selection/selection.h"
#include "shellext/ContextMenuCore.h"

namespace tw {
namespace {

const std::string kProduct = "\\Software\\Corvane\\Tidewell";
const std::string kFolder = "C:\\Program Files\\Tidewell\\";
const std::string kWorkFile = kFolder + "Work.tws";

RegValue Text(const std::string& s) {
  RegValue r;
  r.type = RegType::String;
  r.text = s;
  return r;
}

struct RecordingHost : IContextMenuHost {
  int beeps = 0;
  std::vector<std::string> started;
  void Beep() override { ++beeps; }
  bool StartProgram(const std::string& exe) override {
    started.push_back(exe);
    return true;
  }
};

class ContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("\\\\srv\\share", DriveType::Remote);
    fs.MakeDirs(kFolder);
    reg.Set(RegRoot::LocalMachine, kProduct + "\\AppPath", "",
            Text(" " + kFolder + "Tidewell.exe\r\n"));
    reg.Set(RegRoot::CurrentUser, kProduct, "DefaultVolume", Text("Work"));
    ListVolumes({"Work"});
  }

  void ListVolumes(const std::vector<std::string>& names) {
    TVolumeStore store(fs, prompts, kFolder);
    for (const auto& name : names) {
      auto rec = std::make_unique<TVolumeRec>();
      rec->Name = name;
      rec->BackupPath = "D:\\Backup\\";
      store.VolumeList.push_back(std::move(rec));
    }
    ASSERT_TRUE(store.Save());
  }

  // A fresh object as the shell makes one per right-click.
  std::unique_ptr<TWLContextMenuCore> Menu(bool hasFileList = true) {
    auto menu = std::make_unique<TWLContextMenuCore>(reg, fs, mutex, prompts, host);
    menu->Initialize(hasFileList);
    std::vector<TMenuItem> items;
    menu->QueryMenu(100, items);
    return menu;
  }

  int32_t Invoke(TWLContextMenuCore& menu, uint32_t offset, std::vector<std::string> paths) {
    return menu.Invoke(offset, [&](std::vector<std::string>& out) {
      out = paths;
      return true;
    });
  }

  std::unique_ptr<TWLDesktopNode> Load(const std::string& file = kWorkFile) {
    auto tree = std::make_unique<TWLDesktopNode>(fs);
    EXPECT_EQ(tree->LoadFromFile(file), winerr::Success);
    return tree;
  }

  std::vector<std::string> Files(const TWLDesktopNode& tree, const std::string& folder) {
    std::vector<std::string> names;
    if (TWLNode* node = tree.FindNode(folder)) {
      for (int i = 0; i < node->FileCount(); ++i) names.push_back(node->FileName(i));
    }
    return names;
  }

  std::string Refusal(const std::string& volume, const std::string& reason) {
    return "Tidewell could not mark the selected items for volume \"" + volume + "\": " + reason;
  }

  MemoryFileSystem fs;
  MemoryRegistry reg;
  MemoryNamedMutex mutex;
  ScriptedPrompts prompts;
  RecordingHost host;
};

using Strings = std::vector<std::string>;

TEST_F(ContextMenuTest, MarksFilesFoldersRootFilesAndSharesAsTidewellReadsThemBack) {
  fs.WriteFile("C:\\Data\\a.txt", "a");
  fs.WriteFile("C:\\Data\\b=c;[d].txt", "b");
  fs.WriteFile("C:\\Data\\Grüße.txt", "g");
  fs.WriteFile("C:\\Top.txt", "t");
  fs.WriteFile("C:\\Whole\\in.txt", "i");
  fs.WriteFile("C:\\Whole\\Sub\\deep.txt", "d");
  fs.WriteFile("\\\\srv\\share\\x.txt", "x");
  fs.WriteFile("\\\\srv\\share\\docs\\y.txt", "y");
  // What Tidewell saved at the last backup: it stays, except what a whole folder replaces.
  {
    TWLDesktopNode saved(fs);
    saved.AddPath("C:\\Old")->AddFile("o.txt", 1);
    saved.AddPath("C:\\Whole")->AddFile("stale.txt", 1);
    ASSERT_EQ(saved.SaveToFile(kWorkFile), winerr::Success);
  }
  fs.ClearCalls();

  auto menu = Menu();
  const std::string longName(150, 'n');
  const std::string longPath = "C:\\" + longName + "\\" + longName + ".txt";  // past 300
  fs.WriteFile(longPath, "l");
  EXPECT_EQ(Invoke(*menu, 0,
                   {"C:\\Data\\a.txt", "C:\\Data\\b=c;[d].txt", "C:\\Data\\Grüße.txt",
                    "C:\\Top.txt", "C:\\Whole", "C:\\Whole\\in.txt", "\\\\srv\\share\\x.txt",
                    "\\\\srv\\share\\docs", longPath,
                    // skipped: relative, wildcard, "..", missing
                    "Data\\a.txt", "C:\\Data\\*.txt", "C:\\Whole\\..\\Top.txt", "C:\\gone.txt"}),
            hres::Ok);
  EXPECT_EQ(prompts.Count(), 0u);
  EXPECT_EQ(fs.CallCount(FsOp::WriteAtomic), 1);  // saved once
  EXPECT_EQ(mutex.Acquired, 1);
  EXPECT_EQ(mutex.LastTimeoutMs, 3000u);
  EXPECT_EQ(mutex.Depth(), 0);

  auto tree = Load();
  EXPECT_EQ(Files(*tree, "C:\\Data"), (Strings{"a.txt", "b=c;[d].txt", "Grüße.txt"}));
  EXPECT_EQ(Files(*tree, "C:"), (Strings{"Top.txt"}));
  EXPECT_EQ(Files(*tree, "C:\\Old"), (Strings{"o.txt"}));
  EXPECT_EQ(Files(*tree, "C:\\" + longName), (Strings{longName + ".txt"}));
  ASSERT_NE(tree->FindNode("C:\\Whole"), nullptr);
  EXPECT_TRUE(tree->FindNode("C:\\Whole")->AllSelected());  // the file inside did not undo it
  EXPECT_EQ(Files(*tree, "C:\\Whole"), (Strings{"in.txt"}));  // stale.txt gave way
  EXPECT_EQ(Files(*tree, "C:\\Whole\\Sub"), (Strings{"deep.txt"}));
  EXPECT_EQ(Files(*tree, "\\\\srv\\share"), (Strings{"x.txt"}));
  ASSERT_NE(tree->FindNode("\\\\srv\\share\\docs"), nullptr);
  EXPECT_TRUE(tree->FindNode("\\\\srv\\share\\docs")->AllSelected());
  EXPECT_EQ(tree->FindNode("C:\\Data\\..\\"), nullptr);
  EXPECT_EQ(Files(*tree, "C:\\Data").size() + Files(*tree, "C:").size(), 4u);

  // A drive root marked whole keeps its mark when a file of it is marked later.
  auto again = Menu();
  EXPECT_EQ(Invoke(*again, 0, {"C:\\"}), hres::Ok);
  EXPECT_EQ(Invoke(*again, 0, {"C:\\Top.txt"}), hres::Ok);
  TProfileFile file(fs, kWorkFile);
  ASSERT_EQ(file.Load(), winerr::Success);
  EXPECT_EQ(file.ReadString("C:\\", "**ALL**", ""), "#");
}

TEST_F(ContextMenuTest, MenuOffersTheVolumesWithinTheIdsGivenAndHelpsWithEveryCommand) {
  reg.Set(RegRoot::CurrentUser, kProduct + "\\ContextMenu", "WORK", Text(""));  // the default
  reg.Set(RegRoot::CurrentUser, kProduct + "\\ContextMenu", "Offsite", Text(""));
  reg.Set(RegRoot::CurrentUser, kProduct + "\\ContextMenu", "", Text(""));
  TWLContextMenuCore menu(reg, fs, mutex, prompts, host);
  menu.Initialize(true);
  std::vector<TMenuItem> items;
  ASSERT_EQ(menu.QueryMenu(100, items), 4u);
  const auto& names = menu.VolumeNames();
  ASSERT_EQ(names.size(), 3u);
  const uint32_t offsite =
      static_cast<uint32_t>(std::find(names.begin(), names.end(), "Offsite") - names.begin()) + 1;
  ASSERT_EQ(items.size(), 2u);  // the default and the empty name keep their ids, unshown
  EXPECT_EQ(items[0].offset, 0u);
  EXPECT_EQ(items[0].text, "Mark for Tidewell");
  EXPECT_EQ(items[1].offset, offsite);
  EXPECT_EQ(items[1].text, "Mark for Backup to Volume - Offsite");

  std::string help;
  ASSERT_TRUE(menu.CommandHelp(0, help));
  EXPECT_EQ(help, "Mark the selected files to be added to a Tidewell volume");
  ASSERT_TRUE(menu.CommandHelp(offsite, help));
  EXPECT_EQ(help, "Mark the selected files to be added to Tidewell volume - Offsite");
  EXPECT_FALSE(menu.CommandHelp(4, help));

  // Never an id past the last one given: another handler's command would run.
  EXPECT_EQ(menu.QueryMenu(2, items), 2u);
  for (const auto& item : items) EXPECT_LT(item.offset, 2u);
  EXPECT_EQ(menu.QueryMenu(0, items), 0u);
  EXPECT_TRUE(items.empty());

  EXPECT_EQ(menu.Invoke(4, nullptr), hres::InvalidArg);
  EXPECT_EQ(menu.InvokeVerb(), hres::Fail);
  EXPECT_EQ(host.beeps, 2);

  // Without a file list: no items, and a command is refused without touching anything.
  TWLContextMenuCore empty(reg, fs, mutex, prompts, host);
  empty.Initialize(false);
  EXPECT_EQ(empty.QueryMenu(100, items), 0u);
  EXPECT_TRUE(items.empty());
  fs.WriteFile("C:\\a.txt", "a");
  EXPECT_EQ(empty.Invoke(0, [](std::vector<std::string>& p) {
    p = {"C:\\a.txt"};
    return true;
  }), hres::Fail);
  EXPECT_FALSE(fs.Exists(kWorkFile));
  // A file list that cannot be fetched again marks nothing.
  auto menu2 = Menu();
  EXPECT_EQ(menu2->Invoke(0, [](std::vector<std::string>&) { return false; }), hres::Fail);
  EXPECT_FALSE(fs.Exists(kWorkFile));
}

TEST_F(ContextMenuTest, WithoutDefaultVolumeTheUserIsToldAndTidewellStartsAndNothingIsWritten) {
  fs.WriteFile("C:\\a.txt", "a");
  reg.Open(RegRoot::CurrentUser, kProduct, false)->DeleteValue("DefaultVolume");
  fs.ClearCalls();
  auto menu = Menu();
  EXPECT_EQ(Invoke(*menu, 0, {"C:\\a.txt"}), hres::Fail);
  ASSERT_EQ(prompts.Count(), 1u);
  EXPECT_EQ(prompts.Last().text,
            "There is no default volume selected. Please create a new backup volume now.");
  EXPECT_EQ(prompts.Last().caption, "Tidewell");
  EXPECT_EQ(prompts.Last().flags, mb::Ok | mb::IconError);
  EXPECT_EQ(host.started, (Strings{kFolder + "Tidewell.exe"}));
  EXPECT_EQ(fs.CallCount(FsOp::WriteAtomic), 0);

  // Without AppPath a bare "Tidewell.exe" would start whatever the host's folder holds.
  reg.DeleteTree(RegRoot::LocalMachine, kProduct + "\\AppPath");
  auto noPath = Menu();
  EXPECT_EQ(Invoke(*noPath, 0, {"C:\\a.txt"}), hres::Fail);
  EXPECT_EQ(prompts.Count(), 2u);
  EXPECT_EQ(host.started.size(), 1u);
  // A relative AppPath is no better.
  reg.Set(RegRoot::LocalMachine, kProduct + "\\AppPath", "", Text("Tidewell\\Tidewell.exe"));
  EXPECT_EQ(Menu()->ProgramFolder(), "");
}

TEST_F(ContextMenuTest, RefusalsSayWhyAndWriteNothing) {
  fs.WriteFile("C:\\a.txt", "a");
  const std::vector<std::string> paths{"C:\\a.txt"};
  // The box waits for the user; the selection files must not wait with it.
  int heldWhileShown = 0;
  prompts.WhileShown = [&] { heldWhileShown += mutex.Depth(); };
  auto expectRefused = [&](const std::string& volume, const std::string& reason) {
    prompts.Clear();
    fs.ClearCalls();
    reg.Set(RegRoot::CurrentUser, kProduct, "DefaultVolume", Text(volume));
    auto menu = Menu();
    EXPECT_EQ(Invoke(*menu, 0, paths), hres::Fail) << volume;
    ASSERT_EQ(prompts.Count(), 1u) << volume;
    EXPECT_EQ(prompts.Last().text, Refusal(volume, reason));
    EXPECT_EQ(prompts.Last().caption, "Tidewell");
    EXPECT_EQ(prompts.Last().flags, mb::Ok | mb::IconError);
    EXPECT_EQ(fs.CallCount(FsOp::WriteAtomic), 0) << volume;
    EXPECT_EQ(heldWhileShown, 0) << volume;
  };
  // A name that is no file name would write elsewhere ("..\x" outside the program folder).
  expectRefused("..\\Evil", TWLContextMenuCore::kBadNameReason);
  expectRefused("a:b", TWLContextMenuCore::kBadNameReason);
  expectRefused("CON", TWLContextMenuCore::kBadNameReason);  // "CON.TWS" is the console
  // A deleted volume (no selection file, not in VOLUMES.TWB): its marks would go nowhere.
  expectRefused("Gone", TWLContextMenuCore::kNoVolumeReason);
  fs.Remove(kFolder + "VOLUMES.TWB");
  expectRefused("Work", TWLContextMenuCore::kNoVolumeReason);
  // Another process holds the selection files past the wait.
  ListVolumes({"Work"});
  mutex.HeldElsewhere = true;
  expectRefused("Work", TWLContextMenuCore::kBusyReason);
  EXPECT_EQ(mutex.LastTimeoutMs, 3000u);
  EXPECT_EQ(fs.CallCount(FsOp::ReadAll, kWorkFile), 0);
  mutex.HeldElsewhere = false;
  // An existing selection file that cannot be read is never replaced by the marks alone.
  fs.WriteFile(kWorkFile, "[C:\\Keep]\r\nk.txt=#\r\n");
  int held = fs.AddFault({FsOp::ReadAll, kWorkFile, PathMatch::Exact, winerr::SharingViolation,
                          0, FsFault::kAlways});
  expectRefused("Work", FormatText(TWLContextMenuCore::kReadReason, {kWorkFile, "32"}));
  EXPECT_GT(fs.FaultHits(held), 0);
  fs.ClearFaults();
  // A save that fails leaves the old file whole.
  fs.AddFault({FsOp::Write, kWorkFile, PathMatch::Exact, winerr::DiskFull, 0, FsFault::kAlways,
               5});
  prompts.Clear();
  reg.Set(RegRoot::CurrentUser, kProduct, "DefaultVolume", Text("Work"));
  EXPECT_EQ(Invoke(*Menu(), 0, paths), hres::Fail);
  EXPECT_EQ(prompts.Last().text,
            Refusal("Work", FormatText(TWLContextMenuCore::kSaveReason, {kWorkFile, "112"})));
  EXPECT_EQ(heldWhileShown, 0);
  EXPECT_EQ(fs.Contents(kWorkFile), "[C:\\Keep]\r\nk.txt=#\r\n");
  fs.ClearFaults();
  EXPECT_TRUE(fs.TemporaryFiles().empty());
  // No AppPath: nothing is written anywhere.
  reg.DeleteTree(RegRoot::LocalMachine, kProduct + "\\AppPath");
  expectRefused("Work", TWLContextMenuCore::kNoProgramReason);
}

TEST_F(ContextMenuTest, AVolumeTheListMayHoldBehindDamageOrAnExistingFileIsMarked) {
  fs.WriteFile("C:\\a.txt", "a");
  // VOLUMES.TWB cut inside its first record: it may list the volume, so marks go ahead.
  std::string list = *fs.Contents(kFolder + "VOLUMES.TWB");
  fs.WriteFile(kFolder + "VOLUMES.TWB", list.substr(0, 5));
  reg.Set(RegRoot::CurrentUser, kProduct, "DefaultVolume", Text("Other"));
  EXPECT_EQ(Invoke(*Menu(), 0, {"C:\\a.txt"}), hres::Ok);
  EXPECT_EQ(Files(*Load(kFolder + "Other.tws"), "C:"), (Strings{"a.txt"}));
  // A volume listed under another case, or with a selection file, needs no list at all.
  fs.Remove(kFolder + "VOLUMES.TWB");
  EXPECT_EQ(Invoke(*Menu(), 0, {"C:\\a.txt"}), hres::Ok);
  EXPECT_EQ(prompts.Count(), 0u);
}

TEST_F(ContextMenuTest, MarksMadeWhileWaitingForTheMutexAreKept) {
  fs.WriteFile("C:\\a.txt", "a");
  fs.WriteFile("C:\\b.txt", "b");
  // Tidewell saves the file while the extension waits: the extension reads it only once it
  // holds the mutex, so nothing of Tidewell's save is lost.
  mutex.BeforeAcquire = [&] {
    TWLDesktopNode saved(fs);
    saved.AddPath("C:")->AddFile("b.txt", 1);
    ASSERT_EQ(saved.SaveToFile(kWorkFile), winerr::Success);
  };
  EXPECT_EQ(Invoke(*Menu(), 0, {"C:\\a.txt"}), hres::Ok);
  EXPECT_EQ(Files(*Load(), "C:"), (Strings{"a.txt", "b.txt"}));
}

TEST(ContextMenuRegistration, WritesTheClassQuotedWhereNeededAndUnregistersTwice) {
  MemoryRegistry reg;
  const std::string cls = "\\CLSID\\{6B0E2D71-4C3A-4F58-9E21-7A5C3D90B1E4}";
  ASSERT_TRUE(RegisterContextMenuServer(reg, "C:\\Program Files\\Tidewell\\TWContext.dll"));
  EXPECT_EQ(reg.Value(RegRoot::ClassesRoot, cls, "")->text, "Tidewell Context Menu Extension");
  EXPECT_EQ(reg.Value(RegRoot::ClassesRoot, cls + "\\InprocServer32", "")->text,
            "\"C:\\Program Files\\Tidewell\\TWContext.dll\"");
  EXPECT_EQ(reg.Value(RegRoot::ClassesRoot, cls + "\\InprocServer32", "ThreadingModel")->text,
            "Apartment");
  ASSERT_TRUE(RegisterContextMenuServer(reg, "C:\\Tidewell\\TWContext.dll"));
  EXPECT_EQ(reg.Value(RegRoot::ClassesRoot, cls + "\\InprocServer32", "")->text,
            "C:\\Tidewell\\TWContext.dll");
  // Nothing attaches the handler to a file type.
  EXPECT_EQ(reg.SubKeys(RegRoot::ClassesRoot, ""), (Strings{"CLSID"}));

  EXPECT_TRUE(UnregisterContextMenuServer(reg));
  EXPECT_FALSE(reg.KeyExists(RegRoot::ClassesRoot, cls));
  EXPECT_TRUE(UnregisterContextMenuServer(reg));

  reg.AddFault({RegOp::Write, RegRoot::ClassesRoot, cls + "\\InprocServer32", "ThreadingModel"});
  EXPECT_FALSE(RegisterContextMenuServer(reg, "C:\\Tidewell\\TWContext.dll"));
  reg.ClearFaults();
  reg.SetReadOnly(RegRoot::ClassesRoot, true);
  EXPECT_FALSE(RegisterContextMenuServer(reg, "C:\\Tidewell\\TWContext.dll"));
  reg.SetReadOnly(RegRoot::ClassesRoot, false);
  ASSERT_TRUE(RegisterContextMenuServer(reg, "C:\\Tidewell\\TWContext.dll"));
  reg.AddFault({RegOp::DeleteTree, RegRoot::ClassesRoot, cls + "\\InprocServer32", std::nullopt});
  EXPECT_FALSE(UnregisterContextMenuServer(reg));
}

}  // namespace
}  // namespace tw
