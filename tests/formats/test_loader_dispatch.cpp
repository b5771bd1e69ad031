// Suffix dispatch, the current format name, the scan variant and the clipboard.
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "formats/decoders.h"
#include "formats/loader.h"
#include "platform/paths.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class LoaderDispatchTest : public LoaderTest {};

// A 32-bit Sun Raster with pad byte 0: the built-in reader keeps it as alpha 0, the
// system decoder's reader delivers the picture opaque, so the alpha shows who read it.
Bytes SunRaster32() {
  return BuildSunRaster(1, 1, 32, 1, {}, {0x00, 0x30, 0x20, 0x10});
}

TEST_F(LoaderDispatchTest, SunRasterSuffixesGoToTheBuiltInReader) {
  for (const char* name : {"x.ras", "x.ras24", "x.RAS32", "X.Ras"}) {
    auto t = Load(name, SunRaster32());
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(Argb(t.get(), 0, 0), 0x00102030u) << name;
    EXPECT_EQ(t->formatName, "Sun Raster");
  }
  for (const char* name : {"x.ras16", "x.sun", "noext"}) {
    auto t = Load(name, SunRaster32());
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF102030u) << name;
    EXPECT_EQ(t->formatName, "Sun Raster");
  }
}

// Works in the temporary directory for the scope, so that names can be short.
class ScopedCwd {
 public:
  explicit ScopedCwd(const std::string& dir) {
    char buf[4096];
    if (::getcwd(buf, sizeof buf)) old_ = buf;
    EXPECT_EQ(::chdir(dir.c_str()), 0);
  }
  ~ScopedCwd() {
    if (!old_.empty()) {
      EXPECT_EQ(::chdir(old_.c_str()), 0);
    }
  }

 private:
  std::string old_;
};

TEST_F(LoaderDispatchTest, ShortNamesSkipTheSuffixTests) {
  Write(".ras", SunRaster32());
  Write(".ras24", SunRaster32());
  Write("a.ras", SunRaster32());
  ScopedCwd cwd(dir_.path());
  // ".ras" is 4 characters and ".ras24" 6: not longer than the suffix, so the built-in
  // reader is not asked and the system decoder reads them opaque.
  for (const char* name : {".ras", ".ras24"}) {
    image::TexturePtr t(formats::ReadPicture(name));
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF102030u) << name;
  }
  image::TexturePtr t(formats::ReadPicture("a.ras"));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0x00102030u);
}

TEST_F(LoaderDispatchTest, ContentDecidesForTheSystemDecoder) {
  // A PNG named .jpg: the JPEG reader refuses it, the system decoder sniffs PNG.
  PngSpec s;
  s.rows = {{9, 8, 7}};
  Bytes png = EncodePng(s);
  for (const char* name : {"photo.jpg", "photo.ras", "photo.bmp", "photo"}) {
    auto t = Load(name, png);
    ASSERT_TRUE(t) << name;
    EXPECT_EQ(t->formatName, "PNG") << name;
    EXPECT_EQ(formats::GetFormatName(), "PNG");
    EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF090807u);
  }
}

std::string GetFormatNameText() {
  return formats::GetFormatName();
}

TEST_F(LoaderDispatchTest, NameAndFormatAreCopiedIntoTheTexture) {
  std::string path = Write("pic.ppm", {'P', '6', ' ', '1', ' ', '1', ' ', '2', '5', '5', '\n', 1, 2, 3});
  image::TexturePtr t(formats::ReadPicture(path.c_str()));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->name, path);
  EXPECT_EQ(t->formatName, "PNM");
  EXPECT_EQ(GetFormatNameText(), "PNM");
}

TEST_F(LoaderDispatchTest, ConcurrentLoadsKeepTheirOwnFormatNames) {
  // The viewer and the thumbnail scanner load at the same time; each texture must carry
  // the name of its own format.
  PngSpec s;
  s.rows = {{1, 2, 3}};
  std::string png = Write("a.png", EncodePng(s));
  std::string bmp = Write("a.bmp", BuildBmp(1, 1, 24, 0, {}, {1, 2, 3, 0}));
  std::atomic<int> wrong{0};
  auto loop = [&wrong](const std::string& path, const char* format, bool scan) {
    for (int i = 0; i < 2000; ++i) {
      image::TexturePtr t(scan ? formats::ReadPictureForScan(path.c_str()) : formats::ReadPicture(path.c_str()));
      if (!t || t->formatName != format) ++wrong;
    }
  };
  std::thread a(loop, png, "PNG", false), b(loop, bmp, "BMP", true);
  a.join();
  b.join();
  EXPECT_EQ(wrong.load(), 0);
}

TEST_F(LoaderDispatchTest, JfifIsStoredAsJpeg) {
  formats::SetFormatName("JFIF");
  EXPECT_EQ(formats::GetFormatName(), "JPEG");
  formats::SetFormatName("jfif");
  EXPECT_EQ(formats::GetFormatName(), "JPEG");
  formats::SetFormatName("JFIF2");
  EXPECT_EQ(formats::GetFormatName(), "JFIF2");
  formats::SetFormatName("Sun Raster");
  EXPECT_EQ(formats::GetFormatName(), "Sun Raster");
}

TEST_F(LoaderDispatchTest, ScanVariantDeliversRgb24ForEveryShape) {
  // Indexed, true colour with alpha, and the built-in Sun Raster reader.
  auto idx = LoadForScan("a.gif", EncodeGif(2, 1, {0, 1}, {1, 2, 3, 4, 5, 6}, 1, -1, false));
  ASSERT_TRUE(idx);
  EXPECT_EQ(idx->chunky->format, image::RGB24);
  EXPECT_EQ(Rgb(idx.get(), 1, 0), 0x040506u);
  auto argb = LoadForScan("a.iff", BuildIlbm(1, 1, 32, {0x80112233u}, {}, 1));
  ASSERT_TRUE(argb);
  EXPECT_EQ(argb->chunky->format, image::RGB24);
  EXPECT_EQ(Rgb(argb.get(), 0, 0), 0x332211u);
  auto sun = LoadForScan("a.ras", SunRaster32());
  ASSERT_TRUE(sun);
  EXPECT_EQ(sun->chunky->format, image::RGB24);
  EXPECT_EQ(Rgb(sun.get(), 0, 0), 0x102030u);
  EXPECT_EQ(sun->formatName, "Sun Raster");
  // A 16-bit BMP is a depth between 9 and 23: converted like any other.
  auto mid = LoadForScan("a.bmp", BuildBmp(1, 1, 16, 0, {}, {0x1F, 0x00, 0, 0}));
  ASSERT_TRUE(mid);
  EXPECT_EQ(Rgb(mid.get(), 0, 0), 0x0000FFu);
}

TEST_F(LoaderDispatchTest, TwentyFourBitPicturesComeOpaque) {
  formats::DecodedPicture pic;
  ASSERT_TRUE(formats::decode::AllocatePixels(pic, 2, 1, 24));
  std::memset(pic.pixels->pixels, 0, 8);  // alpha 0 in the buffer
  image::TexturePtr t(formats::PictureToTexture(pic, false));
  ASSERT_TRUE(t);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFF000000u);
  formats::DecodedPicture deep;
  ASSERT_TRUE(formats::decode::AllocatePixels(deep, 1, 1, 32));
  deep.hasAlpha = true;
  std::memset(deep.pixels->pixels, 0x11, 4);
  image::TexturePtr u(formats::PictureToTexture(deep, false));
  ASSERT_TRUE(u);
  EXPECT_EQ(Argb(u.get(), 0, 0), 0x11111111u);
}

TEST_F(LoaderDispatchTest, ClaimedButBrokenFilesReportTheDecoderError) {
  PngSpec s;
  s.width = 4;
  s.rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}};
  Bytes png = EncodePng(s);
  png.resize(png.size() - 20);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Load("cut.png", png));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[FILE]: Error in datatype\n");
  // A file no decoder claims is refused without a word.
  testing::internal::CaptureStdout();
  EXPECT_FALSE(Load("words.png", {'h', 'e', 'l', 'l', 'o'}));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

class ClipboardReadTest : public LoaderTest {};

TEST_F(ClipboardReadTest, ReadsTheIlbmOnUnitZero) {
  ScopedEnv clips("VISTALOOM_ASSIGN_CLIPS", dir_.path());
  ASSERT_EQ(platform::ResolvePath("CLIPS:0"), dir_.file("0"));
  std::vector<uint32_t> v = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080};
  Write("0", BuildIlbm(2, 2, 24, v, {}, 1, 0, true));
  image::TexturePtr t(formats::ReadPicture(nullptr));
  ASSERT_TRUE(t);
  EXPECT_EQ(t->name, "Clipboard");
  EXPECT_EQ(t->formatName, "");
  EXPECT_EQ(t->chunky->format, image::ARGB32);
  EXPECT_EQ(Argb(t.get(), 0, 0), 0xFFFF0000u);
  EXPECT_EQ(Argb(t.get(), 1, 0), 0xFF00FF00u);
  EXPECT_EQ(Argb(t.get(), 0, 1), 0xFF0000FFu);
  EXPECT_EQ(Argb(t.get(), 1, 1), 0xFF808080u);
  image::TexturePtr s(formats::ReadPictureForScan(nullptr));
  ASSERT_TRUE(s);
  EXPECT_EQ(s->name, "Clipboard");
}

TEST_F(ClipboardReadTest, EmptyOrTextClipboardFails) {
  ScopedEnv clips("VISTALOOM_ASSIGN_CLIPS", dir_.path());
  testing::internal::CaptureStdout();
  EXPECT_FALSE(image::TexturePtr(formats::ReadPicture(nullptr)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed!\n");
  Bytes ftxt = {'F', 'O', 'R', 'M', 0, 0, 0, 14, 'F', 'T', 'X', 'T', 'C', 'H', 'R', 'S', 0, 0, 0, 2, 'h', 'i'};
  Write("0", ftxt);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(image::TexturePtr(formats::ReadPicture(nullptr)));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Failed!\n");
}

TEST_F(LoaderDispatchTest, DecoderTableSniffsContentOnly) {
  struct Case {
    Bytes head;
    const char* type;
  } cases[] = {
      {{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, "PNG"},
      {{0xFF, 0xD8, 0xFF, 0xE0}, "JPEG"},
      {{'G', 'I', 'F', '8', '9', 'a'}, "GIF"},
      {{'I', 'I', 42, 0}, "TIFF"},
      {{'M', 'M', 0, 42}, "TIFF"},
      {{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'}, "WebP"},
      {{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0, 0, 0}, "BMP"},
      {{'P', '5', '\n'}, "PNM"},
      {{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'I', 'L', 'B', 'M'}, "ILBM"},
      {{0x59, 0xA6, 0x6A, 0x95}, "Sun Raster"},
  };
  for (const Case& c : cases) {
    const formats::Decoder* d = formats::FindDecoder(c.head.data(), c.head.size());
    ASSERT_TRUE(d) << c.type;
    EXPECT_STREQ(d->typeName, c.type);
  }
  for (Bytes near : {Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 41, 0, 0, 0}, Bytes{'P', '7', '\n'},
                     Bytes{'P', '5', 'x'}, Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'F', 'T', 'X', 'T'},
                     Bytes{'G', 'I', 'F', '8', '8', 'a'}, Bytes{0x95, 0x6A, 0xA6, 0x59}, Bytes{}})
    EXPECT_EQ(formats::FindDecoder(near.data(), near.size()), nullptr);
}

}  // namespace
}  // namespace vl::test
