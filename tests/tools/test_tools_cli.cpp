// The headless front ends of the batch tools, run as the built program on real directories.
#include <gtest/gtest.h>

#include "formats/icon.h"
#include "formats/loader.h"
#include "formats/picture_metadata.h"
#include "platform/paths.h"
#include "test_support.h"
#include "tools/tools_cli.h"
#include "tools_test_util.h"

namespace vl::tools {
namespace {

using test::RunCommand;
using test::ShellQuote;
using test::TempDir;
using namespace testutil;

// Runs the program with the arguments; standard error goes to a file (not a terminal).
int RunProgram(const std::string& args, std::string& out, std::string& err, const TempDir& dir) {
  const std::string errFile = dir.file("stderr.txt");
  int rc = RunCommand(std::string(VISTALOOM_BINARY) + " " + args + " 2>" + ShellQuote(errFile), out);
  std::vector<uint8_t> e = test::ReadFile(errFile);
  err.assign(e.begin(), e.end());
  return rc;
}

class ToolsCli : public test::PoolTest {
 protected:
  TempDir work;
  TempDir scratch;  // for the captured standard error
  std::string out, err;
};

TEST(ToolsCliOptions, OtherCommandLinesAreLeftToTheProgram) {
  int status = -1;
  EXPECT_FALSE(RunToolsCli({"--headless", "picture.png"}, status));
  EXPECT_FALSE(RunToolsCli({}, status));
  EXPECT_FALSE(RunToolsCli({"--", "--thumbnailer"}, status));  // a file of that name
  EXPECT_EQ(status, -1);
}

TEST_F(ToolsCli, BatchConvertPrintsTheStatistics) {
  ASSERT_TRUE(platform::MakeDirectories(work.file("src")));
  ASSERT_TRUE(WriteSolidPng(work.file("src/a.png"), 40, 30, 1, 2, 3));
  ASSERT_TRUE(test::WriteFile(work.file("src/notes.txt"), std::string("text")));
  const std::string dst = work.file("out/one/two");
  ASSERT_EQ(RunProgram("--batch-convert " + ShellQuote(work.file("src")) + " " + ShellQuote(dst) + " --quality=100",
                       out, err, scratch),
            0)
      << err;
  const std::string head = "Scanned files: 2\nConverted files: 1\nFile size difference: larger by ";
  EXPECT_EQ(out.substr(0, head.size()), head);
  EXPECT_EQ(err, "");  // no progress display when standard error is no terminal
  EXPECT_TRUE(IsJpegFile(dst + "/a.png"));
}

TEST_F(ToolsCli, BatchConvertFailsWhenAPictureReadCannotBeSaved) {
  // Each row: how the destination is spoiled, the exit status and the converted count.
  struct Case {
    const char* name;
    void (*spoil)(const TempDir& work, const std::string& dst);
    int status;
    int converted;
  };
  const Case cases[] = {
      {"every save fails",
       [](const TempDir&, const std::string& d) {
         platform::MakeDirectories(d + "/a.png");
         platform::MakeDirectories(d + "/b.png");
       },
       1, 0},
      {"one save fails", [](const TempDir&, const std::string& d) { platform::MakeDirectories(d + "/b.png"); }, 1, 1},
      {"an unreadable picture is not a failed save",
       [](const TempDir& w, const std::string&) {
         std::vector<uint8_t> png = test::ReadFile(w.file("src/b.png"));
         png.resize(60);
         test::WriteFile(w.file("src/b.png"), png);
       },
       0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir w;
    ASSERT_TRUE(platform::MakeDirectories(w.file("src")));
    ASSERT_TRUE(WriteSolidPng(w.file("src/a.png"), 40, 30, 1, 2, 3));
    ASSERT_TRUE(WriteSolidPng(w.file("src/b.png"), 30, 20, 4, 5, 6));
    // A directory in the place of an output file makes its save fail.
    const std::string dst = w.file("out");
    c.spoil(w, dst);
    const int rc =
        RunProgram("--batch-convert " + ShellQuote(w.file("src")) + " " + ShellQuote(dst), out, err, scratch);
    EXPECT_EQ(rc, c.status) << out << err;
    const std::string head = "Scanned files: 2\nConverted files: " + std::to_string(c.converted) + "\n";
    EXPECT_NE(out.find(head), std::string::npos) << out;
    EXPECT_NE(out.find("File size difference: "), std::string::npos) << out;
  }
}

TEST_F(ToolsCli, BatchConvertKeepsTheExifBlockAndTheProfile) {
  // The converter turns nothing: the scaled copy keeps the block as it was, orientation 6
  // and thumbnail included, and the profile the loader gave the picture.
  ASSERT_TRUE(platform::MakeDirectories(work.file("src")));
  const std::vector<uint8_t> exif = test::MakeExifBlock(false, 6, "Acme Optics", true);
  const std::vector<uint8_t> icc = test::SrgbIccProfile();
  struct Case {
    const char* name;
    std::vector<uint8_t> exif;
  };
  const Case cases[] = {{"photo.jpg", exif}, {"photo2.jpeg", exif}, {"plain.jpg", {}}};
  for (const Case& c : cases) ASSERT_TRUE(test::WriteJpegWithMetadata(work.file("src/") + c.name, 64, 32, c.exif, icc));
  const std::string dst = work.file("out");
  ASSERT_EQ(RunProgram("--batch-convert " + ShellQuote(work.file("src")) + " " + ShellQuote(dst) +
                           " --width 16 --height 16 --reduce",
                       out, err, scratch),
            0)
      << err;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = work.file("src/") + c.name, converted = dst + "/" + c.name;
    image::TexturePtr loaded(formats::ReadPicture(source.c_str()));
    image::TexturePtr result(formats::ReadPicture(converted.c_str()));
    ASSERT_TRUE(loaded && result && result->chunky);
    EXPECT_EQ(result->chunky->width, 16);
    EXPECT_EQ(result->chunky->height, 8);
    const std::vector<uint8_t> file = test::ReadFile(converted);
    EXPECT_EQ(formats::FindJpegExifBlock(file.data(), file.size()), c.exif);
    EXPECT_EQ(test::JpegIccProfile(converted), loaded->iccProfile ? *loaded->iccProfile : std::vector<uint8_t>());
  }
}

TEST_F(ToolsCli, BatchConvertUsageErrors) {
  EXPECT_EQ(RunProgram("--batch-convert onlyone", out, err, scratch), 2);
  EXPECT_EQ(RunProgram("--batch-convert a b --quality 5", out, err, scratch), 2);
  EXPECT_NE(err.find("--quality"), std::string::npos) << err;
  EXPECT_EQ(RunProgram("--batch-convert a b --width 12x", out, err, scratch), 2);
  EXPECT_EQ(RunProgram("--batch-convert a b --enlarge=yes", out, err, scratch), 2);
  EXPECT_EQ(RunProgram("--batch-convert a b --thumbnailer", out, err, scratch), 2);
  EXPECT_EQ(RunProgram("--batch-convert " + ShellQuote(work.file("missing")) + " " + ShellQuote(work.file("d")), out,
                       err, scratch),
            1);
  EXPECT_FALSE(Exists(work.file("d")));
}

TEST_F(ToolsCli, ThumbnailerPrintsTheStatistics) {
  ASSERT_TRUE(platform::MakeDirectories(work.file("pics/sub")));
  ASSERT_TRUE(WriteSolidPng(work.file("pics/a.png"), 40, 30, 1, 2, 3));
  ASSERT_TRUE(WriteSolidPng(work.file("pics/sub/b.png"), 40, 30, 1, 2, 3));
  ASSERT_EQ(RunProgram("--thumbnailer " + ShellQuote(work.file("pics")) + " --recursive --suffix png --replace", out,
                       err, scratch),
            0)
      << err;
  EXPECT_EQ(out, "Scanned directories: 2\nScanned files: 2\nCreated thumbnails: 0\n");  // both end with "png"
  ASSERT_EQ(RunProgram("--thumbnailer " + ShellQuote(work.file("pics")) + " --recursive --width 20 --height 10", out,
                       err, scratch),
            0);
  EXPECT_EQ(out, "Scanned directories: 2\nScanned files: 2\nCreated thumbnails: 2\n");
  EXPECT_TRUE(IsPngFile(work.file("pics/sub/b.png.info")));
}

TEST_F(ToolsCli, ThumbnailerRefusesAnEmptySuffix) {
  ASSERT_TRUE(WriteSolidPng(work.file("a.png"), 8, 8, 1, 2, 3));
  EXPECT_EQ(RunProgram("--thumbnailer " + ShellQuote(work.path()) + " --suffix ''", out, err, scratch), 2);
  EXPECT_EQ(out, "You need to specify file suffix!\n");
  EXPECT_EQ(Names(work.path()), (std::set<std::string>{"a.png"}));
}

TEST_F(ToolsCli, ThumbnailerWithATemplateAndABadOne) {
  ASSERT_TRUE(platform::MakeDirectories(work.file("pics")));
  ASSERT_TRUE(WriteSolidPng(work.file("pics/a.png"), 40, 30, 1, 2, 3));
  ASSERT_TRUE(WriteSolidPng(work.file("frame.png"), 30, 28, 9, 9, 9));
  ASSERT_EQ(RunProgram("--thumbnailer " + ShellQuote(work.file("pics")) + " --template " +
                           ShellQuote(work.file("frame.png")) + " --offset-x -3 --offset-y=2 --default-tool C:View",
                       out, err, scratch),
            0)
      << err;
  formats::DiskObjectPtr icon(formats::GetDiskObject(work.file("pics/a.png")));
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->image->width, 30);
  EXPECT_EQ(icon->defaultTool, "C:View");
  EXPECT_EQ(
      RunProgram("--thumbnailer " + ShellQuote(work.file("pics")) + " --template " + ShellQuote(work.file("none.png")),
                 out, err, scratch),
      1);
}

TEST_F(ToolsCli, JpegTransformInPlaceAndItsFailures) {
  ASSERT_TRUE(WriteSolidPng(work.file("a.png"), 48, 32, 1, 2, 3));
  ASSERT_TRUE(platform::MakeDirectories(work.file("jpg")));
  // The batch converter makes the JPEG (named like its source).
  ASSERT_EQ(
      RunProgram("--batch-convert " + ShellQuote(work.path()) + " " + ShellQuote(work.file("jpg")), out, err, scratch),
      0);
  const std::string file = work.file("jpg/a.png");
  ASSERT_TRUE(IsJpegFile(file));
  EXPECT_EQ(RunProgram("--jpeg-transform " + ShellQuote(file) + " --rotate 90", out, err, scratch), 0) << out << err;
  EXPECT_EQ(Names(work.file("jpg")), (std::set<std::string>{"a.png"}));
  EXPECT_EQ(RunProgram("--jpeg-transform " + ShellQuote(file) + " --flip vertical --output " +
                           ShellQuote(work.file("jpg/b.jpg")),
                       out, err, scratch),
            0);
  EXPECT_TRUE(IsJpegFile(work.file("jpg/b.jpg")));

  ASSERT_TRUE(test::WriteFile(work.file("jpg/text.jpg"), std::string("not a picture")));
  EXPECT_EQ(
      RunProgram("--jpeg-transform " + ShellQuote(work.file("jpg/text.jpg")) + " --rotate 180", out, err, scratch), 1);
  EXPECT_FALSE(out.empty());  // the codec's text
  const std::vector<uint8_t> kept = test::ReadFile(work.file("jpg/text.jpg"));
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "not a picture");
  EXPECT_FALSE(Exists(work.file("jpg/text.jpg.VLTemp")));

  EXPECT_EQ(RunProgram("--jpeg-transform " + ShellQuote(file) + " --rotate 45", out, err, scratch), 2);
  EXPECT_EQ(RunProgram("--jpeg-transform " + ShellQuote(file), out, err, scratch), 2);
  EXPECT_EQ(RunProgram("--jpeg-transform " + ShellQuote(file) + " --rotate 90 --flip vertical", out, err, scratch), 2);
}

}  // namespace
}  // namespace vl::tools
