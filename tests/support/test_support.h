// Shared helpers for the GoogleTest suites.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image/chunky.h"
#include "image/pool.h"

namespace vl::test {

// A fresh temporary directory, removed with its contents at the end of the scope.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Test fixture that keeps the pixel pool alive and checks that the test leaves no block behind.
class PoolTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  size_t blocksAtStart_ = 0;
};

// Runs a command through /bin/sh; returns the exit status, with standard output (and
// standard error, when captureStderr) in output.
int RunCommand(const std::string& command, std::string& output, bool captureStderr = false);

// Quotes a string for the shell.
std::string ShellQuote(const std::string& s);

bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);
bool WriteFile(const std::string& path, const std::string& data);
std::vector<uint8_t> ReadFile(const std::string& path);

// An ARGB32 image filled with a repeatable pseudo-random pattern.
image::ChunkyImage* RandomImage(int width, int height, uint32_t format, uint32_t seed);

// Writes a w x h JPEG whose EXIF block holds the orientation tag.
bool WriteJpegWithOrientation(const std::string& path, int w, int h, int orientation);

// A small DNG: IFD0 holds a uniform JPEG preview, its SubIFD a uniform RGGB mosaic of 16-bit
// samples (white level 4095, no black level) with a colour matrix that makes the camera's RGB
// linear sRGB and a neutral white balance, so the demosaiced colour is predictable.
struct TestDng {
  int width = 128, height = 96;  // the mosaic
  uint16_t red = 820, green = 820, blue = 820;
  int previewWidth = 64, previewHeight = 48;  // 0: no preview
  uint8_t previewColor[3] = {200, 40, 40};
  int orientation = 1;
  std::string make = "Vistaloom Test";
  bool dngVersion = true;  // false: no DNG tags, a TIFF with a mosaic of an unknown maker
};
std::vector<uint8_t> MakeTestDng(const TestDng& spec);
// An EXIF block ("Exif\0\0" and a TIFF structure in either byte order): a main directory with
// the camera make (ASCII, stored behind the directories) and, when orientation > 0, the
// Orientation as a SHORT; with a thumbnail, a second directory pointing at a tiny JPEG.
std::vector<uint8_t> MakeExifBlock(bool motorola, int orientation, const std::string& make, bool withThumbnail);
// An sRGB ICC profile made by lcms2.
std::vector<uint8_t> SrgbIccProfile();
// Writes a w x h JPEG through libjpeg with the EXIF block (APP1) and the ICC profile (APP2
// chunks) when they are not empty.
bool WriteJpegWithMetadata(const std::string& path, int w, int h, const std::vector<uint8_t>& exif,
                           const std::vector<uint8_t>& icc);
// The ICC profile of a JPEG file as libjpeg reads it, or of a PNG file as libpng reads it; empty
// when there is none.
std::vector<uint8_t> JpegIccProfile(const std::string& path);
std::vector<uint8_t> PngIccProfile(const std::string& path);

// Sets an environment variable for the scope, restoring the old value after.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();

 private:
  std::string name_;
  bool had_ = false;
  std::string old_;
};

}  // namespace vl::test
