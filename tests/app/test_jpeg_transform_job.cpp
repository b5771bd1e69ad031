// The JPEG Transformations window's logic without a display (the output name, the preview's
// geometry and pixels, the jobs on workers) and the lines of the EXIF window's model.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/controller.h"
#include "app/jpeg_transform_job.h"
#include "image/chunky.h"
#include "platform/paths.h"
#include "test_support.h"

namespace vl::app {
namespace {

using formats::JpegTransformation;
using vl::test::TempDir;

TEST(JpegTransformOutput, TheFieldTextBecomesAPath) {
  TempDir t;
  const std::string source = t.file("photo.jpg");
  struct Case {
    std::string text;
    std::string path;  // empty: refused
  } cases[] = {
      {source, source},
      {t.file("other.jpg"), t.file("other.jpg")},
      {"turned.jpg", t.file("turned.jpg")},  // beside the source
      {"sub/turned.jpg", t.file("sub/turned.jpg")},
      {t.path(), source},  // a directory receives the source's name
      {"T:turned.jpg", platform::ResolvePath("T:turned.jpg")},
      {"", ""},
      {std::string(1024, 'a'), ""},
      {std::string("a\0b", 3), ""},
  };
  for (const Case& c : cases) {
    const TransformOutput out = ResolveTransformOutput(source, c.text);
    EXPECT_EQ(out.ok, !c.path.empty()) << c.text;
    EXPECT_EQ(out.path, c.path) << c.text;
    EXPECT_EQ(out.error.empty(), out.ok) << c.text;
  }
}

TEST(JpegTransformOutput, TheSourceBecomesAbsolute) {
  EXPECT_EQ(TransformSourcePath(""), "");
  EXPECT_EQ(TransformSourcePath("/a/b.jpg"), "/a/b.jpg");
  const std::string relative = TransformSourcePath("b.jpg");
  ASSERT_FALSE(relative.empty());
  EXPECT_EQ(relative.front(), '/');
  EXPECT_EQ(platform::FilePart(relative), "b.jpg");
  EXPECT_EQ(TransformSourcePath("T:x.jpg"), platform::ResolvePath("T:x.jpg"));
}

TEST(JpegTransformPreview, FitsIntoTheBoxKeepingTheAspect) {
  struct Case {
    int w, h, bw, bh;
    Size2 expected;
  } cases[] = {
      {100, 50, 240, 240, {100, 50}},  // never enlarged
      {1000, 750, 240, 240, {240, 180}},
      {750, 1000, 240, 240, {180, 240}},
      {10000, 1, 240, 240, {240, 1}},  // never thinner than a pixel
      {1, 10000, 240, 240, {1, 240}},
      {480, 240, 240, 100, {200, 100}},  // the height meets the box first
      {0, 10, 240, 240, {0, 0}},
      {10, 10, 0, 240, {0, 0}},
      {2000000000, 2000000000, 240, 240, {240, 240}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FitIntoBox(c.w, c.h, c.bw, c.bh), c.expected) << c.w << "x" << c.h << " in " << c.bw << "x" << c.bh;
}

class JpegTransformPreviewTest : public test::PoolTest {};

// Where the top-left pixel of a 3 x 2 picture lands after each transformation, and the size.
TEST_F(JpegTransformPreviewTest, TurnsThePreviewAsTheFileTurns) {
  struct Case {
    JpegTransformation t;
    int w, h, x, y;
  } cases[] = {
      {JpegTransformation::kNone, 3, 2, 0, 0},           {JpegTransformation::kRotate90, 2, 3, 1, 0},
      {JpegTransformation::kRotate180, 3, 2, 2, 1},      {JpegTransformation::kRotate270, 2, 3, 0, 2},
      {JpegTransformation::kFlipHorizontal, 3, 2, 2, 0}, {JpegTransformation::kFlipVertical, 3, 2, 0, 1},
  };
  image::ChunkyPtr picture(image::chk_Create(3, 2, image::ARGB32, true));
  ASSERT_TRUE(picture);
  image::SetPixel(picture.get(), 0, 0, 255, 200, 10, 20);
  for (const Case& c : cases) {
    EXPECT_EQ(TransformedSize(3, 2, c.t), (Size2{c.w, c.h}));
    image::ChunkyPtr turned(TransformPreview(picture.get(), c.t));
    ASSERT_TRUE(turned);
    ASSERT_EQ(turned->width, c.w);
    ASSERT_EQ(turned->height, c.h);
    uint8_t a, r, g, b;
    image::GetPixel(turned.get(), c.x, c.y, a, r, g, b);
    EXPECT_EQ(r, 200) << static_cast<int>(c.t);
    image::GetPixel(picture.get(), 0, 0, a, r, g, b);
    EXPECT_EQ(r, 200) << "the preview it was made from stays as it was";
  }
  EXPECT_EQ(TransformPreview(nullptr, JpegTransformation::kRotate90), nullptr);
}

TEST_F(JpegTransformPreviewTest, ScalesABigPictureDownToTheBox) {
  image::ChunkyPtr picture(test::RandomImage(1000, 750, image::ARGB32, 5));
  image::ChunkyPtr small(ScalePreview(picture.get(), 240, 240));
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width, 240);
  EXPECT_EQ(small->height, 180);
  image::ChunkyPtr tiny(test::RandomImage(20, 10, image::ARGB32, 5));
  image::ChunkyPtr same(ScalePreview(tiny.get(), 240, 240));
  ASSERT_TRUE(same);
  EXPECT_EQ(std::vector<uint8_t>(same->pixels, same->pixels + 20 * 10 * 4),
            std::vector<uint8_t>(tiny->pixels, tiny->pixels + 20 * 10 * 4));
}

// Drains the queue until done is set (at most 20 s).
bool DrainUntil(platform::SimpleMainThreadQueue& queue, const bool& done) {
  for (int i = 0; i < 2000 && !done; ++i) {
    if (queue.RunPending() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done;
}

TEST_F(JpegTransformPreviewTest, APreviewIsScaledFromACopyAndDroppedWhenTheJobsAreGone) {
  platform::SimpleMainThreadQueue queue;
  image::ChunkyPtr picture(test::RandomImage(600, 300, image::ARGB32, 9));
  {
    JpegTransformJobs jobs(queue);
    bool done = false;
    image::ChunkyPtr got;
    ASSERT_TRUE(jobs.StartPreview(picture.get(), 240, 240, [&](image::ChunkyPtr p) {
      got = std::move(p);
      done = true;
    }));
    picture.reset();  // the worker has its own copy
    ASSERT_TRUE(DrainUntil(queue, done));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->width, 240);
    EXPECT_EQ(got->height, 120);
    EXPECT_FALSE(jobs.StartPreview(nullptr, 240, 240, [](image::ChunkyPtr) {}));

    picture.reset(test::RandomImage(600, 300, image::ARGB32, 9));
    ASSERT_TRUE(jobs.StartPreview(picture.get(), 240, 240, [](image::ChunkyPtr) { ADD_FAILURE() << "too late"; }));
  }
  // The destroyed jobs waited for their worker; its queued result is freed without a call.
  queue.RunPending();
}

TEST(ExifModelLines, FollowTheFileAndTheCorrection) {
  ExifWindowModel model;
  int told = 0;
  model.SetListener([&] { ++told; });
  InfoList lines = model.WindowLines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[5].first, "Exposure time:") << "the labels of the window as first built";
  for (const auto& line : lines) EXPECT_EQ(line.second, "");

  model.SetReader([](const std::string& path, int& orientation, InfoList& info) {
    if (path.find("plain") != std::string::npos) return false;
    orientation = 6;
    info = {{"Name:", "a.jpg"}, {"Distance:", "2.50m\n"}, {"Orientation:", "Rotate 90"}};
    return true;
  });
  model.ReadFile("/p/a.jpg");
  EXPECT_EQ(model.WindowLines(), (InfoList{{"Name:", "a.jpg"}, {"Distance:", "2.50m"}, {"Orientation:", "Rotate 90"}}));
  model.SetOrientationApplied(true);
  EXPECT_EQ(model.WindowLines().back().second, "Rotate 90 (corrected)");

  // A JPEG without EXIF data: its name, every fact unknown, no stale lines of the last file.
  model.ReadFile("/p/plain.jpg");
  lines = model.WindowLines();
  ASSERT_EQ(lines.size(), 8u) << "no camera line";
  EXPECT_EQ(lines[0], (std::pair<std::string, std::string>{"Name:", "plain.jpg"}));
  EXPECT_EQ(lines[4], (std::pair<std::string, std::string>{"Exposire time:", "---"}));
  EXPECT_EQ(lines.back(), (std::pair<std::string, std::string>{"Orientation:", "Not available"}));

  const int before = told;
  model.Open();
  model.Close();
  model.Clear();
  EXPECT_EQ(told, before + 3) << "the window hears of every change";
  EXPECT_EQ(model.WindowLines()[5].first, "Exposure time:");
}

}  // namespace
}  // namespace vl::app
