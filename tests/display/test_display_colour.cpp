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

image::Texture* FlatTexture(int w, int h, std::array<uint8_t, 3> rgb, const std::vector<uint8_t>& profile) {
  image::Texture* t = image::CreateTexture(w, h, image::ARGB32);
  if (!t) return nullptr;
  for (size_t i = 0; i < static_cast<size_t>(w) * h; ++i) {
    uint8_t* p = t->chunky->pixels + i * 4;
    p[0] = 255, p[1] = rgb[0], p[2] = rgb[1], p[3] = rgb[2];
  }
  if (!profile.empty()) t->iccProfile = std::make_shared<const std::vector<uint8_t>>(profile);
  t->name = "/pictures/p.jpg";
  return t;
}

// Renders texture on a 40 x 30 area over a grey background, through what PictureColour picks.
std::vector<uint8_t> Render(const image::Texture* texture, PictureColour& colour, const DisplayOptions& options,
                            int contents, float zoom) {
  Renderer r;
  r.state().SetArea(40, 30);
  r.state().background = 0x808080;
  r.state().ApplyOptions(options);
  r.state().contents = contents;
  r.state().SetImage(texture->chunky);
  r.state().userZoom = zoom;
  r.state().ComputeScale();
  r.SetColourTransform(colour.Choose(texture));
  r.Command(kRenderNowCommand);
  while (r.InProgress()) r.Pass();
  return r.buffer();
}

TEST_F(DisplayColour, PictureColumnsAreConvertedAndTheBackgroundIsNot) {
  const std::vector<uint8_t> adobe = test::AdobeRgbProfile();
  image::TexturePtr with(FlatTexture(20, 10, {128, 200, 64}, adobe));
  image::TexturePtr without(FlatTexture(20, 10, {128, 200, 64}, {}));
  ASSERT_TRUE(with && without);
  const std::array<uint8_t, 3> want = test::LcmsToSrgb(adobe, {128, 200, 64});
  struct Case {
    const char* name;
    DisplayOptions options;
    int contents;
    float zoom;
  };
  DisplayOptions bilinear;
  bilinear.bilinear = true;
  DisplayOptions fit;
  fit.zoomToFit = true;
  const std::vector<Case> cases = {
      {"plain", {}, kColorAlpha, 1.0f},
      {"colour contents", {}, kColor, 1.0f},
      {"bilinear zoom 1.5", bilinear, kColorAlpha, 1.5f},
      {"zoom to fit", fit, kColorAlpha, 1.0f},
      {"alpha contents", {}, kAlpha, 1.0f},
  };
  for (const Case& c : cases) {
    PictureColour colour;
    const std::vector<uint8_t> plain = Render(without.get(), colour, c.options, c.contents, c.zoom);
    const std::vector<uint8_t> shown = Render(with.get(), colour, c.options, c.contents, c.zoom);
    ASSERT_EQ(plain.size(), shown.size()) << c.name;
    int converted = 0;
    for (size_t i = 0; i < plain.size(); i += 3) {
      const bool picture = plain[i] == 128 && plain[i + 1] == 200 && plain[i + 2] == 64;
      if (!picture || c.contents == kAlpha) {
        ASSERT_TRUE(std::equal(plain.begin() + i, plain.begin() + i + 3, shown.begin() + i))
            << c.name << " pixel " << i / 3 << " is not the picture's and must stay";
        continue;
      }
      ++converted;
      for (int ch = 0; ch < 3; ++ch) ASSERT_LE(std::abs(shown[i + ch] - want[ch]), 1) << c.name << " pixel " << i / 3;
    }
    if (c.contents != kAlpha) {
      EXPECT_GT(converted, 100) << c.name;
    }
  }
}

TEST_F(DisplayColour, ChoiceByProfileAndSwitch) {
  struct Case {
    const char* name;
    std::vector<uint8_t> profile;
    bool enabled;
    bool transform;
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
    image::TexturePtr t(FlatTexture(4, 4, {128, 200, 64}, c.profile));
    ASSERT_TRUE(t);
    PictureColour colour;
    colour.SetEnabled(c.enabled);
    platform::MessageCapture capture;
    EXPECT_EQ(colour.Choose(t.get()) != nullptr, c.transform) << c.name;
    // An edit keeps the picture's profile: not reported again.
    image::TexturePtr edited(image::DuplicateTexture(t.get()));
    EXPECT_EQ(colour.Choose(edited.get()) != nullptr, c.transform) << c.name;
    const std::string text = capture.Take();
    EXPECT_EQ(static_cast<int>(std::count(text.begin(), text.end(), '\n')), c.lines) << c.name << ": " << text;
    if (c.lines) {
      EXPECT_NE(text.find("/pictures/p.jpg"), std::string::npos) << c.name;
    }
  }
}

TEST_F(DisplayColour, ShownColumnsMatchWhatRenderRowFills) {
  image::TexturePtr t(FlatTexture(20, 10, {9, 9, 9}, {}));
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
      for (int x = 0; x < 40; ++x) {
        const bool filled = row[x * 3] != 0xEE;
        ASSERT_EQ(filled, any && x >= from && x <= to) << "zoom " << zoom << " row " << r << " x " << x;
      }
    }
  }
}

}  // namespace
}  // namespace vl::display
