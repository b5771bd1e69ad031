// The display shows pictures with a profile converted to the monitor, only on the picture's
// columns, and pictures without one exactly as their numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/picture_colour.h"
#include "display/renderer.h"
#include "display/row_renderer.h"
#include "icc_test_util.h"
#include "platform/messages.h"
#include "test_support.h"

namespace vl::display {
namespace {

class DisplayColour : public test::PoolTest {};

// A w x h picture of one colour (128, 200, 64), named /pictures/p.jpg, with the profile if any.
image::Texture* FlatTexture(int w, int h, const std::vector<uint8_t>& profile) {
  image::Texture* t = image::CreateTexture(w, h, image::ARGB32);
  if (!t) return nullptr;
  for (size_t i = 0; i < static_cast<size_t>(w) * h * 4; i += 4) {
    const uint8_t argb[4] = {255, 128, 200, 64};
    std::copy(argb, argb + 4, t->chunky->pixels + i);
  }
  if (!profile.empty()) t->iccProfile = std::make_shared<const std::vector<uint8_t>>(profile);
  t->name = "/pictures/p.jpg";
  return t;
}

TEST_F(DisplayColour, PictureColumnsAreConvertedAndTheBackgroundIsNot) {
  const std::vector<uint8_t> adobe = test::AdobeRgbProfile();
  image::TexturePtr with(FlatTexture(20, 10, adobe)), without(FlatTexture(20, 10, {}));
  ASSERT_TRUE(with && without);
  const std::array<uint8_t, 3> want = test::LcmsToSrgb(adobe, {128, 200, 64});
  struct Case {
    const char* name;
    bool bilinear, fit;
    int contents;
    float zoom;
  };
  const Case cases[] = {
      {"plain", false, false, kColorAlpha, 1.0f},
      {"colour contents", false, false, kColor, 1.0f},
      {"bilinear zoom 1.5", true, false, kColorAlpha, 1.5f},
      {"zoom to fit", false, true, kColorAlpha, 1.0f},
      {"alpha contents", false, false, kAlpha, 1.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PictureColour colour;
    // Renders on a 40 x 30 area over a grey background, through what PictureColour picks.
    auto render = [&](const image::Texture* texture) {
      Renderer r;
      r.state().SetArea(40, 30);
      r.state().background = 0x808080;
      DisplayOptions options;
      options.bilinear = c.bilinear, options.zoomToFit = c.fit;
      r.state().ApplyOptions(options);
      r.state().contents = c.contents;
      r.state().SetImage(texture->chunky);
      r.state().userZoom = c.zoom;
      r.state().ComputeScale();
      r.SetColourTransform(colour.Choose(texture));
      r.Command(kRenderNowCommand);
      while (r.InProgress()) r.Pass();
      return r.buffer();
    };
    const std::vector<uint8_t> plain = render(without.get()), shown = render(with.get());
    ASSERT_EQ(plain.size(), shown.size());
    int converted = 0;
    for (size_t i = 0; i < plain.size(); i += 3) {
      const bool picture = plain[i] == 128 && plain[i + 1] == 200 && plain[i + 2] == 64;
      if (!picture || c.contents == kAlpha) {
        ASSERT_TRUE(std::equal(plain.begin() + i, plain.begin() + i + 3, shown.begin() + i))
            << "pixel " << i / 3 << " is not the picture's and must stay";
        continue;
      }
      ++converted;
      for (int ch = 0; ch < 3; ++ch) ASSERT_LE(std::abs(shown[i + ch] - want[ch]), 1) << "pixel " << i / 3;
    }
    EXPECT_EQ(converted > 100, c.contents != kAlpha);
  }
}

TEST_F(DisplayColour, ChoiceByProfileAndSwitch) {
  struct Case {
    const char* name;
    std::vector<uint8_t> profile;
    bool enabled, transform;
    int lines;  // lines printed over two choices for the same picture
  };
  const std::vector<Case> cases = {
      {"no profile", {}, true, false, 0},
      {"Adobe RGB", test::AdobeRgbProfile(), true, true, 0},
      {"Adobe RGB, switched off", test::AdobeRgbProfile(), false, false, 0},
      {"broken profile", {1, 2, 3, 4, 5, 6, 7, 8}, true, false, 1},
      {"Lab profile", test::LabProfile(), true, false, 1},
      {"broken profile, switched off", {1, 2, 3, 4}, false, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    image::TexturePtr t(FlatTexture(4, 4, c.profile));
    ASSERT_TRUE(t);
    PictureColour colour;
    colour.SetEnabled(c.enabled);
    platform::MessageCapture capture;
    EXPECT_EQ(colour.Choose(t.get()) != nullptr, c.transform);
    // An edit keeps the picture's profile: not reported again.
    image::TexturePtr edited(image::DuplicateTexture(t.get()));
    EXPECT_EQ(colour.Choose(edited.get()) != nullptr, c.transform);
    const std::string text = capture.Take();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), c.lines) << text;
    EXPECT_EQ(text.find("/pictures/p.jpg") != std::string::npos, c.lines > 0) << text;
  }
}

TEST_F(DisplayColour, ShownColumnsMatchWhatRenderRowFills) {
  image::TexturePtr t(FlatTexture(20, 10, {}));
  ASSERT_TRUE(t);
  for (float zoom : {0.5f, 1.0f, 2.0f, 7.0f}) {
    DisplayState s;
    s.SetArea(40, 30);
    s.SetImage(t->chunky);
    s.userZoom = zoom;
    s.ComputeScale();
    s.ComputeRects();
    for (int r = 0; r < 30; ++r) {
      std::vector<uint8_t> row(40 * 3, 0xEE);
      RenderRow(s, r, row.data());
      int from = 0, to = -1;
      const bool any = ShownColumns(s, r, from, to);
      for (int x = 0; x < 40; ++x)
        ASSERT_EQ(row[x * 3] != 0xEE, any && x >= from && x <= to) << "zoom " << zoom << " row " << r << " x " << x;
    }
  }
}

}  // namespace
}  // namespace vl::display
