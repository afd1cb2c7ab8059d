// The identity of a volume folder in VOLUME.TWV, and finding a backup disk that came back under
// another drive letter.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/layout.h"
#include "engine/operations.h"
#include "engine/volumeidentity.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedOperationUI.h"

namespace tw {
namespace {

const std::string kIdA = "{0F8FAD5B-D9CB-469F-A165-70867728950E}";
const std::string kIdB = "{7C9E6679-7425-40DE-944B-E07FC1F90AE7}";

TEST(VolumeIdentity, IdsAreWellFormedRandomAndComparedWithoutCase) {
  const std::string a = NewVolumeId(), b = NewVolumeId();
  EXPECT_TRUE(IsVolumeId(a)) << a;
  EXPECT_NE(a, b);
  EXPECT_EQ(a[15], '4');
  EXPECT_NE(std::string("89AB").find(a[20]), std::string::npos) << a;
  EXPECT_TRUE(SameVolumeId(kIdA, "{0f8fad5b-d9cb-469f-a165-70867728950e}"));
  EXPECT_FALSE(SameVolumeId(kIdA, kIdB));
  EXPECT_FALSE(SameVolumeId("", ""));
  for (const char* bad : {"", "0F8FAD5B-D9CB-469F-A165-70867728950E", "{0F8FAD5B-D9CB-469F-A165-70867728950}",
                          "{0F8FAD5B+D9CB-469F-A165-70867728950E}", "{0F8FAD5B-D9CB-469F-A165-70867728950G}"})
    EXPECT_FALSE(IsVolumeId(bad)) << bad;
}

TEST(VolumeIdentity, IsWrittenOnceBesideTheVolumeSectionWhoseReadersSeeNoChange) {
  MemoryFileSystem fs;
  fs.AddDrive("E:", DriveType::Removable);
  fs.MakeDirs("E:\\Backup");
  TPlaceholderWriter writer(fs, "E:\\Backup\\");
  ASSERT_EQ(writer.WriteVolumeFile(), winerr::Success);
  ASSERT_EQ(writer.WriteIdentity("Docs", kIdA), winerr::Success);
  ASSERT_EQ(writer.WriteRoot("C:", {"Data"}), winerr::Success);

  TProfileFile ini(fs, "E:\\Backup\\VOLUME.TWV");
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(ini.ReadSection(kPlaceholderSection),
            (std::vector<TProfileEntry>{{"Volume File", "#"}, {"Data", "C:"}}));
  EXPECT_EQ(PlaceholderRoot(ini, "Data"), "C:");
  EXPECT_TRUE(IsVolumeFolder(fs, "E:\\Backup\\"));
  auto identity = ReadIdentity(ini);
  ASSERT_TRUE(identity);
  EXPECT_EQ(identity->Name, "Docs");
  EXPECT_EQ(identity->Id, kIdA);

  // Another volume writing into the folder later does not take it over.
  TPlaceholderWriter later(fs, "E:\\Backup\\");
  ASSERT_EQ(later.WriteIdentity("Other", kIdB), winerr::Success);
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(ReadIdentity(ini)->Id, kIdA);
  EXPECT_EQ(ReadIdentity(ini)->Name, "Docs");

  // A damaged id is no identity.
  fs.WriteFile("E:\\Backup\\VOLUME.TWV",
               "[Tidewell Volume]\r\nVolume File=#\r\n[Tidewell Identity]\r\nVolume=Docs\r\nId=..\\x\r\n");
  ASSERT_EQ(ini.Load(), winerr::Success);
  EXPECT_EQ(ReadIdentity(ini), std::nullopt);
  // ... and is replaced, or the folder would stay without an identity for good.
  TPlaceholderWriter mend(fs, "E:\\Backup\\");
  ASSERT_EQ(mend.WriteIdentity("Docs", kIdB), winerr::Success);
  ASSERT_EQ(ini.Load(), winerr::Success);
  ASSERT_TRUE(ReadIdentity(ini));
  EXPECT_EQ(ReadIdentity(ini)->Id, kIdB);
}

struct Disks {
  Disks() {
    fs.AddDrive("C:", DriveType::Fixed);
    fs.AddDrive("E:", DriveType::Removable);
    fs.AddDrive("F:", DriveType::Removable);
    volume.Name = "Docs";
    volume.BackupPath = "E:\\Backup\\Docs\\";
  }
  void Folder(const std::string& path, const std::string& id) {
    std::string text = "[Tidewell Volume]\r\nVolume File=#\r\n";
    if (!id.empty()) text += "[Tidewell Identity]\r\nVolume=Docs\r\nId=" + id + "\r\n";
    fs.WriteFile(path + "VOLUME.TWV", text);
  }
  MemoryFileSystem fs;
  TVolumeRec volume;
};

TEST(VolumeIdentity, AVolumeIsFoundUnderAnotherLetterButNeverInAFolderOfAnotherIdentity) {
  {
    Disks d;  // where it was: nothing to look for
    d.Folder("E:\\Backup\\Docs\\", kIdA);
    d.Folder("F:\\Backup\\Docs\\", kIdA);
    TVolumeLocation at = LocateVolume(d.fs, d.volume, kIdA);
    EXPECT_EQ(at.Where, TVolumeWhere::Here);
    EXPECT_EQ(at.BackupPath, "E:\\Backup\\Docs\\");
  }
  {
    Disks d;  // the disk came back as F:
    d.fs.RemoveDrive("E:");
    d.Folder("C:\\Backup\\Docs\\", kIdB);  // same path, another volume's: passed over
    d.Folder("F:\\Backup\\Docs\\", kIdA);
    TVolumeLocation at = LocateVolume(d.fs, d.volume, "{0f8fad5b-d9cb-469f-a165-70867728950e}");
    EXPECT_EQ(at.Where, TVolumeWhere::Moved);
    EXPECT_EQ(at.BackupPath, "F:\\Backup\\Docs\\");
  }
  {
    Disks d;  // E: now holds another volume's disk, ours is in F:
    d.Folder("E:\\Backup\\Docs\\", kIdB);
    d.Folder("F:\\Backup\\Docs\\", kIdA);
    TVolumeLocation at = LocateVolume(d.fs, d.volume, kIdA);
    EXPECT_EQ(at.Where, TVolumeWhere::Moved);
    EXPECT_EQ(at.BackupPath, "F:\\Backup\\Docs\\");
  }
  {
    Disks d;  // another volume's disk and ours nowhere: that folder must not be written
    d.Folder("E:\\Backup\\Docs\\", kIdB);
    d.Folder("F:\\Backup\\Docs\\", "");
    EXPECT_EQ(LocateVolume(d.fs, d.volume, kIdA).Where, TVolumeWhere::Foreign);
  }
  {
    Disks d;  // gone, and only folders without identity elsewhere: not taken
    d.fs.RemoveDrive("E:");
    d.Folder("F:\\Backup\\Docs\\", "");
    TVolumeLocation at = LocateVolume(d.fs, d.volume, kIdA);
    EXPECT_EQ(at.Where, TVolumeWhere::Missing);
    EXPECT_EQ(at.BackupPath, "E:\\Backup\\Docs\\");
  }
  {
    Disks d;  // an old disk in E: loses to the disk that carries the volume's identity
    d.Folder("E:\\Backup\\Docs\\", "");
    d.Folder("F:\\Backup\\Docs\\", kIdA);
    TVolumeLocation at = LocateVolume(d.fs, d.volume, kIdA);
    EXPECT_EQ(at.Where, TVolumeWhere::Moved);
    EXPECT_EQ(at.BackupPath, "F:\\Backup\\Docs\\");
  }
  {
    Disks d;  // an old folder without identity keeps working as before
    d.Folder("E:\\Backup\\Docs\\", "");
    EXPECT_EQ(LocateVolume(d.fs, d.volume, kIdA).Where, TVolumeWhere::Here);
    EXPECT_EQ(LocateVolume(d.fs, d.volume, "").Where, TVolumeWhere::Here);
    d.fs.RemoveDrive("E:");
    d.Folder("F:\\Backup\\Docs\\", kIdA);
    EXPECT_EQ(LocateVolume(d.fs, d.volume, "").Where, TVolumeWhere::Missing)
        << "nothing known to look for";
  }
  {
    Disks d;  // a network path does not change its letter
    d.volume.BackupPath = "\\\\srv\\share\\Docs\\";
    d.Folder("F:\\srv\\share\\Docs\\", kIdA);
    EXPECT_EQ(LocateVolume(d.fs, d.volume, kIdA).Where, TVolumeWhere::Missing);
  }
}

TEST(VolumeIdentity, ABackupGivesItsFolderTheVolumesIdentityAndNeverWritesIntoAnotherVolumes) {
  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  fs.AddDrive("E:", DriveType::Removable);
  fs.SetTempFolder("C:\\Temp");
  fs.MakeDirs("C:\\Temp");
  fs.WriteFile("C:\\Data\\a.txt", "a");
  TVolumeRec volume;
  volume.Name = "Docs";
  volume.BackupPath = "E:\\Backup\\";
  volume.SeparateFolders = true;
  const std::string placeholder = "E:\\Backup\\VOLUME.TWV";
  auto backUp = [&](TVolumeIdStore& ids, ScriptedOperationUI& ui) {
    TWLDesktopNode sel(fs);
    sel.AddPath("C:\\Data")->AddFile("a.txt", 1);
    TAddOperation op(fs, ui);
    op.VolumeIds = &ids;
    return op.AddSelectionToVolume(volume, sel, 1);
  };
  auto folderId = [&] {
    TProfileFile ini(fs, placeholder);
    ini.Load();
    auto identity = ReadIdentity(ini);
    return identity ? identity->Id : std::string("none");
  };

  // A folder of old, without identity, is backed up as ever and gets the remembered id.
  fs.WriteFile(placeholder, "[Tidewell Volume]\r\nVolume File=#\r\n");
  MemoryRegistry registry;
  TVolumeIdStore ids(registry, "\\Software\\Corvane\\Tidewell");
  ids.Write("Docs", kIdA);
  ScriptedOperationUI ui;
  ASSERT_EQ(backUp(ids, ui), TAddResult::Finished);
  EXPECT_EQ(folderId(), kIdA);
  EXPECT_EQ(fs.Contents("E:\\Backup\\From Drive C\\Data\\a.txt"), "a");

  // After a reinstall nothing is remembered: the folder's own id is taken over, not replaced.
  MemoryRegistry fresh;
  TVolumeIdStore freshIds(fresh, "\\Software\\Corvane\\Tidewell");
  ScriptedOperationUI ui2;
  ASSERT_EQ(backUp(freshIds, ui2), TAddResult::Finished);
  EXPECT_EQ(freshIds.Read("Docs"), kIdA);
  EXPECT_EQ(folderId(), kIdA);

  // A new volume's first backup makes an id for it.
  fs.Remove(placeholder);
  MemoryRegistry empty;
  TVolumeIdStore newIds(empty, "\\Software\\Corvane\\Tidewell");
  ScriptedOperationUI ui3;
  ASSERT_EQ(backUp(newIds, ui3), TAddResult::Finished);
  EXPECT_TRUE(IsVolumeId(newIds.Read("Docs")));
  EXPECT_EQ(folderId(), newIds.Read("Docs"));

  // The same path holding another volume's folder: refused before anything is written.
  fs.WriteFile(placeholder, "[Tidewell Volume]\r\nVolume File=#\r\n[Tidewell Identity]\r\n"
                            "Volume=Work\r\nId=" + kIdB + "\r\n");
  fs.WriteFile("C:\\Data\\a.txt", "changed");
  const auto before = fs.ListAll();
  const std::string placeholderBefore = *fs.Contents(placeholder);
  ScriptedOperationUI ui4;
  EXPECT_EQ(backUp(ids, ui4), TAddResult::Stopped);
  ASSERT_EQ(ui4.messages.size(), 1u);
  EXPECT_EQ(ui4.messages[0].text, ForeignFolderText("Docs", "E:\\Backup\\", "Work"));
  EXPECT_NE(ui4.messages[0].text.find("holds the backup of the volume Work"), std::string::npos);
  EXPECT_EQ(fs.Contents("E:\\Backup\\From Drive C\\Data\\a.txt"), "a");
  EXPECT_EQ(*fs.Contents(placeholder), placeholderBefore);
  EXPECT_EQ(ids.Read("Docs"), kIdA) << "the volume keeps its own id";
  auto after = fs.ListAll();
  after.erase(std::remove_if(after.begin(), after.end(),
                             [](const std::string& p) { return p.rfind("C:\\Temp\\", 0) == 0; }),
              after.end());
  auto expected = before;
  expected.erase(std::remove_if(expected.begin(), expected.end(),
                                [](const std::string& p) { return p.rfind("C:\\Temp\\", 0) == 0; }),
                 expected.end());
  EXPECT_EQ(after, expected);
}

TEST(VolumeIdentity, RememberedIdsFollowTheirVolumeAndIgnoreWhatIsNoId) {
  MemoryRegistry registry;
  TVolumeIdStore ids(registry, "\\Software\\Corvane\\Tidewell");
  EXPECT_EQ(ids.Read("Docs"), "");
  EXPECT_FALSE(ids.Write("Docs", "not an id"));
  EXPECT_TRUE(ids.Write("My\\Docs", kIdA)) << "any volume name can be a value name";
  EXPECT_EQ(ids.Read("My\\Docs"), kIdA);
  ids.Rename("My\\Docs", "Papers");
  EXPECT_EQ(ids.Read("Papers"), kIdA);
  EXPECT_EQ(ids.Read("My\\Docs"), "");
  auto key = registry.Open(RegRoot::CurrentUser, "\\Software\\Corvane\\Tidewell\\VolumeIds", true);
  key->WriteString("Work", "..\\x");
  EXPECT_EQ(ids.Read("Work"), "") << "a damaged value is no id";
  ids.Forget("Papers");
  EXPECT_EQ(ids.Read("Papers"), "");
}

TEST(VolumeIdentity, MemoryDrivesAreListedByLetterWithoutNetworkRoots) {
  MemoryFileSystem fs;
  fs.AddDrive("F:", DriveType::Removable);
  fs.AddDrive("\\\\srv\\share", DriveType::Remote);
  fs.AddDrive("C:", DriveType::Fixed);
  EXPECT_EQ(fs.DriveRoots(), (std::vector<std::string>{"C:\\", "F:\\"}));
}

}  // namespace
}  // namespace tw
