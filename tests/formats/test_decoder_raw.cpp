// Camera RAW files: a DNG written here (a JPEG preview over an RGGB mosaic) read the quick way
// and in full, RAW signatures told from plain TIFF files, and hostile files refused.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <tuple>

#include "formats/decoders.h"
#include "formats/file_type.h"
#include "formats/loader.h"
#include "platform/stop_flag.h"
#include "platform/thread_pool.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class RawDecoderTest : public LoaderTest {};

void ExpectNear(const image::Texture* t, int x, int y, const uint8_t (&rgb)[3], int tolerance) {
  const uint32_t v = Argb(t, x, y);
  for (int c = 0; c < 3; ++c)
    EXPECT_NEAR(int(v >> (16 - 8 * c) & 255), rgb[c], tolerance) << "channel " << c << " at " << x << "," << y;
}

// The quick read gives the turned preview (or, without one, the full picture); the full read the
// turned mosaic; the scan read the preview as RGB24.
TEST_F(RawDecoderTest, PreviewFirstFullOnRequestBothTurned) {
  const struct {
    int orientation, previewW, previewH, fullW, fullH;
  } cases[] = {
      {1, 64, 48, 128, 96}, {6, 48, 64, 96, 128}, {8, 48, 64, 96, 128}, {3, 64, 48, 128, 96}, {1, 0, 0, 128, 96}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << " preview " << c.previewW);
    TestDng spec;
    spec.orientation = c.orientation;
    if (!c.previewW) spec.previewWidth = 0;
    std::string path = Write("o.dng", MakeTestDng(spec));
    image::TexturePtr quick(formats::ReadPicturePreview(path.c_str())), full(formats::ReadPicture(path.c_str()));
    ASSERT_TRUE(quick && full);
    EXPECT_EQ(quick->preview, c.previewW != 0);
    EXPECT_EQ(full->preview, false);
    EXPECT_TRUE(quick->formatName == "RAW" && full->formatName == "RAW") << quick->formatName << full->formatName;
    EXPECT_EQ(std::pair(quick->chunky->width, quick->chunky->height),
              c.previewW ? std::pair(c.previewW, c.previewH) : std::pair(c.fullW, c.fullH));
    EXPECT_EQ(std::pair(full->chunky->width, full->chunky->height), std::pair(c.fullW, c.fullH));
    if (!c.previewW) continue;
    ExpectNear(quick.get(), c.previewW / 2, c.previewH / 2, spec.previewColor, 6);
    image::TexturePtr scan(formats::ReadPictureForScan(path.c_str()));
    ASSERT_TRUE(scan);
    EXPECT_EQ(scan->chunky->format, image::RGB24);
    EXPECT_EQ(scan->chunky->width, c.previewW);
  }
}

TEST_F(RawDecoderTest, MosaicColoursComeOutAsSrgb) {
  // Linear values v / 4095 through the sRGB curve: 0.2 -> 124, 0.5 -> 188, 0.1 -> 89.
  const struct {
    uint16_t r, g, b;
    uint8_t expected[3];
  } cases[] = {{820, 820, 820, {124, 124, 124}}, {2048, 820, 410, {188, 124, 89}}, {410, 2048, 820, {89, 188, 124}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r << "," << c.g << "," << c.b);
    TestDng spec;
    spec.red = c.r, spec.green = c.g, spec.blue = c.b;
    formats::DecodedPicture pic;
    Bytes dng = MakeTestDng(spec);
    ASSERT_TRUE(formats::DecodeRawFull(dng.data(), dng.size(), pic));
    image::TexturePtr t(formats::PictureToTexture(pic, false));
    ASSERT_TRUE(t);
    // Away from the edges, where demosaicing has all neighbours.
    for (auto [x, y] : {std::pair{64, 48}, std::pair{20, 30}, std::pair{101, 77}})
      ExpectNear(t.get(), x, y, c.expected, 10);
  }
}

// The first bytes of RAW kinds told by their signature alone.
const std::pair<const char*, Bytes> kRawHeads[] = {
    {"CR2", {'I', 'I', 42, 0, 16, 0, 0, 0, 'C', 'R', 2, 0}},
    {"ORF", {'I', 'I', 'R', 'O', 8, 0, 0, 0}},
    {"RW2", {'I', 'I', 'U', 0, 8, 0, 0, 0}},
    {"RAF", {'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M', 'C', 'C', 'D', '-', 'R', 'A', 'W', ' '}},
    {"CR3", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'c', 'r', 'x', ' '}},
};

// The TIFF-shaped kinds by their first directory: SHORT tags and an optional maker's name.
Bytes TiffWith(std::vector<std::pair<uint16_t, uint32_t>> shorts, const char* make) {
  Bytes b = {'I', 'I', 42, 0, 8, 0, 0, 0};
  PutLe16(b, static_cast<uint16_t>(shorts.size() + (make ? 1 : 0)));
  for (auto [tag, value] : shorts) PutLe16(b, tag), PutLe16(b, 3), PutLe32(b, 1), PutLe32(b, value);
  if (make)
    PutLe16(b, 0x010F), PutLe16(b, 2), PutLe32(b, static_cast<uint32_t>(std::strlen(make) + 1)), PutLe32(b, 200);
  PutLe32(b, 0);
  b.resize(200, 0);
  if (make) b.insert(b.end(), make, make + std::strlen(make) + 1);
  return b;
}

TEST_F(RawDecoderTest, TypeDetectionNamesRawAndKeepsTiff) {
  std::string dng = Write("a.dng", MakeTestDng(TestDng{})),
              tif = Write("a.tif", EncodeTiff(5, 3, 3, Bytes(45, 7), COMPRESSION_NONE));
  EXPECT_EQ(formats::GetDataTypeName(dng.c_str()).name, "RAW");
  EXPECT_EQ(formats::GetDataTypeName(dng.c_str()).group, formats::kGroupPicture);
  EXPECT_EQ(formats::GetDataTypeName(tif.c_str()).name, "TIFF");

  std::vector<std::tuple<const char*, Bytes, const char*>> cases = {
      {"CFA", TiffWith({{256, 8}, {262, 32803}}, nullptr), "RAW"},
      {"NEF", TiffWith({{254, 1}, {256, 160}}, "NIKON CORPORATION"), "RAW"},
      {"PEF", TiffWith({{259, 65535}}, "PENTAX"), "RAW"},
      {"camera TIFF", TiffWith({{256, 8}, {262, 2}}, "NIKON CORPORATION"), "TIFF"},
      {"scanner TIFF", TiffWith({{254, 1}, {262, 2}}, "Scanners Inc."), "TIFF"},
      {"HEIF", {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}, nullptr},
  };
  for (const auto& [what, head] : kRawHeads) cases.emplace_back(what, head, "RAW");
  for (auto& [what, head, type] : cases) {
    SCOPED_TRACE(what);
    head.resize(std::max<size_t>(head.size(), 256), 0);
    const formats::Decoder* d = formats::FindDecoder(head.data(), head.size());
    if (!type) {
      EXPECT_TRUE(!d || std::strcmp(d->typeName, "RAW") != 0);
    } else {
      ASSERT_TRUE(d);
      EXPECT_STREQ(d->typeName, type);
    }
  }
}

TEST_F(RawDecoderTest, HostileFilesFailCleanly) {
  Bytes dng = MakeTestDng(TestDng{});
  // The mosaic's directory claiming 60000 x 60000 samples in a file of a few kilobytes.
  Bytes lying = dng;
  for (auto [tag, value] : {std::pair<uint8_t, uint8_t>{0, 128}, std::pair<uint8_t, uint8_t>{1, 96}}) {
    const uint8_t entry[] = {tag, 1, 4, 0, 1, 0, 0, 0, value, 0, 0, 0};
    auto at = std::search(lying.begin(), lying.end(), std::begin(entry), std::end(entry));
    ASSERT_NE(at, lying.end());
    at[8] = 0x60, at[9] = 0xEA;
  }
  TestDng unknown;  // a mosaic that neither a maker's name nor DNG tags describe
  unknown.dngVersion = false, unknown.previewWidth = 0, unknown.make = "";
  std::vector<std::pair<std::string, Bytes>> cases = {
      {"unknown maker", MakeTestDng(unknown)},
      {"lying size", lying},
      {"DNG cut in the header", Bytes(dng.begin(), dng.begin() + 200)},
      {"DNG cut in the directory", Bytes(dng.begin(), dng.begin() + 300)},
  };
  for (const auto& [what, head] : kRawHeads) {  // each signature followed by noise
    Bytes file = head;
    uint32_t seed = 12345;
    for (int i = 0; i < 20000; ++i) file.push_back(static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 24));
    cases.emplace_back(std::string(what) + " header, noise", file);
  }
  for (const auto& [what, file] : cases) {
    SCOPED_TRACE(what);
    formats::DecodedPicture pic;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(formats::DecodeRaw(file.data(), file.size(), pic));
    EXPECT_FALSE(formats::DecodeRawFull(file.data(), file.size(), pic));
    EXPECT_FALSE(pic.pixels);
    EXPECT_FALSE(Load("bad.raw", file));
    std::string said = testing::internal::GetCapturedStdout();
    EXPECT_NE(said.find("Error in datatype"), std::string::npos) << said;
  }
}

// Damaged DNGs decode to a whole picture or to nothing: every cut, and one with two bytes of the
// first directory changed (found by fuzzing), with which LibRaw takes the preview for a bitmap
// layout whose reader writes past its buffer (seen under AddressSanitizer).
TEST_F(RawDecoderTest, DamagedDngsGiveWholePicturesOrNothing) {
  const Bytes dng = MakeTestDng(TestDng{});
  std::vector<Bytes> files;
  for (size_t cut = 8; cut < dng.size(); cut += dng.size() / 23) files.emplace_back(dng.begin(), dng.begin() + cut);
  TestDng spec;
  spec.width = 32, spec.height = 24, spec.previewWidth = 16, spec.previewHeight = 12;
  Bytes fuzzed = MakeTestDng(spec);
  ASSERT_EQ(fuzzed.size(), 2765u);
  fuzzed[65] = 0xE9, fuzzed[151] = 0x92;
  files.push_back(fuzzed);
  for (const Bytes& file : files) {
    SCOPED_TRACE(testing::Message() << file.size() << " bytes");
    const bool isFuzzed = &file == &files.back();
    testing::internal::CaptureStdout();
    for (auto decode : {formats::DecodeRaw, formats::DecodeRawFull}) {
      formats::DecodedPicture pic;
      if (decode(file.data(), file.size(), pic)) {
        EXPECT_EQ(pic.pixels->width, pic.width);
        EXPECT_FALSE(isFuzzed && pic.preview) << "the overrunning thumbnail layout was read";
      }
    }
    testing::internal::GetCapturedStdout();
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

TEST_F(RawDecoderTest, HeadlessFrontEndWorksOnTheFullPicture) {
  TestDng spec;
  spec.orientation = 6;
  std::string out, dng = Write("a.dng", MakeTestDng(spec));
  EXPECT_EQ(RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(dng) +
                           " --exec ImageWidth --exec ImageHeight",
                       out),
            0)
      << out;
  for (const char* line : {"Width: 96", "Height: 128", "Format: RAW", "RC 96\n", "RC 128\n"})
    EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
}

}  // namespace
}  // namespace vl::test
