// A backup disk that comes back under another drive letter, on the removable drives M: and N:
// the test runner gives the Wine prefix (each is the folder of its letter in C:\tw-disks).
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "app/WLMain.h"
#include "engine/oplog.h"
#include "engine/scheduler.h"
#include "engine/volumeidentity.h"
#include "tests/gui/BackupHarness.h"
#include "platform/win32/Win32NamedMutex.h"
#include "tests/gui/RealProgram.h"

namespace tw {
namespace {

using forms::driver::Click;
using forms::driver::Pump;
using forms::driver::Visible;
using testing::ReadFileText;
using testing::TTempTree;

namespace fsys = std::filesystem;
const fsys::path kDiskM = L"C:\\tw-disks\\m", kDiskN = L"C:\\tw-disks\\n",
                 kAway = L"C:\\tw-disks\\away";

void TakeOutEveryDisk() {
  std::error_code ignored;
  for (const auto& disk : {kDiskM, kDiskN, kAway}) fsys::remove_all(disk, ignored);
}

void WriteText(const fsys::path& file, const std::string& text) {
  fsys::create_directories(file.parent_path());
  HANDLE h = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << file.string();
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

// Every file below a folder with its contents, to show that nothing was written.
std::vector<std::string> Snapshot(const fsys::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fsys::recursive_directory_iterator(folder))
    files.push_back(entry.path().string() + "=" +
                    (entry.is_regular_file() ? ReadFileText(entry.path().string()) : "<dir>"));
  return files;
}

// Refresh on the Main page, the volume chosen on the Volume page.
void OpenForRefresh(HWND main) {
  ASSERT_TRUE(Click(main, "RefreshBTN"));
  HWND list = forms::FindControl(main, "VolumeListLV");
  ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  ASSERT_TRUE(Click(main, "NextVolumeBTN"));
  Pump();
}

TEST(MovedDiskTest, FoundUnderItsNewLetterAskedOnceRefreshedThereAndAnotherVolumesDiskNeverWritten) {
  if (GetDriveTypeW(L"M:\\") == DRIVE_UNKNOWN || !(GetLogicalDrives() & (1u << ('N' - 'A'))))
    GTEST_SKIP() << "the removable test drives M: and N: are not set up (scripts/run-tests.sh)";
  TakeOutEveryDisk();
  TTempTree tree("moved-disk");
  const std::string orig = tree.Dir("orig");
  tree.File("orig\\a.txt", "alpha");
  tree.File("orig\\b.txt", "bravo");
  for (const char* f : {"a.txt", "b.txt"})
    testing::SetLastWrite(orig + "\\" + f, 133000000000000000ull);
  const std::string appDir = tree.Dir("prog") + "\\";
  tree.File("prog\\Docs.TWS", "[" + orig + "]\r\n**ALL**=#\r\n");

  // The disk in M:, with a volume folder written before folders had identities.
  WriteText(kDiskM / "Backup" / "Docs" / "VOLUME.TWV", "[Tidewell Volume]\r\nVolume File=#\r\n");
  testing::TRealProgram program(appDir, "TidewellMovedDisk");
  {
    TVolumeStore store(program.fs, program.prompts, appDir);
    auto docs = std::make_unique<TVolumeRec>();
    docs->Name = "Docs";
    docs->BackupPath = "M:\\Backup\\Docs\\";
    docs->SeparateFolders = true;
    store.VolumeList.push_back(std::move(docs));
    ASSERT_TRUE(store.Save());
  }
  HWND main = program.Start();
  auto& form = *program.form;
  auto& prompts = program.prompts;
  const std::string copies = "\\From Drive C" + orig.substr(2) + "\\";

  // The old folder is refreshed as ever, and gets the volume's identity.
  OpenForRefresh(main);
  ASSERT_TRUE(Visible(main, "AddTS"));
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  Pump();
  EXPECT_EQ(prompts.Last().text, AddFinishedText("Docs", 2, 2));
  EXPECT_EQ(ReadFileText("M:\\Backup\\Docs" + copies + "a.txt"), "alpha");
  const std::string id = form.VolumeIds.Read("Docs");
  ASSERT_TRUE(IsVolumeId(id));
  EXPECT_NE(ReadFileText("M:\\Backup\\Docs\\VOLUME.TWV").find("Id=" + id), std::string::npos);

  // The disk comes back as N:. Opening the volume asks once; Yes moves it for good.
  fsys::rename(kDiskM, kDiskN);
  tree.File("orig\\a.txt", "alpha, edited");
  testing::SetLastWrite(orig + "\\a.txt", 133000100000000000ull);
  const size_t before = prompts.Count();
  prompts.Answer(mb::IdYes);
  OpenForRefresh(main);
  const std::string question = VolumeMovedQuestion("Docs", "M:\\", "N:\\");
  EXPECT_EQ(question, "The volume Docs was found on N: instead of M:. Use N: from now on?");
  ASSERT_EQ(prompts.Count(), before + 1);
  EXPECT_EQ(prompts.Last().text, question);
  EXPECT_EQ(prompts.Last().flags, mb::YesNo | mb::IconQuestion);
  EXPECT_EQ(form.VolumeList[0]->BackupPath, "N:\\Backup\\Docs\\");
  ASSERT_TRUE(Visible(main, "AddTS"));
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  Pump();
  EXPECT_EQ(prompts.Last().text, AddFinishedText("Docs", 1, 2));
  EXPECT_EQ(ReadFileText("N:\\Backup\\Docs" + copies + "a.txt"), "alpha, edited");
  EXPECT_FALSE(fsys::exists(kDiskM)) << "nothing was made where the disk was";
  // Saved at once: a crash before the exit does not lose the new path.
  {
    TVolumeStore saved(program.fs, program.prompts, appDir);
    saved.Load("");
    ASSERT_EQ(saved.VolumeList.size(), 1u);
    EXPECT_EQ(saved.VolumeList[0]->BackupPath, "N:\\Backup\\Docs\\");
  }
  // Where it is now, nothing is asked.
  const size_t afterMove = prompts.Count();
  OpenForRefresh(main);
  EXPECT_EQ(prompts.Count(), afterMove);

  // A scripted refresh of the volume holds its lock: the wizard does not write beside it.
  tree.File("orig\\b.txt", "bravo, edited");
  testing::SetLastWrite(orig + "\\b.txt", 133000200000000000ull);
  HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const std::wstring lockName =
      NamedMutexObjectName(VolumeRefreshMutexName(*form.VolumeList[0]));
  std::thread other([&] {
    HANDLE m = CreateMutexW(nullptr, TRUE, lockName.c_str());
    SetEvent(taken);
    WaitForSingleObject(done, 30000);
    ReleaseMutex(m);
    CloseHandle(m);
  });
  WaitForSingleObject(taken, 30000);
  ASSERT_TRUE(Click(main, "NextAddBTN"));
  Pump();
  SetEvent(done);
  other.join();
  CloseHandle(taken);
  CloseHandle(done);
  EXPECT_EQ(prompts.Last().text, VolumeBusyText("Docs"));
  EXPECT_EQ(ReadFileText("N:\\Backup\\Docs" + copies + "b.txt"), "bravo");
  EXPECT_TRUE(Visible(main, "AddTS"));
  ASSERT_TRUE(Click(main, "BackAddBTN"));
  Pump();

  // The disk goes away and another disk with a folder of the same path and another identity
  // goes into N:: refused, nothing written on either disk.
  fsys::rename(kDiskN, kAway);
  WriteText(kDiskN / "Backup" / "Docs" / "VOLUME.TWV",
            "[Tidewell Volume]\r\nVolume File=#\r\n[Tidewell Identity]\r\nVolume=Work\r\n"
            "Id={7C9E6679-7425-40DE-944B-E07FC1F90AE7}\r\n");
  const auto foreignBefore = Snapshot(kDiskN), awayBefore = Snapshot(kAway);
  ASSERT_TRUE(Click(main, "BackVolumeBTN"));
  Pump();
  OpenForRefresh(main);
  EXPECT_EQ(prompts.Last().text, ForeignFolderText("Docs", "N:\\Backup\\Docs\\", "Work"));
  EXPECT_TRUE(Visible(main, "VolumeTS")) << "the volume is not opened";
  EXPECT_EQ(Snapshot(kDiskN), foreignBefore);
  EXPECT_EQ(Snapshot(kAway), awayBefore);
  EXPECT_EQ(form.VolumeIds.Read("Docs"), id);

  program.form.reset();
  TakeOutEveryDisk();
}

}  // namespace
}  // namespace tw
