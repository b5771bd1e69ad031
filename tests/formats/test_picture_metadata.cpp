// The EXIF block and the ICC profile a picture keeps from its JPEG and gives back to the files
// it is saved as: finding the block, rewriting its orientation, refusing broken blocks, and the
// JPEG and PNG savers and the lossless transformation carrying both.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "formats/decoders.h"
#include "formats/exif.h"
#include "formats/jpeg_codec.h"
#include "formats/jpeg_transform.h"
#include "formats/loader.h"
#include "formats/picture_metadata.h"
#include "formats/png_writer.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::MakeExifBlock;
using test::TempDir;

// The EXIF record of a block as the EXIF reader parses it.
ExifInfo Parse(const std::vector<uint8_t>& block) {
  std::lock_guard<std::recursive_mutex> lock(ExifLock());
  std::vector<uint8_t> section = {static_cast<uint8_t>((block.size() + 2) >> 8),
                                  static_cast<uint8_t>(block.size() + 2)};
  section.insert(section.end(), block.begin(), block.end());
  DiscardData();
  testing::internal::CaptureStderr();
  ProcessExif(section.data(), section.size());
  testing::internal::GetCapturedStderr();
  return CurrentExifInfo();
}

std::vector<uint8_t> SharedBytes(const std::shared_ptr<const std::vector<uint8_t>>& p) {
  return p ? *p : std::vector<uint8_t>();
}

TEST(ExifBlockForSave, OrientationBecomesOneInBothByteOrdersAndTheThumbnailLinkIsCut) {
  struct Case {
    bool motorola;
    bool applied;
    int wantOrientation;
    bool wantThumbnail;
  };
  const Case cases[] = {
      {true, true, 1, false},
      {false, true, 1, false},
      {true, false, 6, true},
      {false, false, 6, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "motorola " << c.motorola << " applied " << c.applied);
    const std::vector<uint8_t> block = MakeExifBlock(c.motorola, 6, "Acme Optics", true);
    ASSERT_EQ(Parse(block).orientation, 6);
    ASSERT_NE(Parse(block).thumbnailOffset, 0u);
    const std::vector<uint8_t> saved = ExifBlockForSave(block, c.applied);
    ASSERT_EQ(saved.size(), block.size());
    const ExifInfo info = Parse(saved);
    EXPECT_EQ(info.orientation, c.wantOrientation);
    EXPECT_EQ(info.cameraMake, "Acme Optics");
    EXPECT_EQ(info.thumbnailOffset != 0, c.wantThumbnail);
    if (!c.applied) {
      EXPECT_EQ(saved, block);
    }
  }
}

TEST(ExifBlockForSave, BrokenOrOversizedBlocksAreDropped) {
  struct Case {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> spoil;
    bool applied;
    bool wantKept;
  };
  const Case cases[] = {
      {"intact", [](std::vector<uint8_t>&) {}, true, true},
      {"no Exif header", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, false, false},
      {"unknown byte order", [](std::vector<uint8_t>& b) { b[6] = b[7] = 'Q'; }, true, false},
      {"wrong TIFF magic", [](std::vector<uint8_t>& b) { b[9] = 43; }, true, false},
      {"directory beyond the end", [](std::vector<uint8_t>& b) { b[13] = 0xF0; }, true, false},
      {"entry count past the end", [](std::vector<uint8_t>& b) { b[14] = 0xFF; }, true, false},
      {"truncated to the header", [](std::vector<uint8_t>& b) { b.resize(12); }, false, false},
      // The orientation entry (second in the main directory) said to be a RATIONAL.
      {"orientation of no integer type", [](std::vector<uint8_t>& b) { b[6 + 22 + 3] = 5; }, true, false},
      {"orientation of no integer type, not rewritten", [](std::vector<uint8_t>& b) { b[6 + 22 + 3] = 5; }, false,
       true},
      {"orientation count zero", [](std::vector<uint8_t>& b) { b[6 + 22 + 7] = 0; }, true, false},
      {"one byte more than an APP1 section holds", [](std::vector<uint8_t>& b) { b.resize(kMaxExifBlock + 1); }, false,
       false},
      {"exactly what an APP1 section holds", [](std::vector<uint8_t>& b) { b.resize(kMaxExifBlock); }, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> block = MakeExifBlock(true, 6, "Acme", false);
    c.spoil(block);
    EXPECT_EQ(!ExifBlockForSave(block, c.applied).empty(), c.wantKept);
  }
}

TEST(FindJpegExifBlock, TakesTheFirstExifAppOneBeforeTheScan) {
  const std::vector<uint8_t> block = MakeExifBlock(false, 3, "Acme", false);
  auto section = [](uint8_t marker, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> s = {0xFF, marker, static_cast<uint8_t>((payload.size() + 2) >> 8),
                              static_cast<uint8_t>(payload.size() + 2)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
  };
  const std::vector<uint8_t> soi = {0xFF, 0xD8};
  const std::vector<uint8_t> jfif = section(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  const std::vector<uint8_t> xmp = section(0xE1, {'h', 't', 't', 'p', ':', '/', '/'});
  const std::vector<uint8_t> exif = section(0xE1, block);
  const std::vector<uint8_t> sos = {0xFF, 0xDA, 0, 2};
  auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  std::vector<uint8_t> truncated = join({soi, jfif, exif});
  truncated.resize(truncated.size() - 5);
  std::vector<uint8_t> lyingLength = join({soi, exif});
  lyingLength[4] = 0xFF;  // the section claims more bytes than the file has
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    bool found;
  };
  const Case cases[] = {
      {"right after SOI", join({soi, exif, sos}), true},
      {"behind JFIF and an XMP APP1", join({soi, jfif, xmp, exif, sos}), true},
      {"with fill bytes before the marker", join({soi, {0xFF, 0xFF}, exif, sos}), true},
      {"after the scan", join({soi, jfif, sos, exif}), false},
      {"none", join({soi, jfif, sos}), false},
      {"truncated section", truncated, false},
      {"lying length", lyingLength, false},
      {"no JPEG", join({jfif, exif}), false},
      {"empty", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> got = FindJpegExifBlock(c.file.data(), c.file.size());
    EXPECT_EQ(got, c.found ? block : std::vector<uint8_t>());
  }
}

TEST(IccProfileCheck, OnlyWholeRgbProfilesGoWithRgbPixels) {
  const std::vector<uint8_t> srgb = test::SrgbIccProfile();
  ASSERT_GT(srgb.size(), 132u);
  std::vector<uint8_t> grey;
  {
    cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
    cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), curve);
    cmsUInt32Number n = 0;
    cmsSaveProfileToMem(p, nullptr, &n);
    grey.resize(n);
    cmsSaveProfileToMem(p, grey.data(), &n);
    cmsCloseProfile(p);
    cmsFreeToneCurve(curve);
  }
  std::vector<uint8_t> cut = srgb;
  cut.pop_back();
  std::vector<uint8_t> noSignature = srgb;
  noSignature[36] = 'x';
  EXPECT_TRUE(IsRgbIccProfile(srgb));
  EXPECT_FALSE(IsRgbIccProfile(grey));
  EXPECT_FALSE(IsRgbIccProfile(cut));
  EXPECT_FALSE(IsRgbIccProfile(noSignature));
  EXPECT_FALSE(IsRgbIccProfile(std::vector<uint8_t>(srgb.begin(), srgb.begin() + 100)));
}

class MetadataFilesTest : public test::PoolTest {
 protected:
  TempDir dir_;
  std::vector<uint8_t> icc_ = test::SrgbIccProfile();
  std::vector<uint8_t> exif_ = MakeExifBlock(false, 6, "Acme Optics", true);
};

TEST_F(MetadataFilesTest, BothReadersKeepTheExifBlock) {
  const std::string path = dir_.file("photo.jpg");
  ASSERT_TRUE(test::WriteJpegWithMetadata(path, 24, 16, exif_, icc_));
  const std::string other = dir_.file("photo.jpeg");  // not ".jpg": the system decoder reads it
  ASSERT_TRUE(test::WriteFile(other, test::ReadFile(path)));
  for (const std::string& p : {path, other}) {
    SCOPED_TRACE(p);
    image::TexturePtr t(ReadPicture(p.c_str()));
    ASSERT_TRUE(t && t->chunky);
    EXPECT_EQ(SharedBytes(t->exifBlock), exif_);
    EXPECT_FALSE(t->exifOrientationApplied);
    image::TexturePtr copy(image::DuplicateTexture(t.get()));
    EXPECT_EQ(copy->exifBlock, t->exifBlock);
  }
  // Thumbnails are never saved, so the scan leaves the block behind.
  image::TexturePtr scan(ReadPictureForScan(other.c_str()));
  ASSERT_TRUE(scan);
  EXPECT_EQ(scan->exifBlock, nullptr);
}

TEST_F(MetadataFilesTest, SaversWriteWhatThePictureCarries) {
  image::TexturePtr t(image::CreateTexture(20, 10, image::ARGB32));
  ASSERT_TRUE(t);
  image::Fill(t->chunky, 10, 200, 30, 255);
  const auto exif = std::make_shared<const std::vector<uint8_t>>(exif_);
  const auto icc = std::make_shared<const std::vector<uint8_t>>(icc_);
  const auto tooLarge = std::make_shared<const std::vector<uint8_t>>(kMaxExifBlock + 1, 0);
  struct Case {
    const char* name;
    std::shared_ptr<const std::vector<uint8_t>> exif;
    std::shared_ptr<const std::vector<uint8_t>> icc;
    bool applied;
    int wantOrientation;  // -1: no EXIF block in the file
  };
  const Case cases[] = {
      {"both, turned on load", exif, icc, true, 1},
      {"both, as loaded", exif, icc, false, 6},
      {"profile only", nullptr, icc, false, -1},
      {"nothing", nullptr, nullptr, false, -1},
      {"EXIF too large for one section", tooLarge, icc, false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    t->exifBlock = c.exif;
    t->iccProfile = c.icc;
    t->exifOrientationApplied = c.applied;
    const std::string jpg = dir_.file("out.jpg");
    ASSERT_EQ(SaveJPEG(t->chunky, jpg.c_str(), 90, false, false, MetadataOf(t.get())), 1);
    const std::vector<uint8_t> file = test::ReadFile(jpg);
    const std::vector<uint8_t> block = FindJpegExifBlock(file.data(), file.size());
    if (c.wantOrientation < 0) {
      EXPECT_TRUE(block.empty());
    } else {
      const ExifInfo info = Parse(block);
      EXPECT_EQ(info.orientation, c.wantOrientation);
      EXPECT_EQ(info.cameraMake, "Acme Optics");
      // The block follows SOI and the JFIF header directly.
      ASSERT_GT(file.size(), 24u);
      EXPECT_EQ(file[2], 0xFF);
      EXPECT_EQ(file[3], 0xE0);
      const size_t app1 = 4 + (size_t{file[4]} << 8 | file[5]);
      EXPECT_EQ(file[app1], 0xFF);
      EXPECT_EQ(file[app1 + 1], 0xE1);
    }
    EXPECT_EQ(test::JpegIccProfile(jpg), c.icc ? icc_ : std::vector<uint8_t>());

    const std::string png = dir_.file("out.png");
    ASSERT_EQ(SavePNG(t.get(), png.c_str(), false), 1);
    EXPECT_EQ(test::PngIccProfile(png), c.icc ? icc_ : std::vector<uint8_t>());
    const std::vector<uint8_t> pngFile = test::ReadFile(png);
    const std::string text(pngFile.begin(), pngFile.end());
    EXPECT_EQ(text.find("eXIf"), std::string::npos);
    EXPECT_EQ(text.find("Exif"), std::string::npos);
  }
}

TEST_F(MetadataFilesTest, UnfitProfilesAreLeftOutAndTheSaveStillSucceeds) {
  image::TexturePtr t(image::CreateTexture(8, 8, image::ARGB32));
  ASSERT_TRUE(t);
  std::vector<uint8_t> noRgb = icc_;
  std::memcpy(noRgb.data() + 16, "CMYK", 4);
  std::vector<uint8_t> garbage = icc_;  // a right header before a tag table of nonsense
  std::fill(garbage.begin() + 128, garbage.end(), 0xEE);
  for (const std::vector<uint8_t>& profile : {noRgb, garbage, std::vector<uint8_t>(200, 7)}) {
    t->iccProfile = std::make_shared<const std::vector<uint8_t>>(profile);
    const std::string png = dir_.file("unfit.png");
    testing::internal::CaptureStderr();
    EXPECT_EQ(SavePNG(t.get(), png.c_str(), false), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(test::PngIccProfile(png).empty());
    image::TexturePtr back(ReadPicture(png.c_str()));
    EXPECT_TRUE(back && back->chunky && back->chunky->width == 8);
  }
  t->iccProfile = std::make_shared<const std::vector<uint8_t>>(noRgb);
  const std::string jpg = dir_.file("unfit.jpg");
  EXPECT_EQ(SaveJPEG(t->chunky, jpg.c_str(), 90, false, false, MetadataOf(t.get())), 1);
  EXPECT_TRUE(test::JpegIccProfile(jpg).empty());
}

TEST_F(MetadataFilesTest, TheLosslessTransformationKeepsBothAndLeavesTheOrientation) {
  const std::string path = dir_.file("turn.jpg");
  const std::string out = dir_.file("turned.jpg");
  ASSERT_TRUE(test::WriteJpegWithMetadata(path, 32, 16, exif_, icc_));
  ASSERT_EQ(JpegTransform(path.c_str(), out.c_str(), 0, false, false, kTransformNone, kTransformRotate90, false), 0);
  const std::vector<uint8_t> file = test::ReadFile(out);
  EXPECT_EQ(FindJpegExifBlock(file.data(), file.size()), exif_);
  EXPECT_EQ(test::JpegIccProfile(out), icc_);
}

}  // namespace
}  // namespace vl::formats
