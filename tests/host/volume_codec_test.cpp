// The byte-level encoding of the volume list file and the extended float conversion.
#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "engine/volumes.h"

namespace tw {
namespace {

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int v : b) s.push_back(char(uint8_t(v)));
  return s;
}

Extended80 Ext(std::initializer_list<int> b) {
  Extended80 e{};
  size_t i = 0;
  for (int v : b) e[i++] = uint8_t(v);
  return e;
}

Extended80 ExtFrom(uint64_t mant, uint16_t signExp) {
  Extended80 e{};
  for (int i = 0; i < 8; ++i) e[i] = uint8_t(mant >> (8 * i));
  e[8] = uint8_t(signExp);
  e[9] = uint8_t(signExp >> 8);
  return e;
}

uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }

std::string DocsExample() {
  std::string s = Bytes({0x07, 0x04}) + "Docs" + Bytes({0x07, 0x0A}) + "D:\\BACKUP\\" +
                  Bytes({0x09, 0x09, 0x08, 0x08, 0x02, 0x00, 0x02, 0x00, 0x05});
  s += std::string(10, '\0');
  s += '\x05';
  s += std::string(10, '\0');
  return s;
}

TEST(ExtendedFloat, KnownX87PatternsConvertBothWays) {
  struct Case {
    double value;
    Extended80 ext;
  } cases[] = {
      {1.0, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F})},
      {-2.0, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0})},
      {0.5, Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F})},
      {3.0, Ext({0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0x40})},
      {0.0, Ext({0, 0, 0, 0, 0, 0, 0, 0, 0, 0})},
      {-0.0, Ext({0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80})},
      {std::numeric_limits<double>::infinity(), Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F})},
      {-std::numeric_limits<double>::infinity(), Ext({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF})},
      // Smallest subnormal double, 2^-1074, is a normal extended number.
      {std::bit_cast<double>(uint64_t(1)), ExtFrom(uint64_t(1) << 63, 16383 - 1074)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(DoubleToExtended(c.value), c.ext);
    double back = 42;
    EXPECT_EQ(ExtendedToDouble(c.ext, back), ExtendedConversion::Exact);
    EXPECT_EQ(Bits(back), Bits(c.value));
  }
}

TEST(ExtendedFloat, EveryKindOfDoubleRoundTripsBitExactly) {
  const double values[] = {
      45000.5,                 // a date with noon
      36526.0,                 // 1 January 2000
      0.999988425925926,       // 23:59:59
      -693593.0,               // 1 January 0001
      0.5,
      1e-310,                  // subnormal
      std::bit_cast<double>(uint64_t(0x000FFFFFFFFFFFFF)),  // largest subnormal
      DBL_MIN,
      -0.0,
      DBL_MAX,
      -DBL_MAX,
      DBL_EPSILON,
      3.141592653589793,
      std::numeric_limits<double>::infinity(),
      std::bit_cast<double>(uint64_t(0x7FF8000000000000)),  // quiet NaN
      std::bit_cast<double>(uint64_t(0xFFF8000000000123)),  // negative NaN with payload
      std::bit_cast<double>(uint64_t(0x7FF0000000000001)),  // signalling NaN
  };
  for (double v : values) {
    SCOPED_TRACE(v);
    double back = 0;
    EXPECT_EQ(ExtendedToDouble(DoubleToExtended(v), back), ExtendedConversion::Exact);
    EXPECT_EQ(Bits(back), Bits(v));
  }
  std::mt19937_64 rng(7);
  for (int i = 0; i < 20000; ++i) {
    const uint64_t bits = rng();
    double back = 0;
    ASSERT_EQ(ExtendedToDouble(DoubleToExtended(std::bit_cast<double>(bits)), back),
              ExtendedConversion::Exact);
    ASSERT_EQ(Bits(back), bits);
  }
}

TEST(ExtendedFloat, ValuesADoubleCannotHoldGiveAClearResult) {
  double d = 0;
  EXPECT_EQ(ExtendedToDouble(ExtFrom(uint64_t(1) << 63, 0x7FFE), d),
            ExtendedConversion::Overflow);
  EXPECT_EQ(d, std::numeric_limits<double>::infinity());
  EXPECT_EQ(ExtendedToDouble(ExtFrom(uint64_t(1) << 63, 0xFFFE), d),
            ExtendedConversion::Overflow);
  EXPECT_EQ(d, -std::numeric_limits<double>::infinity());
  // Just above the largest double, rounding up past it.
  EXPECT_EQ(ExtendedToDouble(ExtFrom(~uint64_t(0), 16383 + 1023), d),
            ExtendedConversion::Overflow);
  EXPECT_TRUE(std::isinf(d));

  EXPECT_EQ(ExtendedToDouble(ExtFrom(uint64_t(1) << 63, 1), d), ExtendedConversion::Underflow);
  EXPECT_EQ(Bits(d), 0u);
  EXPECT_EQ(ExtendedToDouble(ExtFrom(uint64_t(1) << 63, 0x8001), d),
            ExtendedConversion::Underflow);
  EXPECT_EQ(Bits(d), uint64_t(1) << 63);  // negative zero
  EXPECT_EQ(ExtendedToDouble(ExtFrom(12345, 0), d), ExtendedConversion::Underflow);  // denormal
  EXPECT_EQ(d, 0.0);
  // 2^-1075 is a tie between 0 and the smallest subnormal: even wins; a bit more rounds up.
  EXPECT_EQ(ExtendedToDouble(ExtFrom(uint64_t(1) << 63, 16383 - 1075), d),
            ExtendedConversion::Underflow);
  EXPECT_EQ(Bits(d), 0u);
  EXPECT_EQ(ExtendedToDouble(ExtFrom((uint64_t(3) << 62), 16383 - 1075), d),
            ExtendedConversion::Underflow);
  EXPECT_EQ(Bits(d), 1u);

  // Precision beyond 53 bits: nearest, ties to even, carrying into the exponent.
  EXPECT_EQ(ExtendedToDouble(ExtFrom((uint64_t(1) << 63) | (1u << 10), 16383), d),
            ExtendedConversion::Rounded);
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(ExtendedToDouble(ExtFrom((uint64_t(1) << 63) | (3u << 10), 16383), d),
            ExtendedConversion::Rounded);
  EXPECT_EQ(d, 1.0 + 2 * DBL_EPSILON);
  EXPECT_EQ(ExtendedToDouble(ExtFrom(~uint64_t(0), 16383), d), ExtendedConversion::Rounded);
  EXPECT_EQ(d, 2.0);

  // Encodings the x87 rejects: unnormal, pseudo-infinity, pseudo-NaN.
  for (auto e : {ExtFrom(uint64_t(1) << 62, 16383), ExtFrom(0, 0x7FFF),
                 ExtFrom(uint64_t(1) << 62, 0x7FFF)}) {
    EXPECT_EQ(ExtendedToDouble(e, d), ExtendedConversion::Invalid);
    EXPECT_TRUE(std::isnan(d));
  }
  // A NaN whose payload lies only in bits a double drops stays a NaN.
  EXPECT_EQ(ExtendedToDouble(ExtFrom((uint64_t(1) << 63) | 1, 0x7FFF), d),
            ExtendedConversion::Rounded);
  EXPECT_TRUE(std::isnan(d));
}

#if LDBL_MANT_DIG == 64 && (defined(__x86_64__) || defined(__i386__))
// Where long double is the x87 format, the hardware conversion is the reference.
TEST(ExtendedFloat, AgreesWithTheX87OnArbitraryPatterns) {
  std::mt19937_64 rng(11);
  for (int i = 0; i < 200000; ++i) {
    const uint64_t mant = rng();
    uint16_t exp;
    switch (i % 4) {
      case 0: exp = uint16_t(rng()); break;
      case 1: exp = uint16_t(16383 - 1080 + rng() % 40); break;   // subnormal border
      case 2: exp = uint16_t(16383 + 1000 + rng() % 40); break;   // overflow border
      default: exp = uint16_t(16383 - 1022 + rng() % 2046); break;
    }
    if (rng() & 1) exp |= 0x8000;
    const Extended80 ext = ExtFrom(mant | (i % 16 ? uint64_t(1) << 63 : 0), exp);
    long double ld = 0;
    std::memcpy(&ld, ext.data(), ext.size());
    const double expected = double(ld);
    double got = 0;
    ExtendedToDouble(ext, got);
    if (std::isnan(expected)) {
      ASSERT_TRUE(std::isnan(got)) << i;
    } else {
      ASSERT_EQ(Bits(got), Bits(expected)) << i << " mant " << mant << " exp " << exp;
    }
  }
}
#endif

TEST(VolumeCodec, DocsVolumeIsFortyEightKnownBytes) {
  TVolumeRec rec;
  rec.Name = "Docs";
  rec.BackupPath = "D:\\BACKUP\\";
  rec.SeparateFolders = true;
  rec.IsDefault = true;
  TValueWriter w;
  WriteVolumeRec(w, rec);
  EXPECT_EQ(w.Data().size(), 48u);
  EXPECT_EQ(w.Data(), DocsExample());

  TVolumeRec back;
  back.RefreshTime = 9;
  const std::string example = DocsExample();
  TValueReader r(example);
  ASSERT_TRUE(ReadVolumeRec(r, back));
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(back.Name, "Docs");
  EXPECT_EQ(back.BackupPath, "D:\\BACKUP\\");
  EXPECT_TRUE(back.SeparateFolders && back.IsDefault);
  EXPECT_FALSE(back.AutoRefresh || back.NoFinishMessage);
  EXPECT_EQ(back.RefreshTime, 0.0);
  EXPECT_FALSE(r.LostPrecision());
}

TEST(VolumeCodec, IntegersUseTheShortestForm) {
  struct Case {
    int32_t value;
    std::string bytes;
  } cases[] = {
      {0, Bytes({0x02, 0x00})},
      {127, Bytes({0x02, 0x7F})},
      {-128, Bytes({0x02, 0x80})},
      {128, Bytes({0x03, 0x80, 0x00})},
      {-129, Bytes({0x03, 0x7F, 0xFF})},
      {32767, Bytes({0x03, 0xFF, 0x7F})},
      {-32768, Bytes({0x03, 0x00, 0x80})},
      {32768, Bytes({0x04, 0x00, 0x80, 0x00, 0x00})},
      {-32769, Bytes({0x04, 0xFF, 0x7F, 0xFF, 0xFF})},
      {INT32_MAX, Bytes({0x04, 0xFF, 0xFF, 0xFF, 0x7F})},
      {INT32_MIN, Bytes({0x04, 0x00, 0x00, 0x00, 0x80})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    TValueWriter w;
    w.WriteInteger(c.value);
    EXPECT_EQ(w.Data(), c.bytes);
    TValueReader r(c.bytes);
    int32_t back = 7;
    ASSERT_TRUE(r.ReadInteger(back));
    EXPECT_EQ(back, c.value);
    EXPECT_TRUE(r.AtEnd());
  }
}

TEST(VolumeCodec, FloatsStoredAsIntegersReadAsThatNumber) {
  const std::string data = Bytes({0x02, 0xFB, 0x03, 0x10, 0x27, 0x04, 0xA0, 0x86, 0x01, 0x00});
  TValueReader r(data);
  double a = 0, b = 0, c = 0;
  ASSERT_TRUE(r.ReadFloat(a));
  ASSERT_TRUE(r.ReadFloat(b));
  ASSERT_TRUE(r.ReadFloat(c));
  EXPECT_EQ(a, -5.0);
  EXPECT_EQ(b, 10000.0);
  EXPECT_EQ(c, 100000.0);
  EXPECT_TRUE(r.AtEnd());

  // Neither a float nor an integer: an error, not a number.
  const std::string ident = Bytes({0x07, 0x00});
  TValueReader bad(ident);
  EXPECT_FALSE(bad.ReadFloat(a));
}

TEST(VolumeCodec, BooleanIsTrueOnlyForItsTrueTag) {
  const std::string data = Bytes({0x00, 0x08, 0x09, 0x07, 0x02, 0x05});
  TValueReader r(data);
  bool v = true;
  ASSERT_TRUE(r.ReadBoolean(v));
  EXPECT_FALSE(v);
  EXPECT_EQ(r.Position(), 1u);  // one byte, whatever the tag
  ASSERT_TRUE(r.ReadBoolean(v));
  EXPECT_FALSE(v);
  ASSERT_TRUE(r.ReadBoolean(v));
  EXPECT_TRUE(v);
  ASSERT_TRUE(r.ReadBoolean(v));  // an identifier tag is just another "false" byte
  EXPECT_FALSE(v);
  int32_t i = 0;
  ASSERT_TRUE(r.ReadInteger(i));  // and the following value is read from the next byte
  EXPECT_EQ(i, 5);
  EXPECT_FALSE(r.ReadBoolean(v));  // nothing left
}

TEST(VolumeCodec, ReservedWordsBecomeSingleTags) {
  struct Case {
    const char* name;
    int tag;
    const char* back;
  } cases[] = {{"true", 0x09, "True"}, {"TRUE", 0x09, "True"}, {"FALSE", 0x08, "False"},
               {"false", 0x08, "False"}, {"nil", 0x0D, "nil"}, {"NiL", 0x0D, "nil"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TValueWriter w;
    w.WriteIdent(c.name);
    ASSERT_EQ(w.Data(), Bytes({c.tag}));
    TValueReader r(w.Data());
    std::string back;
    ASSERT_TRUE(r.ReadIdent(back));
    EXPECT_EQ(back, c.back);
  }
  // Close relatives are ordinary identifiers.
  for (const char* name : {"Truex", "nil ", "", "tru"}) {
    TValueWriter w;
    w.WriteIdent(name);
    EXPECT_EQ(uint8_t(w.Data()[0]), 0x07) << name;
    TValueReader r(w.Data());
    std::string back;
    ASSERT_TRUE(r.ReadIdent(back));
    EXPECT_EQ(back, name);
  }
}

TEST(VolumeCodec, IdentifiersAreCutAt255Bytes) {
  const std::string fits(255, 'a');
  const std::string tooLong = std::string(255, 'b') + "cdef";
  TValueWriter w;
  w.WriteIdent(fits);
  EXPECT_EQ(w.CutIdents(), 0);
  w.WriteIdent(tooLong);
  EXPECT_EQ(w.CutIdents(), 1);
  ASSERT_EQ(w.Data().size(), 2u * (2 + 255));
  EXPECT_EQ(uint8_t(w.Data()[257 + 1]), 255);

  TValueReader r(w.Data());
  std::string a, b;
  ASSERT_TRUE(r.ReadIdent(a));
  ASSERT_TRUE(r.ReadIdent(b));
  EXPECT_EQ(a, fits);
  EXPECT_EQ(b, std::string(255, 'b'));
  EXPECT_TRUE(r.AtEnd());

  EXPECT_TRUE(FitsVolumeFile(fits));
  EXPECT_FALSE(FitsVolumeFile(tooLong));
  std::string accents;
  for (int i = 0; i < 128; ++i) accents += "\xC3\xA9";  // 128 letters, 256 bytes
  EXPECT_FALSE(FitsVolumeFile(accents));
}

TEST(VolumeCodec, TruncatedOrMistaggedValuesFailCleanly) {
  const std::string bad[] = {
      "",                                     // nothing
      Bytes({0x07}),                          // length missing
      Bytes({0x07, 0x05, 'a', 'b'}),          // text shorter than its length
      Bytes({0x02}),                          // integer payload missing
      Bytes({0x03, 0x01}),
      Bytes({0x04, 0x01, 0x02, 0x03}),
      Bytes({0x05, 0, 0, 0, 0, 0}),           // float payload short
      Bytes({0x06, 0x00}),                    // unknown tag
  };
  for (const auto& data : bad) {
    SCOPED_TRACE(testing::PrintToString(data));
    std::string s;
    int32_t i;
    double d;
    EXPECT_FALSE(TValueReader(data).ReadIdent(s));
    EXPECT_FALSE(TValueReader(data).ReadInteger(i));
    EXPECT_FALSE(TValueReader(data).ReadFloat(d));
  }
  // An integer tag where an identifier belongs is an error.
  std::string s;
  const std::string integer = Bytes({0x02, 0x01});
  EXPECT_FALSE(TValueReader(integer).ReadIdent(s));
}

TEST(VolumeCodec, RecordRoundTripsEveryField) {
  TVolumeRec rec;
  rec.Name = "Fotos \xC3\xA9t\xC3\xA9";
  rec.BackupPath = "\\\\srv\\share\\backup\\";
  rec.AutoRefresh = true;
  rec.NoFinishMessage = true;
  rec.Frequency = 2;
  rec.WeekDay = 7;
  rec.RefreshTime = 0.75;
  rec.LastRefresh = 45123.604166666664;
  TValueWriter w;
  WriteVolumeRec(w, rec);
  TValueReader r(w.Data());
  TVolumeRec back;
  back.SeparateFolders = true;
  ASSERT_TRUE(ReadVolumeRec(r, back));
  EXPECT_TRUE(r.AtEnd());
  EXPECT_EQ(back.Name, rec.Name);
  EXPECT_EQ(back.BackupPath, rec.BackupPath);
  EXPECT_FALSE(back.SeparateFolders);
  EXPECT_FALSE(back.IsDefault);
  EXPECT_TRUE(back.AutoRefresh);
  EXPECT_TRUE(back.NoFinishMessage);
  EXPECT_EQ(back.Frequency, 2);
  EXPECT_EQ(back.WeekDay, 7);
  EXPECT_EQ(Bits(back.RefreshTime), Bits(rec.RefreshTime));
  EXPECT_EQ(Bits(back.LastRefresh), Bits(rec.LastRefresh));
}

TEST(VolumeNames, UpperCaseCoversAsciiAndCommonLetters) {
  EXPECT_EQ(UpperCaseName("docs"), "DOCS");
  EXPECT_EQ(UpperCaseName("Mixed 1-2_x"), "MIXED 1-2_X");
  EXPECT_EQ(UpperCaseName("caf\xC3\xA9"), "CAF\xC3\x89");                // é -> É
  EXPECT_EQ(UpperCaseName("\xC3\xBF"), "\xC5\xB8");                      // ÿ -> Ÿ
  EXPECT_EQ(UpperCaseName("\xC5\x82\xC3\xB3" "d\xC5\xBA"), "\xC5\x81\xC3\x93" "D\xC5\xB9");  // łódź
  EXPECT_EQ(UpperCaseName("\xD0\xB4\xD0\xBE\xD0\xBA"), "\xD0\x94\xD0\x9E\xD0\x9A");        // док
  EXPECT_EQ(UpperCaseName("\xCF\x83\xCF\x82"), "\xCE\xA3\xCE\xA3");      // σς
  EXPECT_EQ(UpperCaseName("\xC3\xB7\xC3\x9F"), "\xC3\xB7\xC3\x9F");      // ÷ ß unchanged
  // Not UTF-8: left as it is, never lengthened or shortened.
  EXPECT_EQ(UpperCaseName("a\xE9z\xC3"), "A\xE9Z\xC3");
  EXPECT_EQ(UpperCaseName("\xE4\xB8\xAD\xE6\x96\x87"), "\xE4\xB8\xAD\xE6\x96\x87");
}

}  // namespace
}  // namespace tw
