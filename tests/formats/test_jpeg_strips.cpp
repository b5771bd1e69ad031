// One JPEG decoded in strips on several threads gives the picture one thread gives, byte for
// byte, for every layout; damaged files and interrupted strips fall back to the plain decode.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "formats/jpeg_strip_decoder.h"
#include "image/pool.h"
#include "platform/stop_flag.h"
#include "platform/thread_pool.h"
#include "test_jpeg_files.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::Bytes;

Bytes PixelsOf(const image::Texture* t) {
  if (!t || !t->chunky || !t->chunky->pixels) return {};
  const image::ChunkyImage* c = t->chunky;
  return Bytes(c->pixels, c->pixels + static_cast<size_t>(c->width) * c->height * image::BytesPerPixel(c->format));
}

// Fine grain on a gradient, so every block carries AC coefficients and DC changes from block to
// block (a skipped row that lost its DC prediction would show).
Bytes Grainy(int width, int height, int components) {
  Bytes p = test::Pattern(width, height, components);
  uint32_t s = 2463534242u;
  for (uint8_t& v : p) {
    s ^= s << 13, s ^= s >> 17, s ^= s << 5;
    v = static_cast<uint8_t>(v / 2 + (s & 127));
  }
  return p;
}

// What each reader makes of a file.
struct Decodes {
  Bytes argb, rgb, memory;
  bool operator==(const Decodes&) const = default;
};

Decodes DecodeAll(const std::string& path, const Bytes& bytes) {
  Decodes d;
  image::TexturePtr argb(ReadJpeg(path.c_str()));
  d.argb = PixelsOf(argb.get());
  image::TexturePtr rgb(ReadJpegForCache(path.c_str()));
  d.rgb = PixelsOf(rgb.get());
  image::TexturePtr memory(ReadJpegMemoryForCache(bytes.data(), bytes.size()));
  d.memory = PixelsOf(memory.get());
  return d;
}

struct Layout {
  const char* name;
  test::JpegParams params;
  bool strips;  // decoded in strips with several threads (false: too few iMCU rows, or progressive)
};

test::JpegParams Params(int w, int h, int components, J_COLOR_SPACE in, int hs, int vs, int restart = 0,
                        bool progressive = false) {
  test::JpegParams p;
  p.width = w, p.height = h, p.components = components, p.in = in, p.hSamp = hs, p.vSamp = vs;
  p.restartInterval = restart, p.progressive = progressive, p.quality = 90;
  return p;
}

const Layout kLayouts[] = {
    {"4:2:0", Params(1001, 677, 3, JCS_RGB, 2, 2), true},
    {"4:4:4", Params(1001, 677, 3, JCS_RGB, 1, 1), true},
    {"4:1:1", Params(403, 211, 3, JCS_RGB, 4, 1), true},
    {"3x2 luma", Params(301, 277, 3, JCS_RGB, 3, 2), true},
    {"grey", Params(1001, 677, 1, JCS_GRAYSCALE, 1, 1), true},
    {"CMYK 2x2", Params(301, 211, 4, JCS_CMYK, 2, 2), true},
    {"17x33 4:2:0, three iMCU rows", Params(17, 33, 3, JCS_RGB, 2, 2), true},
    {"17x9 4:2:0, one iMCU row", Params(17, 9, 3, JCS_RGB, 2, 2), false},
    {"restart every MCU", Params(517, 333, 3, JCS_RGB, 1, 1, 1), true},
    {"progressive", Params(1001, 677, 3, JCS_RGB, 2, 2, 0, true), false},
};

// Decodes the file on one thread, then with each thread count (strips forced on small pictures)
// expecting the same pictures and `strips` strip decodes per round. Returns the plain decodes.
Decodes ExpectPlainWithThreads(const std::string& path, const Bytes& file, std::initializer_list<int> threadCounts,
                               int strips) {
  Decodes plain;
  {
    platform::ScopedThreadCount one(1);
    plain = DecodeAll(path, file);
  }
  for (int threads : threadCounts) {
    SCOPED_TRACE(threads);
    platform::ScopedThreadCount scope(threads, true);
    const int64_t before = JpegStripDecodes();
    EXPECT_TRUE(DecodeAll(path, file) == plain);
    EXPECT_EQ(JpegStripDecodes() - before, strips);
  }
  return plain;
}

TEST(JpegStripDecode, StripsGiveThePlainDecodeForEveryLayout) {
  image::CreatePool();
  const size_t blocks = image::PoolBlockCount();
  test::TempDir dir;
  for (const Layout& layout : kLayouts) {
    SCOPED_TRACE(layout.name);
    const test::JpegParams& p = layout.params;
    const Bytes file = test::EncodeJpeg(p, Grainy(p.width, p.height, p.components));
    ASSERT_FALSE(file.empty());
    const std::string path = dir.file("picture.jpg");
    ASSERT_TRUE(test::WriteFile(path, file));
    const Decodes plain = ExpectPlainWithThreads(path, file, {2, 3}, layout.strips ? 3 : 0);
    const size_t pixels = static_cast<size_t>(p.width) * p.height;
    EXPECT_EQ(plain.argb.size(), pixels * 4);
    EXPECT_EQ(plain.rgb.size(), pixels * 3);
    EXPECT_EQ(plain.memory.size(), pixels * 3);
  }
  EXPECT_EQ(image::PoolBlockCount(), blocks) << "pixel blocks leaked";
}

// Damaged data makes a strip fail or warn, and strips a stop request skipped leave rows unwritten;
// the picture is then the plain decode's, whatever that is (a padded picture for a cut file,
// nothing when the header is cut).
TEST(JpegStripDecode, DamagedFilesAndSkippedStripsGiveThePlainOutcome) {
  image::CreatePool();
  const test::JpegParams p = Params(1001, 677, 3, JCS_RGB, 2, 2, 5);
  const Bytes good = test::EncodeJpeg(p, Grainy(p.width, p.height, 3));
  ASSERT_GT(good.size(), 4000u);
  struct Damage {
    const char* name;
    Bytes bytes;
    bool picture;          // the plain decode gives a picture
    bool stopped = false;  // decoded with a stop request raised
  };
  auto cut = [&](double share) { return Bytes(good.begin(), good.begin() + static_cast<long>(good.size() * share)); };
  auto flipped = [&](double share) {
    Bytes b = good;
    for (size_t i = static_cast<size_t>(b.size() * share), n = 0; n < 64; ++i, ++n)
      if (b[i] != 0xFF && b[i - 1] != 0xFF) b[i] ^= 0x5A;
    return b;
  };
  Bytes noEnd = good;
  noEnd.resize(noEnd.size() - 2);  // no EOI marker
  // A second frame header after the scan: a fatal error when the end of the file is read.
  Bytes secondFrame = noEnd;
  for (size_t i = 2; i + 4 < good.size(); ++i) {
    if (good[i] != 0xFF || good[i + 1] != 0xC0) continue;
    const size_t length = static_cast<size_t>(good[i + 2]) << 8 | good[i + 3];
    secondFrame.insert(secondFrame.end(), good.begin() + static_cast<long>(i),
                       good.begin() + static_cast<long>(i + 2 + length));
    break;
  }
  secondFrame.insert(secondFrame.end(), {0xFF, 0xD9});
  const Damage damages[] = {
      {"cut at 30 %", cut(0.3), true},
      {"cut at 97 %", cut(0.97), true},
      {"no end marker", noEnd, true},
      {"bad data at 40 %", flipped(0.4), true},
      {"second frame header", secondFrame, false},
      {"cut in the header", Bytes(good.begin(), good.begin() + 200), false},
      {"a good file, stop requested", good, true, true},
  };
  platform::StopFlag stop;
  stop.Request();
  test::TempDir dir;
  for (const Damage& damage : damages) {
    SCOPED_TRACE(damage.name);
    const std::string path = dir.file("damaged.jpg");
    ASSERT_TRUE(test::WriteFile(path, damage.bytes));
    std::optional<platform::ScopedStopFlag> stopping;
    if (damage.stopped) stopping.emplace(stop);
    // Never taken from the strips.
    const Decodes plain = ExpectPlainWithThreads(path, damage.bytes, {2, 4}, 0);
    EXPECT_EQ(!plain.argb.empty(), damage.picture);
  }
}

// Without the test override, only pictures of a megapixel or more are worth the threads.
TEST(JpegStripDecode, SmallPicturesStayOnOneThread) {
  image::CreatePool();
  struct Case {
    int width, height;
    bool strips;
  };
  const Case cases[] = {{1024, 1023, false}, {1024, 1024, true}};
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    const test::JpegParams p = Params(c.width, c.height, 1, JCS_GRAYSCALE, 1, 1);
    const std::string path = dir.file("picture.jpg");
    ASSERT_TRUE(test::WriteFile(path, test::EncodeJpeg(p, test::Pattern(c.width, c.height, 1))));
    platform::ScopedThreadCount scope(2);
    const int64_t before = JpegStripDecodes();
    image::TexturePtr t(ReadJpeg(path.c_str()));
    ASSERT_TRUE(t);
    EXPECT_EQ(JpegStripDecodes() - before, c.strips ? 1 : 0);
  }
}

// Strip starts: from 0, strictly increasing, inside the picture, and with equal work per strip
// (share x start + rows) to within the rounding of a row or two.
TEST(JpegStripDecode, StripStartsBalanceTheWork) {
  struct Case {
    int rows, strips;
    double share;
  };
  const Case cases[] = {{180, 3, 0.5}, {360, 8, 0.6}, {100, 3, 0.0}, {5, 4, 0.5}, {2, 2, 0.95}, {90, 64, 0.5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.rows << " rows, " << c.strips << " strips, share " << c.share);
    const std::vector<int> starts = JpegStripStarts(c.rows, c.strips, c.share);
    ASSERT_EQ(starts.size(), static_cast<size_t>(c.strips));
    EXPECT_EQ(starts[0], 0);
    double least = 1e9, most = 0;
    for (size_t k = 0; k < starts.size(); ++k) {
      const int end = k + 1 < starts.size() ? starts[k + 1] : c.rows;
      EXPECT_LT(starts[k], end);
      const double cost = c.share * starts[k] + (end - starts[k]);
      least = std::min(least, cost);
      most = std::max(most, cost);
    }
    // Forced one-row strips cannot balance; every other split can.
    if (c.rows >= 4 * c.strips) {
      EXPECT_LE(most - least, 2.0);
    }
  }
  EXPECT_TRUE(JpegStripStarts(3, 4, 0.5).empty());
  EXPECT_TRUE(JpegStripStarts(10, 0, 0.5).empty());
}

// The estimate follows the shares measured with a decode that skips every row, on 5120 x 2880
// photographs (coded bytes, blocks per pixel: 3/64 at 4:4:4, 1.5/64 at 4:2:0), and never leaves
// (0, 1) whatever the figures.
TEST(JpegStripDecode, EntropyShareFollowsTheMeasuredShares) {
  struct Case {
    const char* name;
    double bytes, blocks, measured;
  };
  const double pixels = 5120.0 * 2880.0;
  const Case cases[] = {{"grain, 4:4:4, q90", 5133796, 3 / 64.0, 0.52},
                        {"grain, 4:2:0, q75", 1267989, 1.5 / 64, 0.34},
                        {"smooth, 4:2:0, q85", 1257388, 1.5 / 64, 0.32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(JpegEntropyShare(c.bytes, pixels, c.blocks), c.measured, 0.06);
  }
  const double extremes[][3] = {{0, 0, 0}, {0, 1e9, 3 / 64.0}, {1e12, 1, 0}, {-5, -5, -1}};
  for (const auto& e : extremes) {
    const double share = JpegEntropyShare(e[0], e[1], e[2]);
    EXPECT_GE(share, 0.0);
    EXPECT_LT(share, 1.0);
  }
}

}  // namespace
}  // namespace vl::formats
