// The EXIF window's lines and the plain-text report built from them.
#include <gtest/gtest.h>

#include <cstdio>

#include "formats/exif.h"
#include "formats/exif_report.h"
#include "test_jpeg_files.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::Bytes;
using test::Tiff;

std::string Text(const std::vector<ExifLine>& lines, const std::string& label) {
  for (const ExifLine& l : lines)
    if (l.label == label) return l.text;
  return "<absent>";
}

std::vector<std::string> Labels(const std::vector<ExifLine>& lines) {
  std::vector<std::string> out;
  for (const ExifLine& l : lines) out.push_back(l.label);
  return out;
}

TEST(ExifWindowLines, EmptyRecord) {
  ExifInfo info;
  auto lines = ExifWindowLines(info, "a.jpg", false);
  EXPECT_EQ(Labels(lines), (std::vector<std::string>{"Name:", "Date:", "Flash:", "Focal length:", "Exposire time:",
                                                     "Aperture:", "Distance:", "Orientation:"}));
  EXPECT_EQ(Text(lines, "Name:"), "a.jpg");
  EXPECT_EQ(Text(lines, "Date:"), "---");
  EXPECT_EQ(Text(lines, "Flash:"), "---");
  EXPECT_EQ(Text(lines, "Focal length:"), "---");
  EXPECT_EQ(Text(lines, "Exposire time:"), "---");
  EXPECT_EQ(Text(lines, "Aperture:"), "---");
  EXPECT_EQ(Text(lines, "Distance:"), "---");
  EXPECT_EQ(Text(lines, "Orientation:"), "Not available");
}

TEST(ExifWindowLines, FilledRecord) {
  ExifInfo info;
  info.dateTime = "2023:12:31 23:59:58";
  info.cameraModel = "E-M1";
  info.flashUsed = 0;
  info.focalLength = 12.04f;
  info.exposureTime = 0.0125f;
  info.apertureFNumber = 2.8f;
  info.distance = 3.5f;
  info.orientation = 6;
  auto lines = ExifWindowLines(info, "b.jpg", false);
  EXPECT_EQ(Labels(lines), (std::vector<std::string>{"Name:", "Date:", "Camera:", "Flash:", "Focal length:",
                                                     "Exposire time:", "Aperture:", "Distance:", "Orientation:"}));
  EXPECT_EQ(Text(lines, "Date:"), "2023:12:31 23:59:58");
  EXPECT_EQ(Text(lines, "Camera:"), "E-M1");
  EXPECT_EQ(Text(lines, "Flash:"), "No");
  EXPECT_EQ(Text(lines, "Focal length:"), "12.0mm");
  EXPECT_EQ(Text(lines, "Exposire time:"), "0.013s");
  EXPECT_EQ(Text(lines, "Aperture:"), "f/2.8s");
  EXPECT_EQ(Text(lines, "Distance:"), "3.50m\n");
  EXPECT_EQ(Text(lines, "Orientation:"), "Rotate 90");
  info.flashUsed = 1;
  info.distance = -1;
  lines = ExifWindowLines(info, "b.jpg", true);
  EXPECT_EQ(Text(lines, "Flash:"), "Yes");
  EXPECT_EQ(Text(lines, "Distance:"), "Infinite");
  EXPECT_EQ(Text(lines, "Orientation:"), "Rotate 90 (corrected)");
}

TEST(ExifWindowLines, OrientationNames) {
  const char* names[] = {"Undefined", "Normal",    "Flip horizontal", "Rotate 180", "Flip vertical",
                         "Transpose", "Rotate 90", "Transverse",      "Rotate 270"};
  for (int i = 0; i <= 8; ++i) EXPECT_STREQ(OrientationName(i), names[i]);
  ExifInfo info;
  for (int i = 1; i <= 8; ++i) {
    info.orientation = i;
    EXPECT_EQ(Text(ExifWindowLines(info, "", false), "Orientation:"), names[i]);
  }
  // Outside 1-8 there is no name to correct.
  info.orientation = 9;
  EXPECT_EQ(Text(ExifWindowLines(info, "", true), "Orientation:"), "Not available");
}

TEST(ExifWindowLines, InitialLabelsSpellExposureCorrectly) {
  auto labels = ExifWindowInitialLabels();
  ASSERT_EQ(labels.size(), 9u);
  EXPECT_EQ(labels[5], "Exposure time:");
  ExifInfo info;
  info.cameraModel = "x";
  auto updated = Labels(ExifWindowLines(info, "", false));
  ASSERT_EQ(updated.size(), labels.size());
  for (size_t i = 0; i < labels.size(); ++i) {
    if (i != 5) {
      EXPECT_EQ(updated[i], labels[i]);
    }
  }
}

class ExifReport : public ::testing::Test {
 protected:
  std::string Run(const std::string& path, int& rc) {
    FILE* f = std::tmpfile();
    rc = PrintExifReport(path, f);
    std::string out;
    std::rewind(f);
    char buf[256];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    std::fclose(f);
    return out;
  }
  test::TempDir dir_;
};

TEST_F(ExifReport, CameraFile) {
  Tiff t(true);
  uint32_t ifd0 = t.AddIfd({t.Ascii(0x0110, "E-M1"), t.Short(0x0112, 8), t.Raw(0x8769, 4, 1, 0)});
  uint32_t sub = t.AddIfd({t.Ascii(0x9003, "2023:12:31 23:59:58"), t.Short(0x9209, 16), t.Rational(0x920A, 25, 1),
                           t.Rational(0x829A, 1, 500), t.Rational(0x829D, 56, 10), t.Rational(0x9206, 0xFFFFFFFFu, 1)});
  t.Patch32(Tiff::ValueField(ifd0, 2), sub);
  const std::string path = dir_.file("P1010001.jpg");
  test::WriteFile(path, test::JpegWithExif(t.App1Payload()));
  int rc = -1;
  std::string out = Run(path, rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(out,
            "Name: P1010001.jpg\n"
            "Date: 2023:12:31 23:59:58\n"
            "Camera: E-M1\n"
            "Flash: No\n"
            "Focal length: 25.0mm\n"
            "Exposire time: 0.002s\n"
            "Aperture: f/5.6s\n"
            "Distance: Infinite\n"
            "Orientation: Rotate 270\n");
}

TEST_F(ExifReport, PaddedCameraTextIsPrintedWithoutItsBlanks) {
  Tiff t(false);
  t.AddIfd({t.Ascii(0x0110, "E-M1            "), t.Ascii(0x0132, "2024:01:02 03:04:05")});
  const std::string path = dir_.file("padded.jpg");
  test::WriteFile(path, test::JpegWithExif(t.App1Payload()));
  int rc = -1;
  std::string out = Run(path, rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("\nCamera: E-M1\nFlash:"), std::string::npos) << out;
}

TEST_F(ExifReport, DistanceLineIsNotDoubled) {
  Tiff t(false);
  t.AddIfd({t.Rational(0x9206, 125, 100)});
  const std::string path = dir_.file("d.jpg");
  test::WriteFile(path, test::JpegWithExif(t.App1Payload()));
  int rc = -1;
  std::string out = Run(path, rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("\nDistance: 1.25m\nOrientation: Not available\n"), std::string::npos) << out;
}

TEST_F(ExifReport, FilesWithoutExif) {
  test::JpegParams params;
  const std::string plain = dir_.file("plain.jpg");
  test::WriteFile(plain, test::EncodeJpeg(params, test::Pattern(16, 16, 3)));
  const std::string text = dir_.file("t.jpg");
  test::WriteFile(text, std::string("not a picture"));
  for (const std::string& path : {plain, text}) {
    int rc = -1;
    EXPECT_EQ(Run(path, rc), "No EXIF data\n");
    EXPECT_EQ(rc, 1);
  }
}

}  // namespace
}  // namespace vl::formats
