// The resize window's rules: the field steps, the aspect rule in single precision without
// the two fields chasing each other, and the execute step's refusals and failure report.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/controller.h"
#include "edit/resize_rules.h"
#include "platform/requester.h"
#include "test_support.h"

namespace vl::edit {
namespace {

TEST(ResizeRules, FieldStepsDoubleAndHalveWithinTheFieldRange) {
  struct Case {
    int32_t value, doubled, halved;
  };
  const Case cases[] = {
      {0, 0, 0},
      {1, 2, 0},  // halving truncates toward zero
      {7, 14, 3},
      {640, 1280, 320},
      {kResizeFieldMax / 2 + 1, kResizeFieldMax, kResizeFieldMax / 4},
      {kResizeFieldMax, kResizeFieldMax, kResizeFieldMax / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(DoubledField(c.value), c.doubled);
    EXPECT_EQ(HalvedField(c.value), c.halved);
  }
}

TEST(ResizeRules, TheOtherSideFollowsTheAspectInSinglePrecision) {
  struct Case {
    int32_t imageWidth, imageHeight, given, height, width;  // height from a given width, width from a given height
  };
  const Case cases[] = {
      {640, 480, 320, 240, 426},
      {640, 480, 1000, 750, 1333},
      // 27 x (7 / 3) is 63 in double precision, but 62.999998 truncated to 62 in single.
      {3, 7, 27, 62, 11},
      // 65 / (13 / 3) is 15 in double precision, but 14.999999 truncated to 14 in single.
      {3, 13, 65, 281, 14},
      {1, 1000000, 1000, kResizeFieldMax, 0},  // a field never passes its range
      {1, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.imageWidth) + "x" + std::to_string(c.imageHeight) + " " + std::to_string(c.given));
    EXPECT_EQ(AspectHeight(c.given, c.imageWidth, c.imageHeight), c.height);
    EXPECT_EQ(AspectWidth(c.given, c.imageWidth, c.imageHeight), c.width);
  }
}

TEST(ResizeRules, FieldsKeepTheAspectWithoutChasing) {
  ResizeFields f;
  f.Reset(3, 2);
  EXPECT_EQ(f.width(), 3);
  EXPECT_EQ(f.height(), 2);
  EXPECT_TRUE(f.preserveAspect());
  // The height follows the width; were the height to set the width in turn, the width
  // would become truncate(66 / 0.6666667) = 99.
  f.SetWidth(100);
  EXPECT_EQ(f.height(), 66);
  EXPECT_EQ(f.width(), 100);
  f.SetHeight(10);
  EXPECT_EQ(f.width(), 15);
  EXPECT_EQ(f.height(), 10);

  f.Reset(640, 480);
  f.DoubleWidth();
  EXPECT_EQ(f.width(), 1280);
  EXPECT_EQ(f.height(), 960);
  f.HalveHeight();
  f.HalveHeight();
  EXPECT_EQ(f.height(), 240);
  EXPECT_EQ(f.width(), 320);

  // Without the rule each field stands alone; turning it back on changes nothing until the
  // next change.
  f.SetPreserveAspect(false);
  f.HalveWidth();
  f.SetHeight(7);
  EXPECT_EQ(f.width(), 160);
  EXPECT_EQ(f.height(), 7);
  f.SetPreserveAspect(true);
  EXPECT_EQ(f.width(), 160);
  EXPECT_EQ(f.height(), 7);
  f.DoubleWidth();
  EXPECT_EQ(f.height(), 240);
}

class RecordingRequester : public platform::Requester {
 public:
  RecordingRequester() { platform::SetRequester(this); }
  ~RecordingRequester() override { platform::SetRequester(nullptr); }
  void Error(const std::string& text) override { errors.push_back(text); }
  int Ask(const std::string&, const std::string&, const std::string&) override { return 0; }
  std::vector<std::string> errors;
};

class ResizeExecute : public test::PoolTest {
 protected:
  void Open(int w, int h, uint32_t format) {
    controller_ = std::make_unique<app::Controller>();
    controller_->SetReader([w, h, format](const char* path) -> image::Texture* {
      image::Texture* t = image::CreateTexture(w, h, format);
      for (size_t i = 0; i < image::BufferBytes(w, h, format); ++i) t->chunky->pixels[i] = static_cast<uint8_t>(i * 7);
      t->name = path;
      return t;
    });
    ASSERT_EQ(controller_->OpenPicture("pattern"), 0);
  }
  void TearDown() override {
    controller_.reset();
    PoolTest::TearDown();
  }
  static ScaleParams Size(int32_t w, int32_t h) {
    ScaleParams p;
    p.width = w;
    p.height = h;
    return p;
  }
  image::ChunkyImage& Current() { return *controller_->currentImage()->chunky; }
  std::vector<uint8_t> Bytes() {
    const image::ChunkyImage& c = Current();
    return {c.pixels, c.pixels + image::BufferBytes(c.width, c.height, c.format)};
  }
  std::unique_ptr<app::Controller> controller_;
};

TEST_F(ResizeExecute, SizesThatCannotBeMadeAreRefusedWithThePictureUnchanged) {
  Open(200, 10, image::ARGB32);
  const std::vector<uint8_t> before = Bytes();
  ScaleParams bordered = Size(10, static_cast<int32_t>(image::kMaxPixels / 200 + 1));
  bordered.border = true;
  struct Case {
    const char* name;
    ScaleParams params;
    const char* text;
  };
  const Case cases[] = {
      {"no width", Size(0, 10), "at least 1"},
      {"no height", Size(200, 0), "at least 1"},
      {"past the pixel limit", Size(20000, 20000), "20000 x 20000"},
      // 10 x 1342178 fits, but the canvas keeps the picture's 200 columns.
      {"canvas past the limit", bordered, "200 x 1342178"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingRequester requester;
    EXPECT_NE(ResizeRefusal(Current(), c.params), "");
    EXPECT_EQ(ExecuteResize(*controller_, c.params), 1);
    ASSERT_EQ(requester.errors.size(), 1u);
    EXPECT_NE(requester.errors[0].find(c.text), std::string::npos) << requester.errors[0];
    EXPECT_EQ(Current().width, 200);
    EXPECT_EQ(Current().height, 10);
    EXPECT_EQ(Bytes(), before);
  }
  // The same canvas size without the border is a plain scale, which fits.
  bordered.border = false;
  EXPECT_EQ(ResizeRefusal(Current(), bordered), "");
}

TEST_F(ResizeExecute, AScaleReplacesThePictureAndAFailureReportsMemory) {
  Open(40, 30, image::ARGB32);
  {
    RecordingRequester requester;
    EXPECT_EQ(ExecuteResize(*controller_, Size(20, 15)), 0);
    EXPECT_TRUE(requester.errors.empty());
    EXPECT_EQ(Current().width, 20);
    EXPECT_EQ(Current().height, 15);
    EXPECT_EQ(controller_->undoImage(), nullptr) << "a resize is not undoable";
  }
  // The resampler takes 1- and 4-byte pixels only: a 3-byte picture cannot be scaled.
  Open(40, 30, image::RGB24);
  const std::vector<uint8_t> before = Bytes();
  RecordingRequester requester;
  EXPECT_EQ(ExecuteResize(*controller_, Size(20, 15)), 1);
  ASSERT_EQ(requester.errors.size(), 1u);
  EXPECT_EQ(requester.errors[0], "Not enough memory.\n");
  EXPECT_EQ(Current().width, 40);
  EXPECT_EQ(Bytes(), before);
}

TEST(ResizeExecuteWithoutPicture, AnswersOneAndReportsNothing) {
  app::Controller c;
  RecordingRequester requester;
  EXPECT_EQ(ExecuteResize(c, ScaleParams{}), 1);
  EXPECT_TRUE(requester.errors.empty());
}

}  // namespace
}  // namespace vl::edit
