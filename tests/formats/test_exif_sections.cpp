// The section reader: the section table, its limits and messages.
#include <gtest/gtest.h>

#include "formats/exif.h"
#include "test_jpeg_files.h"
#include "test_support.h"

namespace vl::formats {
namespace {

using test::Bytes;
using test::CaptureStreams;

Bytes Section(int marker, size_t payloadBytes, uint8_t fill = 0x11) {
  const size_t len = payloadBytes + 2;
  Bytes s{0xFF, static_cast<uint8_t>(marker), static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
  s.insert(s.end(), payloadBytes, fill);
  return s;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const Bytes kSoi{0xFF, 0xD8};
Bytes Sos() {
  return Section(M_SOS, 10);
}

class SectionsTest : public ::testing::Test {
 protected:
  void TearDown() override { DiscardData(); }
  int Read(const Bytes& file) {
    test::WriteFile(path_, file);
    return ReadJpegFile(path_.c_str());
  }
  test::TempDir dir_;
  std::string path_ = dir_.file("s.jpg");
};

TEST_F(SectionsTest, TableHoldsAtMostTwentySections) {
  // 19 kept sections and the scan marker make 20: accepted.
  Bytes ok = kSoi;
  for (int i = 0; i < 19; ++i) ok = Concat({ok, Section(0xE2, 4)});
  ok = Concat({ok, Sos()});
  {
    CaptureStreams cap;
    EXPECT_EQ(Read(ok), 1);
    EXPECT_EQ(SectionCount(), 20);
    EXPECT_EQ(cap.err(), "");
  }
  // 21 sections before the scan data: refused with the report, and the table is emptied.
  Bytes many = kSoi;
  for (int i = 0; i < 21; ++i) many = Concat({many, Section(0xE2, 4)});
  many = Concat({many, Sos()});
  CaptureStreams cap;
  EXPECT_EQ(Read(many), 0);
  EXPECT_EQ(cap.err(), "exif: nonfatal\nToo many sections in jpg file\n");
  EXPECT_EQ(cap.out(), "");
  EXPECT_EQ(SectionCount(), 0);
}

TEST_F(SectionsTest, DroppedSectionsDoNotCount) {
  // APP0, non-EXIF APP1 and every COM after the first are dropped, so 25 of them still fit.
  Bytes file = kSoi;
  Bytes com1 = Section(M_COM, 0);
  const std::string text = "first\r\ncomment\x01";
  com1 = {0xFF, 0xFE, 0, static_cast<uint8_t>(text.size() + 2)};
  com1.insert(com1.end(), text.begin(), text.end());
  file = Concat({file, com1});
  for (int i = 0; i < 10; ++i) file = Concat({file, Section(M_JFIF, 14), Section(M_EXIF, 8, 'x'), Section(M_COM, 3)});
  file = Concat({file, Sos()});
  ASSERT_EQ(Read(file), 1);
  EXPECT_EQ(SectionCount(), 2);  // the first COM and the scan marker
  EXPECT_NE(FindSection(M_COM), nullptr);
  EXPECT_EQ(FindSection(M_JFIF), nullptr);
  EXPECT_EQ(FindSection(M_EXIF), nullptr);
  EXPECT_EQ(CurrentExifInfo().comment, "first\ncomment?");
}

TEST_F(SectionsTest, FindSectionSkipsTheLastSectionRead) {
  ASSERT_EQ(Read(Concat({kSoi, Section(0xDB, 65), Sos()})), 1);
  const JpegSection* dqt = FindSection(0xDB);
  ASSERT_NE(dqt, nullptr);
  EXPECT_EQ(dqt->size, 67u);
  ASSERT_EQ(dqt->data.size(), 67u);
  EXPECT_EQ(dqt->data[0], 0);
  EXPECT_EQ(dqt->data[1], 67);
  EXPECT_EQ(FindSection(M_SOS), nullptr);
}

TEST_F(SectionsTest, StartOfFrameFillsTheRecord) {
  Bytes sof{0xFF, 0xC2, 0x00, 0x11, 8, 0x01, 0x2C, 0x02, 0x58, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
  ASSERT_EQ(Read(Concat({kSoi, sof, Sos()})), 1);
  ExifInfo info = CurrentExifInfo();
  EXPECT_EQ(info.height, 300);
  EXPECT_EQ(info.width, 600);
  EXPECT_EQ(info.isColor, 1);
  EXPECT_EQ(info.process, 0xC2);
  // 0xC4 (Huffman tables) is no frame header.
  Bytes dht = sof;
  dht[1] = 0xC4;
  ASSERT_EQ(Read(Concat({kSoi, dht, Sos()})), 1);
  EXPECT_EQ(CurrentExifInfo().width, 0);
  // A frame header too short for its fields is kept but read no further.
  ASSERT_EQ(Read(Concat({kSoi, Section(0xC0, 3), Sos()})), 1);
  EXPECT_EQ(CurrentExifInfo().width, 0);
  EXPECT_EQ(SectionCount(), 2);
}

TEST_F(SectionsTest, PaddingBeforeAMarker) {
  // Six 0xFF bytes (the prefix and five padding bytes) are allowed, a seventh is not.
  Bytes six{0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  Bytes ok = Concat({kSoi, six, Section(0xE2, 2), Sos()});
  EXPECT_EQ(Read(ok), 1);
  Bytes seven{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  CaptureStreams cap;
  EXPECT_EQ(Read(Concat({kSoi, seven, Section(0xE2, 2), Sos()})), 0);
  EXPECT_EQ(cap.out(), "too many padding bytes\n");
  EXPECT_EQ(cap.err(), "");
}

TEST_F(SectionsTest, MalformedFiles) {
  {
    CaptureStreams cap;
    EXPECT_EQ(Read({0x89, 'P', 'N', 'G'}), 0);
    EXPECT_EQ(Read({}), 0);
    EXPECT_EQ(cap.out() + cap.err(), "");
  }
  {
    CaptureStreams cap;
    EXPECT_EQ(Read(Concat({kSoi, {0xFF, 0xE2, 0x00, 0x01}})), 0);
    EXPECT_EQ(cap.err(), "exif: nonfatal\ninvalid marker(1)\n");
  }
  {
    // The length runs past the end of the file.
    CaptureStreams cap;
    Bytes cut = Section(0xE2, 100);
    cut.resize(30);
    EXPECT_EQ(Read(Concat({kSoi, cut})), 0);
    EXPECT_EQ(cap.err(), "exif: nonfatal\nPremature end of file?(26 vs 100)\n");
    EXPECT_EQ(SectionCount(), 0);
  }
  {
    // The file ends where a marker or a length should be.
    CaptureStreams cap;
    EXPECT_EQ(Read(Concat({kSoi, Section(0xE2, 2)})), 0);
    EXPECT_EQ(Read(Concat({kSoi, {0xFF, 0xE2, 0x00}})), 0);
    EXPECT_EQ(cap.err(), "exif: nonfatal\ninvalid marker(-1)\nexif: nonfatal\ninvalid marker(-1)\n");
  }
  {
    CaptureStreams cap;
    // A tables-only stream: the end-of-image marker (which has no length) before any scan.
    EXPECT_EQ(Read(Concat({kSoi, Section(0xDB, 4), {0xFF, 0xD9}})), 0);
    EXPECT_EQ(Read(Concat({kSoi, Section(0xDB, 4), {0xFF, 0xD9, 0x00, 0x08}})), 0);
    EXPECT_EQ(cap.out(), "No image in jpeg!\nNo image in jpeg!\n");
    EXPECT_EQ(cap.err(), "");
  }
}

TEST_F(SectionsTest, MissingFile) {
  CaptureStreams cap;
  std::string missing = dir_.file("none.jpg");
  EXPECT_EQ(ReadJpegFile(missing.c_str()), 0);
  EXPECT_EQ(cap.err(), "can't open '" + missing + "'\n");
}

TEST_F(SectionsTest, ReadingAnotherFileStartsAfresh) {
  test::Tiff t(false);
  t.AddIfd({t.Ascii(0x0110, "E-M1")});
  ASSERT_EQ(Read(test::JpegWithExif(t.App1Payload())), 1);
  EXPECT_EQ(CurrentExifInfo().cameraModel, "E-M1");
  ASSERT_EQ(Read(Concat({kSoi, Sos()})), 1);
  EXPECT_EQ(CurrentExifInfo().cameraModel, "");
  EXPECT_EQ(CurrentExifInfo().flashUsed, -1);
  EXPECT_EQ(SectionCount(), 1);
  DiscardData();
  EXPECT_EQ(SectionCount(), 0);
}

TEST_F(SectionsTest, ReadsFromAnOpenFile) {
  test::WriteFile(path_, Concat({kSoi, Section(0xE3, 5), Sos(), {1, 2, 3}}));
  FILE* f = std::fopen(path_.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadJpegSections(f), 1);
  // Reading stops at the scan marker: the compressed data stays unread.
  EXPECT_EQ(std::ftell(f), 2 + 9 + 14);
  std::fclose(f);
  EXPECT_EQ(SectionCount(), 2);
  EXPECT_EQ(ReadJpegSections(nullptr), 0);
}

}  // namespace
}  // namespace vl::formats
