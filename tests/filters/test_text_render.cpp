// RenderText: statuses, the font cache, shadow padding; and the insert-text apply step.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "filters/text.h"
#include "filters/text_engine.h"
#include "image/pool.h"
#include "test_support.h"

namespace vl::filters {
namespace {

using image::TexturePtr;

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<uint8_t> Pixels(const image::Texture* t) {
  const image::ChunkyImage* c = t->chunky;
  return std::vector<uint8_t>(c->pixels,
                              c->pixels + static_cast<size_t>(c->width) * c->height * image::BytesPerPixel(c));
}

// The engine open for each test, as the tool window holds it.
class RenderTextTest : public test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    ASSERT_TRUE(std::filesystem::is_regular_file(kDejaVu)) << "fonts-dejavu-core is needed";
    ASSERT_TRUE(OpenTextEngine(kTextEngineVersion));
  }
  void TearDown() override {
    text_.reset();
    shadow_.reset();
    CloseTextEngine();
    PoolTest::TearDown();
  }
  int Render(const std::string& text, int size, int direction = kTextHorizontal, int smoothness = 0,
             bool gaussian = false, std::string font = kDejaVu) {
    return RenderText(text, font, size, direction, smoothness, gaussian, text_, shadow_);
  }
  TexturePtr text_, shadow_;
};

TEST(RenderTextEngine, ClosedEngineIsReported) {
  image::PoolScope pool;
  ASSERT_FALSE(TextEngineIsOpen());
  TexturePtr text(image::CreateTexture(1, 1, image::GREY8)), shadow(image::CreateTexture(1, 1, image::GREY8));
  EXPECT_EQ(RenderText("Hello", kDejaVu, 20, 0, 0, false, text, shadow), 1);
  EXPECT_EQ(TextStatus(), "ttengine.library is not available.");
  EXPECT_EQ(text, nullptr) << "outputs are cleared first";
  EXPECT_EQ(shadow, nullptr);
}

TEST_F(RenderTextTest, HorizontalTextAndPlainShadow) {
  ASSERT_EQ(Render("Hello", 32), 0);
  EXPECT_EQ(TextStatus(), "OK");
  ASSERT_TRUE(text_ && shadow_);
  EXPECT_EQ(text_->chunky->format, image::GREY8);
  EXPECT_EQ(shadow_->chunky->format, image::GREY8);
  EXPECT_GT(text_->chunky->width, text_->chunky->height);
  // Smoothness 0 without Gaussian: pad 0, and a box blur of radius 0 keeps the coverage.
  EXPECT_EQ(shadow_->chunky->width, text_->chunky->width);
  EXPECT_EQ(shadow_->chunky->height, text_->chunky->height);
  EXPECT_EQ(Pixels(shadow_.get()), Pixels(text_.get()));
}

// Coverage of a GREY8 image.
uint8_t Cover(const image::Texture* t, int x, int y) {
  return t->chunky->pixels[y * t->chunky->width + x];
}

struct Centroid {
  double x = 0, y = 0;
};
Centroid InkCentroid(const image::Texture* t) {
  double sum = 0, sx = 0, sy = 0;
  for (int y = 0; y < t->chunky->height; ++y)
    for (int x = 0; x < t->chunky->width; ++x) {
      double v = Cover(t, x, y);
      sum += v, sx += v * x, sy += v * y;
    }
  return sum > 0 ? Centroid{sx / sum, sy / sum} : Centroid{};
}

uint64_t Ink(const image::Texture* t, uint8_t* maximum = nullptr) {
  uint64_t sum = 0;
  uint8_t top = 0;
  for (uint8_t v : Pixels(t)) sum += v, top = std::max(top, v);
  if (maximum) *maximum = top;
  return sum;
}

TEST_F(RenderTextTest, VerticalDirectionsTurnTheText) {
  ASSERT_EQ(Render("Turn", 28), 0);
  TexturePtr flat = std::move(text_);
  const int w = flat->chunky->width, h = flat->chunky->height;

  // Top to bottom: turned clockwise, so source (x, y) lands at (h - 1 - y, x).
  ASSERT_EQ(Render("Turn", 28, kTextTopToBottom), 0);
  ASSERT_EQ(text_->chunky->width, h);
  ASSERT_EQ(text_->chunky->height, w);
  EXPECT_EQ(shadow_->chunky->width, h);
  EXPECT_EQ(shadow_->chunky->height, w);
  int wrong = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) wrong += Cover(text_.get(), h - 1 - y, x) != Cover(flat.get(), x, y);
  EXPECT_EQ(wrong, 0);

  // Bottom to top: turned counter-clockwise, source (x, y) lands at (y, w - 1 - x); the shadow
  // pads the turned text.
  ASSERT_EQ(Render("Turn", 28, kTextBottomToTop, 2, true), 0);
  ASSERT_EQ(text_->chunky->width, h);
  ASSERT_EQ(text_->chunky->height, w);
  EXPECT_EQ(shadow_->chunky->width, h + 8);
  EXPECT_EQ(shadow_->chunky->height, w + 8);
  wrong = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) wrong += Cover(text_.get(), y, w - 1 - x) != Cover(flat.get(), x, y);
  EXPECT_EQ(wrong, 0);

  // Any other direction code draws horizontally.
  ASSERT_EQ(Render("Turn", 28, 7), 0);
  EXPECT_EQ(Pixels(text_.get()), Pixels(flat.get()));
}

TEST_F(RenderTextTest, GaussianShadowIsTwelveLargerAndCentred) {
  ASSERT_EQ(Render("Shadow", 30, kTextHorizontal, 3, true), 0);
  EXPECT_EQ(shadow_->chunky->width, text_->chunky->width + 12);
  EXPECT_EQ(shadow_->chunky->height, text_->chunky->height + 12);
  // The blurred ink stays centred under the text: the shadow's centroid, moved back by the
  // pad of 6, lies within a pixel of the text's.
  Centroid text = InkCentroid(text_.get()), shadow = InkCentroid(shadow_.get());
  EXPECT_NEAR(shadow.x - 6, text.x, 1.0);
  EXPECT_NEAR(shadow.y - 6, text.y, 1.0);
  uint8_t textMax = 0, shadowMax = 0;
  Ink(text_.get(), &textMax);
  Ink(shadow_.get(), &shadowMax);
  EXPECT_LT(shadowMax, textMax) << "the shadow is blurred";
  // The blur spreads ink into the border, which the plain copy leaves empty.
  uint64_t border = 0;
  for (int y = 0; y < shadow_->chunky->height; ++y)
    for (int x = 0; x < shadow_->chunky->width; ++x) {
      bool underText = x >= 6 && x < 6 + text_->chunky->width && y >= 6 && y < 6 + text_->chunky->height;
      if (!underText) border += Cover(shadow_.get(), x, y);
    }
  EXPECT_GT(border, 0u);
}

TEST_F(RenderTextTest, BoxShadowPadsBySmoothness) {
  ASSERT_EQ(Render("Box", 30, kTextHorizontal, 2, false), 0);
  EXPECT_EQ(shadow_->chunky->width, text_->chunky->width + 4);
  EXPECT_EQ(shadow_->chunky->height, text_->chunky->height + 4);
  uint8_t textMax = 0, shadowMax = 0;
  uint64_t textInk = Ink(text_.get(), &textMax), shadowInk = Ink(shadow_.get(), &shadowMax);
  EXPECT_LT(shadowMax, textMax);
  // Averaging keeps the ink (less what the truncating reciprocal drops).
  EXPECT_LE(shadowInk, textInk);
  EXPECT_GT(shadowInk, textInk * 9 / 10);
  Centroid text = InkCentroid(text_.get()), shadow = InkCentroid(shadow_.get());
  EXPECT_NEAR(shadow.x - 2, text.x, 0.5);
  EXPECT_NEAR(shadow.y - 2, text.y, 0.5);
}

TEST_F(RenderTextTest, FailuresClearOutputsAndSetTheStatus) {
  ASSERT_EQ(Render("Hello", 20), 0);
  EXPECT_EQ(Render("Hello", 20, 0, 0, false, "/nonexistent/font.ttf"), 1);
  EXPECT_EQ(TextStatus(), "Couldn't open selected font");
  EXPECT_EQ(text_, nullptr);
  EXPECT_EQ(shadow_, nullptr);

  EXPECT_EQ(Render("", 20), 1);
  EXPECT_EQ(TextStatus(), "") << "nothing to draw gives the empty status";
  EXPECT_EQ(text_, nullptr);

  EXPECT_EQ(Render("Hello", 0), 1);
  EXPECT_EQ(TextStatus(), "Couldn't open selected font");
  EXPECT_EQ(Render("Hello", -40), 1);
  EXPECT_EQ(TextStatus(), "Couldn't open selected font");

  test::TempDir dir;
  ASSERT_TRUE(test::WriteFile(dir.file("fake.ttf"), std::string(2000, '\x01')));
  EXPECT_EQ(Render("Hello", 20, 0, 0, false, dir.file("fake.ttf")), 1);
  EXPECT_EQ(TextStatus(), "Couldn't open selected font");

  ASSERT_EQ(Render("Hello", 20), 0);
  EXPECT_EQ(TextStatus(), "OK");
}

TEST_F(RenderTextTest, SameFontAndSizeOpensTheFileOnce) {
  uint64_t start = TextEngineFontFileOpens();
  ASSERT_EQ(Render("one", 24), 0);
  ASSERT_EQ(Render("two", 24), 0);
  ASSERT_EQ(Render("three", 24, kTextHorizontal, 2, true), 0);
  EXPECT_EQ(TextEngineFontFileOpens() - start, 1u);
  ASSERT_EQ(Render("one", 25), 0) << "another size reopens";
  EXPECT_EQ(TextEngineFontFileOpens() - start, 2u);
  ASSERT_EQ(Render("one", 24), 0) << "only the last font is kept";
  EXPECT_EQ(TextEngineFontFileOpens() - start, 3u);
}

TEST_F(RenderTextTest, CachedPathIsComparedExactly) {
  // The same file under another spelling of its path counts as another font.
  test::TempDir dir;
  std::filesystem::copy_file(kDejaVu, dir.file("Face.ttf"));
  uint64_t start = TextEngineFontFileOpens();
  ASSERT_EQ(Render("x", 20, 0, 0, false, dir.file("Face.ttf")), 0);
  ASSERT_EQ(Render("x", 20, 0, 0, false, dir.path() + "//Face.ttf"), 0);
  EXPECT_EQ(TextEngineFontFileOpens() - start, 2u);
  EXPECT_EQ(Render("x", 20, 0, 0, false, dir.file("face.ttf")), 1) << "case matters";
  EXPECT_EQ(TextStatus(), "Couldn't open selected font");
  ASSERT_EQ(Render("x", 20, 0, 0, false, dir.file("Face.ttf")), 0);
  EXPECT_EQ(TextEngineFontFileOpens() - start, 3u);
}

TEST_F(RenderTextTest, ClosingTheEngineDropsTheCachedFont) {
  ASSERT_EQ(Render("cached", 30), 0);
  uint64_t start = TextEngineFontFileOpens();
  CloseTextEngine();
  EXPECT_EQ(Render("cached", 30), 1);
  EXPECT_EQ(TextStatus(), "ttengine.library is not available.");
  ASSERT_TRUE(OpenTextEngine(kTextEngineVersion));
  ASSERT_EQ(Render("cached", 30), 0);
  EXPECT_EQ(TextEngineFontFileOpens() - start, 1u) << "the font is read anew in the new opening";
}

TEST_F(RenderTextTest, NestedOpeningsKeepTheCache) {
  ASSERT_EQ(Render("kept", 30), 0);
  uint64_t start = TextEngineFontFileOpens();
  {
    TextEngineScope scope(6);
    ASSERT_TRUE(scope.ok());
  }
  ASSERT_EQ(Render("kept", 30), 0);
  EXPECT_EQ(TextEngineFontFileOpens(), start);
}

TEST_F(RenderTextTest, SmoothnessOutOfRangeIsHeldInRange) {
  ASSERT_EQ(Render("Neg", 20, kTextHorizontal, -5, true), 0);
  EXPECT_EQ(shadow_->chunky->width, text_->chunky->width) << "negative smoothness pads nothing";
  EXPECT_EQ(shadow_->chunky->height, text_->chunky->height);
  ASSERT_EQ(Render("Big", 20, kTextHorizontal, INT_MAX, false), 0);
  EXPECT_EQ(shadow_->chunky->width, text_->chunky->width + 2 * kMaxTextSmoothness);
  EXPECT_EQ(shadow_->chunky->height, text_->chunky->height + 2 * kMaxTextSmoothness);
}

class InsertTextTest : public test::PoolTest {
 protected:
  void SetUp() override {
    PoolTest::SetUp();
    pic_.reset(image::CreateTexture(200, 200, image::ARGB32));
    ASSERT_NE(pic_, nullptr);
    image::Fill(pic_->chunky, 255, 255, 255, 255);
    params_.text = "Vista";
    params_.font = kDejaVu;
    params_.size = 30;
  }
  void TearDown() override {
    pic_.reset();
    PoolTest::TearDown();
  }
  TexturePtr pic_;
  InsertTextParams params_;
};

TEST_F(InsertTextTest, RightBottomOriginMeasuresFromThoseEdges) {
  for (int direction : {kTextHorizontal, kTextTopToBottom, kTextBottomToTop}) {
    SCOPED_TRACE(direction);
    image::Fill(pic_->chunky, 255, 255, 255, 255);
    params_.direction = direction;
    params_.origin = kOriginRightBottom;
    params_.x = 10;
    params_.y = 10;
    params_.color = 0xFF000000u;
    ASSERT_EQ(ApplyInsertText(pic_.get(), params_), 0);
    EXPECT_EQ(TextStatus(), "OK");
    EXPECT_FALSE(TextEngineIsOpen()) << "the step closes the engine it opened";

    // The same drawing made by hand: the (turned) text's bottom-right corner at (190, 190).
    TexturePtr expected(image::CreateTexture(200, 200, image::ARGB32));
    image::Fill(expected->chunky, 255, 255, 255, 255);
    {
      TextEngineScope engine(7);
      TexturePtr text, shadow;
      ASSERT_EQ(RenderText("Vista", kDejaVu, 30, direction, 0, false, text, shadow), 0);
      CompositeText(expected.get(), text.get(), shadow.get(), 200 - text->chunky->width - 10,
                    200 - text->chunky->height - 10, 0xFF000000u, false, 0, 0, 0, 0xFF000000u, 255);
    }
    EXPECT_EQ(Pixels(pic_.get()), Pixels(expected.get()));

    int inked = 0, outside = 0;
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x)
        if (pic_->chunky->pixels[(y * 200 + x) * 4 + 1] != 255) ++inked, outside += x >= 190 || y >= 190;
    EXPECT_GT(inked, 100);
    EXPECT_EQ(outside, 0);
  }
}

TEST_F(InsertTextTest, ShadowFallsBesideTheText) {
  params_.color = 0xFFFFFFFFu;  // white text on white: only the shadow shows
  params_.shadow = true;
  params_.shadowX = 40;
  params_.shadowY = 0;
  params_.shadowColor = 0x000000FFu;  // blue; the alpha byte is not used
  params_.smoothness = 1;
  ASSERT_EQ(ApplyInsertText(pic_.get(), params_), 0);
  uint64_t blue = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x) {
      const uint8_t* p = pic_->chunky->pixels + (y * 200 + x) * 4;
      if (p[1] < 255) {
        ++blue;
        EXPECT_EQ(p[3], 255) << "shadow pixels keep full blue";
        EXPECT_EQ(p[1], p[2]);
      }
    }
  EXPECT_GT(blue, 50u);
}

TEST_F(InsertTextTest, ZeroAlphaColourLeavesThePicture) {
  std::vector<uint8_t> before = Pixels(pic_.get());
  params_.color = 0x00FFFFFFu;
  params_.shadow = true;
  params_.intensity = 255;
  ASSERT_EQ(ApplyInsertText(pic_.get(), params_), 0);
  EXPECT_EQ(Pixels(pic_.get()), before);
}

TEST_F(InsertTextTest, FailuresLeaveThePicture) {
  std::vector<uint8_t> before = Pixels(pic_.get());
  params_.font = "/nonexistent/Arial.ttf";
  EXPECT_EQ(ApplyInsertText(pic_.get(), params_), 1);
  EXPECT_EQ(TextStatus(), "Couldn't open selected font");
  params_.font = kDejaVu;
  params_.text.clear();
  EXPECT_EQ(ApplyInsertText(pic_.get(), params_), 1);
  EXPECT_EQ(Pixels(pic_.get()), before);
  EXPECT_EQ(ApplyInsertText(nullptr, params_), 1);
  TexturePtr grey(image::CreateTextureZeroed(10, 10, image::GREY8));
  params_.text = "x";
  EXPECT_EQ(ApplyInsertText(grey.get(), params_), 1);
  EXPECT_FALSE(TextEngineIsOpen());
}

TEST_F(InsertTextTest, NoMemoryAtAnyStepLeavesThePicture) {
  // Black text with a shadow beside it, smoothed by the box blur (its work buffer comes from
  // the pixel pool). Each run lets a few more pixel allocations through: every run either
  // draws exactly what an unlimited run draws, or answers 1 and changes nothing.
  params_.color = 0xFF000000u;
  params_.shadow = true;
  params_.shadowX = 6;
  params_.shadowY = 6;
  params_.shadowColor = 0xFF0000FFu;
  params_.smoothness = 3;
  params_.gaussian = false;
  const std::vector<uint8_t> before = Pixels(pic_.get());
  ASSERT_EQ(ApplyInsertText(pic_.get(), params_), 0);
  const std::vector<uint8_t> reference = Pixels(pic_.get());
  int refused = 0;
  for (long served = 0; served < 8; ++served) {
    SCOPED_TRACE(served);
    image::Fill(pic_->chunky, 255, 255, 255, 255);
    image::FailAllocationsAfter(served);
    const int rc = ApplyInsertText(pic_.get(), params_);
    image::FailAllocationsAfter(-1);
    if (rc == 0) {
      EXPECT_EQ(TextStatus(), "OK");
      EXPECT_EQ(Pixels(pic_.get()), reference) << "a drawing made with less memory differs";
    } else {
      ++refused;
      EXPECT_EQ(rc, 1);
      EXPECT_EQ(TextStatus(), "Not enough memory");
      EXPECT_EQ(Pixels(pic_.get()), before);
    }
  }
  EXPECT_GE(refused, 3) << "text, shadow and the blur's buffer each need their memory";
}

TEST_F(InsertTextTest, DefaultFontNameFindsAFace) {
  params_.font = kDefaultTextFont;
  params_.color = 0xFF000000u;
  std::vector<uint8_t> before = Pixels(pic_.get());
  ASSERT_EQ(ApplyInsertText(pic_.get(), params_), 0) << TextStatus();
  EXPECT_NE(Pixels(pic_.get()), before);
}

}  // namespace
}  // namespace vl::filters
