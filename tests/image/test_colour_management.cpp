// Colour transforms: a profile's numbers to sRGB and to a monitor profile, what lcms2 refuses,
// the cache and the threads.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <thread>

#include "icc_test_util.h"
#include "image/colour_management.h"
#include "test_support.h"

namespace vl::image {
namespace {

using test::AdobeRgbProfile;
using test::DisplayP3Profile;
using test::LcmsToSrgb;

class ColourTransformTest : public test::PoolTest {};

void ExpectNear(const uint8_t* got, std::array<uint8_t, 3> want, int tolerance, const char* what) {
  for (int c = 0; c < 3; ++c)
    EXPECT_LE(std::abs(int{got[c]} - int{want[c]}), tolerance)
        << what << " channel " << c << " got " << int{got[c]} << " want " << int{want[c]};
}

TEST_F(ColourTransformTest, ProfilesToSrgbGiveWhatLcmsComputes) {
  struct Case {
    const char* name;
    std::vector<uint8_t> profile;
    std::array<uint8_t, 3> in;
    std::optional<std::array<uint8_t, 3>> about;  // a published value, within a few levels
  };
  const std::vector<Case> cases = {
      {"Adobe RGB", AdobeRgbProfile(), {128, 200, 64}, std::array<uint8_t, 3>{77, 201, 44}},
      {"Display P3", DisplayP3Profile(), {128, 200, 64}, std::nullopt},
      {"Adobe RGB grey", AdobeRgbProfile(), {100, 100, 100}, std::array<uint8_t, 3>{100, 100, 100}},
  };
  for (const Case& c : cases) {
    ASSERT_FALSE(c.profile.empty()) << c.name;
    const std::array<uint8_t, 3> want = LcmsToSrgb(c.profile, c.in);
    if (c.about) ExpectNear(want.data(), *c.about, 4, c.name);
    for (uint32_t format : {RGB24, ARGB32}) {
      ColourTransformPtr t = TransformFromProfile(c.profile, format, ColourTarget::kSrgb, false);
      ASSERT_TRUE(t) << c.name;
      uint8_t px[8] = {};
      if (format == RGB24) {
        std::copy(c.in.begin(), c.in.end(), px);
        t->Apply(px, 1);
        ExpectNear(px, want, 1, c.name);
      } else {
        px[0] = 77;  // alpha is kept
        std::copy(c.in.begin(), c.in.end(), px + 1);
        t->Apply(px, 1);
        EXPECT_EQ(px[0], 77) << c.name;
        ExpectNear(px + 1, want, 1, c.name);
      }
    }
  }
}

TEST_F(ColourTransformTest, RefusedProfilesGiveNoTransform) {
  std::vector<uint8_t> adobe = AdobeRgbProfile();
  std::vector<uint8_t> truncated(adobe.begin(), adobe.begin() + static_cast<long>(adobe.size() / 2));
  std::vector<uint8_t> lyingCount = adobe;
  for (int i = 128; i < 132; ++i) lyingCount[i] = 0xFF;  // the tag table claims 4 billion tags
  std::vector<uint8_t> garbage(600);
  for (size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<uint8_t>(i * 37 + 11);
  struct Case {
    const char* name;
    std::vector<uint8_t> profile;
    bool greyPicture;
    bool usable;
  };
  const std::vector<Case> cases = {
      {"empty", {}, false, false},
      {"garbage", garbage, false, false},
      {"truncated", truncated, false, false},
      {"lying tag count", lyingCount, false, false},
      {"Lab (not RGB)", test::LabProfile(), false, false},
      {"grey profile, colour picture", test::GreyProfile(), false, false},
      {"grey profile, grey picture", test::GreyProfile(), true, true},
      {"Adobe RGB", adobe, false, true},
  };
  for (const Case& c : cases) {
    ColourTransformPtr t = TransformFromProfile(c.profile, RGB24, ColourTarget::kMonitor, c.greyPicture);
    EXPECT_EQ(t != nullptr, c.usable) << c.name;
  }
}

TEST_F(ColourTransformTest, GreyProfileConvertsOnlyGreyPictures) {
  const std::vector<uint8_t> grey = test::GreyProfile();
  struct Case {
    const char* name;
    std::array<uint8_t, 3> second;  // the second pixel; the first is (90, 90, 90)
    bool converted;
  };
  for (const Case& c : {Case{"grey", {30, 30, 30}, true}, Case{"colour", {30, 31, 30}, false}}) {
    TexturePtr t(CreateTexture(2, 1, ARGB32));
    ASSERT_TRUE(t);
    uint8_t* p = t->chunky->pixels;
    const uint8_t px[8] = {255, 90, 90, 90, 255, c.second[0], c.second[1], c.second[2]};
    std::copy(px, px + 8, p);
    t->iccProfile = std::make_shared<const std::vector<uint8_t>>(grey);
    ColourTransformPtr tr = TransformForPicture(*t, RGB24, ColourTarget::kSrgb);
    EXPECT_EQ(tr != nullptr, c.converted) << c.name;
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
  ColourTransformPtr tb = TransformFromProfile(b, RGB24, ColourTarget::kSrgb, false);
  ColourTransformPtr tp = TransformFromProfile(p3, RGB24, ColourTarget::kSrgb, false);
  ColourTransformPtr argb = TransformFromProfile(a, ARGB32, ColourTarget::kSrgb, false);
  EXPECT_EQ(ta.get(), tb.get());
  EXPECT_NE(ta.get(), tp.get());
  EXPECT_NE(ta.get(), argb.get());
  EXPECT_LE(ColourCacheSize(), 32u);
}

TEST_F(ColourTransformTest, OneTransformFromManyThreadsGivesTheSameBytes) {
  ColourTransformPtr t = TransformFromProfile(AdobeRgbProfile(), RGB24, ColourTarget::kSrgb, false);
  ASSERT_TRUE(t);
  ChunkyPtr source(test::RandomImage(257, 64, ARGB32, 9));
  ASSERT_TRUE(source);
  const size_t n = static_cast<size_t>(source->width) * source->height;
  std::vector<uint8_t> rgb(n * 3);
  for (size_t i = 0; i < n; ++i)
    for (int c = 0; c < 3; ++c) rgb[i * 3 + c] = source->pixels[i * 4 + 1 + c];
  std::vector<uint8_t> expected = rgb;
  t->Apply(expected.data(), n);
  EXPECT_NE(expected, rgb);
  std::vector<std::vector<uint8_t>> results(4, rgb);
  std::vector<std::thread> threads;
  for (auto& r : results)
    threads.emplace_back([&t, &r, n] {
      for (int round = 0; round < 5; ++round) {
        std::vector<uint8_t> copy = r;
        t->Apply(copy.data(), n);
        if (round == 4) r = copy;
      }
    });
  for (auto& th : threads) th.join();
  for (const auto& r : results) EXPECT_EQ(r, expected);
}

TEST_F(ColourTransformTest, MonitorProfileIsTheTargetUntilReset) {
  const std::vector<uint8_t> adobe = AdobeRgbProfile(), p3 = DisplayP3Profile();
  struct Case {
    const char* name;
    std::vector<uint8_t> monitor;
    bool srgb;
  };
  const std::vector<Case> cases = {
      {"Adobe RGB monitor", adobe, false},
      {"unusable monitor profile", test::LabProfile(), true},
      {"no monitor profile", {}, true},
  };
  for (const Case& c : cases) {
    SetMonitorProfile(c.monitor);
    EXPECT_EQ(MonitorIsSrgb(), c.srgb) << c.name;
    EXPECT_EQ(SrgbToMonitor(RGB24) == nullptr, c.srgb) << c.name;
    ColourTransformPtr t = TransformFromProfile(p3, RGB24, ColourTarget::kMonitor, false);
    ASSERT_TRUE(t) << c.name;
    uint8_t px[3] = {128, 200, 64};
    t->Apply(px, 1);
    const std::array<uint8_t, 3> toSrgb = LcmsToSrgb(p3, {128, 200, 64});
    const bool sameAsSrgb =
        std::abs(px[0] - toSrgb[0]) <= 1 && std::abs(px[1] - toSrgb[1]) <= 1 && std::abs(px[2] - toSrgb[2]) <= 1;
    EXPECT_EQ(sameAsSrgb, c.srgb) << c.name;
  }
  SetMonitorProfile({});
}

TEST_F(ColourTransformTest, ConvertPictureLeavesPicturesWithoutTransformAlone) {
  ChunkyPtr pic(test::RandomImage(16, 8, ARGB32, 4));
  ASSERT_TRUE(pic);
  std::vector<uint8_t> before(pic->pixels, pic->pixels + 16 * 8 * 4);
  EXPECT_FALSE(ConvertPicture(pic.get(), test::LabProfile(), ColourTarget::kSrgb));
  EXPECT_TRUE(std::equal(before.begin(), before.end(), pic->pixels));
  EXPECT_TRUE(ConvertPicture(pic.get(), AdobeRgbProfile(), ColourTarget::kSrgb));
  EXPECT_FALSE(std::equal(before.begin(), before.end(), pic->pixels));
  for (size_t i = 0; i < before.size(); i += 4) ASSERT_EQ(pic->pixels[i], before[i]) << "alpha at " << i / 4;
}

}  // namespace
}  // namespace vl::image
