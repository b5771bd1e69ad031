// The resize window's rules: the field steps, the aspect rule in single precision without
// the two fields chasing each other, and the execute step's refusals and failure report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/controller.h"
#include "edit/resize_rules.h"
#include "platform/requester.h"
#include "test_support.h"

namespace vl::edit {
namespace {

TEST(ResizeRules, FieldStepsAndTheAspectInSinglePrecision) {
  const int32_t max = kResizeFieldMax;
  const int32_t steps[][3] = {{0, 0, 0}, {1, 2, 0}, {7, 14, 3}, {max / 2 + 1, max, max / 4}, {max, max, max / 2}};
  for (const auto& s : steps) {
    EXPECT_EQ(DoubledField(s[0]), s[1]) << s[0];
    EXPECT_EQ(HalvedField(s[0]), s[2]) << s[0];  // truncating toward zero
  }
  struct Case {
    int32_t imageWidth, imageHeight, given, height, width;  // height from a given width, width from a given height
  };
  const Case cases[] = {
      {640, 480, 320, 240, 426},
      // 27 x (7 / 3) is 63 in double precision, but 62.999998 truncated to 62 in single.
      {3, 7, 27, 62, 11},
      // 65 / (13 / 3) is 15 in double precision, but 14.999999 truncated to 14 in single.
      {3, 13, 65, 281, 14},
      {1, 1000000, 1000, max, 0},  // a field never passes its range
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
  EXPECT_TRUE(f.preserveAspect());
  // Were the computed height to set the width in turn, the width would become
  // truncate(66 / 0.6666667) = 99.
  f.SetWidth(100);
  EXPECT_EQ(f.height(), 66);
  EXPECT_EQ(f.width(), 100);
  f.Reset(640, 480);
  f.DoubleWidth();
  EXPECT_EQ(f.height(), 960);
  f.HalveHeight();
  EXPECT_EQ(f.width(), 640);
  // Without the rule each field stands alone; turned back on, it acts on the next change.
  f.SetPreserveAspect(false);
  f.SetHeight(7);
  EXPECT_EQ(f.width(), 640);
  f.SetPreserveAspect(true);
  EXPECT_EQ(f.height(), 7);
  f.HalveWidth();
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

class ResizeExecute : public test::PoolTest {};

TEST_F(ResizeExecute, RefusesWhatCannotBeMadeAndReportsAFailedScale) {
  auto size = [](int32_t w, int32_t h, bool border) {
    ScaleParams p;
    p.width = w;
    p.height = h;
    p.border = border;
    return p;
  };
  struct Case {
    const char* name;
    uint32_t format;
    ScaleParams params;
    const char* error;  // null: the picture takes the new size
  };
  const int32_t tall = static_cast<int32_t>(image::kMaxPixels / 200 + 1);
  const Case cases[] = {
      {"scaled", image::ARGB32, size(20, 15, false), nullptr},
      {"no width", image::ARGB32, size(0, 10, false), "at least 1"},
      {"no height", image::ARGB32, size(200, 0, false), "at least 1"},
      {"past the pixel limit", image::ARGB32, size(20000, 20000, false), "20000 x 20000"},
      // 10 x 1342178 fits, but the canvas keeps the picture's 200 columns.
      {"canvas past the limit", image::ARGB32, size(10, tall, true), "200 x 1342178"},
      // The resampler takes 1- and 4-byte pixels only: a 3-byte picture cannot be scaled.
      {"scale failed", image::RGB24, size(20, 15, false), "Not enough memory.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    app::Controller controller;
    controller.SetReader([format = c.format](const char*) { return image::CreateTextureZeroed(200, 10, format); });
    ASSERT_EQ(controller.OpenPicture("zeroes"), 0);
    RecordingRequester requester;
    EXPECT_EQ(ExecuteResize(controller, c.params), c.error ? 1 : 0);
    const image::ChunkyImage* now = controller.currentImage()->chunky;
    if (!c.error) {
      EXPECT_TRUE(requester.errors.empty());
      EXPECT_EQ(now->width, c.params.width);
      EXPECT_EQ(now->height, c.params.height);
      EXPECT_EQ(controller.undoImage(), nullptr) << "a resize is not undoable";
      continue;
    }
    ASSERT_EQ(requester.errors.size(), 1u);
    EXPECT_NE(requester.errors[0].find(c.error), std::string::npos) << requester.errors[0];
    EXPECT_EQ(now->width, 200);
    EXPECT_EQ(now->height, 10);
  }
  // Without the border the same size fits.
  image::ChunkyPtr picture(image::chk_Create(200, 10, image::ARGB32, true));
  EXPECT_EQ(ResizeRefusal(*picture, size(10, tall, false)), "");
}

}  // namespace
}  // namespace vl::edit
