// JPEG decodes and encodes on several threads at once: each call owns its codec context, so
// every result must be byte for byte the one the same call gives alone.
#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "formats/decoders.h"
#include "formats/jpeg.h"
#include "formats/jpeg_codec.h"
#include "formats/jpeg_transform.h"
#include "image/pool.h"
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
