// The FreeType engine: openings, font lookup, text decoding and line pixmaps.
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "filters/text_engine.h"
#include "test_support.h"

namespace vl::filters {
namespace {

const char kDejaVu[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

class TextEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::is_regular_file(kDejaVu)) << "fonts-dejavu-core is needed";
    ASSERT_TRUE(OpenTextEngine(kTextEngineVersion));
  }
  void TearDown() override { CloseTextEngine(); }

  TTPixmapPtr Render(TTFont* font, const std::string& text) {
    return TTPixmapPtr(TT_GetPixmapA(font, text.data(), text.size()));
  }
};

uint64_t InkSum(const TTPixmap& pm) {
  uint64_t sum = 0;
  for (uint8_t v : pm.data) sum += v;
  return sum;
}

TEST(TextDecode, ValidUtf8GivesCodePoints) {
  std::string s = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  EXPECT_EQ(DecodeTextLine(s.data(), s.size()), (std::vector<uint32_t>{0x41, 0xE9, 0x20AC, 0x1F600}));
}

TEST(TextDecode, InvalidUtf8FallsBackToLatin1ForTheWholeText) {
  auto bytes = [](const std::string& s) {
    std::vector<uint32_t> v;
    for (unsigned char c : s) v.push_back(c);
    return v;
  };
  const std::string cases[] = {
      "caf\xE9",             // lone Latin-1 byte
      "\xC0\xAF",            // overlong '/'
      "\xED\xA0\x80",        // surrogate
      "\xF4\x90\x80\x80",    // above U+10FFFF
      "ok \xC3",             // truncated at the end
      "\xC3\xA9 then \xFF",  // valid start, invalid later
      "\x80",                // stray continuation byte
  };
  for (const std::string& s : cases) EXPECT_EQ(DecodeTextLine(s.data(), s.size()), bytes(s)) << s;
}

TEST(TextDecode, EmptyAndNullTexts) {
  EXPECT_TRUE(DecodeTextLine(nullptr, 5).empty());
  EXPECT_TRUE(DecodeTextLine("abc", 0).empty());
}

TEST(TextEngineOpenings, VersionsAndCounting) {
  EXPECT_FALSE(OpenTextEngine(kTextEngineVersion + 1));
  EXPECT_FALSE(TextEngineIsOpen());
  ASSERT_TRUE(OpenTextEngine(6));
  ASSERT_TRUE(OpenTextEngine(7));
  EXPECT_TRUE(TextEngineIsOpen());
  CloseTextEngine();
  EXPECT_TRUE(TextEngineIsOpen()) << "one opening is still held";
  CloseTextEngine();
  EXPECT_FALSE(TextEngineIsOpen());
  CloseTextEngine();  // an extra close is harmless
  EXPECT_FALSE(TextEngineIsOpen());
  ASSERT_TRUE(OpenTextEngine(7));
  EXPECT_TRUE(TextEngineIsOpen());
  CloseTextEngine();
}

TEST(TextEngineOpenings, NoFontWhileClosed) {
  ASSERT_FALSE(TextEngineIsOpen());
  EXPECT_EQ(TT_OpenFontA(kDejaVu, 20), nullptr);
}

TEST(TextEngineOpenings, FontsHeldPastTheCloseBecomeInert) {
  ASSERT_TRUE(OpenTextEngine(7));
  TTFontPtr font(TT_OpenFontA(kDejaVu, 20));
  ASSERT_NE(font, nullptr);
  CloseTextEngine();
  EXPECT_EQ(TT_GetPixmapA(font.get(), "x", 1), nullptr);
  font.reset();  // closing it now must not touch the ended library
  ASSERT_TRUE(OpenTextEngine(7));
  TTFontPtr again(TT_OpenFontA(kDejaVu, 20));
  ASSERT_NE(again, nullptr);
  TTPixmapPtr pm(TT_GetPixmapA(again.get(), "x", 1));
  EXPECT_NE(pm, nullptr);
  again.reset();
  CloseTextEngine();
}

TEST(FontLookup, PlainPaths) {
  EXPECT_EQ(ResolveFontPath(kDejaVu), kDejaVu);
  EXPECT_EQ(ResolveFontPath("/nonexistent/dir/Arial.ttf"), "") << "a plain path gets no substitute";
  EXPECT_EQ(ResolveFontPath("/usr/share/fonts"), "") << "a directory is no font";
  EXPECT_EQ(ResolveFontPath(""), "");
  EXPECT_EQ(ResolveFontPath(std::string(kDejaVu) + std::string(1, '\0') + "x"), "");
}

TEST(FontLookup, AssignNamesUseTheFontDirectories) {
  test::TempDir dir;
  ASSERT_TRUE(std::filesystem::create_directories(dir.path() + "/_truetype"));
  std::filesystem::copy_file(kDejaVu, dir.path() + "/_truetype/Arial.ttf");
  test::ScopedEnv fonts("VISTALOOM_ASSIGN_FONTS", dir.path());
  EXPECT_EQ(ResolveFontPath("FONTS:_truetype/Arial.ttf"), dir.path() + "/_truetype/Arial.ttf");
  EXPECT_EQ(ResolveFontPath("fonts:_truetype/Arial.ttf"), dir.path() + "/_truetype/Arial.ttf");
}

TEST(FontLookup, MissingFontsNamesFallBackByFamily) {
  test::TempDir empty;
  test::ScopedEnv fonts("VISTALOOM_ASSIGN_FONTS", empty.path());
  std::string dejavu = ResolveFontPath("FONTS:_truetype/DejaVuSans.ttf");
  EXPECT_EQ(std::filesystem::path(dejavu).filename(), "DejaVuSans.ttf") << dejavu;
  std::string arial = ResolveFontPath("FONTS:_truetype/Arial.ttf");
  EXPECT_TRUE(std::filesystem::is_regular_file(arial)) << "fontconfig always has a closest face: " << arial;
}

TEST(FontLookup, InstalledFontsAreTheTrueTypeFilesSortedOnce) {
  const std::vector<InstalledFont> fonts = InstalledFonts();
  ASSERT_FALSE(fonts.empty());
  bool dejavu = false;
  for (size_t i = 0; i < fonts.size(); ++i) {
    const InstalledFont& f = fonts[i];
    EXPECT_EQ(std::filesystem::path(f.file).extension(), ".ttf") << f.file;
    EXPECT_FALSE(f.name.empty());
    if (i > 0) {
      EXPECT_LE(fonts[i - 1].name, f.name);
    }
    for (size_t j = 0; j < i; ++j) EXPECT_NE(fonts[j].file, f.file);
    if (f.file == kDejaVu) {
      dejavu = true;
      EXPECT_EQ(f.name, "DejaVu Sans Book");
    }
  }
  EXPECT_TRUE(dejavu);
}

TEST(FontLookup, OtherAssignsGetNoSubstitute) {
  test::TempDir empty;
  test::ScopedEnv t("VISTALOOM_ASSIGN_T", empty.path());
  EXPECT_EQ(ResolveFontPath("T:DejaVuSans.ttf"), "");
}

TEST_F(TextEngineTest, BadFontFilesAndSizesAreRefused) {
  test::TempDir dir;
  ASSERT_TRUE(test::WriteFile(dir.file("junk.ttf"), std::string(4096, 'x')));
  ASSERT_TRUE(test::WriteFile(dir.file("empty.ttf"), std::string()));
  ASSERT_EQ(::mkfifo(dir.file("pipe.ttf").c_str(), 0600), 0);
  EXPECT_EQ(TT_OpenFontA(dir.file("junk.ttf"), 20), nullptr);
  EXPECT_EQ(TT_OpenFontA(dir.file("empty.ttf"), 20), nullptr);
  EXPECT_EQ(TT_OpenFontA(dir.file("pipe.ttf"), 20), nullptr) << "a pipe must not be read";
  EXPECT_EQ(TT_OpenFontA(dir.file("missing.ttf"), 20), nullptr);
  EXPECT_EQ(TT_OpenFontA(kDejaVu, 0), nullptr);
  EXPECT_EQ(TT_OpenFontA(kDejaVu, -5), nullptr);
  EXPECT_EQ(TT_OpenFontA(kDejaVu, kMaxFontPixelSize + 1), nullptr);
  TTFontPtr ok(TT_OpenFontA(kDejaVu, kMaxFontPixelSize));
  EXPECT_NE(ok, nullptr);
}

TEST_F(TextEngineTest, TruncatedFontFileIsRefused) {
  test::TempDir dir;
  std::vector<uint8_t> font = test::ReadFile(kDejaVu);
  ASSERT_GT(font.size(), 1000u);
  font.resize(600);
  ASSERT_TRUE(test::WriteFile(dir.file("cut.ttf"), font));
  TTFontPtr cut(TT_OpenFontA(dir.file("cut.ttf"), 20));
  EXPECT_EQ(cut, nullptr);
}

TEST_F(TextEngineTest, LinesShareTheFaceHeightAndBaseline) {
  TTFontPtr font(TT_OpenFontA(kDejaVu, 40));
  ASSERT_NE(font, nullptr);
  TTPixmapPtr a = Render(font.get(), "a");
  TTPixmapPtr tall = Render(font.get(), "gj\xC3\x85Hy");
  TTPixmapPtr dots = Render(font.get(), "...");
  ASSERT_TRUE(a && tall && dots);
  EXPECT_EQ(a->height, tall->height);
  EXPECT_EQ(a->height, dots->height);
  EXPECT_GE(a->height, 40);
  EXPECT_LT(a->height, 60);
  EXPECT_GT(tall->width, a->width);
  EXPECT_EQ(a->data.size(), static_cast<size_t>(a->width) * a->height);
  // The dots sit on the baseline: their ink lies in the lower half, far below the top.
  int firstInkRow = -1;
  for (int y = 0; y < dots->height && firstInkRow < 0; ++y)
    for (int x = 0; x < dots->width; ++x)
      if (dots->data[y * dots->width + x]) {
        firstInkRow = y;
        break;
      }
  EXPECT_GT(firstInkRow, dots->height / 2);
}

TEST_F(TextEngineTest, AccentsAboveCapitalsAreNotCut) {
  // The default name falls back to whatever sans face is installed; some give their capital
  // height as ascender, and the ring of the capital A must still be drawn.
  for (const char* name : {kDejaVu, "FONTS:_truetype/Arial.ttf"}) {
    TTFontPtr font(TT_OpenFontA(name, 40));
    ASSERT_NE(font, nullptr) << name;
    TTPixmapPtr plain = Render(font.get(), "A");
    TTPixmapPtr ring = Render(font.get(), "\xC3\x85");
    ASSERT_TRUE(plain && ring);
    EXPECT_GT(InkSum(*ring), InkSum(*plain) * 11 / 10) << name << " resolved to " << ResolveFontPath(name);
    uint64_t topRow = 0;
    for (int x = 0; x < ring->width; ++x) topRow += ring->data[x];
    EXPECT_EQ(topRow, 0u) << name << ": the ring ends below the top of the pixmap";
  }
}

TEST_F(TextEngineTest, CoverageIsAntiAliased) {
  TTFontPtr font(TT_OpenFontA(kDejaVu, 30));
  ASSERT_NE(font, nullptr);
  TTPixmapPtr pm = Render(font.get(), "O");
  ASSERT_NE(pm, nullptr);
  bool full = false, partial = false;
  for (uint8_t v : pm->data) {
    full |= v == 255;
    partial |= v > 0 && v < 255;
  }
  EXPECT_TRUE(full);
  EXPECT_TRUE(partial);
}

TEST_F(TextEngineTest, KerningPullsPairsTogether) {
  TTFontPtr font(TT_OpenFontA(kDejaVu, 60));
  ASSERT_NE(font, nullptr);
  TTPixmapPtr av = Render(font.get(), "AV");
  TTPixmapPtr a = Render(font.get(), "A");
  TTPixmapPtr v = Render(font.get(), "V");
  ASSERT_TRUE(av && a && v);
  EXPECT_LT(av->width, a->width + v->width - 1);
}

TEST_F(TextEngineTest, Latin1FallbackDrawsTheSameGlyphs) {
  TTFontPtr font(TT_OpenFontA(kDejaVu, 24));
  ASSERT_NE(font, nullptr);
  TTPixmapPtr utf8 = Render(font.get(), "caf\xC3\xA9");
  TTPixmapPtr latin1 = Render(font.get(), "caf\xE9");
  ASSERT_TRUE(utf8 && latin1);
  EXPECT_EQ(utf8->width, latin1->width);
  EXPECT_EQ(utf8->height, latin1->height);
  EXPECT_EQ(utf8->data, latin1->data);
  TTPixmapPtr plain = Render(font.get(), "cafe");
  ASSERT_NE(plain, nullptr);
  EXPECT_NE(plain->data, utf8->data) << "the accent is drawn";
}

TEST_F(TextEngineTest, NothingToDraw) {
  TTFontPtr font(TT_OpenFontA(kDejaVu, 24));
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(TT_GetPixmapA(font.get(), "", 0), nullptr);
  EXPECT_EQ(TT_GetPixmapA(font.get(), nullptr, 3), nullptr);
  EXPECT_EQ(TT_GetPixmapA(nullptr, "abc", 3), nullptr);
  TTPixmapPtr space = Render(font.get(), " ");
  ASSERT_NE(space, nullptr) << "a space has an advance";
  EXPECT_GT(space->width, 0);
  EXPECT_EQ(InkSum(*space), 0u);
}

TEST_F(TextEngineTest, OversizedLinesAreRefused) {
  TTFontPtr font(TT_OpenFontA(kDejaVu, kMaxFontPixelSize));
  ASSERT_NE(font, nullptr);
  std::string line(60000, 'W');
  EXPECT_EQ(TT_GetPixmapA(font.get(), line.data(), line.size()), nullptr);
}

TEST_F(TextEngineTest, InkLeftOfThePenIsKept) {
  // 'j' reaches left of its pen position: the pixmap widens instead of clipping it, so the
  // glyph alone has as much ink as after a space that leaves room for the overhang.
  TTFontPtr font(TT_OpenFontA(kDejaVu, 60));
  ASSERT_NE(font, nullptr);
  TTPixmapPtr alone = Render(font.get(), "j");
  TTPixmapPtr spaced = Render(font.get(), " j");
  ASSERT_TRUE(alone && spaced);
  uint64_t firstColumn = 0;
  for (int y = 0; y < alone->height; ++y) firstColumn += alone->data[y * alone->width];
  EXPECT_GT(firstColumn, 0u) << "the hook starts in the first column";
  EXPECT_EQ(InkSum(*alone), InkSum(*spaced));
}

}  // namespace
}  // namespace vl::filters
