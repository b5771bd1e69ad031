// JPEG decodes and encodes on several threads at once: each call owns its codec context, so
// every result must be byte for byte the one the same call gives alone. One encode cut into
// bands on several threads must give the bytes of the plain one.
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "formats/decoders.h"
#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "formats/jpeg_encoder.h"
#include "formats/jpeg_transform.h"
#include "image/pool.h"
#include "platform/thread_pool.h"
#include "test_jpeg_files.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::Bytes;

// Everything one thread makes of its own pictures; "absent" results stay empty.
struct Results {
  Bytes argb;         // ReadJpeg
  Bytes rgb;          // ReadJpegForCache
  Bytes memory;       // DecodeJpeg on the file's bytes (the reader of other names)
  Bytes saved;        // SaveJPEG of the ARGB32 picture, read back as a file
  Bytes truncated;    // ReadJpeg of the first half of the file
  bool headerOnly{};  // ReadJpeg of the first 200 bytes gave a picture (a fatal codec error expected)
  bool operator==(const Results&) const = default;
};

Bytes PixelsOf(const image::Texture* t) {
  if (!t || !t->chunky || !t->chunky->pixels) return {};
  const image::ChunkyImage* c = t->chunky;
  const size_t n = static_cast<size_t>(c->width) * c->height * image::BytesPerPixel(c->format);
  return Bytes(c->pixels, c->pixels + n);
}

struct Picture {
  test::JpegParams params;
  std::string file, half, head, out;
};

Results RunAll(const Picture& p) {
  Results r;
  image::TexturePtr argb(ReadJpeg(p.file.c_str()));
  r.argb = PixelsOf(argb.get());
  image::TexturePtr rgb(ReadJpegForCache(p.file.c_str()));
  r.rgb = PixelsOf(rgb.get());
  const Bytes bytes = test::ReadFile(p.file);
  DecodedPicture decoded;
  if (DecodeJpeg(bytes.data(), bytes.size(), decoded) && decoded.pixels) {
    const image::ChunkyImage* c = decoded.pixels.get();
    r.memory.assign(c->pixels, c->pixels + static_cast<size_t>(c->width) * c->height * 4);
  }
  if (argb && SaveJPEG(argb->chunky, p.out.c_str(), 85, true, false) == 1) r.saved = test::ReadFile(p.out);
  image::TexturePtr half(ReadJpeg(p.half.c_str()));
  r.truncated = PixelsOf(half.get());
  image::TexturePtr head(ReadJpeg(p.head.c_str()));
  r.headerOnly = head != nullptr;
  return r;
}

class JpegThreadsTest : public test::PoolTest {
 protected:
  test::TempDir dir_;
};

TEST_F(JpegThreadsTest, SeparateCallsRunAtOnceWithTheResultsOfSequentialCalls) {
  struct Case {
    int width, height, components;
    J_COLOR_SPACE in;
    int samp;
    bool progressive;
  } cases[] = {
      {320, 240, 3, JCS_RGB, 2, false},
      {257, 130, 3, JCS_RGB, 1, true},
      {150, 101, 1, JCS_GRAYSCALE, 1, false},
      {120, 90, 4, JCS_CMYK, 1, false},
  };
  std::vector<Picture> pictures;
  int i = 0;
  for (const Case& c : cases) {
    Picture p;
    p.params.width = c.width;
    p.params.height = c.height;
    p.params.components = c.components;
    p.params.in = c.in;
    p.params.hSamp = p.params.vSamp = c.samp;
    p.params.progressive = c.progressive;
    p.params.quality = 90;
    const Bytes file = test::EncodeJpeg(p.params, test::Pattern(c.width, c.height, c.components));
    ASSERT_GT(file.size(), 400u);
    const std::string n = std::to_string(i++);
    p.file = dir_.file("p" + n + ".jpg");
    p.half = dir_.file("half" + n + ".jpg");
    p.head = dir_.file("head" + n + ".jpg");
    p.out = dir_.file("out" + n + ".jpg");
    ASSERT_TRUE(test::WriteFile(p.file, file));
    ASSERT_TRUE(test::WriteFile(p.half, Bytes(file.begin(), file.begin() + file.size() / 2)));
    ASSERT_TRUE(test::WriteFile(p.head, Bytes(file.begin(), file.begin() + 200)));
    pictures.push_back(p);
  }

  std::vector<Results> alone;
  for (const Picture& p : pictures) {
    alone.push_back(RunAll(p));
    const Results& r = alone.back();
    SCOPED_TRACE(p.file);
    EXPECT_EQ(r.argb.size(), static_cast<size_t>(p.params.width) * p.params.height * 4);
    EXPECT_EQ(r.rgb.size(), static_cast<size_t>(p.params.width) * p.params.height * 3);
    EXPECT_EQ(r.memory, r.argb);
    EXPECT_FALSE(r.saved.empty());
    EXPECT_FALSE(r.headerOnly);  // the codec's fatal error path ran
  }

  // Every thread works through its own picture several times; all start together.
  constexpr int kRounds = 3;
  std::vector<std::vector<Results>> together(pictures.size());
  std::latch start(static_cast<std::ptrdiff_t>(pictures.size()));
  std::vector<std::thread> threads;
  for (size_t t = 0; t < pictures.size(); ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int round = 0; round < kRounds; ++round) together[t].push_back(RunAll(pictures[t]));
    });
  }
  for (std::thread& th : threads) th.join();
  for (size_t t = 0; t < pictures.size(); ++t) {
    ASSERT_EQ(together[t].size(), static_cast<size_t>(kRounds));
    for (int round = 0; round < kRounds; ++round) {
      const Results& r = together[t][round];
      SCOPED_TRACE(::testing::Message() << pictures[t].file << " round " << round);
      EXPECT_EQ(r.argb, alone[t].argb);
      EXPECT_EQ(r.rgb, alone[t].rgb);
      EXPECT_EQ(r.memory, alone[t].memory);
      EXPECT_EQ(r.saved, alone[t].saved);
      EXPECT_EQ(r.truncated, alone[t].truncated);
      EXPECT_EQ(r.headerOnly, alone[t].headerOnly);
    }
  }
}

// The bytes EncodeJpeg writes with the given threads and band size; empty when it failed.
Bytes Encoded(const image::ChunkyImage* image, const JpegSettings& settings, const JpegSections& sections, int threads,
              int64_t bandPixels) {
  platform::ScopedThreadCount count(threads);
  std::FILE* f = std::tmpfile();
  if (!f) return {};
  Bytes out;
  if (EncodeJpeg(image, f, settings, sections, bandPixels)) {
    out.resize(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    if (std::fread(out.data(), 1, out.size(), f) != out.size()) out.clear();
  }
  std::fclose(f);
  return out;
}

// Smooth rows (long zero runs, end-of-block codes) above noise (every coefficient size).
image::ChunkyImage* HalfSmoothPicture(int w, int h, uint32_t format) {
  image::ChunkyImage* c = test::RandomImage(w, h, format, static_cast<uint32_t>(w * 31 + h));
  const size_t bpp = image::BytesPerPixel(format);
  for (int y = 0; y < h / 2; ++y)
    for (size_t i = 0; i < static_cast<size_t>(w) * bpp; ++i)
      c->pixels[static_cast<size_t>(y) * w * bpp + i] = static_cast<uint8_t>((i / bpp + static_cast<size_t>(y)) * 3);
  return c;
}

TEST_F(JpegThreadsTest, AnEncodeCutIntoBandsWritesThePlainBytes) {
  struct Case {
    int width, height;
    uint32_t format;
    int quality;
    bool optimize, noSubsampling;
  } cases[] = {
      {333, 250, image::ARGB32, 90, true, false}, {333, 250, image::ARGB32, 90, false, false},
      {1001, 77, image::ARGB32, 75, true, true},  {17, 41, image::RGB24, 100, true, false},
      {64, 64, image::RGB24, 10, false, true},    {130, 97, image::GREY8, 85, true, false},
      {99, 35, image::RGB565, 50, false, false},  {40, 129, image::ARGB4444, 95, true, true},
      {8, 300, image::ALPHA8, 90, true, false},
  };
  const std::vector<uint8_t> icc = test::SrgbIccProfile();
  JpegSections sections;
  sections.exif = test::MakeExifBlock(false, 1, "Band", false);
  sections.icc = &icc;
  for (const Case& c : cases) {
    image::ChunkyPtr picture(HalfSmoothPicture(c.width, c.height, c.format));
    ASSERT_TRUE(picture);
    JpegSettings settings;
    settings.quality = c.quality;
    settings.optimize = c.optimize;
    settings.noSubsampling = c.noSubsampling;
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " format " << c.format << " q" << c.quality
                                      << (c.optimize ? " optimised" : "") << (c.noSubsampling ? " 4:4:4" : ""));
    const Bytes plain = Encoded(picture.get(), settings, sections, 1, 1);
    ASSERT_GT(plain.size(), 200u);
    // One iMCU row per band, a few per band, and bands of uneven count for the threads.
    for (int threads : {2, 3})
      for (int64_t bandPixels : {int64_t{1}, int64_t{c.width} * 40})
        EXPECT_EQ(Encoded(picture.get(), settings, sections, threads, bandPixels), plain)
            << threads << " threads, " << bandPixels << " pixels per band";
  }
}

TEST_F(JpegThreadsTest, BandedEncodeFailuresAreCleanAndTheCoefficientStoreFallsBackToOneThread) {
  image::ChunkyPtr picture(HalfSmoothPicture(200, 120, image::ARGB32));
  JpegSettings settings;
  settings.optimize = true;
  const Bytes plain = Encoded(picture.get(), settings, {}, 1, 1);
  ASSERT_FALSE(plain.empty());
  // No memory for the bands' coefficients: the plain path writes the same file.
  image::FailAllocationsAfter(0);
  const Bytes banded = Encoded(picture.get(), settings, {}, 2, 1);
  image::FailAllocationsAfter(-1);
  EXPECT_EQ(banded, plain);
  // A write error ends either path with a failure, the bands' threads joined.
  std::FILE* full = std::fopen("/dev/full", "wb");
  ASSERT_NE(full, nullptr);
  for (int threads : {1, 2}) {
    platform::ScopedThreadCount count(threads);
    EXPECT_FALSE(EncodeJpeg(picture.get(), full, settings, {}, 1)) << threads << " threads";
  }
  std::fclose(full);
}

// The reason a transform failed belongs to the thread that ran it.
TEST_F(JpegThreadsTest, TransformErrorsStayWithTheirThread) {
  constexpr int kThreads = 4;
  std::vector<std::string> errors(kThreads), names(kThreads);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    names[t] = dir_.file("missing" + std::to_string(t) + ".jpg");
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int round = 0; round < 50; ++round) {
        if (JpegTransform(names[t].c_str(), dir_.file("o.jpg").c_str(), kTransformCopyAll, true, false, kTransformNone,
                          kTransformRotate90, false) != 1 ||
            GetTransformError() != "Can't open file " + names[t] + " for reading.\n") {
          errors[t] = GetTransformError();
          return;
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(errors[t], "") << "thread " << t;
}

}  // namespace
}  // namespace vl::formats
