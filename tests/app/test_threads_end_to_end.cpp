// The built program gives the same files whether its image work runs on one thread
// (VISTALOOM_THREADS=1, the plain serial path) or is split over several.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "formats/png_writer.h"
#include "image/pool.h"
#include "test_support.h"

namespace vl::test {
namespace {

class ThreadsEndToEnd : public PoolTest {};

TEST_F(ThreadsEndToEnd, ScriptedEditsGiveTheSameFilesOnOneAndSeveralThreads) {
  TempDir dir;
  // Large enough that every operation below is cut into pieces.
  image::ChunkyPtr picture(RandomImage(1201, 803, image::ARGB32, 21));
  ASSERT_TRUE(picture);
  ASSERT_EQ(formats::SavePNG(picture.get(), dir.file("in.png").c_str(), true), 1);
  const char* steps[] = {"Blur MODE color RADIUS 4", "Sharpen RADIUS 2 STRENGTH 1.5", "AdjustGamma GAMMA 1.3",
                         "Scale METHOD lanczos WIDTH 737", "BalanceHSV HUE 20 SATURATION 10 VALUE 5"};
  std::vector<std::vector<uint8_t>> results;
  for (const char* threads : {"1", "2", "3"}) {
    const std::string out = dir.file(std::string("out") + threads + ".png");
    std::string command = "VISTALOOM_THREADS=" + std::string(threads) + " " + ShellQuote(VISTALOOM_BINARY) +
                          " --headless " + ShellQuote(dir.file("in.png"));
    for (const char* step : steps) command += " --exec " + ShellQuote(step);
    command += " --exec " + ShellQuote("SavePNG FILE " + out + " ALPHA");
    std::string printed;
    ASSERT_EQ(RunCommand(command, printed), 0) << printed;
    size_t answered = 0;
    for (size_t at = printed.find("RC 0\n"); at != std::string::npos; at = printed.find("RC 0\n", at + 1)) ++answered;
    EXPECT_EQ(answered, std::size(steps) + 1) << printed;  // every step and the save answered 0
    results.push_back(ReadFile(out));
    ASSERT_GT(results.back().size(), 1000u) << threads;
  }
  EXPECT_TRUE(results[0] == results[1]) << "1 and 2 threads differ";
  EXPECT_TRUE(results[0] == results[2]) << "1 and 3 threads differ";
}

}  // namespace
}  // namespace vl::test
