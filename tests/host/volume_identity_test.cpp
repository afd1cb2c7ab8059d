// The identity of a volume folder in VOLUME.TWV, and finding a backup disk that came back under
// another drive letter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/layout.h"
#include "engine/volumeidentity.h"
#include "platform/memory/MemoryFileSystem.h"

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

TEST(VolumeIdentity, MemoryDrivesAreListedByLetterWithoutNetworkRoots) {
  MemoryFileSystem fs;
  fs.AddDrive("F:", DriveType::Removable);
  fs.AddDrive("\\\\srv\\share", DriveType::Remote);
  fs.AddDrive("C:", DriveType::Fixed);
  EXPECT_EQ(fs.DriveRoots(), (std::vector<std::string>{"C:\\", "F:\\"}));
}

}  // namespace
}  // namespace tw
