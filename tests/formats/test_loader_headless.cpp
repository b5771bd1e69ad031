// The built program in headless mode loads every supported format and names it.
#include <tiffio.h>

#include "test_loader_helpers.h"

namespace vl::test {
namespace {

class LoaderHeadlessTest : public LoaderTest {
 protected:
  // Runs the program on the file; returns its standard output.
  std::string Run(const std::string& path, int& status) {
    std::string out;
    status = RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(path), out);
    return out;
  }
};

TEST_F(LoaderHeadlessTest, EveryFormatShowsItsName) {
  PngSpec png;
  png.width = 3;
  png.height = 2;
  png.rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 9}};
  Bytes rgb(3 * 2 * 3, 100);
  Bytes rgba(3 * 2 * 4, 200);
  std::vector<uint32_t> v(6, 0x445566);
  struct Case {
    std::string name;
    Bytes file;
    const char* format;
  } cases[] = {
      {"a.png", EncodePng(png), "PNG"},
      {"a.gif", EncodeGif(3, 2, {0, 1, 0, 1, 0, 1}, {0, 0, 0, 9, 9, 9}, 1, -1, false), "GIF"},
      {"a.tiff", EncodeTiff(3, 2, 3, rgb, COMPRESSION_LZW), "TIFF"},
      {"a.webp", EncodeWebpLossless(3, 2, rgba, true), "WebP"},
      {"a.jpeg", EncodeJpeg(3, 2, 3, rgb), "JPEG"},
      {"b.jpg", EncodeJpeg(3, 2, 3, rgb), "JPEG"},
      {"a.bmp", BuildBmp(3, 2, 24, 0, {}, Bytes(24, 1)), "BMP"},
      {"a.ppm",
       [] {
         std::string t = "P3 3 2 255 1 2 3 1 2 3 1 2 3 1 2 3 1 2 3 1 2 3";
         return Bytes(t.begin(), t.end());
       }(),
       "PNM"},
      {"a.iff", BuildIlbm(3, 2, 24, v, {}, 1), "ILBM"},
      {"a.ras", BuildSunRaster(3, 2, 32, 1, {}, Bytes(24, 5)), "Sun Raster"},
      {"b.sun", BuildSunRaster(3, 2, 24, 1, {}, Bytes(20, 5)), "Sun Raster"},
  };
  for (const Case& c : cases) {
    std::string path = Write(c.name, c.file);
    int status = -1;
    std::string out = Run(path, status);
    EXPECT_EQ(status, 0) << c.name << "\n" << out;
    EXPECT_NE(out.find("Title: " + path + " (3x2)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("Width: 3\nHeight: 2\n"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string("\nFormat: ") + c.format + "\n"), std::string::npos) << c.name << "\n" << out;
  }
}

TEST_F(LoaderHeadlessTest, BrokenFileFailsWithStatusOne) {
  Bytes ilbm = BuildIlbm(3, 2, 24, std::vector<uint32_t>(6, 1), {}, 1);
  ilbm.resize(ilbm.size() - 4);
  int status = -1;
  std::string out = Run(Write("cut.iff", ilbm), status);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("Format: \n"), std::string::npos) << out;
}

}  // namespace
}  // namespace vl::test
