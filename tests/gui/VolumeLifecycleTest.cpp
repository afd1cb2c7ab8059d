// One volume's life on real files under Wine, every operation with the real progress dialog:
// first backup, changes, refresh from the saved selection, restore into an empty folder,
// contents refresh, delete all.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/oplog.h"
#include "engine/operations.h"
#include "platform/win32/Utf.h"
#include "tests/gui/BackupHarness.h"

namespace tw {
namespace {

using testing::FileExists;
using testing::ReadFileText;
using testing::SetLastWrite;
using testing::TBackupHarness;
using testing::TTempTree;

uint64_t LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExW(Widen(path).c_str(), GetFileExInfoStandard, &d);
  return (static_cast<uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) |
         d.ftLastWriteTime.dwLowDateTime;
}

std::vector<std::string> Texts(const TBackupHarness& h) {
  std::vector<std::string> t;
  for (const auto& b : h.Boxes.Boxes) t.push_back(b.text);
  return t;
}

// Every view of the walk showed the dialog with this caption, the main window hidden.
void ExpectDialogThroughout(TBackupHarness& h, const std::string& caption) {
  ASSERT_FALSE(h.Views.empty()) << caption;
  for (const auto& v : h.Views) {
    EXPECT_TRUE(v.progressVisible) << caption;
    EXPECT_FALSE(v.mainVisible) << caption;
    EXPECT_EQ(v.caption, caption);
  }
  EXPECT_EQ(fWLProgress, nullptr) << "freed after " << caption;
  EXPECT_TRUE(IsWindowEnabled(h.Main.Handle()));
  h.Views.clear();
  h.Boxes.Boxes.clear();
}

TEST(VolumeLifecycleTest, BackUpChangeRefreshRestoreRefreshContentsAndDeleteAll) {
  TTempTree src("life-src"), vol("life-vol"), elsewhere("life-restore"), prog("life-prog");
  const std::string root = src.Path();
  const uint64_t t0 = 133000000000000000ull;  // an even second in 2022
  src.File("a.txt", "alpha");
  src.File("Sub\\b.txt", "bravo");
  src.File("Sub\\c.txt", "charlie");
  std::string big(300000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 9));
  src.File("Sub\\Deeper\\d.bin", big);
  for (const char* f : {"a.txt", "Sub\\b.txt", "Sub\\c.txt", "Sub\\Deeper\\d.bin"})
    SetLastWrite(root + f, t0);

  TVolumeRec volume;
  volume.Name = "Docs";
  volume.BackupPath = vol.Path();
  volume.SeparateFolders = true;
  const std::string copies = volume.BackupPath + "From Drive " + root.substr(0, 1) + "\\" +
                             root.substr(3);

  // First backup, and the selection saved as the wizard saves it.
  TBackupHarness h;
  ASSERT_TRUE(h.Select(root.substr(0, root.size() - 1)));
  ASSERT_EQ(h.Run(volume), TAddResult::Finished);
  ExpectDialogThroughout(h, kAddCaption);
  const std::string selectionFile = VolumeSelectionFile(prog.Path(), volume);
  ASSERT_EQ(h.Selection.SaveToFile(selectionFile), winerr::Success);
  EXPECT_EQ(LastWrite(copies + "Sub\\Deeper\\d.bin"), t0);

  // Changed, deleted and added originals, then the refresh from the saved selection.
  src.File("Sub\\b.txt", "bravo, longer now");
  SetLastWrite(root + "Sub\\b.txt", t0 + 40000000);
  DeleteFileW(Widen(root + "Sub\\c.txt").c_str());
  src.File("Sub\\new.txt", "november");
  SetLastWrite(root + "Sub\\new.txt", t0);
  ASSERT_EQ(h.RefreshFromFile(volume, selectionFile), TAddResult::Finished);
  EXPECT_EQ(Texts(h), std::vector<std::string>{AddFinishedText("Docs", 2, 4)});
  ExpectDialogThroughout(h, kAddCaption);
  EXPECT_TRUE(h.LogLines().empty());
  EXPECT_EQ(ReadFileText(copies + "Sub\\b.txt"), "bravo, longer now");
  EXPECT_EQ(LastWrite(copies + "Sub\\b.txt"), t0 + 40000000);
  EXPECT_EQ(ReadFileText(copies + "Sub\\new.txt"), "november");
  EXPECT_EQ(ReadFileText(copies + "Sub\\c.txt"), "charlie") << "a refresh never deletes";

  // Restore into an empty folder: the path below the drive folder, byte for byte, same times.
  const std::string to = elsewhere.Path();
  ASSERT_EQ(h.RestoreAll(volume, to), TRestoreResult::Finished);
  EXPECT_EQ(Texts(h), std::vector<std::string>{kRestoreFinished});
  ExpectDialogThroughout(h, kRestoreCaption);
  const std::string restored = to + root.substr(3);
  for (const char* f : {"a.txt", "Sub\\b.txt", "Sub\\new.txt", "Sub\\Deeper\\d.bin"}) {
    EXPECT_EQ(ReadFileText(restored + f), ReadFileText(root + f)) << f;
    EXPECT_EQ(LastWrite(restored + f), LastWrite(root + f)) << f;
  }
  EXPECT_EQ(ReadFileText(restored + "Sub\\c.txt"), "charlie");
  EXPECT_FALSE(FileExists(to + "VOLUME.TWV"));

  // The contents refresh maps every copy back: a.txt changed, c.txt has no original left.
  src.File("a.txt", "alpha two");
  h.Boxes.Answers = {mb::IdNo};
  int changed = -1;
  ASSERT_EQ(h.RefreshContents(volume, &changed), TRefreshResult::Finished);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(Texts(h), std::vector<std::string>{kRefreshErrorQuestion});
  EXPECT_EQ(h.LogLines(), std::vector<std::string>{"Couldnt find file c.txt at its original "
                                                   "location of " + root + "Sub\\."});
  ExpectDialogThroughout(h, kContentsRefreshCaption);
  EXPECT_EQ(ReadFileText(copies + "a.txt"), "alpha two");
  EXPECT_EQ(LastWrite(copies + "a.txt"), LastWrite(root + "a.txt"));

  // Delete all: every copy and emptied folder goes; the volume folder and VOLUME.TWV stay.
  TDeleteResult deleted = h.DeleteAll(volume);
  EXPECT_FALSE(deleted.Cancelled);
  EXPECT_TRUE(deleted.RemoveVolumeFromList);
  EXPECT_EQ(Texts(h), std::vector<std::string>{kDeleteFinished});
  ExpectDialogThroughout(h, kDeleteCaption);
  std::vector<std::string> left;
  WIN32_FIND_DATAW fd;
  HANDLE find = FindFirstFileW(Widen(volume.BackupPath + "*").c_str(), &fd);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    std::string name = Narrow(fd.cFileName);
    if (name != "." && name != "..") left.push_back(name);
  } while (FindNextFileW(find, &fd));
  FindClose(find);
  EXPECT_EQ(left, std::vector<std::string>{"VOLUME.TWV"});
  // The originals are untouched by all of it.
  EXPECT_EQ(ReadFileText(root + "Sub\\Deeper\\d.bin"), big);
}

}  // namespace
}  // namespace tw
