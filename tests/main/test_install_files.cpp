#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "formats/decoders.h"
#include "main/install_files.h"
#include "main/options.h"
#include "script/commands.h"
#include "test_support.h"

namespace vl::main {
namespace {

using Words = std::vector<std::string>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(InstallFiles, HelpOptionsAreTheDoubleDashWords) {
  struct Case {
    std::string text;
    Words expected;
  } cases[] = {
      {"  --a  x --b-c\n  --a again", {"--a", "--b-c"}},
      {"--width N] [--height N]", {"--width", "--height"}},
      {"(--rotate 90|180|270 | --flip h|v)", {"--rotate", "--flip"}},
      {"  --              end of options", {}},
      {"a--b ---c --Upper x--y", {}},
      {"--offset-x N --9", {"--offset-x", "--9"}},
      {"", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(HelpOptions(c.text), c.expected) << c.text;
}

TEST(InstallFiles, EveryOptionOfTheHelpIsOneTheProgramTakes) {
  Words options = HelpOptions(UsageText());
  ASSERT_GE(options.size(), 10u);
  for (const std::string& o : options) {
    FrontEndOptions fe;
    std::string error;
    ParseFrontEnd({o, "value"}, fe, error);
    EXPECT_FALSE(Contains(error, "unknown option")) << o << ": " << error;
  }
  Words all = HelpOptions(FullHelpText());
  for (const char* tool : {"--batch-convert", "--thumbnailer", "--jpeg-transform", "--list", "--thumbnail-scan"}) {
    EXPECT_TRUE(IsToolWord(tool));
    EXPECT_NE(std::find(all.begin(), all.end(), tool), all.end()) << tool;
  }
}

TEST(InstallFiles, TemplateWords) {
  struct Case {
    std::string tmpl;
    Words switches, keywords;
  } cases[] = {
      {"FILE/M,FS=FULLSCREEN/S,BR=BROWSER/S,3D=3DVIEW/S",
       {"FS", "FULLSCREEN", "BR", "BROWSER", "3D", "3DVIEW"},
       {"FILE", "FS", "FULLSCREEN", "BR", "BROWSER", "3D", "3DVIEW"}},
      {"RADIUS, STRENGTH", {}, {"RADIUS", "STRENGTH"}},
      {"FILE,ALPHA/S", {"ALPHA"}, {"FILE", "ALPHA"}},
      {"ITEM/A", {}, {"ITEM"}},
      {"", {}, {}},
      {",,A=/S", {"A"}, {"A"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TemplateSwitches(c.tmpl), c.switches) << c.tmpl;
    EXPECT_EQ(TemplateKeywords(c.tmpl), c.keywords) << c.tmpl;
  }
}

TEST(InstallFiles, EveryDecoderNamesItsMimeTypes) {
  Words types = formats::DecoderMimeTypes();
  for (const formats::Decoder& d : formats::DecoderTable()) {
    ASSERT_NE(d.mimeTypes, nullptr) << d.typeName;
    EXPECT_TRUE(std::string(d.mimeTypes).rfind("image/", 0) == 0) << d.typeName;
  }
  EXPECT_GE(types.size(), formats::DecoderTable().size());
  for (const std::string& t : types) {
    EXPECT_EQ(t.rfind("image/", 0), 0u) << t;
    EXPECT_EQ(std::count(types.begin(), types.end(), t), 1) << t;
    EXPECT_EQ(t.find_first_of("; \t"), std::string::npos) << t;
  }
}

TEST(InstallFiles, DesktopEntryCarriesTheDecodersMimeTypes) {
  std::string out, error;
  EXPECT_FALSE(FillDesktopEntry("[Desktop Entry]\nMimeType=\n", out, error));
  EXPECT_TRUE(Contains(error, "@MIME_TYPES@")) << error;
  ASSERT_TRUE(FillDesktopEntry("[Desktop Entry]\nMimeType=@MIME_TYPES@\nExec=x %F\n", out, error)) << error;
  EXPECT_FALSE(Contains(out, "@"));
  EXPECT_TRUE(Contains(out, "MimeType=image/png;image/jpeg;"));
  EXPECT_TRUE(Contains(out, "image/x-portable-pixmap;\nExec=x %F\n"));
  for (const std::string& t : formats::DecoderMimeTypes()) EXPECT_TRUE(Contains(out, t + ";")) << t;
}

TEST(InstallFiles, CompletionOffersEveryOptionAndCommandWord) {
  std::string script = BashCompletion();
  // An option stands as a whole word of a word list ("--a --b").
  auto listed = [&script](const std::string& o) {
    for (const char* before : {" ", "\""})
      for (const char* after : {" ", "\""})
        if (Contains(script, before + o + after)) return true;
    return false;
  };
  for (const std::string& o : HelpOptions(FullHelpText())) EXPECT_TRUE(listed(o)) << o;
  EXPECT_FALSE(listed("--thumbnail")) << "only whole options";
  for (const script::Command& c : script::kCommands) EXPECT_TRUE(Contains(script, c.name)) << c.name;
  for (const script::Command& c : script::kStandardCommands) EXPECT_TRUE(Contains(script, c.name)) << c.name;
  EXPECT_TRUE(Contains(script, "scale) words=\"METHOD WIDTH HEIGHT RATIO BORDER BORDERCOLOR\""));
  EXPECT_TRUE(Contains(script, "--port"));
  EXPECT_TRUE(Contains(script, "complete -o filenames -F _vistaloom vistaloom\n"));
  EXPECT_TRUE(Contains(script, "complete -F _vistaloom_cmd vistaloom-cmd\n"));
}

TEST(InstallFiles, MissingDataMessageNamesTheFolder) {
  test::TempDir t;
  { std::ofstream(t.file("plain")) << "x"; }
  EXPECT_EQ(MissingDataMessageFor(t.path()), "");
  for (const std::string& dir : {t.file("gone"), t.file("plain")}) {
    std::string m = MissingDataMessageFor(dir);
    EXPECT_TRUE(Contains(m, "the data folder " + dir + " is missing")) << m;
  }
  EXPECT_TRUE(Contains(MissingDataMessageFor(""), "/proc/self/exe"));
  test::ScopedEnv own("VISTALOOM_ASSIGN_PROGDIR", t.file("gone"));
  EXPECT_EQ(MissingDataMessage(), "") << "a PROGDIR: of the user's own is not checked";
}

}  // namespace
}  // namespace vl::main
