// The in-memory registry must agree with the Windows one on names, types and failures, and its
// fault switches must hit exactly what a test aims at.
#include <gtest/gtest.h>

#include <algorithm>

#include "platform/memory/MemoryRegistry.h"

namespace tw {
namespace {

const char kKey[] = "\\Software\\Corvane\\Tidewell\\Options";

TEST(MemoryRegistryTest, NamesAreCaseInsensitiveAndTypesAreChecked) {
  MemoryRegistry reg;
  WinError err = 0;
  EXPECT_EQ(reg.Open(RegRoot::CurrentUser, kKey, false, &err), nullptr);
  EXPECT_EQ(err, winerr::FileNotFound);

  auto key = reg.Open(RegRoot::CurrentUser, kKey, true, &err);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(err, winerr::Success);
  EXPECT_TRUE(reg.KeyExists(RegRoot::CurrentUser, "software\\CORVANE"));
  EXPECT_FALSE(reg.KeyExists(RegRoot::LocalMachine, "software\\CORVANE"));

  EXPECT_EQ(key->WriteString("LastVolume", "Työ"), winerr::Success);
  EXPECT_EQ(key->WriteDword("Count", 7), winerr::Success);
  EXPECT_EQ(key->WriteBinary("Place", {1, 2, 3}), winerr::Success);
  EXPECT_EQ(key->WriteString("", "default"), winerr::Success);

  auto again = reg.Open(RegRoot::CurrentUser, "SOFTWARE\\corvane\\TIDEWELL\\options\\", false);
  ASSERT_NE(again, nullptr);
  std::string s;
  uint32_t dw = 0;
  std::vector<uint8_t> bin;
  EXPECT_EQ(again->ReadString("lastvolume", s), winerr::Success);
  EXPECT_EQ(s, "Työ");
  EXPECT_EQ(again->ReadDword("COUNT", dw), winerr::Success);
  EXPECT_EQ(dw, 7u);
  EXPECT_EQ(again->ReadString("", s), winerr::Success);
  EXPECT_EQ(s, "default");
  EXPECT_EQ(again->TypeOf("place"), RegType::Binary);
  EXPECT_EQ(again->TypeOf("absent"), RegType::None);

  EXPECT_EQ(again->ReadDword("LastVolume", dw), winerr::UnsupportedType);
  EXPECT_EQ(again->ReadString("Count", s), winerr::UnsupportedType);
  EXPECT_EQ(again->ReadBinary("Count", bin), winerr::UnsupportedType);
  EXPECT_EQ(again->ReadDword("absent", dw), winerr::FileNotFound);
  EXPECT_EQ(dw, 7u);  // failed reads leave the output alone

  // Rewriting with another type and another spelling replaces the value, keeping its name.
  EXPECT_EQ(again->WriteDword("COUNT", 9), winerr::Success);
  auto names = again->ValueNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"", "Count", "LastVolume", "Place"}));
  EXPECT_EQ(again->DeleteValue("place"), winerr::Success);
  EXPECT_EQ(again->DeleteValue("place"), winerr::FileNotFound);

  EXPECT_EQ(reg.Open(RegRoot::CurrentUser, "\\Software\\\\Bad", true, &err), nullptr);
  EXPECT_EQ(err, winerr::InvalidParameter);
  EXPECT_EQ(key->WriteString("bad", "\xff\xfe"), winerr::InvalidParameter);
}

TEST(MemoryRegistryTest, DeletedKeysAnswerKeyDeletedAndRootsAreNeverDeleted) {
  MemoryRegistry reg;
  auto key = reg.Open(RegRoot::CurrentUser, "\\Software\\A\\B", true);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->WriteDword("x", 1), winerr::Success);
  EXPECT_EQ(reg.DeleteTree(RegRoot::CurrentUser, "\\software\\a"), winerr::Success);
  EXPECT_FALSE(reg.KeyExists(RegRoot::CurrentUser, "\\Software\\A"));
  EXPECT_TRUE(reg.KeyExists(RegRoot::CurrentUser, "\\Software"));
  uint32_t dw;
  EXPECT_EQ(key->ReadDword("x", dw), winerr::KeyDeleted);
  EXPECT_EQ(key->WriteDword("x", 2), winerr::KeyDeleted);
  EXPECT_EQ(reg.DeleteTree(RegRoot::CurrentUser, "\\Software\\A"), winerr::FileNotFound);
  EXPECT_EQ(reg.DeleteTree(RegRoot::CurrentUser, "\\"), winerr::InvalidParameter);
  EXPECT_EQ(reg.DeleteTree(RegRoot::CurrentUser, ""), winerr::InvalidParameter);
  EXPECT_TRUE(reg.KeyExists(RegRoot::CurrentUser, "\\Software"));
}

TEST(MemoryRegistryTest, ReadOnlyRootOpensAndReadsButRefusesChanges) {
  MemoryRegistry reg;
  RegValue v;
  v.type = RegType::String;
  v.text = "C:\\Program Files\\Tidewell";
  reg.Set(RegRoot::LocalMachine, kKey, "Path", v);
  reg.SetReadOnly(RegRoot::LocalMachine, true);

  WinError err = 0;
  auto key = reg.Open(RegRoot::LocalMachine, kKey, true, &err);  // exists: opens for reading
  ASSERT_NE(key, nullptr);
  std::string s;
  EXPECT_EQ(key->ReadString("Path", s), winerr::Success);
  EXPECT_EQ(key->WriteString("Path", "elsewhere"), winerr::AccessDenied);
  EXPECT_EQ(key->DeleteValue("Path"), winerr::AccessDenied);
  EXPECT_EQ(reg.Open(RegRoot::LocalMachine, "\\Software\\New", true, &err), nullptr);
  EXPECT_EQ(err, winerr::AccessDenied);
  EXPECT_EQ(reg.DeleteTree(RegRoot::LocalMachine, kKey), winerr::AccessDenied);
  EXPECT_EQ(reg.Value(RegRoot::LocalMachine, kKey, "path")->text, v.text);

  auto user = reg.Open(RegRoot::CurrentUser, kKey, true);
  ASSERT_NE(user, nullptr);
  EXPECT_EQ(user->WriteString("Path", "mine"), winerr::Success);
}

TEST(MemoryRegistryTest, FaultsHitTheNamedKeyOrValueOnly) {
  MemoryRegistry reg;
  {
    auto key = reg.Open(RegRoot::CurrentUser, kKey, true);
    ASSERT_NE(key, nullptr);
    key->WriteDword("A", 1);
    key->WriteDword("B", 2);
  }
  RegFault open;
  open.op = RegOp::Open;
  open.key = "software\\corvane\\tidewell\\options";  // no leading backslash, other case
  open.error = winerr::AccessDenied;
  open.skip = 1;
  int openId = reg.AddFault(open);
  EXPECT_NE(reg.Open(RegRoot::CurrentUser, kKey, false), nullptr);
  WinError err = 0;
  EXPECT_EQ(reg.Open(RegRoot::CurrentUser, kKey, false, &err), nullptr);
  EXPECT_EQ(err, winerr::AccessDenied);
  EXPECT_NE(reg.Open(RegRoot::CurrentUser, kKey, false), nullptr);
  EXPECT_NE(reg.Open(RegRoot::LocalMachine, kKey, true), nullptr);  // other root
  EXPECT_EQ(reg.FaultHits(openId), 1);

  RegFault read;
  read.op = RegOp::Read;
  read.key = kKey;
  read.value = "b";
  read.error = winerr::InvalidData;
  read.times = RegFault::kAlways;
  reg.AddFault(read);
  auto key = reg.Open(RegRoot::CurrentUser, kKey, false);
  ASSERT_NE(key, nullptr);
  uint32_t dw = 0;
  EXPECT_EQ(key->ReadDword("A", dw), winerr::Success);
  EXPECT_EQ(key->ReadDword("B", dw), winerr::InvalidData);
  EXPECT_EQ(key->ReadDword("B", dw), winerr::InvalidData);
  EXPECT_EQ(key->WriteDword("B", 5), winerr::Success);

  RegFault write;
  write.op = RegOp::Write;
  write.key = kKey;
  write.error = winerr::NotEnoughMemory;
  reg.AddFault(write);
  EXPECT_EQ(key->WriteDword("A", 3), winerr::NotEnoughMemory);
  EXPECT_EQ(reg.Value(RegRoot::CurrentUser, kKey, "A")->dword, 1u);
  EXPECT_EQ(key->WriteDword("A", 3), winerr::Success);
  reg.ClearFaults();
  EXPECT_EQ(key->ReadDword("B", dw), winerr::Success);
  EXPECT_EQ(dw, 5u);
}

}  // namespace
}  // namespace tw
