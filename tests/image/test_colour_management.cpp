// Colour transforms: a profile's numbers to sRGB and to a monitor profile, what lcms2 refuses,
// the cache and the threads.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <thread>
#include <tuple>
#include <utility>

#include "icc_test_util.h"
#include "image/colour_management.h"
#include "test_support.h"

namespace vl::image {
namespace {

using test::AdobeRgbProfile;
using test::DisplayP3Profile;
using test::LcmsToSrgb;
using Rgb = std::array<uint8_t, 3>;

class ColourTransformTest : public test::PoolTest {};

testing::AssertionResult Near(const uint8_t* got, Rgb want, int tolerance) {
  for (int c = 0; c < 3; ++c)
    if (std::abs(got[c] - want[c]) > tolerance)
      return testing::AssertionFailure() << "channel " << c << " got " << int{got[c]} << " want " << int{want[c]};
  return testing::AssertionSuccess();
}

TEST_F(ColourTransformTest, ProfilesToSrgbGiveWhatLcmsComputes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> profile;
    Rgb in;
    std::optional<Rgb> about;  // a published value, within a few levels
  };
  const std::vector<Case> cases = {
      {"Adobe RGB", AdobeRgbProfile(), {128, 200, 64}, Rgb{77, 201, 44}},
      {"Display P3", DisplayP3Profile(), {128, 200, 64}, std::nullopt},
      {"Adobe RGB grey", AdobeRgbProfile(), {100, 100, 100}, Rgb{100, 100, 100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.profile.empty());
    const Rgb want = LcmsToSrgb(c.profile, c.in);
    if (c.about) {
      EXPECT_TRUE(Near(want.data(), *c.about, 4));
    }
    for (uint32_t format : {RGB24, ARGB32}) {
      ColourTransformPtr t = TransformFromProfile(c.profile, format, ColourTarget::kSrgb, false);
      ASSERT_TRUE(t);
      const int at = format == ARGB32;  // ARGB: alpha first, and kept
      uint8_t px[4] = {77};
      std::copy(c.in.begin(), c.in.end(), px + at);
      t->Apply(px, 1);
      if (at) {
        EXPECT_EQ(px[0], 77);
      }
      EXPECT_TRUE(Near(px + at, want, 1));
    }
  }
}

TEST_F(ColourTransformTest, RefusedProfilesGiveNoTransform) {
  const std::vector<uint8_t> adobe = AdobeRgbProfile();
  std::vector<uint8_t> lyingCount = adobe, garbage(600);
  for (int i = 128; i < 132; ++i) lyingCount[i] = 0xFF;  // the tag table claims 4 billion tags
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  const std::pair<const char*, std::vector<uint8_t>> refused[] = {
      {"empty", {}},
      {"garbage", garbage},
      {"truncated", {adobe.begin(), adobe.begin() + static_cast<long>(adobe.size() / 2)}},
      {"lying tag count", lyingCount},
      {"Lab (not RGB)", test::LabProfile()},
  };
  for (const auto& [name, profile] : refused)
    EXPECT_EQ(TransformFromProfile(profile, RGB24, ColourTarget::kMonitor, false), nullptr) << name;
  EXPECT_NE(TransformFromProfile(adobe, RGB24, ColourTarget::kMonitor, false), nullptr);  // the same call can succeed
}

TEST_F(ColourTransformTest, GreyProfileConvertsOnlyGreyPictures) {
  for (const auto& [name, second, converted] :
       {std::tuple{"grey", Rgb{30, 30, 30}, true}, std::tuple{"colour", Rgb{30, 31, 30}, false}}) {
    SCOPED_TRACE(name);
    TexturePtr t(CreateTexture(2, 1, ARGB32));  // pixels (90, 90, 90) and second
    ASSERT_TRUE(t);
    const uint8_t px[8] = {255, 90, 90, 90, 255, second[0], second[1], second[2]};
    std::copy(px, px + 8, t->chunky->pixels);
    t->iccProfile = std::make_shared<const std::vector<uint8_t>>(test::GreyProfile());
    ColourTransformPtr tr = TransformForPicture(*t, RGB24, ColourTarget::kSrgb);
    EXPECT_EQ(tr != nullptr, converted);
    if (!tr) continue;
    // Gamma 1.8 grey shown on the sRGB curve: the level moves, R = G = B stays.
    uint8_t rgb[3] = {90, 90, 90};
    tr->Apply(rgb, 1);
    EXPECT_NE(rgb[0], 90);
    EXPECT_EQ(rgb[0], rgb[1]);
    EXPECT_EQ(rgb[1], rgb[2]);
  }
}

TEST_F(ColourTransformTest, CacheGivesTheSameTransformForTheSameBytes) {
  std::vector<uint8_t> a = AdobeRgbProfile(), b = AdobeRgbProfile(), p3 = DisplayP3Profile();
  ColourTransformPtr ta = TransformFromProfile(a, RGB24, ColourTarget::kSrgb, false);
  EXPECT_EQ(ta.get(), TransformFromProfile(b, RGB24, ColourTarget::kSrgb, false).get());
  EXPECT_NE(ta.get(), TransformFromProfile(p3, RGB24, ColourTarget::kSrgb, false).get());
  EXPECT_NE(ta.get(), TransformFromProfile(a, ARGB32, ColourTarget::kSrgb, false).get());
  EXPECT_LE(ColourCacheSize(), 32u);
}

// One transform used by many threads at once, and a whole picture converted in place, give the
// same bytes as the transform applied alone; a picture without a transform is left alone.
TEST_F(ColourTransformTest, ThreadsAndWholePicturesGiveTheSameBytes) {
  ColourTransformPtr t = TransformFromProfile(AdobeRgbProfile(), RGB24, ColourTarget::kSrgb, false);
  ASSERT_TRUE(t);
  ChunkyPtr pic(test::RandomImage(257, 64, ARGB32, 9));
  ASSERT_TRUE(pic);
  const size_t n = static_cast<size_t>(pic->width) * pic->height;
  const std::vector<uint8_t> before(pic->pixels, pic->pixels + n * 4);
  std::vector<uint8_t> rgb;
  for (size_t i = 0; i < n * 4; ++i)
    if (i % 4) rgb.push_back(before[i]);
  std::vector<uint8_t> expected = rgb;
  t->Apply(expected.data(), n);
  EXPECT_NE(expected, rgb);
  std::vector<std::vector<uint8_t>> results(4 * 5, rgb);  // 4 threads, 5 rounds each
  std::vector<std::thread> threads;
  for (size_t k = 0; k < 4; ++k)
    threads.emplace_back([&, k] {
      for (size_t round = 0; round < 5; ++round) t->Apply(results[k * 5 + round].data(), n);
    });
  for (auto& th : threads) th.join();
  for (const auto& r : results) EXPECT_EQ(r, expected);

  EXPECT_FALSE(ConvertPicture(pic.get(), test::LabProfile(), ColourTarget::kSrgb));
  ASSERT_TRUE(std::equal(before.begin(), before.end(), pic->pixels));
  EXPECT_TRUE(ConvertPicture(pic.get(), AdobeRgbProfile(), ColourTarget::kSrgb));
  for (size_t i = 0; i < n * 4; ++i)
    ASSERT_EQ(pic->pixels[i], i % 4 ? expected[i / 4 * 3 + i % 4 - 1] : before[i])
        << "pixel " << i / 4 << " byte " << i % 4;
}

TEST_F(ColourTransformTest, MonitorProfileIsTheTargetUntilReset) {
  const std::vector<uint8_t> p3 = DisplayP3Profile();
  const Rgb toSrgb = LcmsToSrgb(p3, {128, 200, 64});
  struct Case {
    const char* name;
    std::vector<uint8_t> monitor;
    bool srgb;
  };
  const std::vector<Case> cases = {
      {"Adobe RGB monitor", AdobeRgbProfile(), false},
      {"unusable monitor profile", test::LabProfile(), true},
      {"no monitor profile", {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetMonitorProfile(c.monitor);
    EXPECT_EQ(MonitorIsSrgb(), c.srgb);
    EXPECT_EQ(SrgbToMonitor(RGB24) == nullptr, c.srgb);
    ColourTransformPtr t = TransformFromProfile(p3, RGB24, ColourTarget::kMonitor, false);
    ASSERT_TRUE(t);
    uint8_t px[3] = {128, 200, 64};
    t->Apply(px, 1);
    EXPECT_EQ(static_cast<bool>(Near(px, toSrgb, 1)), c.srgb);
  }
  SetMonitorProfile({});
}

}  // namespace
}  // namespace vl::image
