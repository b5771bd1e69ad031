// The EXIF block and the ICC profile a picture keeps from its JPEG and gives back to the files
// it is saved as: finding the block, rewriting its orientation, refusing broken blocks, and the
// JPEG and PNG savers and the lossless transformation carrying both.
#include <gtest/gtest.h>

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

using Bytes = std::vector<uint8_t>;
using Spoil = std::function<void(Bytes&)>;

// The EXIF record of a block as the EXIF reader parses it.
ExifInfo Parse(const Bytes& block) {
  std::lock_guard<std::recursive_mutex> lock(ExifLock());
  Bytes section = {static_cast<uint8_t>((block.size() + 2) >> 8), static_cast<uint8_t>(block.size() + 2)};
  section.insert(section.end(), block.begin(), block.end());
  DiscardData();
  testing::internal::CaptureStderr();
  ProcessExif(section.data(), section.size());
  testing::internal::GetCapturedStderr();
  return CurrentExifInfo();
}

TEST(ExifBlockForSave, OrientationBecomesOneInBothByteOrdersAndTheThumbnailLinkIsCut) {
  for (bool motorola : {true, false}) {
    for (bool applied : {true, false}) {
      SCOPED_TRACE(testing::Message() << "motorola " << motorola << " applied " << applied);
      const Bytes block = test::MakeExifBlock(motorola, 6, "Acme Optics", true);
      ASSERT_EQ(Parse(block).orientation, 6);
      ASSERT_NE(Parse(block).thumbnailOffset, 0u);
      const Bytes saved = ExifBlockForSave(block, applied);
      ASSERT_EQ(saved.size(), block.size());
      const ExifInfo info = Parse(saved);
      EXPECT_EQ(info.orientation, applied ? 1 : 6);
      EXPECT_EQ(info.cameraMake, "Acme Optics");
      EXPECT_EQ(info.thumbnailOffset != 0, !applied);
      if (!applied) {
        EXPECT_EQ(saved, block);
      }
    }
  }
}

TEST(ExifBlockForSave, BrokenOrOversizedBlocksAreDropped) {
  const Spoil rationalOrientation = [](Bytes& b) { b[6 + 22 + 3] = 5; };  // second entry of the main directory
  const struct {
    const char* name;
    Spoil spoil;
    bool applied, wantKept;
  } cases[] = {
      {"no Exif header", [](Bytes& b) { b[0] = 'X'; }, false, false},
      {"unknown byte order", [](Bytes& b) { b[6] = b[7] = 'Q'; }, true, false},
      {"wrong TIFF magic", [](Bytes& b) { b[9] = 43; }, true, false},
      {"directory beyond the end", [](Bytes& b) { b[13] = 0xF0; }, true, false},
      {"entry count past the end", [](Bytes& b) { b[14] = 0xFF; }, true, false},
      {"truncated to the header", [](Bytes& b) { b.resize(12); }, false, false},
      {"orientation of no integer type", rationalOrientation, true, false},
      {"orientation of no integer type, not rewritten", rationalOrientation, false, true},
      {"orientation count zero", [](Bytes& b) { b[6 + 22 + 7] = 0; }, true, false},
      {"one byte more than an APP1 section holds", [](Bytes& b) { b.resize(kMaxExifBlock + 1); }, false, false},
      {"exactly what an APP1 section holds", [](Bytes& b) { b.resize(kMaxExifBlock); }, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes block = test::MakeExifBlock(true, 6, "Acme", false);
    c.spoil(block);
    EXPECT_EQ(!ExifBlockForSave(block, c.applied).empty(), c.wantKept);
  }
}

TEST(FindJpegExifBlock, TakesTheFirstExifAppOneBeforeTheScan) {
  const Bytes block = test::MakeExifBlock(false, 3, "Acme", false);
  auto section = [](uint8_t marker, const Bytes& payload) {
    Bytes s = {0xFF, marker, static_cast<uint8_t>((payload.size() + 2) >> 8), static_cast<uint8_t>(payload.size() + 2)};
    s.insert(s.end(), payload.begin(), payload.end());
    return s;
  };
  const Bytes soi = {0xFF, 0xD8}, sos = {0xFF, 0xDA, 0, 2}, exif = section(0xE1, block);
  const Bytes jfif = section(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  auto join = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  Bytes truncated = join({soi, jfif, exif});
  truncated.resize(truncated.size() - 5);
  Bytes lyingLength = join({soi, exif});
  lyingLength[4] = 0xFF;  // the section claims more bytes than the file has
  const struct {
    const char* name;
    Bytes file;
    bool found;
  } cases[] = {
      {"right after SOI", join({soi, exif, sos}), true},
      {"behind JFIF and an XMP APP1", join({soi, jfif, section(0xE1, {'h', 't', 't', 'p', ':', '/'}), exif, sos}),
       true},
      {"with fill bytes before the marker", join({soi, {0xFF, 0xFF}, exif, sos}), true},
      {"after the scan", join({soi, jfif, sos, exif}), false},
      {"truncated section", truncated, false},
      {"lying length", lyingLength, false},
      {"no JPEG", join({jfif, exif}), false},
      {"empty", {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindJpegExifBlock(c.file.data(), c.file.size()), c.found ? block : Bytes());
  }
}

class MetadataFilesTest : public test::PoolTest {
 protected:
  test::TempDir dir_;
  Bytes icc_ = test::SrgbIccProfile();
  Bytes exif_ = test::MakeExifBlock(false, 6, "Acme Optics", true);
};

TEST_F(MetadataFilesTest, BothReadersAndTheLosslessTransformationKeepTheMetadata) {
  const std::string path = dir_.file("photo.jpg"), other = dir_.file("photo.jpeg");  // the system decoder reads .jpeg
  ASSERT_TRUE(test::WriteJpegWithMetadata(path, 32, 16, exif_, icc_));
  ASSERT_TRUE(test::WriteFile(other, test::ReadFile(path)));
  for (const std::string& p : {path, other}) {
    SCOPED_TRACE(p);
    image::TexturePtr t(ReadPicture(p.c_str()));
    ASSERT_TRUE(t && t->chunky && t->exifBlock);
    EXPECT_EQ(*t->exifBlock, exif_);
    EXPECT_FALSE(t->exifOrientationApplied);
    EXPECT_EQ(image::TexturePtr(image::DuplicateTexture(t.get()))->exifBlock, t->exifBlock);
  }
  // Thumbnails are never saved, so the scan leaves the block behind.
  image::TexturePtr scan(ReadPictureForScan(other.c_str()));
  ASSERT_TRUE(scan);
  EXPECT_EQ(scan->exifBlock, nullptr);
  // The lossless turn keeps both and leaves the orientation alone.
  const std::string out = dir_.file("turned.jpg");
  ASSERT_EQ(JpegTransform(path.c_str(), out.c_str(), 0, false, false, kTransformNone, kTransformRotate90, false), 0);
  const Bytes file = test::ReadFile(out);
  EXPECT_EQ(FindJpegExifBlock(file.data(), file.size()), exif_);
  EXPECT_EQ(test::JpegIccProfile(out), icc_);
}

TEST_F(MetadataFilesTest, SaversWriteWhatThePictureCarries) {
  image::TexturePtr t(image::CreateTexture(20, 10, image::ARGB32));
  ASSERT_TRUE(t);
  image::Fill(t->chunky, 10, 200, 30, 255);
  const auto exif = std::make_shared<const Bytes>(exif_);
  const auto icc = std::make_shared<const Bytes>(icc_);
  const struct {
    const char* name;
    std::shared_ptr<const Bytes> exif, icc;
    bool applied;
    int wantOrientation;  // -1: no EXIF block in the file
  } cases[] = {
      {"both, turned on load", exif, icc, true, 1},
      {"both, as loaded", exif, icc, false, 6},
      {"nothing", nullptr, nullptr, false, -1},
      {"EXIF too large for one section", std::make_shared<const Bytes>(kMaxExifBlock + 1, 0), icc, false, -1},
  };
  const std::string jpg = dir_.file("out.jpg"), png = dir_.file("out.png");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    t->exifBlock = c.exif;
    t->iccProfile = c.icc;
    t->exifOrientationApplied = c.applied;
    ASSERT_EQ(SaveJPEG(t->chunky, jpg.c_str(), 90, false, false, MetadataOf(t.get())), 1);
    const Bytes file = test::ReadFile(jpg);
    const Bytes block = FindJpegExifBlock(file.data(), file.size());
    EXPECT_EQ(block.empty(), c.wantOrientation < 0);
    if (!block.empty()) {
      EXPECT_EQ(Parse(block).orientation, c.wantOrientation);
      EXPECT_EQ(Parse(block).cameraMake, "Acme Optics");
      // The block follows SOI and the JFIF header directly.
      ASSERT_GT(file.size(), 24u);
      const size_t app1 = 4 + (size_t{file[4]} << 8 | file[5]);
      EXPECT_EQ((Bytes{file[2], file[3], file[app1], file[app1 + 1]}), (Bytes{0xFF, 0xE0, 0xFF, 0xE1}));
    }
    EXPECT_EQ(test::JpegIccProfile(jpg), c.icc ? icc_ : Bytes());

    ASSERT_EQ(SavePNG(t.get(), png.c_str(), false), 1);
    EXPECT_EQ(test::PngIccProfile(png), c.icc ? icc_ : Bytes());
    const Bytes pngFile = test::ReadFile(png);
    const std::string text(pngFile.begin(), pngFile.end());
    EXPECT_EQ(text.find("eXIf"), std::string::npos);
    EXPECT_EQ(text.find("Exif"), std::string::npos);
  }
}

TEST_F(MetadataFilesTest, UnfitProfilesAreRefusedAndTheSaveStillSucceeds) {
  image::TexturePtr t(image::CreateTexture(8, 8, image::ARGB32));
  ASSERT_TRUE(t);
  ASSERT_GT(icc_.size(), 132u);
  EXPECT_TRUE(IsRgbIccProfile(icc_));
  const struct {
    const char* name;
    Spoil spoil;
    bool headerLooksRgb;  // only the savers' own check can refuse it
  } cases[] = {
      {"grey", [](Bytes& p) { std::memcpy(p.data() + 16, "GRAY", 4); }, false},
      {"CMYK", [](Bytes& p) { std::memcpy(p.data() + 16, "CMYK", 4); }, false},
      {"one byte short of its declared size", [](Bytes& p) { p.pop_back(); }, false},
      {"no signature", [](Bytes& p) { p[36] = 'x'; }, false},
      {"shorter than a header", [](Bytes& p) { p.resize(100); }, false},
      {"200 bytes of nonsense", [](Bytes& p) { p.assign(200, 7); }, false},
      {"right header, tag table of nonsense", [](Bytes& p) { std::fill(p.begin() + 128, p.end(), 0xEE); }, true},
  };
  const std::string png = dir_.file("unfit.png"), jpg = dir_.file("unfit.jpg");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes profile = icc_;
    c.spoil(profile);
    EXPECT_EQ(IsRgbIccProfile(profile), c.headerLooksRgb);
    t->iccProfile = std::make_shared<const Bytes>(profile);
    testing::internal::CaptureStderr();
    EXPECT_EQ(SavePNG(t.get(), png.c_str(), false), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_TRUE(test::PngIccProfile(png).empty());
    image::TexturePtr back(ReadPicture(png.c_str()));
    EXPECT_TRUE(back && back->chunky && back->chunky->width == 8);
    if (!c.headerLooksRgb) {
      EXPECT_EQ(SaveJPEG(t->chunky, jpg.c_str(), 90, false, false, MetadataOf(t.get())), 1);
      EXPECT_TRUE(test::JpegIccProfile(jpg).empty());
    }
  }
}

}  // namespace
}  // namespace vl::formats
