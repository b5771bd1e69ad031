// Lossless JPEG transformation: output sizes with and without trimming, pixels against a
// decode-and-turn of the original, marker copying, error texts, and the in-place Execute.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "formats/jpeg_transform.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct Rgb {
  int width = 0, height = 0;
  std::vector<uint8_t> px;  // RGB
  uint8_t at(int x, int y, int c) const { return px[(static_cast<size_t>(y) * width + x) * 3 + c]; }
};

// A smooth, asymmetric picture (so every turn and flip looks different).
Rgb Pattern(int w, int h) {
  Rgb img{w, h, std::vector<uint8_t>(static_cast<size_t>(w) * h * 3)};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = &img.px[(static_cast<size_t>(y) * w + x) * 3];
      p[0] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
      p[1] = static_cast<uint8_t>(y * 255 / std::max(1, h - 1));
      p[2] = static_cast<uint8_t>(((x / 8 + y / 16) % 2) * 160 + 40);
    }
  return img;
}

std::vector<uint8_t> Compress(const Rgb& img, int subsamp) {
  tjhandle tj = tjInitCompress();
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  int rc =
      tjCompress2(tj, img.px.data(), img.width, 0, img.height, TJPF_RGB, &buf, &size, subsamp, 95, TJFLAG_ACCURATEDCT);
  std::vector<uint8_t> out;
  if (rc == 0) out.assign(buf, buf + size);
  tjFree(buf);
  tjDestroy(tj);
  return out;
}

bool Header(const std::vector<uint8_t>& jpeg, int& w, int& h) {
  tjhandle tj = tjInitDecompress();
  int ss = 0, cs = 0;
  int rc = tjDecompressHeader3(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), &w, &h, &ss, &cs);
  tjDestroy(tj);
  return rc == 0;
}

Rgb Decompress(const std::vector<uint8_t>& jpeg) {
  Rgb img;
  if (!Header(jpeg, img.width, img.height)) return img;
  img.px.resize(static_cast<size_t>(img.width) * img.height * 3);
  tjhandle tj = tjInitDecompress();
  if (tjDecompress2(tj, jpeg.data(), static_cast<unsigned long>(jpeg.size()), img.px.data(), img.width, 0, img.height,
                    TJPF_RGB, TJFLAG_ACCURATEDCT) != 0)
    img = Rgb{};
  tjDestroy(tj);
  return img;
}

// The expected picture: the original turned or flipped in the pixel domain.
Rgb Turn(const Rgb& src, int code) {
  const bool swap = code == kTransformRotate90 || code == kTransformRotate270;
  Rgb out{swap ? src.height : src.width, swap ? src.width : src.height, {}};
  out.px.resize(src.px.size());
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x) {
      int sx = x, sy = y;
      switch (code) {
        case kTransformRotate90: sx = y, sy = src.height - 1 - x; break;
        case kTransformRotate180: sx = src.width - 1 - x, sy = src.height - 1 - y; break;
        case kTransformRotate270: sx = src.width - 1 - y, sy = x; break;
        case kTransformFlipHorizontal: sx = src.width - 1 - x; break;
        case kTransformFlipVertical: sy = src.height - 1 - y; break;
        default: break;
      }
      for (int c = 0; c < 3; ++c) out.px[(static_cast<size_t>(y) * out.width + x) * 3 + c] = src.at(sx, sy, c);
    }
  return out;
}

int MaxDifference(const Rgb& a, const Rgb& b) {
  if (a.width != b.width || a.height != b.height || a.px.size() != b.px.size()) return 1000;
  int worst = 0;
  for (size_t i = 0; i < a.px.size(); ++i) worst = std::max(worst, std::abs(int(a.px[i]) - int(b.px[i])));
  return worst;
}

// Inserts an APP1 "Exif" segment right after the SOI marker.
std::vector<uint8_t> WithExif(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& segment) {
  std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0, 0x12, 0x34, 0x56};
  const size_t len = payload.size() + 2;
  segment = {0xFF, 0xE1, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len & 0xFF)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

bool Contains(const std::vector<uint8_t>& hay, const std::vector<uint8_t>& needle) {
  return std::search(hay.begin(), hay.end(), needle.begin(), needle.end()) != hay.end();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

int Transform(const std::string& src, const std::string& dst, int flip, int rotate, bool trim) {
  return JpegTransform(src.c_str(), dst.c_str(), kTransformCopyAll, true, false, flip, rotate, trim);
}

// ---- sizes and trimming --------------------------------------------------------------

TEST(JpegTransformTrim, RotatingA1000x750Picture) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), Compress(Pattern(1000, 750), TJSAMP_420)));
  int w = 0, h = 0;

  ASSERT_EQ(Transform(dir.file("a.jpg"), dir.file("trim.jpg"), kTransformNone, kTransformRotate90, true), 0)
      << GetTransformError();
  ASSERT_TRUE(Header(ReadFile(dir.file("trim.jpg")), w, h));
  EXPECT_EQ(w, 736);  // 750 cut to 46 whole 16-pixel MCUs
  EXPECT_EQ(h, 1000);

  ASSERT_EQ(Transform(dir.file("a.jpg"), dir.file("full.jpg"), kTransformNone, kTransformRotate90, false), 0);
  ASSERT_TRUE(Header(ReadFile(dir.file("full.jpg")), w, h));
  EXPECT_EQ(w, 750);
  EXPECT_EQ(h, 1000);
}

struct TrimCase {
  int flip, rotate;
  int width, height;  // of the trimmed result of a 1000 x 750 4:2:0 picture
};

class JpegTransformTrimTable : public ::testing::TestWithParam<TrimCase> {};

TEST_P(JpegTransformTrimTable, CutsOnlyTheEdgesThatMove) {
  const TrimCase& c = GetParam();
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), Compress(Pattern(1000, 750), TJSAMP_420)));
  ASSERT_EQ(Transform(dir.file("a.jpg"), dir.file("b.jpg"), c.flip, c.rotate, true), 0) << GetTransformError();
  int w = 0, h = 0;
  ASSERT_TRUE(Header(ReadFile(dir.file("b.jpg")), w, h));
  EXPECT_EQ(w, c.width);
  EXPECT_EQ(h, c.height);
}

INSTANTIATE_TEST_SUITE_P(AllTransforms, JpegTransformTrimTable,
                         ::testing::Values(TrimCase{kTransformFlipHorizontal, kTransformNone, 992, 750},
                                           TrimCase{kTransformFlipVertical, kTransformNone, 1000, 736},
                                           TrimCase{kTransformNone, kTransformRotate90, 736, 1000},
                                           TrimCase{kTransformNone, kTransformRotate180, 992, 736},
                                           TrimCase{kTransformNone, kTransformRotate270, 750, 992}));

TEST(JpegTransformTrim, APictureSmallerThanOneMcuIsNeverCut) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), Compress(Pattern(10, 12), TJSAMP_420)));
  ASSERT_EQ(Transform(dir.file("a.jpg"), dir.file("b.jpg"), kTransformNone, kTransformRotate180, true), 0);
  int w = 0, h = 0;
  ASSERT_TRUE(Header(ReadFile(dir.file("b.jpg")), w, h));
  EXPECT_EQ(w, 10);
  EXPECT_EQ(h, 12);
}

// ---- pixels ----------------------------------------------------------------------------

class JpegTransformPixels : public ::testing::TestWithParam<int> {};

TEST_P(JpegTransformPixels, MatchADecodedAndTurnedOriginal) {
  const int code = GetParam();
  const bool isFlip = code == kTransformFlipHorizontal || code == kTransformFlipVertical;
  TempDir dir;
  // Whole MCUs in both directions (4:4:4, 8 x 8), so nothing stays behind.
  const std::vector<uint8_t> jpeg = Compress(Pattern(64, 40), TJSAMP_444);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  ASSERT_EQ(Transform(dir.file("a.jpg"), dir.file("b.jpg"), isFlip ? code : kTransformNone,
                      isFlip ? kTransformNone : code, false),
            0);
  const Rgb original = Decompress(jpeg);
  const Rgb turned = Decompress(ReadFile(dir.file("b.jpg")));
  ASSERT_GT(turned.width, 0);
  // Only the rounding of the inverse DCT may differ.
  EXPECT_LE(MaxDifference(turned, Turn(original, code)), 2);
  // And the comparison tells turns apart: the untransformed picture is far off (for the
  // quarter turns the sizes already differ).
  EXPECT_GT(MaxDifference(turned, original), 50);
}

INSTANTIATE_TEST_SUITE_P(EveryChoice, JpegTransformPixels,
                         ::testing::Values(kTransformRotate90, kTransformRotate180, kTransformRotate270,
                                           kTransformFlipHorizontal, kTransformFlipVertical));

TEST(JpegTransformPixels, FlipAndRotateTogetherKeepTheFlipAndSaySo) {
  TempDir dir;
  const std::vector<uint8_t> jpeg = Compress(Pattern(64, 40), TJSAMP_444);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  testing::internal::CaptureStdout();
  int rc = Transform(dir.file("a.jpg"), dir.file("b.jpg"), kTransformFlipHorizontal, kTransformRotate90, false);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "new:8, was:5\n");
  ASSERT_EQ(rc, 0);
  EXPECT_LE(MaxDifference(Decompress(ReadFile(dir.file("b.jpg"))), Turn(Decompress(jpeg), kTransformFlipHorizontal)),
            2);
}

TEST(JpegTransformPixels, NoneCopiesThePicture) {
  TempDir dir;
  const std::vector<uint8_t> jpeg = Compress(Pattern(48, 32), TJSAMP_420);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  ASSERT_EQ(Transform(dir.file("a.jpg"), dir.file("b.jpg"), kTransformNone, kTransformNone, true), 0);
  EXPECT_EQ(MaxDifference(Decompress(ReadFile(dir.file("b.jpg"))), Decompress(jpeg)), 0);
}

// ---- markers ---------------------------------------------------------------------------

TEST(JpegTransformMarkers, ExifAndCommentsReachTheOutputWhateverTheCopyOption) {
  TempDir dir;
  std::vector<uint8_t> exif;
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), WithExif(Compress(Pattern(32, 32), TJSAMP_420), exif)));
  for (int option : {0, kTransformCopyComments, kTransformCopyAll}) {
    ASSERT_EQ(JpegTransform(dir.file("a.jpg").c_str(), dir.file("b.jpg").c_str(), option, true, false, kTransformNone,
                            kTransformRotate90, false),
              0);
    const std::vector<uint8_t> out = ReadFile(dir.file("b.jpg"));
    EXPECT_TRUE(Contains(out, exif)) << "copy option " << option;
    // Still in front of the picture data.
    const std::vector<uint8_t> sos = {0xFF, 0xDA};
    EXPECT_LT(std::search(out.begin(), out.end(), exif.begin(), exif.end()),
              std::search(out.begin(), out.end(), sos.begin(), sos.end()));
  }
}

// ---- failures --------------------------------------------------------------------------

TEST(JpegTransformErrors, AMissingSourceGivesTheReadingText) {
  TempDir dir;
  const std::string src = dir.file("missing.jpg");
  EXPECT_EQ(Transform(src, dir.file("b.jpg"), kTransformNone, kTransformRotate90, false), 1);
  EXPECT_EQ(GetTransformError(), "Can't open file " + src + " for reading.\n");
  EXPECT_FALSE(Exists(dir.file("b.jpg")));
}

TEST(JpegTransformErrors, AnUnwritableDestinationGivesTheWritingText) {
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), Compress(Pattern(16, 16), TJSAMP_444)));
  const std::string dst = dir.file("no/such/dir/b.jpg");
  testing::internal::CaptureStdout();
  EXPECT_EQ(Transform(dir.file("a.jpg"), dst, kTransformNone, kTransformRotate90, false), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "can't open " + dst + "\n");
  EXPECT_EQ(GetTransformError(), "Can't open file " + dst + " for writing.\n");
}

TEST(JpegTransformErrors, BrokenSourcesFailAndLeaveAnExistingDestinationAlone) {
  TempDir dir;
  const std::vector<uint8_t> good = Compress(Pattern(64, 64), TJSAMP_420);
  ASSERT_TRUE(WriteFile(dir.file("b.jpg"), std::string("old contents")));
  // Not a JPEG, an empty file, a header only, and a file cut in its scan data (the codec
  // only warns about that one, and a warning counts as failure).
  const std::vector<std::vector<uint8_t>> broken = {
      {'G', 'I', 'F', '8', '9', 'a', 0, 0},
      {},
      std::vector<uint8_t>(good.begin(), good.begin() + 200),
      std::vector<uint8_t>(good.begin(), good.begin() + good.size() * 2 / 3),
  };
  for (size_t i = 0; i < broken.size(); ++i) {
    ASSERT_TRUE(WriteFile(dir.file("a.jpg"), broken[i]));
    EXPECT_EQ(Transform(dir.file("a.jpg"), dir.file("b.jpg"), kTransformNone, kTransformRotate90, false), 1)
        << "case " << i;
    EXPECT_FALSE(GetTransformError().empty()) << "case " << i;
    const std::vector<uint8_t> kept = ReadFile(dir.file("b.jpg"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "old contents") << "case " << i;
  }
}

TEST(JpegTransformErrors, AHeaderClaimingAHugePictureIsRefused) {
  TempDir dir;
  std::vector<uint8_t> jpeg = Compress(Pattern(16, 16), TJSAMP_444);
  // Patch the frame header (FF C0, length, precision, height, width) to 60000 x 60000.
  for (size_t i = 0; i + 9 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 5] = jpeg[i + 7] = 60000 >> 8;
      jpeg[i + 6] = jpeg[i + 8] = 60000 & 0xFF;
      break;
    }
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  EXPECT_EQ(Transform(dir.file("a.jpg"), dir.file("b.jpg"), kTransformNone, kTransformRotate90, false), 1);
  EXPECT_FALSE(Exists(dir.file("b.jpg")));
}

// ---- the Execute routine ---------------------------------------------------------------

TEST(JpegTransformExecute, NoneChangesNothingOnDisk) {
  TempDir dir;
  const std::vector<uint8_t> jpeg = Compress(Pattern(32, 16), TJSAMP_420);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  std::string error;
  int calls = 0;
  EXPECT_TRUE(ExecuteJpegTransform(
      dir.file("a.jpg"), dir.file("a.jpg"), JpegTransformation::kNone, true, [&](bool) { ++calls; }, error));
  EXPECT_TRUE(
      ExecuteJpegTransform(dir.file("a.jpg"), dir.file("other.jpg"), JpegTransformation::kNone, true, nullptr, error));
  EXPECT_EQ(ReadFile(dir.file("a.jpg")), jpeg);
  EXPECT_FALSE(Exists(dir.file("other.jpg")));
  EXPECT_FALSE(Exists(dir.file("a.jpg.VLTemp")));
  EXPECT_EQ(calls, 0);
}

TEST(JpegTransformExecute, InPlaceReplacesTheSourceAndKeepsItsExif) {
  TempDir dir;
  std::vector<uint8_t> exif;
  const std::vector<uint8_t> jpeg = WithExif(Compress(Pattern(64, 40), TJSAMP_444), exif);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  ASSERT_EQ(::chmod(dir.file("a.jpg").c_str(), 0640), 0);
  std::vector<bool> notes;
  std::string error;
  // A second spelling of the same file counts as in place too.
  ASSERT_TRUE(ExecuteJpegTransform(
      dir.file("a.jpg"), dir.path() + "/./a.jpg", JpegTransformation::kRotate90, false,
      [&](bool after) { notes.push_back(after); }, error))
      << error;
  EXPECT_EQ(notes, (std::vector<bool>{false, true}));
  EXPECT_FALSE(Exists(dir.file("a.jpg.VLTemp")));
  const std::vector<uint8_t> now = ReadFile(dir.file("a.jpg"));
  EXPECT_TRUE(Contains(now, exif));
  const Rgb turned = Decompress(now);
  EXPECT_EQ(turned.width, 40);
  EXPECT_LE(MaxDifference(turned, Turn(Decompress(jpeg), kTransformRotate90)), 2);
  struct stat st;
  ASSERT_EQ(::stat(dir.file("a.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(JpegTransformExecute, AFailedInPlaceTransformLeavesTheSourceAndNoTemporary) {
  TempDir dir;
  const std::vector<uint8_t> good = Compress(Pattern(64, 64), TJSAMP_420);
  const std::vector<uint8_t> cut(good.begin(), good.begin() + good.size() / 2);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), cut));
  std::string error;
  int calls = 0;
  EXPECT_FALSE(ExecuteJpegTransform(
      dir.file("a.jpg"), dir.file("a.jpg"), JpegTransformation::kFlipVertical, true, [&](bool) { ++calls; }, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadFile(dir.file("a.jpg")), cut);
  EXPECT_FALSE(Exists(dir.file("a.jpg.VLTemp")));
  EXPECT_EQ(calls, 0);
}

TEST(JpegTransformExecute, ToAnotherFileLeavesTheSource) {
  TempDir dir;
  const std::vector<uint8_t> jpeg = Compress(Pattern(32, 48), TJSAMP_420);
  ASSERT_TRUE(WriteFile(dir.file("a.jpg"), jpeg));
  std::string error;
  ASSERT_TRUE(
      ExecuteJpegTransform(dir.file("a.jpg"), dir.file("b.jpg"), JpegTransformation::kRotate270, true, nullptr, error));
  EXPECT_EQ(ReadFile(dir.file("a.jpg")), jpeg);
  int w = 0, h = 0;
  ASSERT_TRUE(Header(ReadFile(dir.file("b.jpg")), w, h));
  EXPECT_EQ(w, 48);
  EXPECT_EQ(h, 32);
  EXPECT_FALSE(Exists(dir.file("a.jpg.VLTemp")));
  EXPECT_FALSE(Exists(dir.file("b.jpg.VLTemp")));
}

TEST(JpegTransformExecute, AMissingSourceReportsTheCodecText) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(ExecuteJpegTransform(dir.file("a.jpg"), dir.file("a.jpg"), JpegTransformation::kRotate180, false,
                                    nullptr, error));
  EXPECT_EQ(error, "Can't open file " + dir.file("a.jpg") + " for reading.\n");
  EXPECT_FALSE(Exists(dir.file("a.jpg.VLTemp")));
}

}  // namespace
}  // namespace vl::formats
