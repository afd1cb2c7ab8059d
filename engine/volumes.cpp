#include "engine/volumes.h"

#include <chrono>
#include <thread>

#include <bit>
#include <cstring>

namespace tw {

// ---- Extended precision ----

namespace {

constexpr uint64_t kIntBit = uint64_t(1) << 63;
constexpr uint64_t kFrac52 = (uint64_t(1) << 52) - 1;
constexpr uint64_t kDoubleInf = uint64_t(0x7FF) << 52;
// What the x87 delivers for an invalid operand ("real indefinite").
constexpr uint64_t kIndefinite = 0xFFF8000000000000ull;
constexpr int kExtBias = 16383;
constexpr int kDoubleBias = 1023;

// Shift right, rounding to nearest with ties to even, for any shift count.
uint64_t ShiftRound(uint64_t m, int shift, bool& inexact) {
  if (shift <= 0) {
    inexact = false;
    return m;
  }
  if (shift > 64) {
    inexact = m != 0;
    return 0;
  }
  const uint64_t kept = shift == 64 ? 0 : m >> shift;
  const uint64_t rest = shift == 64 ? m : m & ((uint64_t(1) << shift) - 1);
  const uint64_t half = uint64_t(1) << (shift - 1);
  inexact = rest != 0;
  if (rest > half || (rest == half && (kept & 1))) return kept + 1;
  return kept;
}

}  // namespace

Extended80 DoubleToExtended(double value) {
  const uint64_t bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int expField = int((bits >> 52) & 0x7FF);
  const uint64_t frac = bits & kFrac52;
  uint64_t mant = 0;
  int exp = 0;
  if (expField == 0) {
    if (frac != 0) {
      // Subnormal doubles are normal numbers in the wider exponent range.
      const int lead = std::countl_zero(frac);
      mant = frac << lead;
      exp = (63 - lead) - 1074 + kExtBias;
    }
  } else if (expField == 0x7FF) {
    mant = kIntBit | (frac << 11);  // infinity, or NaN with its payload and quiet bit in place
    exp = 0x7FFF;
  } else {
    mant = kIntBit | (frac << 11);
    exp = expField - kDoubleBias + kExtBias;
  }
  Extended80 ext{};
  for (int i = 0; i < 8; ++i) ext[i] = uint8_t(mant >> (8 * i));
  const uint16_t se = uint16_t(exp | (negative ? 0x8000 : 0));
  ext[8] = uint8_t(se);
  ext[9] = uint8_t(se >> 8);
  return ext;
}

ExtendedConversion ExtendedToDouble(const Extended80& ext, double& value) {
  uint64_t mant = 0;
  for (int i = 0; i < 8; ++i) mant |= uint64_t(ext[i]) << (8 * i);
  const uint16_t se = uint16_t(ext[8] | (ext[9] << 8));
  const uint64_t sign = (se & 0x8000) ? kIntBit : 0;
  const int exp = se & 0x7FFF;
  auto set = [&](uint64_t bits) { value = std::bit_cast<double>(sign | bits); };

  if (exp == 0x7FFF) {
    if (!(mant & kIntBit)) {
      value = std::bit_cast<double>(kIndefinite);
      return ExtendedConversion::Invalid;
    }
    const uint64_t frac = mant & ~kIntBit;
    if (frac == 0) {
      set(kDoubleInf);
      return ExtendedConversion::Exact;
    }
    uint64_t payload = frac >> 11;
    if (payload == 0) payload = uint64_t(1) << 51;  // still a NaN, not an infinity
    set(kDoubleInf | payload);
    return (frac & 0x7FF) ? ExtendedConversion::Rounded : ExtendedConversion::Exact;
  }
  if (exp == 0) {
    // Zero, or an extended denormal far below the smallest double.
    set(0);
    return mant == 0 ? ExtendedConversion::Exact : ExtendedConversion::Underflow;
  }
  if (!(mant & kIntBit)) {
    value = std::bit_cast<double>(kIndefinite);  // unnormal
    return ExtendedConversion::Invalid;
  }
  int e = exp - kExtBias;
  if (e > kDoubleBias) {
    set(kDoubleInf);
    return ExtendedConversion::Overflow;
  }
  bool inexact = false;
  if (e >= 1 - kDoubleBias) {
    uint64_t sig = ShiftRound(mant, 11, inexact);
    if (sig >> 53) {  // rounding carried into a new bit
      sig >>= 1;
      if (++e > kDoubleBias) {
        set(kDoubleInf);
        return ExtendedConversion::Overflow;
      }
    }
    set((uint64_t(e + kDoubleBias) << 52) | (sig & kFrac52));
    return inexact ? ExtendedConversion::Rounded : ExtendedConversion::Exact;
  }
  // Subnormal result in units of 2^-1074; a carry into bit 52 is the smallest normal, which the
  // plain bit pattern already expresses.
  const uint64_t sig = ShiftRound(mant, -1011 - e, inexact);
  set(sig);
  return inexact ? ExtendedConversion::Underflow : ExtendedConversion::Exact;
}

// ---- Writer ----

namespace {

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

void TValueWriter::WriteIdent(std::string_view text) {
  if (EqualsAsciiNoCase(text, "False")) {
    data_.push_back(char(twbtag::False));
  } else if (EqualsAsciiNoCase(text, "True")) {
    data_.push_back(char(twbtag::True));
  } else if (EqualsAsciiNoCase(text, "nil")) {
    data_.push_back(char(twbtag::Nil));
  } else {
    if (text.size() > kMaxIdentBytes) {
      text = text.substr(0, kMaxIdentBytes);
      ++cutIdents_;
    }
    data_.push_back(char(twbtag::Ident));
    data_.push_back(char(uint8_t(text.size())));
    data_.append(text);
  }
}

void TValueWriter::WriteBoolean(bool value) {
  data_.push_back(char(value ? twbtag::True : twbtag::False));
}

void TValueWriter::WriteInteger(int32_t value) {
  const uint32_t u = uint32_t(value);
  if (value >= -128 && value <= 127) {
    data_.push_back(char(twbtag::Int8));
    data_.push_back(char(uint8_t(u)));
  } else if (value >= -32768 && value <= 32767) {
    data_.push_back(char(twbtag::Int16));
    data_.push_back(char(uint8_t(u)));
    data_.push_back(char(uint8_t(u >> 8)));
  } else {
    data_.push_back(char(twbtag::Int32));
    for (int i = 0; i < 4; ++i) data_.push_back(char(uint8_t(u >> (8 * i))));
  }
}

void TValueWriter::WriteFloat(double value) {
  data_.push_back(char(twbtag::Extended));
  const Extended80 ext = DoubleToExtended(value);
  data_.append(reinterpret_cast<const char*>(ext.data()), ext.size());
}

// ---- Reader ----

bool TValueReader::Take(size_t count, const char*& bytes) {
  if (pos_ > data_.size() || count > data_.size() - pos_) return false;
  bytes = data_.data() + pos_;
  pos_ += count;
  return true;
}

bool TValueReader::ReadIdent(std::string& text) {
  const char* p = nullptr;
  if (!Take(1, p)) return false;
  switch (uint8_t(*p)) {
    case twbtag::Ident: {
      if (!Take(1, p)) return false;
      const size_t len = uint8_t(*p);
      if (!Take(len, p)) return false;
      text.assign(p, len);
      return true;
    }
    case twbtag::False: text = "False"; return true;
    case twbtag::True: text = "True"; return true;
    case twbtag::Nil: text = "nil"; return true;
    default: return false;
  }
}

bool TValueReader::ReadBoolean(bool& value) {
  const char* p = nullptr;
  if (!Take(1, p)) return false;
  value = uint8_t(*p) == twbtag::True;
  return true;
}

bool TValueReader::ReadInteger(int32_t& value) {
  const char* p = nullptr;
  if (!Take(1, p)) return false;
  size_t width = 0;
  switch (uint8_t(*p)) {
    case twbtag::Int8: width = 1; break;
    case twbtag::Int16: width = 2; break;
    case twbtag::Int32: width = 4; break;
    default: return false;
  }
  if (!Take(width, p)) return false;
  uint32_t u = 0;
  for (size_t i = 0; i < width; ++i) u |= uint32_t(uint8_t(p[i])) << (8 * i);
  if (width < 4 && (u >> (8 * width - 1)) & 1) u |= ~uint32_t(0) << (8 * width);  // sign
  value = int32_t(u);
  return true;
}

bool TValueReader::ReadFloat(double& value) {
  if (AtEnd()) return false;
  if (uint8_t(data_[pos_]) != twbtag::Extended) {
    int32_t i = 0;
    if (!ReadInteger(i)) return false;
    value = double(i);
    return true;
  }
  const char* p = nullptr;
  if (!Take(11, p)) return false;
  Extended80 ext{};
  std::memcpy(ext.data(), p + 1, ext.size());
  if (ExtendedToDouble(ext, value) != ExtendedConversion::Exact) lostPrecision_ = true;
  return true;
}

void WriteVolumeRec(TValueWriter& w, const TVolumeRec& rec) {
  w.WriteIdent(rec.Name);
  w.WriteIdent(rec.BackupPath);
  w.WriteBoolean(rec.SeparateFolders);
  w.WriteBoolean(rec.IsDefault);
  w.WriteBoolean(rec.AutoRefresh);
  w.WriteBoolean(rec.NoFinishMessage);
  w.WriteInteger(rec.Frequency);
  w.WriteInteger(rec.WeekDay);
  w.WriteFloat(rec.RefreshTime);
  w.WriteFloat(rec.LastRefresh);
}

bool ReadVolumeRec(TValueReader& r, TVolumeRec& rec) {
  return r.ReadIdent(rec.Name) && r.ReadIdent(rec.BackupPath) &&
         r.ReadBoolean(rec.SeparateFolders) && r.ReadBoolean(rec.IsDefault) &&
         r.ReadBoolean(rec.AutoRefresh) && r.ReadBoolean(rec.NoFinishMessage) &&
         r.ReadInteger(rec.Frequency) && r.ReadInteger(rec.WeekDay) &&
         r.ReadFloat(rec.RefreshTime) && r.ReadFloat(rec.LastRefresh);
}

// ---- Upper case ----

namespace {

uint32_t UpperCodePoint(uint32_t c) {
  if (c >= 'a' && c <= 'z') return c - 0x20;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 0x20;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs; U+0130/U+0131 (dotted/dotless I) have no simple partner.
    const bool upperIsEven = (c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    const bool upperIsOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (upperIsEven && (c & 1)) return c - 1;
    if (upperIsOdd && !(c & 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3CB) return c == 0x3C2 ? 0x3A3 : c - 0x20;  // final sigma
  if (c == 0x3AC) return 0x386;
  if (c >= 0x3AD && c <= 0x3AF) return c - 0x25;
  if (c == 0x3CC) return 0x38C;
  if (c == 0x3CD || c == 0x3CE) return c - 0x3F;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF)) && (c & 1)) return c - 1;
  return c;
}

}  // namespace

std::string UpperCaseName(std::string_view text) {
  std::string out(text);
  for (size_t i = 0; i < out.size(); ++i) {
    const uint8_t b0 = uint8_t(out[i]);
    if (b0 < 0x80) {
      out[i] = char(UpperCodePoint(b0));
      continue;
    }
    // Only two-byte sequences hold letters mapped here, and their upper forms are two-byte too,
    // so the length never changes.
    if ((b0 & 0xE0) == 0xC0 && b0 >= 0xC2 && i + 1 < out.size() &&
        (uint8_t(out[i + 1]) & 0xC0) == 0x80) {
      const uint32_t c = (uint32_t(b0 & 0x1F) << 6) | (uint8_t(out[i + 1]) & 0x3F);
      const uint32_t u = UpperCodePoint(c);
      out[i] = char(0xC0 | (u >> 6));
      out[i + 1] = char(0x80 | (u & 0x3F));
      ++i;
    }
  }
  return out;
}

// ---- Store ----

bool FitsVolumeFile(std::string_view text) { return text.size() <= kMaxIdentBytes; }

TVolumeStore::TVolumeStore(IFileSystem& fs, IPrompts& prompts, std::string appDir)
    : fs_(fs), prompts_(prompts), appDir_(std::move(appDir)) {}

TVolumeStore::LoadResult TVolumeStore::Load(const std::string& lastVolumeName) {
  LoadResult result;
  VolumeList.clear();
  keepAside_ = false;

  std::string data;
  WinError err = fs_.ReadAll(FilePath(), data);
  // A virus scanner or backup agent may hold the file for a moment at log-on.
  for (int tries = 1; tries < kReadTries && (err == winerr::SharingViolation ||
                                             err == winerr::LockViolation);
       ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    err = fs_.ReadAll(FilePath(), data);
  }
  if (err != winerr::Success) {
    // A file that exists but cannot be read may still hold volumes: never save over it blindly.
    keepAside_ = err != winerr::FileNotFound && err != winerr::PathNotFound;
    return result;
  }

  const std::string last = UpperCaseName(lastVolumeName);
  TValueReader reader(data);
  while (!reader.AtEnd()) {
    auto rec = std::make_unique<TVolumeRec>();
    if (!ReadVolumeRec(reader, *rec)) {
      keepAside_ = true;
      break;
    }
    // Every use joins the path and a folder name: "D:\BACKUP" would send copies to the sibling
    // "D:\BACKUPFrom Drive C". The record is otherwise kept as read, even one no operation
    // may use (see CheckVolumeRecord), so the next save loses nothing.
    if (!rec->BackupPath.empty() && rec->BackupPath.back() != '\\') rec->BackupPath += '\\';
    const int row = int(VolumeList.size());
    if (rec->IsDefault) result.SelectedIndex = row;
    if (UpperCaseName(rec->Name) == last) result.SelectedIndex = row;
    if (rec->AutoRefresh) result.AnyAutoRefresh = true;
    VolumeList.push_back(std::move(rec));
  }
  if (reader.LostPrecision()) keepAside_ = true;
  return result;
}

std::string TooLongToSaveText(const TVolumeRec& volume) {
  return std::string(TVolumeStore::kSaveFailedText) + ": the name or the backup path of the "
         "volume \"" + volume.Name + "\" is longer than 255 bytes, which VOLUMES.TWB cannot "
         "hold. The file was left as it was.";
}

bool TVolumeStore::Save() {
  // A text the file cannot hold is never cut (a cut path names another folder, and a cut may
  // split a character): nothing is written and the old file stays.
  TValueWriter writer;
  for (const auto& rec : VolumeList) {
    // The backslash that Load adds back may be left out, so a 255-byte path read without one
    // is written back as it was read.
    TVolumeRec stored = *rec;
    if (stored.BackupPath.size() == kMaxIdentBytes + 1 && stored.BackupPath.back() == '\\')
      stored.BackupPath.pop_back();
    if (!FitsVolumeFile(stored.Name) || !FitsVolumeFile(stored.BackupPath)) {
      prompts_.Message(TooLongToSaveText(*rec), kCaption, mb::Ok);
      return false;
    }
    WriteVolumeRec(writer, stored);
  }

  auto fail = [&] {
    prompts_.Message(kSaveFailedText, kCaption, mb::Ok);
    return false;
  };

  std::string asidePath;
  if (keepAside_) {
    // Never over an earlier kept file: each may hold volumes the others lack.
    WinError err = winerr::AlreadyExists;
    for (int n = 0; n < kMaxAsideFiles && (err == winerr::AlreadyExists ||
                                           err == winerr::FileExists);
         ++n) {
      asidePath = n == 0 ? DamagedPath() : DamagedPath() + std::to_string(n);
      err = fs_.Move(FilePath(), asidePath, false);
    }
    if (err == winerr::FileNotFound || err == winerr::PathNotFound) {
      asidePath.clear();
    } else if (err != winerr::Success) {
      return fail();  // replacing it now would lose the bytes we could not read
    }
  }
  if (fs_.WriteAtomic(FilePath(), writer.Data()) != winerr::Success) {
    // Put the kept file back where the next start looks for it.
    if (!asidePath.empty()) fs_.Move(asidePath, FilePath(), false);
    return fail();
  }
  keepAside_ = false;
  return true;
}

}  // namespace tw
