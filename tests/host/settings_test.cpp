// Registry settings: the general options, the window placement, the application path and the
// default volume.
#include <gtest/gtest.h>

#include "engine/settings.h"
#include "platform/memory/MemoryFileSystem.h"
#include "platform/memory/MemoryRegistry.h"
#include "platform/memory/ScriptedPrompts.h"

namespace tw {
namespace {

const std::string kProduct = "\\Software\\Corvane\\Tidewell";
const std::string kOptions = kProduct + "\\Options";
const std::string kWindow = kProduct + "\\Window";
const std::string kAppPath = kProduct + "\\AppPath";
const std::string kExe = "C:\\Program Files\\Tidewell\\Tidewell.exe";

RegValue Dword(uint32_t v) {
  RegValue r;
  r.type = RegType::Dword;
  r.dword = v;
  return r;
}
RegValue Text(const std::string& s) {
  RegValue r;
  r.type = RegType::String;
  r.text = s;
  return r;
}

TWindowPlacement SamplePlacement() {
  TWindowPlacement p;
  p.flags = 2;
  p.showCmd = 3;  // maximised
  p.ptMinPosition = {-32000, -32000};
  p.ptMaxPosition = {-1, -1};
  p.rcNormalPosition = {100, 120, 740, 600};
  return p;
}

TEST(Settings, FirstRunReadsDefaultsAndExitWritesEverySetting) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);  // the real key names, in memory
  const TGeneralOptions options = settings.ReadOptions();
  EXPECT_FALSE(options.LaunchOnStartup);
  EXPECT_TRUE(options.RunAsTrayIcon);
  EXPECT_FALSE(options.DisableAutoRefresh);
  EXPECT_EQ(options.LastVolumeName, "");
  EXPECT_FALSE(settings.ReadWindowPlacement().has_value());
  EXPECT_FALSE(reg.KeyExists(RegRoot::CurrentUser, kOptions));  // reading creates nothing

  const TWindowPlacement placement = SamplePlacement();
  settings.WriteAtExit(options, &placement, kExe);
  auto v = reg.Value(RegRoot::CurrentUser, kOptions, "LaunchOnStartup");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::Dword);
  EXPECT_EQ(v->dword, 0u);
  v = reg.Value(RegRoot::CurrentUser, kOptions, "RunAsTrayIcon");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::Dword);
  EXPECT_EQ(v->dword, 1u);
  v = reg.Value(RegRoot::CurrentUser, kOptions, "DisableAutoRefresh");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->dword, 0u);
  v = reg.Value(RegRoot::CurrentUser, kOptions, "LastVolumeOpened");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::String);
  EXPECT_EQ(v->text, "");
  v = reg.Value(RegRoot::CurrentUser, kWindow, "State");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::Binary);
  EXPECT_EQ(v->bytes.size(), 44u);
  v = reg.Value(RegRoot::LocalMachine, kAppPath, "");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->text, kExe);

  // Nothing of it lands under another key: a test's own product key keeps the real one clean.
  MemoryRegistry other;
  TSettingsStore test(other, "\\Software\\TidewellTests\\Run1");
  test.WriteAtExit(options, &placement, kExe);
  test.WriteDefaultVolume({});
  EXPECT_FALSE(other.KeyExists(RegRoot::CurrentUser, kProduct));
  EXPECT_FALSE(other.KeyExists(RegRoot::LocalMachine, kProduct));
  EXPECT_TRUE(other.Value(RegRoot::CurrentUser, "\\Software\\TidewellTests\\Run1\\Options",
                          "RunAsTrayIcon"));
}

TEST(Settings, OptionsRoundTripAndTheNameComesBackUpperCase) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);
  TGeneralOptions written;
  written.LaunchOnStartup = true;
  written.RunAsTrayIcon = false;
  written.DisableAutoRefresh = true;
  written.LastVolumeName = "Docs \xC3\xA9t\xC3\xA9";
  settings.WriteOptions(written);
  EXPECT_EQ(reg.Value(RegRoot::CurrentUser, kOptions, "LastVolumeOpened")->text,
            written.LastVolumeName);  // stored as entered

  const TGeneralOptions read = settings.ReadOptions();
  EXPECT_TRUE(read.LaunchOnStartup);
  EXPECT_FALSE(read.RunAsTrayIcon);
  EXPECT_TRUE(read.DisableAutoRefresh);
  EXPECT_EQ(read.LastVolumeName, "DOCS \xC3\x89T\xC3\x89");

  // A run that opened no volume writes the upper-case form back.
  settings.WriteOptions(read);
  EXPECT_EQ(reg.Value(RegRoot::CurrentUser, kOptions, "LastVolumeOpened")->text,
            "DOCS \xC3\x89T\xC3\x89");

  // Any value other than 0 is true.
  reg.Set(RegRoot::CurrentUser, kOptions, "LaunchOnStartup", Dword(7));
  reg.Set(RegRoot::CurrentUser, kOptions, "RunAsTrayIcon", Dword(0xFFFFFFFF));
  EXPECT_TRUE(settings.ReadOptions().LaunchOnStartup);
  EXPECT_TRUE(settings.ReadOptions().RunAsTrayIcon);
}

TEST(Settings, FirstUnreadableValueEndsTheReadingAndKeepsEarlierValues) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);
  reg.Set(RegRoot::CurrentUser, kOptions, "LaunchOnStartup", Dword(1));
  reg.Set(RegRoot::CurrentUser, kOptions, "RunAsTrayIcon", Text("0"));
  reg.Set(RegRoot::CurrentUser, kOptions, "DisableAutoRefresh", Dword(1));
  reg.Set(RegRoot::CurrentUser, kOptions, "LastVolumeOpened", Text("docs"));
  TGeneralOptions o = settings.ReadOptions();
  EXPECT_TRUE(o.LaunchOnStartup);
  EXPECT_TRUE(o.RunAsTrayIcon);
  EXPECT_FALSE(o.DisableAutoRefresh);
  EXPECT_EQ(o.LastVolumeName, "");

  // Absent values are skipped, not failures: the values after them are still read.
  MemoryRegistry sparse;
  TSettingsStore s2(sparse);
  sparse.Set(RegRoot::CurrentUser, kOptions, "DisableAutoRefresh", Dword(1));
  sparse.Set(RegRoot::CurrentUser, kOptions, "LastVolumeOpened", Text("x"));
  o = s2.ReadOptions();
  EXPECT_TRUE(o.RunAsTrayIcon);
  EXPECT_TRUE(o.DisableAutoRefresh);
  EXPECT_EQ(o.LastVolumeName, "X");

  // A read that fails for another reason ends the block the same way.
  RegFault fault;
  fault.op = RegOp::Read;
  fault.key = kOptions;
  fault.value = "DisableAutoRefresh";
  sparse.AddFault(fault);
  o = s2.ReadOptions();
  EXPECT_FALSE(o.DisableAutoRefresh);
  EXPECT_EQ(o.LastVolumeName, "");
}

TEST(Settings, StoredLastVolumeAndDefaultSelectTheRowAtLoad) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);
  reg.Set(RegRoot::CurrentUser, kOptions, "LastVolumeOpened", Text("docs"));
  const std::string last = settings.ReadOptions().LastVolumeName;

  MemoryFileSystem fs;
  fs.AddDrive("C:", DriveType::Fixed);
  ScriptedPrompts prompts;
  const std::string appDir = "C:\\Tidewell\\";
  auto writeList = [&](std::vector<std::pair<std::string, bool>> vols) {
    TValueWriter w;
    for (const auto& [name, isDefault] : vols) {
      TVolumeRec rec;
      rec.Name = name;
      rec.BackupPath = "F:\\";
      rec.IsDefault = isDefault;
      WriteVolumeRec(w, rec);
    }
    fs.WriteFile(appDir + "VOLUMES.TWB", w.Data());
  };

  writeList({{"Music", false}, {"Docs", false}, {"Photos", false}});
  TVolumeStore store(fs, prompts, appDir);
  EXPECT_EQ(store.Load(last).SelectedIndex, 1);

  writeList({{"Music", true}, {"Docs", false}, {"Photos", false}});
  EXPECT_EQ(store.Load(last).SelectedIndex, 1);  // last opened comes later

  writeList({{"Music", false}, {"Docs", false}, {"Photos", true}});
  EXPECT_EQ(store.Load(last).SelectedIndex, 2);  // the default comes later

  writeList({{"Music", false}, {"Photos", false}});
  EXPECT_EQ(store.Load(last).SelectedIndex, -1);
}

TEST(Settings, WindowPlacementIsElevenLittleEndianFields) {
  const std::vector<uint8_t> bytes = EncodePlacement(SamplePlacement());
  ASSERT_EQ(bytes.size(), 44u);
  const std::vector<uint8_t> head(bytes.begin(), bytes.begin() + 16);
  EXPECT_EQ(head, (std::vector<uint8_t>{44, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0x00, 0x83, 0xFF,
                                        0xFF}));  // -32000
  const std::vector<uint8_t> tail(bytes.end() - 4, bytes.end());
  EXPECT_EQ(tail, (std::vector<uint8_t>{0x58, 0x02, 0, 0}));  // bottom 600

  const auto back = DecodePlacement(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(EncodePlacement(*back), bytes);
  EXPECT_EQ(back->ptMaxPosition.x, -1);
  EXPECT_EQ(back->rcNormalPosition.right, 740);

  for (size_t size : {0u, 40u, 43u, 45u, 48u}) {
    EXPECT_FALSE(DecodePlacement(std::vector<uint8_t>(size, 1))) << size;
  }
}

TEST(Settings, StoredPlacementRestoresPositionButNotTheShowCommand) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);
  settings.WriteWindowPlacement(SamplePlacement());
  auto read = settings.ReadWindowPlacement();
  ASSERT_TRUE(read);
  EXPECT_EQ(read->showCmd, 0u);
  EXPECT_EQ(read->length, 44u);
  EXPECT_EQ(read->rcNormalPosition.top, 120);
  EXPECT_EQ(read->ptMinPosition.y, -32000);

  RegValue wrong;
  wrong.type = RegType::Binary;
  wrong.bytes.assign(40, 0);
  reg.Set(RegRoot::CurrentUser, kWindow, "State", wrong);
  EXPECT_FALSE(settings.ReadWindowPlacement());
  reg.Set(RegRoot::CurrentUser, kWindow, "State", Dword(44));
  EXPECT_FALSE(settings.ReadWindowPlacement());
}

TEST(Settings, KeysThatCannotBeOpenedAreSkippedSilently) {
  MemoryRegistry reg;
  reg.SetReadOnly(RegRoot::LocalMachine, true);
  TSettingsStore settings(reg);
  TGeneralOptions options;
  options.LaunchOnStartup = true;
  const TWindowPlacement placement = SamplePlacement();
  settings.WriteAtExit(options, &placement, kExe);
  EXPECT_FALSE(reg.Value(RegRoot::LocalMachine, kAppPath, ""));
  EXPECT_EQ(reg.Value(RegRoot::CurrentUser, kOptions, "LaunchOnStartup")->dword, 1u);
  EXPECT_EQ(reg.Value(RegRoot::CurrentUser, kWindow, "State")->bytes.size(), 44u);

  // The options key refused: the window placement and the path are still written.
  MemoryRegistry reg2;
  RegFault fault;
  fault.op = RegOp::Open;
  fault.key = kOptions;
  fault.times = RegFault::kAlways;
  reg2.AddFault(fault);
  TSettingsStore s2(reg2);
  s2.WriteAtExit(options, &placement, kExe);
  EXPECT_FALSE(reg2.Value(RegRoot::CurrentUser, kOptions, "LaunchOnStartup"));
  EXPECT_TRUE(reg2.Value(RegRoot::CurrentUser, kWindow, "State"));
  EXPECT_EQ(reg2.Value(RegRoot::LocalMachine, kAppPath, "")->text, kExe);
}

TEST(Settings, DefaultVolumeNamesTheFirstDefaultOrIsRemoved) {
  MemoryRegistry reg;
  TSettingsStore settings(reg);
  auto vol = [](const std::string& name, bool isDefault) {
    auto rec = std::make_unique<TVolumeRec>();
    rec->Name = name;
    rec->IsDefault = isDefault;
    return rec;
  };
  auto stored = [&] { return reg.Value(RegRoot::CurrentUser, kProduct, "DefaultVolume"); };

  TVolumeList list;
  list.push_back(vol("Music", false));
  list.push_back(vol("Docs", true));
  list.push_back(vol("Photos", false));
  settings.WriteDefaultVolume(list);
  ASSERT_TRUE(stored());
  EXPECT_EQ(stored()->text, "Docs");

  list[2]->IsDefault = true;  // two defaults, as only a hand-edited file can have
  settings.WriteDefaultVolume(list);
  EXPECT_EQ(stored()->text, "Docs");

  for (auto& rec : list) rec->IsDefault = false;
  settings.WriteDefaultVolume(list);
  EXPECT_FALSE(stored());
  settings.WriteDefaultVolume(TVolumeList{});
  EXPECT_FALSE(stored());

  // Failing to remove the old value does not stop the new one from being written.
  reg.Set(RegRoot::CurrentUser, kProduct, "DefaultVolume", Text("Old"));
  RegFault fault;
  fault.op = RegOp::Delete;
  fault.key = kProduct;
  reg.AddFault(fault);
  list[2]->IsDefault = true;
  settings.WriteDefaultVolume(list);
  EXPECT_EQ(stored()->text, "Photos");

  // A product key that cannot be opened: nothing happens, nothing breaks.
  RegFault openFault;
  openFault.op = RegOp::Open;
  openFault.key = kProduct;
  reg.AddFault(openFault);
  list[2]->IsDefault = false;
  settings.WriteDefaultVolume(list);
  EXPECT_EQ(stored()->text, "Photos");
}

}  // namespace
}  // namespace tw
