// The EXIF block: byte orders, tags, the directory walk and its checks on hostile blocks.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "formats/exif.h"
#include "test_jpeg_files.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::Bytes;
using test::CaptureStreams;
using test::Tiff;

constexpr uint16_t kExifIfd = 0x8769;

class ExifTest : public ::testing::Test {
 protected:
  void TearDown() override { DiscardData(); }
  // Writes a JPEG holding the payload and returns its EXIF record (null without one).
  std::unique_ptr<ExifInfo> Info(const Bytes& payload) {
    test::WriteFile(path_, test::JpegWithExif(payload));
    return ReadExifInfo(path_.c_str());
  }
  // The same, with the reports written on standard error in err.
  std::unique_ptr<ExifInfo> Info(const Bytes& payload, std::string& err) {
    CaptureStreams cap;
    auto info = Info(payload);
    err = cap.err();
    return info;
  }
  test::TempDir dir_;
  std::string path_ = dir_.file("e.jpg");
};

// A camera block: IFD0 with a link to the EXIF sub-IFD, and IFD1 with thumbnail tags.
Bytes CameraBlock(bool motorola) {
  Tiff t(motorola);
  uint32_t ifd0 = t.AddIfd({t.Ascii(0x010F, "OM Digital Solutions"), t.Ascii(0x0110, "E-M1"), t.Short(0x0112, 6),
                            t.Ascii(0x0132, "2024:01:02 03:04:05"), t.Raw(kExifIfd, 4, 1, 0)});
  uint32_t sub = t.AddIfd({t.Rational(0x829A, 1, 250),
                           t.Rational(0x829D, 28, 10),
                           t.Ascii(0x9003, "2023:12:31 23:59:58"),
                           t.Ascii(0x9004, "2023:12:31 23:59:59"),
                           t.Short(0x9209, 0x19),
                           t.Rational(0x920A, 120, 10),
                           t.Rational(0x9206, 350, 100),
                           t.Rational(0x9204, static_cast<uint32_t>(-2), 3),
                           t.Short(0x9207, 5),
                           t.Short(0x8822, 2),
                           t.Short(0x8827, 400),
                           t.Short(0x9208, 4),
                           t.Short(0xA403, 1),
                           t.Short(0xA402, 1),
                           t.Rational(0xA404, 3, 2),
                           t.Long(0xA002, 4000),
                           t.Long(0xA003, 3000),
                           t.Rational(0xA20E, 4000, 1),
                           t.Short(0xA210, 4),
                           t.Rational(0xA215, 200, 1),
                           t.Undefined(0x927C, Bytes(40, 0xAB)),
                           t.Undefined(0x9286, Bytes{'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'h', 'i', ' ', ' '})});
  t.Patch32(Tiff::ValueField(ifd0, 4), sub);
  const Bytes thumb(100, 0x5A);
  uint32_t ifd1 = t.AddIfd({t.Long(0x0201, 0), t.Long(0x0202, 100)});
  uint32_t thumbAt = t.Append(thumb);
  t.Patch32(Tiff::ValueField(ifd1, 0), thumbAt);
  t.Patch32(t.NextField(ifd0), ifd1);
  return t.App1Payload();
}

TEST_F(ExifTest, CameraBlockInBothByteOrdersGivesTheSameRecord) {
  std::string errII, errMM;
  auto ii = Info(CameraBlock(false), errII);
  auto mm = Info(CameraBlock(true), errMM);
  ASSERT_TRUE(ii && mm);
  EXPECT_EQ(errII, "");
  EXPECT_EQ(errMM, "");
  for (const ExifInfo* info : {ii.get(), mm.get()}) {
    EXPECT_EQ(info->cameraMake, "OM Digital Solutions");
    EXPECT_EQ(info->cameraModel, "E-M1");
    EXPECT_EQ(info->orientation, 6);
    EXPECT_EQ(info->dateTime, "2023:12:31 23:59:58");  // the original date wins
    EXPECT_EQ(info->flashUsed, 1);
    EXPECT_FLOAT_EQ(info->exposureTime, 0.004f);
    EXPECT_FLOAT_EQ(info->apertureFNumber, 2.8f);
    EXPECT_FLOAT_EQ(info->focalLength, 12.0f);
    EXPECT_FLOAT_EQ(info->distance, 3.5f);
    EXPECT_NEAR(info->exposureBias, -2.0 / 3, 1e-6);
    EXPECT_EQ(info->meteringMode, 5);
    EXPECT_EQ(info->exposureProgram, 2);
    EXPECT_EQ(info->isoEquivalent, 400);
    EXPECT_EQ(info->lightSource, 4);
    EXPECT_EQ(info->whitebalance, 1);
    EXPECT_EQ(info->exposureMode, 1);
    EXPECT_FLOAT_EQ(info->digitalZoomRatio, 1.5f);
    EXPECT_EQ(info->exifImageWidth, 4000);
    EXPECT_DOUBLE_EQ(info->exposureIndex, 200);
    EXPECT_EQ(info->userComment, "hi");
    // CCD width = 4000 px x 1 mm / 4000 px per mm; 35 mm focal length = 12 / 1 x 36.
    EXPECT_FLOAT_EQ(info->ccdWidth, 1.0f);
    EXPECT_EQ(info->focalLength35mmEquiv, 432);
    EXPECT_EQ(info->thumbnailSize, 100u);
    EXPECT_EQ(info->numDateTimeTags, 3);
  }
  EXPECT_EQ(ii->thumbnailOffset, mm->thumbnailOffset);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(ii->dateTimeOffsets[i], mm->dateTimeOffsets[i]);
  EXPECT_EQ(ii->largestExifOffset, mm->largestExifOffset);
}

TEST_F(ExifTest, DateFieldOffsetsPointAtTheDateTexts) {
  Bytes payload = CameraBlock(true);
  auto info = Info(payload);
  ASSERT_TRUE(info);
  const char* expected[] = {"2024:01:02 03:04:05", "2023:12:31 23:59:58", "2023:12:31 23:59:59"};
  for (int i = 0; i < 3; ++i) {
    const size_t at = 6 + info->dateTimeOffsets[i];  // payload = "Exif\0\0" + block
    ASSERT_LE(at + 19, payload.size());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&payload[at]), 19), expected[i]);
  }
}

TEST_F(ExifTest, DateRules) {
  // Without the original date, the first other date that gives a digit stays.
  Tiff t(false);
  t.AddIfd(
      {t.Ascii(0x0132, "unknown"), t.Ascii(0x9004, "2001:02:03 04:05:06"), t.Ascii(0x0132, "1999:01:01 00:00:00")});
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dateTime, "2001:02:03 04:05:06");
  // Date texts are cut to 19 characters.
  Tiff u(false);
  u.AddIfd({u.Ascii(0x9003, "2001:02:03 04:05:06 and more")});
  info = Info(u.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->dateTime, "2001:02:03 04:05:06");
  // More than ten date fields: reported, and the extra tags ignored.
  Tiff v(true);
  std::vector<Tiff::Entry> dates;
  for (int i = 0; i < 12; ++i) dates.push_back(v.Ascii(0x0132, "x"));
  dates.push_back(v.Ascii(0x9003, "2005:05:05 05:05:05"));
  v.AddIfd(dates);
  std::string err;
  info = Info(v.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->numDateTimeTags, 10);
  EXPECT_EQ(info->dateTime, "x");
  std::string report = "exif: nonfatal\nMore than allowed date fields (10)!  This is nuts\n";
  EXPECT_EQ(err, report + report + report);
}

TEST_F(ExifTest, ExposureAndApertureFromApexValues) {
  Tiff t(true);
  t.AddIfd({t.Rational(0x9201, 8, 1), t.Rational(0x9202, 3, 1)});
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_NEAR(info->exposureTime, 1.0 / 256, 1e-7);
  EXPECT_NEAR(info->apertureFNumber, std::exp(3 * std::log(2.0) * 0.5), 1e-5);
  // The direct tags win when they come first; the fallbacks only fill a field still 0.
  Tiff u(true);
  u.AddIfd({u.Rational(0x829A, 1, 60), u.Rational(0x829D, 4, 1), u.Rational(0x9201, 8, 1), u.Rational(0x9205, 3, 1)});
  info = Info(u.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_FLOAT_EQ(info->exposureTime, 1.0f / 60);
  EXPECT_FLOAT_EQ(info->apertureFNumber, 4.0f);
}

TEST_F(ExifTest, FlashIsBitZero) {
  struct Case {
    uint16_t value;
    int used;
  } cases[] = {{0, 0}, {1, 1}, {16, 0}, {0x18, 0}, {0x19, 1}, {0x41, 1}};
  for (const Case& c : cases) {
    Tiff t(false);
    t.AddIfd({t.Short(0x9209, c.value)});
    auto info = Info(t.App1Payload());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->flashUsed, c.used) << "flash value " << c.value;
  }
  Tiff none(false);
  none.AddIfd({none.Short(0x0112, 1)});
  auto info = Info(none.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->flashUsed, -1);
}

TEST_F(ExifTest, OrientationOutsideOneToEight) {
  for (uint16_t value : {9, 0, 65535}) {
    Tiff t(true);
    t.AddIfd({t.Short(0x0112, value)});
    std::string err;
    auto info = Info(t.App1Payload(), err);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->orientation, 0);
    EXPECT_EQ(err, "exif: nonfatal\nUndefined rotation value " + std::to_string(value) + "\n");
  }
}

TEST_F(ExifTest, InfiniteSubjectDistanceIsNegative) {
  Tiff t(false);
  t.AddIfd({t.Rational(0x9206, 0xFFFFFFFFu, 1)});
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_LT(info->distance, 0);
}

TEST_F(ExifTest, UserComment) {
  Tiff t(false);
  t.AddIfd({t.Undefined(0x9286, Bytes{'p', 'l', 'a', 'i', 'n', ' ', ' ', ' '})});
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->userComment, "plain");
  Tiff u(false);
  Bytes longText(300, 'c');
  u.AddIfd({u.Undefined(0x9286, longText)});
  info = Info(u.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->userComment, std::string(199, 'c'));
  // Nothing but spaces, and an empty value.
  Tiff v(false);
  v.AddIfd({v.Undefined(0x9286, Bytes(6, ' ')), v.Raw(0x010F, 2, 0, 0x41414141)});
  info = Info(v.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->userComment, "");
  EXPECT_EQ(info->cameraMake, "");
}

TEST_F(ExifTest, PaddingOfTextsIsDropped) {
  // Each row: the bytes of an ASCII value as a camera writes them, and the text kept.
  struct Case {
    uint16_t tag;
    std::string bytes;
    std::string want;
  };
  const std::string nuls("\0\0\0", 3);
  const Case cases[] = {
      {0x0110, "E-M1            " + std::string(1, '\0'), "E-M1"},
      {0x0110, "E-M1   " + nuls + "   ", "E-M1"},
      {0x0110, "PowerShot G7 X  " + nuls, "PowerShot G7 X"},
      {0x010F, "Canon" + std::string(40, ' '), "Canon"},
      {0x010F, std::string(8, ' ') + nuls, ""},
      {0x9003, "2023:12:31 23:59:58 " + nuls, "2023:12:31 23:59:58"},
      {0x9286, "ASCII" + nuls + "note   " + nuls + "  ", "note"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.want);
    Tiff t(false);
    const Bytes value(c.bytes.begin(), c.bytes.end());
    const uint16_t format = c.tag == 0x9286 ? 7 : 2;
    t.AddIfd({{c.tag, format, static_cast<uint32_t>(value.size()), value}});
    auto info = Info(t.App1Payload());
    ASSERT_TRUE(info);
    const std::string& got = c.tag == 0x0110   ? info->cameraModel
                             : c.tag == 0x010F ? info->cameraMake
                             : c.tag == 0x9003 ? info->dateTime
                                               : info->userComment;
    EXPECT_EQ(got, c.want);
  }
}

TEST_F(ExifTest, ThumbnailOffsetAndLengthRule) {
  // The length is cut to the bytes the block holds behind the offset.
  Tiff t(true);
  uint32_t ifd0 = t.AddIfd({t.Short(0x0112, 1)});
  uint32_t ifd1 = t.AddIfd({t.Long(0x0201, 0), t.Long(0x0202, 5000)});
  uint32_t at = t.Append(Bytes(50, 1));
  t.Patch32(Tiff::ValueField(ifd1, 0), at);
  t.Patch32(t.NextField(ifd0), ifd1);
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->thumbnailOffset, at);
  EXPECT_EQ(info->thumbnailSize, 50u);
  // An offset outside the block is not kept.
  Tiff u(true);
  u.AddIfd({u.Long(0x0201, 100000), u.Long(0x0202, 10)});
  info = Info(u.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->thumbnailOffset, 0u);
  EXPECT_EQ(info->thumbnailSize, 0u);
}

TEST_F(ExifTest, BadHeaders) {
  struct Case {
    Bytes payload;
    const char* report;
  };
  Tiff t(false);
  t.AddIfd({t.Short(0x0112, 3)});
  Bytes good = t.App1Payload();
  Bytes badZero = good, badOrder = good, badMagic = good, shortBlock(good.begin(), good.begin() + 12);
  badZero[5] = 1;
  badOrder[6] = 'I', badOrder[7] = 'M';
  badMagic[8] = 43;
  Case cases[] = {{badZero, "Incorrect Exif header"},
                  {badOrder, "Invalid Exif alignment marker."},
                  {badMagic, "Invalid Exif start (1)"},
                  {shortBlock, "Incorrect Exif header"}};
  for (const Case& c : cases) {
    std::string err;
    auto info = Info(c.payload, err);
    ASSERT_TRUE(info);  // the section is an EXIF section, its record stays empty
    EXPECT_EQ(info->orientation, 0);
    EXPECT_EQ(err, std::string("exif: nonfatal\n") + c.report + "\n");
  }
  std::string err;
  auto info = Info(good, err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 3);
  EXPECT_EQ(err, "");
}

TEST_F(ExifTest, NoExifSection) {
  test::JpegParams params;
  test::WriteFile(path_, test::EncodeJpeg(params, test::Pattern(16, 16, 3)));
  EXPECT_EQ(ReadExifInfo(path_.c_str()), nullptr);
  test::WriteFile(path_, test::InsertSection(test::EncodeJpeg(params, test::Pattern(16, 16, 3)), 0xE1,
                                             Bytes{'h', 't', 't', 'p', ':', '/', '/'}));
  EXPECT_EQ(ReadExifInfo(path_.c_str()), nullptr);
  EXPECT_EQ(ReadExifInfo(dir_.file("missing.jpg").c_str()), nullptr);
}

TEST_F(ExifTest, SuspiciousFirstOffsetStillWalks) {
  Tiff t(false);
  t.Append(Bytes(12, 0));
  uint32_t ifd = t.AddIfd({t.Short(0x0112, 8)});
  t.SetFirstIfd(ifd);
  std::string err;
  auto info = Info(t.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(ifd, 20u);
  EXPECT_EQ(info->orientation, 8);
  EXPECT_EQ(err, "exif: nonfatal\nSuspicious offset of first IFD value\n");
  // A first offset far outside the block: reported, nothing read outside it.
  Tiff u(false);
  u.AddIfd({u.Short(0x0112, 8)});
  u.SetFirstIfd(0xFFFFFFF0u);
  info = Info(u.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 0);
  EXPECT_EQ(err, "exif: nonfatal\nSuspicious offset of first IFD value\nexif: nonfatal\nIllegally sized directory\n");
}

TEST_F(ExifTest, OversizedDirectory) {
  Tiff t(true);
  uint32_t ifd = t.AddIfd({t.Short(0x0112, 6), t.Short(0x9209, 1)});
  Bytes block = t.bytes();
  // An entry count that runs past the block: the directory is not read at all.
  block[ifd] = 0x01;
  block[ifd + 1] = 0x00;
  Bytes payload{'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), block.begin(), block.end());
  std::string err;
  auto info = Info(payload, err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 0);
  EXPECT_EQ(info->flashUsed, -1);
  EXPECT_EQ(err, "exif: nonfatal\nIllegally sized directory\n");
}

TEST_F(ExifTest, DirectoryEndingAtTheBlockEndIsAccepted) {
  // The last entry ends exactly at the block end (no next-link): accepted.
  Tiff t(false);
  uint32_t ifd = t.AddIfd({t.Short(0x0112, 3)});
  Bytes block = t.bytes();
  block.resize(t.NextField(ifd));
  Bytes payload{'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), block.begin(), block.end());
  std::string err;
  auto info = Info(payload, err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 3);
  EXPECT_EQ(err, "");
}

TEST_F(ExifTest, BadEntriesAreSkipped) {
  Tiff t(false);
  t.AddIfd({t.Raw(0x0110, 13, 1, 0), t.Raw(0x010F, 2, 0x10000, 0), t.Raw(0x9206, 5, 0xFFFFFFFFu, 0),
            t.Raw(0x829A, 5, 1, 0x7FFFFFF0u),
            // offset + byte count wraps around in 32 bits
            t.Raw(0x920A, 5, 2, 0xFFFFFFF8u), t.Short(0x0112, 3)});
  std::string err;
  auto info = Info(t.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 3);  // the good entry after the bad ones is still read
  EXPECT_EQ(info->cameraModel, "");
  EXPECT_EQ(info->exposureTime, 0);
  EXPECT_EQ(info->focalLength, 0);
  EXPECT_EQ(err,
            "exif: nonfatal\nIllegal number format 13 for tag 0110\n"
            "exif: nonfatal\nIllegal number of components 65536 for tag 010f\n"
            "exif: nonfatal\nIllegal number of components -1 for tag 9206\n"
            "exif: nonfatal\nIllegal value pointer for tag 829a\n"
            "exif: nonfatal\nIllegal value pointer for tag 920a\n");
}

TEST_F(ExifTest, ValuesInTheEntryAreNotReadPastIt) {
  // A double with no components stays 0 rather than reading 8 bytes from a 4-byte field.
  Tiff t(true);
  t.AddIfd({t.Raw(0x920A, 12, 0, 0x40000000u), t.Raw(0x9206, 5, 0, 0x00000001u)});
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->focalLength, 0);
  EXPECT_EQ(info->distance, 0);
}

TEST_F(ExifTest, DirectoryLoopsEndAtTheNestingLimit) {
  // IFD0 links to itself as its next directory.
  Tiff t(false);
  uint32_t ifd = t.AddIfd({t.Short(0x0112, 6)});
  t.Patch32(t.NextField(ifd), ifd);
  std::string err;
  auto info = Info(t.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 6);
  EXPECT_EQ(err, "exif: nonfatal\nMaximum directory nesting exceeded (corrupt exif header)\n");
  // A sub-IFD link to its own directory.
  Tiff u(true);
  uint32_t d = u.AddIfd({u.Raw(kExifIfd, 4, 1, 0)});
  u.Patch32(Tiff::ValueField(d, 0), d);
  info = Info(u.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(err, "exif: nonfatal\nMaximum directory nesting exceeded (corrupt exif header)\n");
}

TEST_F(ExifTest, ManyLinksToOneDirectoryEndQuickly) {
  // 200 sub-IFD links to the directory itself would mean 200^5 walks without a bound.
  Tiff t(false);
  std::vector<Tiff::Entry> links(200, t.Raw(0xA005, 4, 1, 8));
  uint32_t d = t.AddIfd(links);
  ASSERT_EQ(d, 8u);
  std::string err;
  auto info = Info(t.App1Payload(), err);
  ASSERT_TRUE(info);
  const std::string report = "exif: nonfatal\nMaximum directory nesting exceeded (corrupt exif header)\n";
  size_t reports = 0;
  for (size_t at = err.find(report); at != std::string::npos; at = err.find(report, at + 1)) ++reports;
  EXPECT_GT(reports, 0u);
  EXPECT_LT(reports, 300u);
  EXPECT_EQ(reports * report.size(), err.size());  // nothing else reported
}

TEST_F(ExifTest, SubDirectoryLinksOutsideTheBlock) {
  Tiff t(true);
  t.AddIfd(
      {t.Long(kExifIfd, 0x00100000u), t.Long(0xA005, 0x00200000u), t.Long(0x8825, 0x00300000u), t.Short(0x0112, 2)});
  std::string err;
  auto info = Info(t.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->orientation, 2);
  EXPECT_EQ(err,
            "exif: nonfatal\nIllegal exif or interop ofset directory link\n"
            "exif: nonfatal\nIllegal exif or interop ofset directory link\n"
            "exif: nonfatal\nIllegal GPS directory link\n");
  // A next-directory link outside the block is ignored without a report.
  Tiff u(true);
  uint32_t d = u.AddIfd({u.Short(0x0112, 2)});
  u.Patch32(u.NextField(d), 0x7FFFFFFF);
  info = Info(u.App1Payload(), err);
  ASSERT_TRUE(info);
  EXPECT_EQ(err, "");
  EXPECT_EQ(info->largestExifOffset, 0x7FFFFFFFu);
}

TEST_F(ExifTest, ThirtyFiveMillimetreValueFromTheFileWins) {
  Tiff t(false);
  t.AddIfd({t.Rational(0x920A, 50, 1), t.Short(0xA405, 75), t.Long(0xA002, 3000), t.Rational(0xA20E, 1000, 1),
            t.Short(0xA210, 2)});
  auto info = Info(t.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_FLOAT_EQ(info->ccdWidth, 3000 * 25.4f / 1000);
  EXPECT_EQ(info->focalLength35mmEquiv, 75);
  // Without the tag it is computed: 50 / 76.2 x 36 + 0.5, truncated.
  Tiff u(false);
  u.AddIfd({u.Rational(0x920A, 50, 1), u.Long(0xA002, 3000), u.Rational(0xA20E, 1000, 1), u.Short(0xA210, 2)});
  info = Info(u.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->focalLength35mmEquiv, static_cast<int>(50 / (3000 * 25.4 / 1000) * 36 + 0.5));
  // A zero resolution gives no CCD width and no computed value.
  Tiff v(false);
  v.AddIfd({v.Rational(0x920A, 50, 1), v.Long(0xA002, 3000), v.Short(0xA210, 2)});
  info = Info(v.App1Payload());
  ASSERT_TRUE(info);
  EXPECT_EQ(info->ccdWidth, 0);
  EXPECT_EQ(info->focalLength35mmEquiv, 0);
}

TEST_F(ExifTest, ReadersOnSeveralThreadsSeeTheirOwnFile) {
  // The section table and record are shared; the lock keeps each call's view whole.
  Tiff a(false), b(true);
  a.AddIfd({a.Ascii(0x0110, "first camera"), a.Short(0x0112, 3)});
  b.AddIfd({b.Ascii(0x0110, "second"), b.Short(0x0112, 8), b.Short(0x9209, 1)});
  const std::string pa = dir_.file("a.jpg"), pb = dir_.file("b.jpg");
  test::WriteFile(pa, test::JpegWithExif(a.App1Payload()));
  test::WriteFile(pb, test::JpegWithExif(b.App1Payload()));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 100; ++i) {
        const bool first = (t + i) % 2 == 0;
        auto info = ReadExifInfo((first ? pa : pb).c_str());
        if (!info || info->cameraModel != (first ? "first camera" : "second") || info->orientation != (first ? 3 : 8) ||
            info->flashUsed != (first ? -1 : 1))
          ++wrong;
      }
    });
  for (std::thread& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(ExifTest, DamagedBlocksStayInsideTheirBuffer) {
  // Camera blocks with bytes changed and cut short, each parsed from a heap copy of exactly its
  // size (so the address sanitizer sees any read past it); the record must stay consistent.
  const Bytes payloads[] = {CameraBlock(false), CameraBlock(true)};
  uint32_t s = 99;
  auto next = [&s] { return s = s * 1664525u + 1013904223u; };
  CaptureStreams quiet;
  for (int round = 0; round < 3000; ++round) {
    const Bytes& base = payloads[round % 2];
    Bytes section{0, 0};
    section.insert(section.end(), base.begin(), base.end());
    const int changes = 1 + static_cast<int>(next() % 6);
    for (int k = 0; k < changes; ++k)
      section[2 + 6 + next() % (section.size() - 8)] = static_cast<uint8_t>(next() >> 24);
    if (round % 3 == 0) section.resize(16 + next() % (section.size() - 16));
    auto exact = std::make_unique<uint8_t[]>(section.size());
    std::memcpy(exact.get(), section.data(), section.size());
    DiscardData();
    ProcessExif(exact.get(), section.size());
    const ExifInfo info = CurrentExifInfo();
    const size_t block = section.size() - 8;
    ASSERT_GE(info.orientation, 0);
    ASSERT_LE(info.orientation, 8);
    ASSERT_LE(info.numDateTimeTags, kMaxDateFields);
    ASSERT_LE(info.cameraMake.size(), 31u);
    ASSERT_LE(info.cameraModel.size(), 39u);
    ASSERT_LE(info.dateTime.size(), 19u);
    ASSERT_LE(info.userComment.size(), 199u);
    ASSERT_TRUE(info.flashUsed >= -1 && info.flashUsed <= 1);
    if (info.thumbnailOffset != 0) {
      ASSERT_LT(info.thumbnailOffset, block);
      ASSERT_LE(uint64_t{info.thumbnailOffset} + info.thumbnailSize, block);
    }
    for (int i = 0; i < info.numDateTimeTags; ++i) ASSERT_LT(info.dateTimeOffsets[i], block);
  }
}

class ValueReaders : public ::testing::Test {
 protected:
  void TearDown() override { SetMotorolaOrder(false); }
};

TEST_F(ValueReaders, ByteOrders) {
  const uint8_t b[8] = {0x12, 0x34, 0x56, 0x78, 0xFF, 0xFF, 0xFF, 0xFE};
  SetMotorolaOrder(true);
  EXPECT_EQ(Get16u(b), 0x1234u);
  EXPECT_EQ(Get32u(b), 0x12345678u);
  EXPECT_EQ(Get32s(b + 4), -2);
  SetMotorolaOrder(false);
  EXPECT_EQ(Get16u(b), 0x3412u);
  EXPECT_EQ(Get32u(b), 0x78563412u);
  EXPECT_EQ(Get32s(b + 4), static_cast<int32_t>(0xFEFFFFFFu));
}

TEST_F(ValueReaders, ConvertAnyFormat) {
  SetMotorolaOrder(true);
  const uint8_t neg[8] = {0xFF, 0xFE, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ConvertAnyFormat(neg, 1, 8), 255);
  EXPECT_EQ(ConvertAnyFormat(neg, 6, 8), -1);
  EXPECT_EQ(ConvertAnyFormat(neg, 3, 8), 0xFFFE);
  EXPECT_EQ(ConvertAnyFormat(neg, 8, 8), -2);
  EXPECT_EQ(ConvertAnyFormat(neg, 4, 8), 0xFFFE0000u);
  EXPECT_EQ(ConvertAnyFormat(neg, 9, 8), static_cast<int32_t>(0xFFFE0000u));
  const uint8_t rat[8] = {0, 0, 0, 3, 0, 0, 0, 4};
  EXPECT_DOUBLE_EQ(ConvertAnyFormat(rat, 5, 8), 0.75);
  EXPECT_DOUBLE_EQ(ConvertAnyFormat(rat, 10, 8), 0.75);
  EXPECT_EQ(ConvertAnyFormat(rat, 5, 7), 0);  // too few bytes
  const uint8_t zeroDen[8] = {0, 0, 0, 3, 0, 0, 0, 0};
  EXPECT_EQ(ConvertAnyFormat(zeroDen, 5, 8), 0);
  EXPECT_EQ(ConvertAnyFormat(rat, 2, 8), 0);
  EXPECT_EQ(ConvertAnyFormat(rat, 7, 8), 0);
  EXPECT_EQ(ConvertAnyFormat(rat, 13, 8), 0);
  EXPECT_EQ(ConvertAnyFormat(rat, 0, 8), 0);
  // Single and double precision honour the byte order as well.
  const float f = 1.5f;
  uint32_t fb;
  std::memcpy(&fb, &f, 4);
  const uint8_t fm[4] = {static_cast<uint8_t>(fb >> 24), static_cast<uint8_t>(fb >> 16), static_cast<uint8_t>(fb >> 8),
                         static_cast<uint8_t>(fb)};
  EXPECT_EQ(ConvertAnyFormat(fm, 11, 4), 1.5);
  const double d = -2.25;
  uint64_t db;
  std::memcpy(&db, &d, 8);
  uint8_t dm[8], dl[8];
  for (int i = 0; i < 8; ++i) {
    dm[i] = static_cast<uint8_t>(db >> (56 - 8 * i));
    dl[7 - i] = dm[i];
  }
  EXPECT_EQ(ConvertAnyFormat(dm, 12, 8), -2.25);
  EXPECT_EQ(ConvertAnyFormat(dm, 12, 4), 0);
  SetMotorolaOrder(false);
  EXPECT_EQ(ConvertAnyFormat(dl, 12, 8), -2.25);
}

}  // namespace
}  // namespace vl::formats
