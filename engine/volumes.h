// Volumes and their list file VOLUMES.TWB: the record, the typed value encoding of the file, and
// the store that loads the list at start-up and saves it at exit.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/Prompts.h"

namespace tw {

struct TVolumeRec {
  std::string Name;
  std::string BackupPath;  // ends with a backslash
  bool SeparateFolders = false;
  bool IsDefault = false;
  bool AutoRefresh = false;
  bool NoFinishMessage = false;
  int32_t Frequency = 0;  // 0 daily at start-up, 1 daily, 2 weekly
  int32_t WeekDay = 0;    // 1 = Sunday ... 7 = Saturday
  double RefreshTime = 0.0;
  double LastRefresh = 0.0;
};

using TVolumeList = std::vector<std::unique_ptr<TVolumeRec>>;

// ---- 80-bit x87 extended precision <-> double ----

using Extended80 = std::array<uint8_t, 10>;  // significand (LE, explicit integer bit), then
                                             // sign and 15-bit exponent (LE)

enum class ExtendedConversion {
  Exact,      // the double holds the extended value exactly
  Rounded,    // in range, significand bits (or NaN payload bits) lost to round-to-nearest-even
  Overflow,   // too large for a double: the result is an infinity of the same sign
  Underflow,  // too small for a double's precision: the result is a subnormal or zero, rounded
  Invalid,    // not a number the x87 accepts (unnormal, pseudo-NaN, pseudo-infinity): NaN
};

// Always exact: every double, including subnormals, infinities and NaN payloads, has an
// extended form that converts back to the same bits.
Extended80 DoubleToExtended(double value);
// Rounds as the x87 stores to a double with default control word; never undefined behaviour.
ExtendedConversion ExtendedToDouble(const Extended80& ext, double& value);

// ---- Value encoding of the list file ----

namespace twbtag {
enum : uint8_t {
  Int8 = 0x02,
  Int16 = 0x03,
  Int32 = 0x04,
  Extended = 0x05,
  Ident = 0x07,
  False = 0x08,
  True = 0x09,
  Nil = 0x0D,
};
}  // namespace twbtag

// Longest identifier the file can hold, in bytes.
inline constexpr size_t kMaxIdentBytes = 255;

class TValueWriter {
 public:
  // "True", "False" and "nil" in any case become their single tag; longer than 255 bytes is cut
  // because the length is one byte (callers refuse such text beforehand, see FitsVolumeFile).
  void WriteIdent(std::string_view text);
  void WriteBoolean(bool value);
  void WriteInteger(int32_t value);
  void WriteFloat(double value);

  const std::string& Data() const { return data_; }
  // Identifiers cut since construction; nonzero means the file cannot give back what was held.
  int CutIdents() const { return cutIdents_; }

 private:
  std::string data_;
  int cutIdents_ = 0;
};

class TValueReader {
 public:
  // Reads the bytes in place: they must outlive the reader.
  explicit TValueReader(std::string_view data) : data_(data) {}
  explicit TValueReader(std::string&&) = delete;
  // Each returns false on a wrong tag or a read past the end; the position is then meaningless.
  bool ReadIdent(std::string& text);
  bool ReadBoolean(bool& value);  // any tag but 0x09 is false and consumes that one byte
  bool ReadInteger(int32_t& value);
  bool ReadFloat(double& value);  // a non-float tag is taken back and read as an integer

  size_t Position() const { return pos_; }
  bool AtEnd() const { return pos_ >= data_.size(); }
  // Set once an extended value did not convert exactly (see ExtendedConversion).
  bool LostPrecision() const { return lostPrecision_; }

 private:
  bool Take(size_t count, const char*& bytes);
  std::string_view data_;
  size_t pos_ = 0;
  bool lostPrecision_ = false;
};

void WriteVolumeRec(TValueWriter& writer, const TVolumeRec& rec);
// False when the record could not be read whole.
bool ReadVolumeRec(TValueReader& reader, TVolumeRec& rec);

// Upper-case form used to compare volume names: ASCII, Latin-1, Latin Extended-A, Greek and
// Cyrillic letters are mapped; other characters and bytes that are not UTF-8 stay as they are.
std::string UpperCaseName(std::string_view text);

// ---- The store ----

inline constexpr char kVolumesFileName[] = "VOLUMES.TWB";
inline constexpr char kDamagedSuffix[] = ".bad";

// True when the text (a volume name or backup path) fits the list file without being cut.
bool FitsVolumeFile(std::string_view text);

// The message of a save that was refused because the volume's name or backup path would have
// been cut.
std::string TooLongToSaveText(const TVolumeRec& volume);

class TVolumeStore {
 public:
  static constexpr char kSaveFailedText[] = "Unable to save information of volumes";
  static constexpr char kCaption[] = "Tidewell";  // the application title

  // appDir ends with a backslash.
  TVolumeStore(IFileSystem& fs, IPrompts& prompts, std::string appDir);

  TVolumeList VolumeList;

  struct LoadResult {
    bool AnyAutoRefresh = false;
    int SelectedIndex = -1;  // row to select, -1 for none
  };
  // Replaces VolumeList with the file's contents; silent on every failure (the volumes read
  // whole stay). lastVolumeName is compared with the upper-case form of each Name.
  LoadResult Load(const std::string& lastVolumeName);
  // Writes VolumeList over the file atomically; on failure shows the message and returns false.
  // A name or backup path longer than 255 bytes is such a failure (TooLongToSaveText): nothing
  // is written. A missing trailing backslash of a backup path is added on Load.
  bool Save();

  std::string FilePath() const { return appDir_ + kVolumesFileName; }
  // The first kept file; later ones get a number after the suffix (".bad1", ".bad2", ...).
  std::string DamagedPath() const { return FilePath() + kDamagedSuffix; }
  static constexpr int kReadTries = 5;
  static constexpr int kMaxAsideFiles = 100;
  // The last Load left bytes of an existing file unread (damaged, unreadable, or holding a value
  // a double cannot carry), so the next Save keeps that file aside before replacing it.
  bool KeepAsideOnSave() const { return keepAside_; }

 private:
  IFileSystem& fs_;
  IPrompts& prompts_;
  std::string appDir_;
  bool keepAside_ = false;
};

}  // namespace tw
