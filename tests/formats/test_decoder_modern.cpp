// HEIF, AVIF and JPEG XL: files written by each library's own encoder tool from a PNG the
// test writes, compared with what the library's own decoder tool makes of them.
#include <zlib.h>

#include <cstring>

#include "formats/decoders.h"
#include "formats/file_type.h"
#include "formats/loader.h"
#include "icc_test_util.h"
#include "test_loader_helpers.h"

namespace vl::test {
namespace {

// One format and its reference tools. The commands take {in} and {out}; the first word is the tool.
struct Format {
  const char* typeName;
  const char* suffix;
  const char* encodeLossless;  // PNG {in} to this format {out}, as near lossless as the tool goes
  const char* encodePlain;     // PNG {in}, default settings (keeps the PNG's ICC profile)
  const char* decoder;         // this format {in} to PNG {out}
  bool (*sniff)(const uint8_t*, size_t);
};

const Format kFormats[] = {
    {"HEIF", "heic", "heif-enc -L -p chroma=444 --matrix_coefficients=0 {in} -o {out}", "heif-enc -q 90 {in} -o {out}",
     "heif-convert {in} {out}", formats::SniffHeif},
    {"AVIF", "avif", "avifenc --lossless {in} {out}", "avifenc {in} {out}", "avifdec {in} {out}", formats::SniffAvif},
    {"JPEG XL", "jxl", "cjxl -d 0 {in} {out}", "cjxl {in} {out}", "djxl {in} {out}", formats::SniffJxl},
};

bool HaveTool(const std::string& tool) {
  std::string out;
  return RunCommand("command -v " + ShellQuote(tool), out) == 0;
}

// RGBA rows of a w x h picture with gradients in every channel; alpha varies when wanted.
PngSpec Pattern(int w, int h, bool alpha) {
  PngSpec s;
  s.width = w, s.height = h, s.colorType = alpha ? 6 : 2;
  for (int y = 0; y < h; ++y) {
    Bytes& row = s.rows.emplace_back();
    for (int x = 0; x < w; ++x) {
      row.insert(row.end(), {uint8_t(x * 255 / (w - 1)), uint8_t(y * 255 / (h - 1)), uint8_t((x + y) * 7)});
      if (alpha) row.push_back(uint8_t(x < w / 2 ? 255 : 40 + y * 4));
    }
  }
  return s;
}

// Inserts an iCCP chunk carrying profile after the IHDR chunk of a PNG.
Bytes WithIccp(Bytes png, const Bytes& profile) {
  uLongf packedSize = compressBound(profile.size());
  Bytes chunk = {'i', 'C', 'C', 'P', 't', 'e', 's', 't', 0, 0}, packed(packedSize), whole;
  EXPECT_EQ(compress(packed.data(), &packedSize, profile.data(), profile.size()), Z_OK);
  chunk.insert(chunk.end(), packed.begin(), packed.begin() + static_cast<ptrdiff_t>(packedSize));
  PutBe32(whole, uint32_t(chunk.size() - 4));
  whole.insert(whole.end(), chunk.begin(), chunk.end());
  PutBe32(whole, uint32_t(crc32(0, chunk.data(), uInt(chunk.size()))));
  png.insert(png.begin() + 33, whole.begin(), whole.end());  // signature 8 + IHDR 25
  return png;
}

// An RGB profile that no named colour space matches: odd primaries and a tabulated curve.
Bytes OddProfile() {
  cmsUInt16Number table[64];
  for (int i = 0; i < 64; ++i)
    table[i] = cmsUInt16Number(65535.0 * (i / 63.0) * (i / 63.0) * 0.7 + 65535.0 * 0.3 * i / 63);
  return ProfileBytes(RgbProfile({{0.66, 0.32, 1.0}, {0.22, 0.70, 1.0}, {0.15, 0.05, 1.0}},
                                 cmsBuildTabulatedToneCurve16(nullptr, 64, table)));
}

class ModernFormatTest : public LoaderTest {
 protected:
  // Writes input as inName, runs cmd on it and returns what cmd wrote to outName.
  Bytes Run(std::string cmd, const Bytes& input, const std::string& inName, const std::string& outName) {
    std::string in = Write(inName, input), out = dir_.file(outName), log;
    cmd.replace(cmd.find("{in}"), 4, ShellQuote(in));
    cmd.replace(cmd.find("{out}"), 5, ShellQuote(out));
    EXPECT_EQ(RunCommand(cmd, log, true), 0) << cmd << ": " << log;
    return ReadFile(out);
  }
  // Encodes the PNG with the format's tool; empty (and a skip message in why) when the
  // tools are missing.
  Bytes Encode(const Format& f, const Bytes& png, bool lossless, std::string& why) {
    for (const char* cmd : {f.encodeLossless, f.decoder}) {
      std::string tool(cmd, std::strchr(cmd, ' '));
      if (!HaveTool(tool)) {
        why = tool + " is not installed";
        return {};
      }
    }
    return Run(lossless ? f.encodeLossless : f.encodePlain, png, "src.png", std::string("enc.") + f.suffix);
  }
  // The reference decoder's picture of file, as a decoded PNG.
  formats::DecodedPicture Reference(const Format& f, const Bytes& file) {
    Bytes png = Run(f.decoder, file, std::string("ref.") + f.suffix, "ref.png");
    formats::DecodedPicture pic;
    EXPECT_TRUE(formats::DecodePng(png.data(), png.size(), pic)) << f.decoder;
    return pic;
  }
};

// Pixel (x, y) of a 24- or 32-bit picture as 0xAARRGGBB.
uint32_t PixelOf(const formats::DecodedPicture& pic, int x, int y) {
  const uint8_t* p = pic.pixels->pixels + (static_cast<size_t>(y) * pic.width + x) * 4;
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int s = 0; s < 32; s += 8)
    if (std::abs(int(a >> s & 255) - int(b >> s & 255)) > tolerance) return false;
  return true;
}

// Counts the pixels whose channels differ by more than tolerance (colour ignored where
// both are fully transparent); first names the first one.
int Differences(const formats::DecodedPicture& a, const formats::DecodedPicture& b, int tolerance, std::string& first) {
  int bad = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      uint32_t pa = PixelOf(a, x, y), pb = PixelOf(b, x, y);
      if ((pa | pb) >> 24 != 0 && !Near(pa, pb, tolerance) && bad++ == 0)
        first = "(" + std::to_string(x) + "," + std::to_string(y) + ")";
    }
  return bad;
}

// Overwrites the width and height of every 'ispe' box (the size the HEIF/AVIF file claims).
Bytes ClaimSize(Bytes b, uint32_t w, uint32_t h) {
  int found = 0;
  for (size_t i = 4; i + 16 <= b.size(); ++i) {
    if (std::memcmp(b.data() + i, "ispe", 4) != 0) continue;
    for (int k = 0; k < 4; ++k) b[i + 8 + k] = uint8_t(w >> (24 - 8 * k)), b[i + 12 + k] = uint8_t(h >> (24 - 8 * k));
    ++found;
  }
  EXPECT_GT(found, 0);
  return b;
}

// A bare JPEG XL codestream header: the size, then metadata left at its defaults (sRGB,
// 8 bits), and no frame.
Bytes JxlHeader(uint32_t w, uint32_t h) {
  Bytes b = {0xFF, 0x0A};
  uint64_t bits = 0;
  int n = 0;
  auto put = [&](uint64_t v, int count) {
    bits |= v << n;
    n += count;
  };
  put(0, 1);                  // not small
  put(2, 2), put(h - 1, 18);  // height: 18 bits + 1
  put(0, 3);                  // no ratio: the width follows
  put(2, 2), put(w - 1, 18);  // width
  put(1, 1);                  // all metadata default
  for (int i = 0; i < n; i += 8) b.push_back(uint8_t(bits >> i));
  b.resize(b.size() + 16, 0);
  return b;
}

// Lossless files from each tool: our decoder gives the source and the tool's own decoder's
// pixels; the opaque one is also found by content, scanned for a thumbnail and shown headless.
TEST_F(ModernFormatTest, ToolFilesMatchSourceAndReferenceEverywhere) {
  for (const Format& f : kFormats) {
    for (bool alpha : {false, true}) {
      SCOPED_TRACE(std::string(f.typeName) + (alpha ? " with alpha" : " opaque"));
      Bytes png = EncodePng(Pattern(37, 23, alpha));
      std::string why, where;
      Bytes file = Encode(f, png, true, why);
      if (!why.empty()) GTEST_SKIP() << why;
      EXPECT_TRUE(f.sniff(file.data(), std::min(file.size(), formats::kSniffBytes)));
      formats::DecodedPicture ours, source;
      ASSERT_TRUE(formats::DecodeMemory(file.data(), file.size(), ours));
      EXPECT_EQ(ours.typeName, f.typeName);
      EXPECT_EQ(ours.hasAlpha, alpha);
      EXPECT_EQ(ours.depth, alpha ? 32 : 24);
      EXPECT_TRUE(ours.iccProfile.empty()) << ours.iccProfile.size();  // none in the source
      formats::DecodedPicture ref = Reference(f, file);
      ASSERT_EQ(std::pair(ours.width, ours.height), std::pair(37, 23));
      ASSERT_EQ(std::pair(ref.width, ref.height), std::pair(37, 23));
      EXPECT_EQ(Differences(ours, ref, 1, where), 0) << "first at " << where;
      ASSERT_TRUE(formats::DecodePng(png.data(), png.size(), source));
      EXPECT_EQ(Differences(ours, source, 1, where), 0) << "first at " << where;
      if (alpha) {  // hostile copies: cut short, or claiming far more pixels than they hold
        ASSERT_GT(file.size(), 64u);
        const size_t n = file.size();
        for (size_t cut : {size_t(1), size_t(13), size_t(40), n / 4, n / 2, n * 3 / 4, n - 8}) {
          Bytes part(file.begin(), file.begin() + static_cast<ptrdiff_t>(cut));
          formats::DecodedPicture broken;
          EXPECT_FALSE(formats::DecodeMemory(part.data(), part.size(), broken)) << "cut at " << cut;
          EXPECT_FALSE(broken.pixels) << cut;
          EXPECT_FALSE(Load(std::string("cut.") + f.suffix, part)) << cut;
        }
        Bytes huge = std::string(f.typeName) == "JPEG XL" ? JxlHeader(100000, 100000) : ClaimSize(file, 100000, 100000);
        formats::DecodedPicture refused;
        EXPECT_FALSE(formats::DecodeMemory(huge.data(), huge.size(), refused));
        EXPECT_FALSE(refused.pixels);
        continue;
      }

      // A name that does not tell the format.
      std::string path = Write(std::string("picture-") + f.suffix + ".dat", file), out;
      formats::DataTypeName type = formats::GetDataTypeName(path.c_str());
      EXPECT_EQ(type.name, f.typeName);
      EXPECT_EQ(type.group, formats::kGroupPicture);
      EXPECT_TRUE(formats::IsPictureFile(path.c_str()));
      image::TexturePtr scan(formats::ReadPictureForScan(path.c_str()));
      ASSERT_TRUE(scan);
      EXPECT_EQ(scan->chunky->format, image::RGB24);
      EXPECT_EQ(formats::GetFormatName(), f.typeName);
      ASSERT_EQ(scan->chunky->width, 37);
      int bad = 0;  // the thumbnail path sees the source pixels too
      for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 37; ++x) bad += !Near(Rgb(scan.get(), x, y), PixelOf(source, x, y) & 0xFFFFFF, 1);
      EXPECT_EQ(bad, 0);
      EXPECT_EQ(RunCommand(ShellQuote(VISTALOOM_BINARY) + " --headless " + ShellQuote(path), out), 0) << out;
      EXPECT_NE(out.find("Width: 37\nHeight: 23\n"), std::string::npos) << out;
      EXPECT_NE(out.find(std::string("\nFormat: ") + f.typeName + "\n"), std::string::npos) << out;
    }
  }
}

TEST_F(ModernFormatTest, EmbeddedProfileArrivesByteForByte) {
  Bytes profile = OddProfile();
  ASSERT_GT(profile.size(), 128u);
  Bytes png = WithIccp(EncodePng(Pattern(16, 16, false)), profile);
  for (const Format& f : kFormats) {
    for (bool lossless : {false, true}) {
      // heif-enc's lossless settings describe the colour by code points instead.
      if (std::string(f.typeName) == "HEIF" && lossless) continue;
      SCOPED_TRACE(std::string(f.typeName) + (lossless ? " lossless" : " lossy"));
      std::string why;
      Bytes file = Encode(f, png, lossless, why);
      if (!why.empty()) GTEST_SKIP() << why;
      formats::DecodedPicture pic;
      ASSERT_TRUE(formats::DecodeMemory(file.data(), file.size(), pic));
      // Lossy JPEG XL keeps its pixels in the codec's own colour space; they are decoded
      // to sRGB, which needs no profile.
      if (!lossless && std::string(f.typeName) == "JPEG XL") {
        EXPECT_TRUE(pic.iccProfile.empty()) << pic.iccProfile.size();
        continue;
      }
      EXPECT_EQ(pic.iccProfile, profile);
      // And onto the Texture, where the display finds it.
      image::TexturePtr t(formats::PictureToTexture(pic, false));
      ASSERT_TRUE(t && t->iccProfile);
      EXPECT_EQ(*t->iccProfile, profile);
    }
  }
}

TEST_F(ModernFormatTest, AvifRotationAndMirrorShowUpright) {
  // libavif leaves 'irot'/'imir' to its caller; libheif (heif-convert) applies them.
  if (!HaveTool("avifenc") || !HaveTool("heif-convert")) GTEST_SKIP() << "avifenc or heif-convert missing";
  Bytes png = EncodePng(Pattern(9, 5, false));
  for (std::string transform : {"--irot 1", "--irot 2", "--irot 3", "--imir 0", "--imir 1", "--irot 1 --imir 1"}) {
    SCOPED_TRACE(transform);
    Bytes file = Run("avifenc --lossless " + transform + " {in} {out}", png, "r.png", "r.avif");
    formats::DecodedPicture ours;
    ASSERT_TRUE(formats::DecodeAvif(file.data(), file.size(), ours));
    formats::DecodedPicture ref = Reference(kFormats[0], file);
    ASSERT_EQ(std::pair(ours.width, ours.height), std::pair(ref.width, ref.height));
    bool quarter = transform.find("irot 1") != std::string::npos || transform.find("irot 3") != std::string::npos;
    EXPECT_EQ(ours.width, quarter ? 5 : 9);
    std::string where;
    EXPECT_EQ(Differences(ours, ref, 1, where), 0) << "first at " << where;
  }
}

TEST_F(ModernFormatTest, HeifPrimaryPictureAndPremultipliedAlpha) {
  if (!HaveTool("heif-enc")) GTEST_SKIP() << "heif-enc is not installed";
  // heif-enc makes the first picture the primary one; each gets a thumbnail as well.
  std::string second = Write("second.png", EncodePng(Pattern(32, 24, true)));
  Bytes file = Run("heif-enc -q 80 -t 8 {in} " + ShellQuote(second) + " -o {out}", EncodePng(Pattern(20, 14, false)),
                   "first.png", "two.heic");
  formats::DecodedPicture pic, pm;
  ASSERT_TRUE(formats::DecodeMemory(file.data(), file.size(), pic));
  EXPECT_EQ(std::tuple(pic.width, pic.height, pic.hasAlpha), std::tuple(20, 14, false));

  // Colour stored multiplied by alpha 128: (100, 50, 20) is (199, 100, 40) at half cover.
  PngSpec spec = Pattern(8, 8, true);
  for (Bytes& row : spec.rows)
    for (size_t i = 0; i < row.size(); i += 4) row[i] = 100, row[i + 1] = 50, row[i + 2] = 20, row[i + 3] = 128;
  file = Run("heif-enc -L -p chroma=444 --matrix_coefficients=0 --premultiplied-alpha {in} -o {out}", EncodePng(spec),
             "pm.png", "pm.heic");
  ASSERT_TRUE(formats::DecodeMemory(file.data(), file.size(), pm));
  ASSERT_TRUE(pm.hasAlpha);
  const uint32_t p = PixelOf(pm, 3, 3);
  EXPECT_EQ(p >> 24, 128u);
  EXPECT_TRUE(Near(p, 0x80C76428, 3)) << std::hex << p;
}

TEST(ModernFormatSniff, BrandsAndSignatures) {
  auto ftyp = [](const char* major, std::vector<const char*> compatible) {
    Bytes b;
    PutBe32(b, uint32_t(16 + 4 * compatible.size()));
    for (const char* s : {"ftyp", major}) b.insert(b.end(), s, s + 4);
    PutBe32(b, 0);
    for (const char* c : compatible) b.insert(b.end(), c, c + 4);
    b.resize(b.size() + 8, 0);
    return b;
  };
  Bytes tooSmall = ftyp("heic", {});
  tooSmall[3] = 8;
  // Each head and the decoder that owns it: the major brand wins over compatible ones.
  const std::pair<Bytes, const char*> cases[] = {
      {ftyp("heix", {}), "HEIF"},
      {ftyp("hevc", {"msf1"}), "HEIF"},
      {ftyp("mif1", {"miaf"}), "HEIF"},
      {ftyp("heic", {"avif"}), "HEIF"},
      {ftyp("mif1", {"miaf", "avif"}), "AVIF"},
      {ftyp("msf1", {"avis"}), "AVIF"},
      {ftyp("avif", {"mif1", "miaf"}), "AVIF"},
      {ftyp("avis", {"msf1"}), "AVIF"},
      {Bytes{0xFF, 0x0A, 0xFA, 0x1F}, "JPEG XL"},
      {Bytes{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0, 0}, "JPEG XL"},
      {Bytes{0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0B}, nullptr},  // damaged container
      {ftyp("isom", {"iso2", "mp41"}), nullptr},                                    // mp4 video
      {tooSmall, nullptr},
      {Bytes{0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'}, nullptr},  // short
      {Bytes{0xFF, 0xD8, 0xFF, 0xE0}, nullptr},                               // JPEG
      {Bytes{0xFF}, nullptr}};
  for (const auto& [head, want] : cases) {
    SCOPED_TRACE(::testing::PrintToString(head));
    auto is = [&](const char* name) { return want && std::strcmp(want, name) == 0; };
    EXPECT_EQ(formats::SniffHeif(head.data(), head.size()), is("HEIF"));
    EXPECT_EQ(formats::SniffAvif(head.data(), head.size()), is("AVIF"));
    EXPECT_EQ(formats::SniffJxl(head.data(), head.size()), is("JPEG XL"));
    // The table hands each to the one decoder that claims it.
    const formats::Decoder* d = formats::FindDecoder(head.data(), head.size());
    if (want) {
      ASSERT_NE(d, nullptr);
      EXPECT_STREQ(d->typeName, want);
    }
  }
}

TEST_F(ModernFormatTest, RotateMirrorMovesCorners) {
  // A 3 x 2 picture: pixel values 1..6 row by row.
  struct Case {
    int angle, mirror, w;
    std::vector<uint32_t> want;
  } cases[] = {
      {0, -1, 3, {1, 2, 3, 4, 5, 6}}, {1, -1, 2, {3, 6, 2, 5, 1, 4}},  // anticlockwise: top right to top left
      {2, -1, 3, {6, 5, 4, 3, 2, 1}}, {3, -1, 2, {4, 1, 5, 2, 6, 3}}, {0, 0, 3, {4, 5, 6, 1, 2, 3}},
      {0, 1, 3, {3, 2, 1, 6, 5, 4}},  {1, 1, 2, {6, 3, 5, 2, 4, 1}},  {1, 0, 2, {1, 4, 2, 5, 3, 6}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.angle) + " " + std::to_string(c.mirror));
    formats::DecodedPicture p;
    ASSERT_TRUE(formats::decode::AllocatePixels(p, 3, 2, 24));
    auto* px = reinterpret_cast<uint32_t*>(p.pixels->pixels);
    for (uint32_t i = 0; i < 6; ++i) px[i] = i + 1;
    ASSERT_TRUE(formats::decode::RotateMirror(p, c.angle, c.mirror));
    EXPECT_EQ(std::pair(p.width, p.height), std::pair(c.w, 6 / c.w));
    ASSERT_EQ(p.pixels->width, c.w);
    px = reinterpret_cast<uint32_t*>(p.pixels->pixels);
    EXPECT_EQ(std::vector<uint32_t>(px, px + 6), c.want);
  }
}

// A grid picture whose data names a 64495 x 65523 canvas behind a 64 x 64 'ispe' (found by
// the fuzzer: the library allocated 4 GB before checking anything). The same file with a
// 64 x 64 canvas passes the check. And the hand-made JPEG XL header that claims 100000 x 100000
// above is read as far as its size: a small one is refused only for lack of a frame.
TEST(ModernFormatCanvas, ClaimedSizesAreCheckedBeforeDecoding) {
  Bytes header = JxlHeader(8, 8);
  EXPECT_TRUE(formats::SniffJxl(header.data(), header.size()));
  formats::DecodedPicture none;
  EXPECT_FALSE(formats::DecodeJxl(header.data(), header.size(), none));

  Bytes file = test::ReadFile(std::string(VISTALOOM_SOURCE_DIR) + "/fuzz/corpus/heif/grid-canvas-4g");
  ASSERT_GT(file.size(), 0x67u);
  ASSERT_EQ(std::memcmp(file.data() + 0x5b, "idat", 4), 0);  // the grid's data: version, flags, rows, columns, size
  EXPECT_FALSE(formats::decode::HeifCanvasesAllowed(file.data(), file.size()));
  formats::DecodedPicture pic;
  EXPECT_FALSE(formats::DecodeMemory(file.data(), file.size(), pic));
  const uint8_t small[4] = {0, 64, 0, 64};
  std::memcpy(file.data() + 0x63, small, 4);
  EXPECT_TRUE(formats::decode::HeifCanvasesAllowed(file.data(), file.size()));
  file[0x60] = 1;  // 32-bit size fields: the canvas is now 0x00400040 x 0 and refused
  EXPECT_FALSE(formats::decode::HeifCanvasesAllowed(file.data(), file.size()));
}

}  // namespace
}  // namespace vl::test
