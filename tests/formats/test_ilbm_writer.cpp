#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "formats/iff_writer.h"
#include "formats/ilbm_writer.h"
#include "formats/loader.h"
#include "image/chunky.h"
#include "savers_test_util.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::DecodeIlbm;
using test::FindChunk;
using test::ParseForm;

std::vector<uint8_t> Pack(const std::vector<uint8_t>& row) {
  std::vector<uint8_t> out(MaxPackedSize(row.size()));  // exactly the promised room
  size_t n = PackRow(row.data(), out.data(), row.size());
  EXPECT_LE(n, MaxPackedSize(row.size()));
  out.resize(n);
  return out;
}

std::vector<uint8_t> Unpack(const std::vector<uint8_t>& packed, size_t rowBytes) {
  std::vector<uint8_t> out(rowBytes);
  const uint8_t* p = packed.data();
  if (!test::UnpackRow(p, packed.data() + packed.size(), out.data(), rowBytes)) return {};
  if (p != packed.data() + packed.size()) return {};
  return out;
}

std::vector<uint8_t> Bytes(std::initializer_list<int> v) {
  std::vector<uint8_t> out;
  for (int x : v) out.push_back(static_cast<uint8_t>(x));
  return out;
}

// ---------------------------------------------------------------------------------------
// ByteRun1 on hand-made rows

TEST(IlbmByteRun1, DistinctBytesFormOneLiteralRun) {
  EXPECT_EQ(Pack(Bytes({10, 20, 30, 40, 50})), Bytes({4, 10, 20, 30, 40, 50}));
  EXPECT_EQ(Pack(Bytes({7})), Bytes({0, 7}));
}

TEST(IlbmByteRun1, TwoEqualBytesInsideALiteralStayLiteral) {
  EXPECT_EQ(Pack(Bytes({1, 2, 2, 3})), Bytes({3, 1, 2, 2, 3}));
  EXPECT_EQ(Pack(Bytes({1, 2, 2, 3, 3, 4})), Bytes({5, 1, 2, 2, 3, 3, 4}));
}

TEST(IlbmByteRun1, TwoEqualBytesAtTheStartOfThePendingBytesBecomeARun) {
  // No literal is pending, so the pair costs no more as a run.
  EXPECT_EQ(Pack(Bytes({9, 9, 1, 2})), Bytes({0xFF, 9, 1, 1, 2}));
  EXPECT_EQ(Pack(Bytes({9, 9})), Bytes({0xFF, 9}));
}

TEST(IlbmByteRun1, ThreeEqualBytesEndTheLiteralBeforeThem) {
  EXPECT_EQ(Pack(Bytes({1, 2, 5, 5, 5, 3})), Bytes({1, 1, 2, 0xFE, 5, 0, 3}));
  EXPECT_EQ(Pack(Bytes({1, 5, 5, 5, 5})), Bytes({0, 1, 0xFD, 5}));
}

TEST(IlbmByteRun1, ReplicateRunsHoldAtMost128Bytes) {
  EXPECT_EQ(Pack(std::vector<uint8_t>(128, 0xAB)), Bytes({0x81, 0xAB}));
  // 129: a full run, then the last byte alone as a literal.
  EXPECT_EQ(Pack(std::vector<uint8_t>(129, 0xAB)), Bytes({0x81, 0xAB, 0x00, 0xAB}));
  // 130: a full run and a run of two.
  EXPECT_EQ(Pack(std::vector<uint8_t>(130, 0xAB)), Bytes({0x81, 0xAB, 0xFF, 0xAB}));
  EXPECT_EQ(Pack(std::vector<uint8_t>(300, 0)), Bytes({0x81, 0, 0x81, 0, 0xD5, 0}));
}

TEST(IlbmByteRun1, LiteralRunsHoldAtMost128Bytes) {
  std::vector<uint8_t> row(129);
  for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> packed = Pack(row);
  ASSERT_EQ(packed.size(), 131u);
  EXPECT_EQ(packed[0], 127);
  EXPECT_TRUE(std::equal(row.begin(), row.begin() + 128, packed.begin() + 1));
  EXPECT_EQ(packed[129], 0);
  EXPECT_EQ(packed[130], 128);
  std::vector<uint8_t> exactly128 = Pack(std::vector<uint8_t>(row.begin(), row.begin() + 128));
  ASSERT_EQ(exactly128.size(), 129u);
  EXPECT_EQ(exactly128[0], 127);
}

TEST(IlbmByteRun1, RandomRowsRoundTripAndKeepTheRunRules) {
  uint32_t s = 12345;
  auto next = [&] {
    s ^= s << 13, s ^= s >> 17, s ^= s << 5;
    return s;
  };
  for (int trial = 0; trial < 400; ++trial) {
    size_t n = 1 + next() % 700;
    std::vector<uint8_t> row;
    while (row.size() < n) {
      // Mix of short and long stretches of equal bytes, values from a small alphabet.
      size_t len = (next() % 4 == 0) ? 1 + next() % 200 : 1 + next() % 3;
      uint8_t v = static_cast<uint8_t>(next() % 4);
      for (size_t i = 0; i < len && row.size() < n; ++i) row.push_back(v);
    }
    std::vector<uint8_t> packed = Pack(row);
    ASSERT_EQ(Unpack(packed, n), row) << "trial " << trial;
    // A literal never holds three equal bytes in a row, and replicate runs are 2..128.
    size_t i = 0;
    while (i < packed.size()) {
      int8_t c = static_cast<int8_t>(packed[i++]);
      if (c >= 0) {
        for (int k = 2; k <= c; ++k) {
          ASSERT_FALSE(packed[i + k] == packed[i + k - 1] && packed[i + k] == packed[i + k - 2])
              << "three equal bytes inside a literal, trial " << trial;
        }
        i += static_cast<size_t>(c) + 1;
      } else {
        ASSERT_NE(c, -128);
        ++i;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------
// Sizes and the bitmap header

TEST(IlbmLayout, RowBytesPadTheWidthToSixteenPixels) {
  EXPECT_EQ(IlbmRowBytes(1), 2u);
  EXPECT_EQ(IlbmRowBytes(16), 2u);
  EXPECT_EQ(IlbmRowBytes(17), 4u);
  EXPECT_EQ(IlbmRowBytes(32), 4u);
  EXPECT_EQ(IlbmRowBytes(33), 6u);
  EXPECT_EQ(IlbmRowBytes(65535), 8192u);
  EXPECT_EQ(IlbmRowBytes(0), 0u);
}

TEST(IlbmLayout, BitMapHeaderFields) {
  uint8_t h[20];
  std::memset(h, 0xCC, sizeof h);
  MakeBitMapHeader(0x1234, 0x0A0B, h);
  EXPECT_EQ(test::BE16(h + 0), 0x1234u);   // width
  EXPECT_EQ(test::BE16(h + 2), 0x0A0Bu);   // height
  EXPECT_EQ(test::BE16(h + 4), 0u);        // x position
  EXPECT_EQ(test::BE16(h + 6), 0u);        // y position
  EXPECT_EQ(h[8], 24);                     // planes
  EXPECT_EQ(h[9], 0);                      // masking
  EXPECT_EQ(h[10], 1);                     // compression
  EXPECT_EQ(h[11], 0);                     // pad
  EXPECT_EQ(test::BE16(h + 12), 0u);       // transparent colour
  EXPECT_EQ(h[14], 1);                     // x aspect
  EXPECT_EQ(h[15], 1);                     // y aspect
  EXPECT_EQ(test::BE16(h + 16), 0x1234u);  // page width
  EXPECT_EQ(test::BE16(h + 18), 0x0A0Bu);  // page height
}

// ---------------------------------------------------------------------------------------
// Whole files

class IlbmSave : public test::PoolTest {
 protected:
  test::TempDir dir_;

  image::ChunkyPtr Random(int w, int h, uint32_t format, uint32_t seed) {
    return image::ChunkyPtr(test::RandomImage(w, h, format, seed));
  }
  std::vector<uint8_t> RgbOf(const image::ChunkyImage* img) {
    std::vector<uint8_t> rgb(static_cast<size_t>(img->width) * img->height * 3);
    for (int y = 0; y < img->height; ++y)
      for (int x = 0; x < img->width; ++x) {
        uint8_t a = 0, r = 0, g = 0, b = 0;
        image::GetPixel(img, x, y, a, r, g, b);
        size_t i = (static_cast<size_t>(y) * img->width + x) * 3;
        rgb[i] = r, rgb[i + 1] = g, rgb[i + 2] = b;
      }
    return rgb;
  }
  // A path in the temporary directory whose length is odd or even as asked.
  std::string PathOfParity(bool odd) {
    std::string path = dir_.file("pic.iff");
    if ((path.size() % 2 == 1) != odd) path = dir_.file("pic2.iff");
    return path;
  }
  std::vector<std::string> DirEntries() {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path()))
      names.push_back(e.path().filename().string());
    return names;
  }
};

TEST_F(IlbmSave, FileHoldsFormNameBmhdBodyInOrder) {
  auto img = Random(300, 200, image::ARGB32, 1);
  std::string path = PathOfParity(true);  // the NAME chunk gets a pad byte
  ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  test::IffForm form = ParseForm(test::ReadFile(path));
  ASSERT_TRUE(form.ok) << form.error;
  EXPECT_EQ(form.type, "ILBM");
  ASSERT_EQ(form.chunks.size(), 3u);
  EXPECT_EQ(form.chunks[0].id, "NAME");
  EXPECT_EQ(form.chunks[1].id, "BMHD");
  EXPECT_EQ(form.chunks[2].id, "BODY");
  EXPECT_EQ(std::string(form.chunks[0].data.begin(), form.chunks[0].data.end()), path);
  ASSERT_EQ(form.chunks[1].data.size(), 20u);
  uint8_t expected[20];
  MakeBitMapHeader(300, 200, expected);
  EXPECT_TRUE(std::equal(expected, expected + 20, form.chunks[1].data.begin()));
}

TEST_F(IlbmSave, SavedFileOpensThroughTheLoader) {
  auto img = Random(37, 8, image::ARGB32, 6);
  std::string path = PathOfParity(true);
  ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  image::TexturePtr back(ReadPicture(path.c_str()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->formatName, "ILBM");
  ASSERT_EQ(back->chunky->width, 37);
  ASSERT_EQ(back->chunky->height, 8);
  EXPECT_EQ(RgbOf(back->chunky), RgbOf(img.get()));
}

TEST_F(IlbmSave, EvenNameHasNoPadByte) {
  auto img = Random(5, 5, image::ARGB32, 2);
  std::string path = PathOfParity(false);
  ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  test::IffForm form = ParseForm(test::ReadFile(path));
  ASSERT_TRUE(form.ok) << form.error;
  ASSERT_EQ(form.chunks.size(), 3u);
  EXPECT_EQ(form.chunks[1].offset, 12 + 8 + path.size());
}

TEST_F(IlbmSave, PixelsDecodeBackWithZeroPadBits) {
  for (int w : {1, 15, 16, 17, 37, 100}) {
    auto img = Random(w, 11, image::ARGB32, static_cast<uint32_t>(w));
    std::string path = dir_.file("w.iff");
    ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
    test::DecodedIlbm d = DecodeIlbm(test::ReadFile(path));
    ASSERT_TRUE(d.ok) << "width " << w << ": " << d.error;
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, 11);
    EXPECT_TRUE(d.padBitsZero) << "width " << w;
    EXPECT_EQ(d.rgb, RgbOf(img.get())) << "width " << w;
  }
}

TEST_F(IlbmSave, SeventeenPixelsWideUsesFourBytesPerPlaneRow) {
  // Opaque white: every image bit set, so each plane row is FF FF 80 00.
  image::ChunkyPtr img(image::chk_Create(17, 3, image::ARGB32, false));
  ASSERT_TRUE(img);
  image::Fill(img.get(), 255, 255, 255, 255);
  std::string path = dir_.file("w17.iff");
  ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  test::IffForm form = ParseForm(test::ReadFile(path));
  ASSERT_TRUE(form.ok) << form.error;
  const test::IffChunk* body = FindChunk(form, "BODY");
  ASSERT_TRUE(body);
  // Each of the 3 x 24 plane rows packs as a run of two FF and the literal 80 00.
  std::vector<uint8_t> expectedRow = Bytes({0xFF, 0xFF, 0x01, 0x80, 0x00});
  ASSERT_EQ(body->data.size(), expectedRow.size() * 24 * 3);
  for (size_t i = 0; i < 24 * 3; ++i)
    EXPECT_TRUE(std::equal(expectedRow.begin(), expectedRow.end(), body->data.begin() + i * expectedRow.size())) << i;
}

TEST_F(IlbmSave, SingleColourImagePacksToFullReplicateRuns) {
  // 2560 pixels: 320 bytes per plane row, so runs of 128, 128 and 64.
  image::ChunkyPtr img(image::chk_Create(2560, 4, image::ARGB32, false));
  ASSERT_TRUE(img);
  const uint8_t r = 0xA5, g = 0x0F, b = 0x80;
  image::Fill(img.get(), r, g, b, 255);
  std::string path = dir_.file("flat.iff");
  ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  test::IffForm form = ParseForm(test::ReadFile(path));
  ASSERT_TRUE(form.ok) << form.error;
  const test::IffChunk* body = FindChunk(form, "BODY");
  ASSERT_TRUE(body);
  ASSERT_EQ(body->data.size(), 6u * 24 * 4);
  const uint8_t channel[3] = {r, g, b};
  for (int y = 0; y < 4; ++y)
    for (int p = 0; p < 24; ++p) {
      uint8_t v = (channel[p / 8] >> (p % 8)) & 1 ? 0xFF : 0x00;
      std::vector<uint8_t> want = Bytes({0x81, v, 0x81, v, 0xC1, v});
      size_t at = static_cast<size_t>(y * 24 + p) * 6;
      EXPECT_TRUE(std::equal(want.begin(), want.end(), body->data.begin() + static_cast<long>(at)))
          << "row " << y << " plane " << p;
    }
}

TEST_F(IlbmSave, LargeBodyIsWholeAcrossStagingFlushes) {
  // A noisy picture packs to far more than the staging buffer holds.
  auto img = Random(333, 120, image::ARGB32, 77);
  std::string path = dir_.file("big.iff");
  ASSERT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  test::DecodedIlbm d = DecodeIlbm(test::ReadFile(path));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.rgb, RgbOf(img.get()));
}

TEST_F(IlbmSave, Rgb24WritesTheSameBytesAsArgb32) {
  auto argb = Random(41, 9, image::ARGB32, 5);
  image::ChunkyPtr rgb(image::chk_Create(41, 9, image::RGB24, false));
  ASSERT_TRUE(rgb);
  image::ConvertARGB32ToRGB24(argb->pixels, rgb->pixels, 41, 9);
  std::string a = dir_.file("a.iff"), b = dir_.file("b.iff");
  ASSERT_EQ(SaveILBM(argb.get(), a.c_str()), 1);
  ASSERT_EQ(SaveILBM(rgb.get(), b.c_str()), 1);
  test::IffForm fa = ParseForm(test::ReadFile(a)), fb = ParseForm(test::ReadFile(b));
  ASSERT_TRUE(fa.ok && fb.ok);
  ASSERT_EQ(fa.chunks.size(), 3u);
  ASSERT_EQ(fb.chunks.size(), 3u);
  EXPECT_EQ(fa.chunks[1].data, fb.chunks[1].data);
  EXPECT_EQ(fa.chunks[2].data, fb.chunks[2].data);
}

TEST_F(IlbmSave, TextureFormSavesItsImage) {
  image::TexturePtr tex(image::CreateTexture(8, 8, image::ARGB32));
  ASSERT_TRUE(tex);
  image::Fill(tex->chunky, 1, 2, 3, 255);
  std::string path = dir_.file("t.iff");
  ASSERT_EQ(SaveILBM(tex.get(), path.c_str()), 1);
  test::DecodedIlbm d = DecodeIlbm(test::ReadFile(path));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.rgb, RgbOf(tex->chunky));
  EXPECT_EQ(SaveILBM(static_cast<const image::Texture*>(nullptr), path.c_str()), 0);
}

TEST_F(IlbmSave, ImagesItCannotDescribeAreRefusedWithoutTouchingTheFile) {
  std::string path = dir_.file("keep.iff");
  const std::string oldText = "old contents";
  ASSERT_TRUE(test::WriteFile(path, oldText));
  image::ChunkyPtr grey(image::chk_Create(4, 4, image::GREY8, true));
  image::ChunkyPtr wide(image::chk_Create(65536, 1, image::ARGB32, true));
  image::ChunkyPtr tall(image::chk_Create(1, 65536, image::ARGB32, true));
  ASSERT_TRUE(grey && wide && tall);
  image::ChunkyImage noPixels{4, 4, nullptr, image::ARGB32};
  EXPECT_EQ(SaveILBM(grey.get(), path.c_str()), 0);
  EXPECT_EQ(SaveILBM(wide.get(), path.c_str()), 0);
  EXPECT_EQ(SaveILBM(tall.get(), path.c_str()), 0);
  EXPECT_EQ(SaveILBM(&noPixels, path.c_str()), 0);
  EXPECT_EQ(SaveILBM(static_cast<const image::ChunkyImage*>(nullptr), path.c_str()), 0);
  EXPECT_EQ(test::ReadFile(path), std::vector<uint8_t>(oldText.begin(), oldText.end()));
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"keep.iff"});
  // The widest image it can describe is written.
  image::ChunkyPtr widest(image::chk_Create(65535, 1, image::ARGB32, true));
  ASSERT_TRUE(widest);
  EXPECT_EQ(SaveILBM(widest.get(), path.c_str()), 1);
  test::DecodedIlbm d = DecodeIlbm(test::ReadFile(path));
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.width, 65535);
}

TEST_F(IlbmSave, UnopenableFileIsReported) {
  auto img = Random(4, 4, image::ARGB32, 3);
  std::string path = dir_.file("missing/dir/x.iff");
  testing::internal::CaptureStdout();
  int rc = SaveILBM(img.get(), path.c_str());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "failed to open file for save:" + path + "\n");
}

TEST_F(IlbmSave, FailedWriteLeavesTheOldFileAsItWas) {
  std::string path = dir_.file("old.iff");
  std::vector<uint8_t> old(3000, 0x5A);
  ASSERT_TRUE(test::WriteFile(path, old));
  auto img = Random(400, 300, image::ARGB32, 9);  // packs to far more than the limit
  int rc;
  std::string out;
  {
    test::FileSizeLimit limit(8192);
    ASSERT_TRUE(limit.active());
    testing::internal::CaptureStdout();
    rc = SaveILBM(img.get(), path.c_str());
    out = testing::internal::GetCapturedStdout();
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(test::ReadFile(path), old);
  EXPECT_EQ(DirEntries(), std::vector<std::string>{"old.iff"});
  // Without the limit the same save goes through.
  EXPECT_EQ(SaveILBM(img.get(), path.c_str()), 1);
  EXPECT_TRUE(DecodeIlbm(test::ReadFile(path)).ok);
}

// ---------------------------------------------------------------------------------------
// The IFF stream and its messages

TEST(IlbmStream, WriteILBMWithoutNameWritesNoNameChunk) {
  image::PoolScope pool;
  image::ChunkyPtr img(test::RandomImage(6, 2, image::ARGB32, 8));
  test::LimitedStream s(1 << 20);
  ASSERT_TRUE(s.file());
  IffHandle iff;
  InitIFFasFile(&iff, s.file());
  ASSERT_EQ(WriteILBM(&iff, img.get(), nullptr), 1);
  std::fflush(s.file());
  test::IffForm form = ParseForm(s.bytes());
  ASSERT_TRUE(form.ok) << form.error;
  ASSERT_EQ(form.chunks.size(), 2u);
  EXPECT_EQ(form.chunks[0].id, "BMHD");
  EXPECT_EQ(form.chunks[1].id, "BODY");
}

TEST(IlbmStream, FailedFormPushIsReported) {
  image::PoolScope pool;
  image::ChunkyPtr img(test::RandomImage(6, 2, image::ARGB32, 8));
  test::LimitedStream s(0);
  IffHandle iff;
  InitIFFasFile(&iff, s.file());
  testing::internal::CaptureStdout();
  int rc = WriteILBM(&iff, img.get(), "x");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "PutCk: PushChunk of FORM, error = -7, size = -1\n");
}

TEST(IlbmStream, ShortChunkWriteIsReported) {
  image::PoolScope pool;
  image::ChunkyPtr img(test::RandomImage(6, 2, image::ARGB32, 8));
  // FORM header (12) and NAME header (8) fit; 3 of the 8 name bytes do.
  test::LimitedStream s(23);
  IffHandle iff;
  InitIFFasFile(&iff, s.file());
  testing::internal::CaptureStdout();
  int rc = WriteILBM(&iff, img.get(), "abcdefgh");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out, "WriteChunkBytes error: size = 8, wrote 3\n");
}

TEST(IlbmStream, ShortBodyWriteIsReported) {
  image::PoolScope pool;
  image::ChunkyPtr img(test::RandomImage(200, 50, image::ARGB32, 8));
  test::LimitedStream s(12 + 8 + 20 + 8 + 500);  // fails inside the first BODY piece
  IffHandle iff;
  InitIFFasFile(&iff, s.file());
  testing::internal::CaptureStdout();
  int rc = WriteILBM(&iff, img.get(), nullptr);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out.rfind("WriteChunkBytes error: size = ", 0), 0u) << out;
  EXPECT_NE(out.find(", wrote 500\n"), std::string::npos) << out;
}

TEST(IffWriter, SizesArePatchedAndOddChunksPadded) {
  test::LimitedStream s(1 << 16);
  IffHandle iff;
  InitIFFasFile(&iff, s.file());
  ASSERT_EQ(OpenIFF(&iff), 0);
  ASSERT_EQ(PushChunk(&iff, MakeID('T', 'E', 'S', 'T'), ID_FORM, IFFSIZE_UNKNOWN), 0);
  ASSERT_EQ(PutCk(&iff, MakeID('A', 'A', 'A', 'A'), 3, "xyz"), 0);
  ASSERT_EQ(PushChunk(&iff, 0, MakeID('B', 'B', 'B', 'B'), IFFSIZE_UNKNOWN), 0);
  ASSERT_EQ(WriteChunkBytes(&iff, "12345", 5), 5);
  ASSERT_EQ(PopChunk(&iff), 0);
  ASSERT_EQ(PopChunk(&iff), 0);
  CloseIFF(&iff);
  std::fflush(s.file());
  std::vector<uint8_t> want = Bytes({'F', 'O', 'R', 'M', 0, 0, 0, 30, 'T', 'E', 'S', 'T',  //
                                     'A', 'A', 'A', 'A', 0, 0, 0, 3,  'x', 'y', 'z', 0,    //
                                     'B', 'B', 'B', 'B', 0, 0, 0, 5,  '1', '2', '3', '4', '5', 0});
  EXPECT_EQ(s.bytes(), want);
}

TEST(IffWriter, ChunkMisuseIsRefused) {
  test::LimitedStream s(1 << 16);
  IffHandle iff;
  InitIFFasFile(&iff, s.file());
  EXPECT_EQ(PushChunk(&iff, ID_ILBM, ID_FORM, IFFSIZE_UNKNOWN), IFFERR_NOTIFF);  // not opened
  ASSERT_EQ(OpenIFF(&iff), 0);
  EXPECT_EQ(PushChunk(&iff, 0, ID_BMHD, 20), IFFERR_NOTIFF);  // a plain chunk at top level
  EXPECT_EQ(WriteChunkBytes(&iff, "x", 1), IFFERR_SYNTAX);    // no chunk open
  EXPECT_EQ(PopChunk(&iff), IFFERR_SYNTAX);
  ASSERT_EQ(PushChunk(&iff, ID_ILBM, ID_FORM, IFFSIZE_UNKNOWN), 0);
  EXPECT_EQ(PushChunk(&iff, 0, ID_BMHD, -2), IFFERR_SYNTAX);
  EXPECT_EQ(PushChunk(&iff, 0, ID_BMHD, kIffMaxChunkSize + 1), IFFERR_SYNTAX);
  // A chunk of declared size takes no more than that, and must be filled.
  ASSERT_EQ(PushChunk(&iff, 0, ID_BMHD, 4), 0);
  EXPECT_EQ(WriteChunkBytes(&iff, "12345", 5), 0);
  EXPECT_EQ(WriteChunkBytes(&iff, "12", 2), 2);
  EXPECT_EQ(PopChunk(&iff), IFFERR_MANGLED);
  CloseIFF(&iff);
}

}  // namespace
}  // namespace vl::formats
