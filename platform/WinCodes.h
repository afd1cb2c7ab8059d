// Windows numeric codes shared by the portable layers. The values are Windows' own so that
// logs, messages and fault injection speak the same language on every platform; the names
// differ from <windows.h> macros so both can be included together.
#pragma once
#include <cstdint>

namespace tw {

using WinError = uint32_t;

namespace winerr {
enum : WinError {
  Success = 0,
  FileNotFound = 2,
  PathNotFound = 3,
  TooManyOpenFiles = 4,
  AccessDenied = 5,
  InvalidHandle = 6,
  NotEnoughMemory = 8,
  InvalidData = 13,
  InvalidDrive = 15,
  NotSameDevice = 17,
  NoMoreFiles = 18,
  WriteProtect = 19,
  NotReady = 21,
  Crc = 23,
  SharingViolation = 32,
  LockViolation = 33,
  HandleEof = 38,
  HandleDiskFull = 39,
  NotSupported = 50,
  BadNetPath = 53,
  DevNotExist = 55,
  NetworkAccessDenied = 65,
  ReqNotAccepted = 71,
  FileExists = 80,
  InvalidParameter = 87,
  DiskFull = 112,
  InvalidName = 123,
  DirNotEmpty = 145,
  AlreadyExists = 183,
  DirectoryName = 267,  // a folder was expected (RemoveDir of a file)
  FilenameExcedRange = 206,
  MoreData = 234,
  KeyDeleted = 1018,
  NoUnicodeTranslation = 1113,  // the registry key behind an open handle was deleted
  UnsupportedType = 1630,
};
}  // namespace winerr

namespace fileattr {
enum : uint32_t {
  ReadOnly = 0x1,
  Hidden = 0x2,
  System = 0x4,
  Directory = 0x10,
  Archive = 0x20,
  Normal = 0x80,
  Temporary = 0x100,
  ReparsePoint = 0x400,
  Compressed = 0x800,
  Invalid = 0xFFFFFFFF,
};
}  // namespace fileattr

enum class DriveType : uint32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

// Message box style flags and results, with MessageBoxW's values.
namespace mb {
enum : uint32_t {
  Ok = 0x0,
  OkCancel = 0x1,
  AbortRetryIgnore = 0x2,
  YesNoCancel = 0x3,
  YesNo = 0x4,
  RetryCancel = 0x5,
  IconError = 0x10,
  IconQuestion = 0x20,
  IconWarning = 0x30,
  IconInformation = 0x40,
  DefButton2 = 0x100,
};
enum : int {
  IdOk = 1,
  IdCancel = 2,
  IdAbort = 3,
  IdRetry = 4,
  IdIgnore = 5,
  IdYes = 6,
  IdNo = 7,
};
}  // namespace mb

}  // namespace tw
