// Camera RAW files: a DNG written here (a JPEG preview over an RGGB mosaic) read the quick way
// and in full, RAW signatures told from plain TIFF files, and hostile files refused.
#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "formats/decoders.h"
#include "formats/file_type.h"
#include "formats/loader.h"
#include "platform/stop_flag.h"
#include "platform/thread_pool.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class RawDecoderTest : public LoaderTest {};

void ExpectNear(const image::Texture* t, int x, int y, const uint8_t (&rgb)[3], int tolerance, const char* what) {
  uint32_t v = Argb(t, x, y);
  int got[3] = {int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)};
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(got[c], rgb[c], tolerance) << what << " channel " << c << " at " << x << "," << y;
}

TEST_F(RawDecoderTest, PreviewFirstFullOnRequestBothTurned) {
  struct Case {
    int orientation;
    int previewW, previewH, fullW, fullH;
  };
  for (const Case& c :
       {Case{1, 64, 48, 128, 96}, Case{6, 48, 64, 96, 128}, Case{8, 48, 64, 96, 128}, Case{3, 64, 48, 128, 96}}) {
    TestDng spec;
    spec.orientation = c.orientation;
    std::string path = Write("o.dng", MakeTestDng(spec));

    image::TexturePtr quick(formats::ReadPicturePreview(path.c_str()));
    ASSERT_TRUE(quick) << c.orientation;
    EXPECT_TRUE(quick->preview);
    EXPECT_EQ(quick->formatName, "RAW");
    EXPECT_EQ(quick->chunky->width, c.previewW) << c.orientation;
    EXPECT_EQ(quick->chunky->height, c.previewH) << c.orientation;
    ExpectNear(quick.get(), c.previewW / 2, c.previewH / 2, spec.previewColor, 6, "preview");

    image::TexturePtr full(formats::ReadPicture(path.c_str()));
    ASSERT_TRUE(full) << c.orientation;
    EXPECT_FALSE(full->preview);
    EXPECT_EQ(full->formatName, "RAW");
    EXPECT_EQ(full->chunky->width, c.fullW) << c.orientation;
    EXPECT_EQ(full->chunky->height, c.fullH) << c.orientation;

    image::TexturePtr scan(formats::ReadPictureForScan(path.c_str()));
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->chunky->format, image::RGB24);
    EXPECT_EQ(scan->chunky->width, c.previewW);
  }
}

TEST_F(RawDecoderTest, MosaicColoursComeOutAsSrgb) {
  // Linear values v / 4095 through the sRGB curve: 0.2 -> 124, 0.5 -> 188, 0.1 -> 89.
  struct Case {
    uint16_t r, g, b;
    uint8_t expected[3];
  };
  for (const Case& c : {Case{820, 820, 820, {124, 124, 124}}, Case{2048, 820, 410, {188, 124, 89}},
                        Case{410, 2048, 820, {89, 188, 124}}}) {
    TestDng spec;
    spec.red = c.r, spec.green = c.g, spec.blue = c.b;
    formats::DecodedPicture pic;
    Bytes dng = MakeTestDng(spec);
    ASSERT_TRUE(formats::DecodeRawFull(dng.data(), dng.size(), pic));
    image::TexturePtr t(formats::PictureToTexture(pic, false));
    ASSERT_TRUE(t);
    // Away from the edges, where demosaicing has all neighbours.
    for (auto [x, y] : {std::pair{64, 48}, std::pair{20, 30}, std::pair{101, 77}})
      ExpectNear(t.get(), x, y, c.expected, 10, "mosaic");
  }
}

TEST_F(RawDecoderTest, WithoutPreviewTheQuickReadGivesTheFullPicture) {
  TestDng spec;
  spec.previewWidth = 0;
  std::string path = Write("n.dng", MakeTestDng(spec));
  image::TexturePtr t(formats::ReadPicturePreview(path.c_str()));
  ASSERT_TRUE(t);
  EXPECT_FALSE(t->preview);
  EXPECT_EQ(t->chunky->width, 128);
  EXPECT_EQ(t->chunky->height, 96);
}

TEST_F(RawDecoderTest, TypeDetectionNamesRawAndKeepsTiff) {
  std::string dng = Write("a.dng", MakeTestDng(TestDng{}));
  std::string tif = Write("a.tif", EncodeTiff(5, 3, 3, Bytes(45, 7), COMPRESSION_NONE));
  formats::DataTypeName rawType = formats::GetDataTypeName(dng.c_str());
  EXPECT_EQ(rawType.name, "RAW");
  EXPECT_EQ(rawType.group, formats::kGroupPicture);
  EXPECT_EQ(formats::GetDataTypeName(tif.c_str()).name, "TIFF");

  // First bytes of each kind, padded; the TIFF-shaped ones by their first directory.
  auto padded = [](Bytes b) {
    b.resize(256, 0);
    return b;
  };
  auto tiffWith = [&](std::vector<std::pair<uint16_t, uint32_t>> shorts, const char* make) {
    Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
    PutLe16(b, static_cast<uint16_t>(shorts.size() + (make ? 1 : 0)));
    for (auto [tag, value] : shorts) {
      PutLe16(b, tag), PutLe16(b, 3), PutLe32(b, 1), PutLe32(b, value);
    }
    if (make) {
      PutLe16(b, 0x010F), PutLe16(b, 2), PutLe32(b, static_cast<uint32_t>(std::strlen(make) + 1)), PutLe32(b, 200);
    }
    PutLe32(b, 0);
    b.resize(200, 0);
    if (make) b.insert(b.end(), make, make + std::strlen(make) + 1);
    return b;
  };
  struct Case {
    const char* what;
    Bytes head;
    const char* type;
  };
  const Case cases[] = {
      {"CR2", padded({'I', 'I', 42, 0, 16, 0, 0, 0, 'C', 'R', 2, 0}), "RAW"},
      {"ORF", padded({'I', 'I', 'R', 'O', 8, 0, 0, 0}), "RAW"},
      {"RW2", padded({'I', 'I', 'U', 0, 8, 0, 0, 0}), "RAW"},
      {"RAF", padded({'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 'C', 'C', 'D', '-', 'R', 'A', 'W', ' '}), "RAW"},
      {"CR3", padded({0, 0, 0, 24, 'f', 't', 'y', 'p', 'c', 'r', 'x', ' '}), "RAW"},
      {"CFA", tiffWith({{256, 8}, {262, 32803}}, nullptr), "RAW"},
      {"NEF", tiffWith({{254, 1}, {256, 160}}, "NIKON CORPORATION"), "RAW"},
      {"PEF", tiffWith({{259, 65535}}, "PENTAX"), "RAW"},
      {"camera TIFF", tiffWith({{256, 8}, {262, 2}}, "NIKON CORPORATION"), "TIFF"},
      {"scanner TIFF", tiffWith({{254, 1}, {262, 2}}, "Scanners Inc."), "TIFF"},
      {"HEIF", padded({0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}), nullptr},
  };
  for (const Case& c : cases) {
    const formats::Decoder* d = formats::FindDecoder(c.head.data(), c.head.size());
    if (!c.type) {
      EXPECT_TRUE(!d || std::strcmp(d->typeName, "RAW") != 0) << c.what;
      continue;
    }
    ASSERT_TRUE(d) << c.what;
    EXPECT_STREQ(d->typeName, c.type) << c.what;
  }
}

TEST_F(RawDecoderTest, HostileFilesFailCleanly) {
  Bytes dng = MakeTestDng(TestDng{});
  Bytes noise(20000);
  uint32_t seed = 12345;
  for (uint8_t& b : noise) b = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24);
  auto headed = [&](Bytes head) {
    head.insert(head.end(), noise.begin(), noise.end());
    return head;
  };
  // The mosaic's directory claiming 60000 x 60000 samples in a file of a few kilobytes.
  Bytes lying = dng;
  for (auto [tag, value] : {std::pair<uint8_t, uint8_t>{0, 128}, std::pair<uint8_t, uint8_t>{1, 96}}) {
    const uint8_t entry[] = {tag, 1, 4, 0, 1, 0, 0, 0, value, 0, 0, 0};
    auto at = std::search(lying.begin(), lying.end(), std::begin(entry), std::end(entry));
    ASSERT_NE(at, lying.end());
    at[8] = 0x60, at[9] = 0xEA;
  }
  TestDng unknown;
  unknown.dngVersion = false;
  unknown.previewWidth = 0;
  unknown.make = "";  // a mosaic that neither a maker's name nor DNG tags describe
  struct Case {
    const char* what;
    Bytes file;
  };
  std::vector<Case> cases = {
      {"CR2 header, noise", headed({'I', 'I', 42, 0, 16, 0, 0, 0, 'C', 'R', 2, 0, 0, 0, 0, 0})},
      {"RAF header, noise", headed({'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 'C', 'C', 'D', '-', 'R', 'A', 'W', ' '})},
      {"ORF header, noise", headed({'I', 'I', 'R', 'O', 8, 0, 0, 0})},
      {"CR3 header, noise", headed({0, 0, 0, 24, 'f', 't', 'y', 'p', 'c', 'r', 'x', ' '})},
      {"unknown maker", MakeTestDng(unknown)},
      {"lying size", lying},
      {"DNG cut in the directory", Bytes(dng.begin(), dng.begin() + 300)},
  };
  for (const Case& c : cases) {
    formats::DecodedPicture pic;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(formats::DecodeRaw(c.file.data(), c.file.size(), pic)) << c.what;
    EXPECT_FALSE(formats::DecodeRawFull(c.file.data(), c.file.size(), pic)) << c.what;
    EXPECT_FALSE(pic.pixels) << c.what;
    EXPECT_FALSE(Load("bad.raw", c.file)) << c.what;
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("Error in datatype"), std::string::npos) << c.what << ": " << said;
  }
  // Any cut of the DNG decodes to a whole picture or to nothing.
  for (size_t cut = 8; cut < dng.size(); cut += dng.size() / 23) {
    formats::DecodedPicture pic;
    testing::internal::CaptureStdout();
    for (auto decode : {formats::DecodeRaw, formats::DecodeRawFull}) {
      if (decode(dng.data(), cut, pic)) {
        EXPECT_EQ(pic.pixels->width, pic.width) << cut;
      }
    }
    testing::internal::GetCapturedStdout();
  }
}

TEST_F(RawDecoderTest, ThumbnailLayoutsLibRawOverrunsAreNotRead) {
  // Two bytes of the first directory changed (found by fuzzing): LibRaw then takes the preview
  // for a bitmap layout whose reader writes past its buffer (seen under AddressSanitizer).
  TestDng spec;
  spec.width = 32, spec.height = 24, spec.previewWidth = 16, spec.previewHeight = 12;
  Bytes dng = MakeTestDng(spec);
  ASSERT_EQ(dng.size(), 2765u);
  dng[65] = 0xE9, dng[151] = 0x92;
  formats::DecodedPicture pic;
  testing::internal::CaptureStdout();
  bool ok = formats::DecodeRaw(dng.data(), dng.size(), pic);
  testing::internal::GetCapturedStdout();
  if (ok) {
    EXPECT_FALSE(pic.preview);
    EXPECT_EQ(pic.pixels->width, pic.width);
  }
}

TEST_F(RawDecoderTest, FullDecodeStopsWhenAsked) {
  TestDng spec;
  spec.width = 512, spec.height = 384;
  Bytes dng = MakeTestDng(spec);
  platform::StopFlag stop;
  stop.Request();
  formats::DecodedPicture pic;
  {
    platform::ScopedStopFlag scope(stop);
    EXPECT_FALSE(formats::DecodeRawFull(dng.data(), dng.size(), pic));
  }
  EXPECT_FALSE(pic.pixels);
  EXPECT_TRUE(formats::DecodeRawFull(dng.data(), dng.size(), pic));
  EXPECT_EQ(pic.width, 512);
}

}  // namespace
}  // namespace vl::test

namespace vl::test {
namespace {

TEST_F(RawDecoderTest, HeadlessFrontEndWorksOnTheFullPicture) {
  TestDng spec;
  spec.orientation = 6;
  const Bytes bytes = MakeTestDng(spec);
  ASSERT_GT(bytes.size(), 200u);
  std::string dng = Write("a.dng", bytes);
  std::string bad = Write("b.dng", Bytes(bytes.begin(), bytes.begin() + 200));  // cut inside the header
  struct Case {
    std::string file;
    int status;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {dng, 0, {"Width: 96", "Height: 128", "Format: RAW", "RC 96\n", "RC 128\n"}},
      {bad, 1, {"Failed to load image"}},
  };
  for (const Case& c : cases) {
    std::string out;
    int status = RunCommand(
        ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(c.file) + " --exec ImageWidth --exec ImageHeight",
        out);
    EXPECT_EQ(status, c.status) << c.file << "\n" << out;
    for (const std::string& line : c.lines) EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  }
}

}  // namespace
}  // namespace vl::test
