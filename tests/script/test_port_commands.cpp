#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "platform/readargs.h"
#include "script/commands.h"

namespace vl::script {
namespace {

TEST(CommandTable, StoredOrderTemplatesAndSlotCounts) {
  const char* names[] = {"Load",        "LoadNext",      "LoadPrevious",   "ChangeDirectory", "ImageWidth",
                         "ImageHeight", "ImageName",     "ImagePath",      "SaveJPG",         "SavePNG",
                         "SaveIFF",     "ClipboardCopy", "ClipboardPaste", "Scale",           "Sharpen",
                         "Levels",      "Crop",          "Blur",           "SelectiveBlur",   "InsertText",
                         "BalanceRGB",  "BalanceHSV",    "AdjustContrast", "AdjustGamma"};
  ASSERT_EQ(kCommandCount, 24u);
  for (size_t i = 0; i < kCommandCount; ++i) {
    EXPECT_STREQ(kCommands[i].name, names[i]) << i;
    auto items = platform::ParseTemplate(kCommands[i].tmpl);
    ASSERT_TRUE(items) << kCommands[i].name;
    EXPECT_EQ(static_cast<int>(items->size()), kCommands[i].parameters) << kCommands[i].name;
  }
  EXPECT_STREQ(kCommands[14].tmpl, "RADIUS, STRENGTH");
  EXPECT_STREQ(kCommands[13].tmpl, "METHOD,WIDTH/N,HEIGHT/N,RATIO,BORDER,BORDERCOLOR");
  EXPECT_STREQ(kCommands[19].tmpl,
               "TEXT,FONT,SIZE,DIRECTION,ORIGIN,POSX,POSY,COLOR,SHADOW,SPOSX,SPOSY,SCOLOR,SSMOOTH,SINTENSITY");
  EXPECT_EQ(kCommands[19].parameters, 14);
}

// Only the lines that open, step or change directory wait for the browser's list.
TEST(CommandTable, TheCommandsThatUseTheFileList) {
  const std::pair<const char*, bool> lines[] = {
      {"Load FILE=a.jpg", true},
      {"  loadnext", true},
      {"LOADPREVIOUS", true},
      {"ChangeDirectory /tmp", true},
      {"SaveJPG FILE=x.jpg", false},
      {"Scale WIDTH=10", false},
      {"ImagePath", false},
      {"QUIT", false},
      {"", false},
      {"LoadNextOne", false},
      {"Bogus Load", false},
  };
  for (const auto& [line, uses] : lines) EXPECT_EQ(CommandPort::UsesFileList(line), uses) << '"' << line << '"';
}

// Each template parsed with a typical line of its command, by keyword and by position.
TEST(CommandTable, EveryTemplateParsesItsLines) {
  struct Case {
    const char* tmpl;
    const char* line;
    size_t slot;
    const char* text;
  };
  const Case cases[] = {
      {"FILE", "\"/tmp/my pic.jpg\"", 0, "/tmp/my pic.jpg"},
      {"PATH", "PATH=/home", 0, "/home"},
      {"FILE,QUALITY/N", "out.jpg QUALITY 80", 0, "out.jpg"},
      {"FILE,ALPHA/S", "ALPHA out.png", 0, "out.png"},
      {"METHOD,WIDTH/N,HEIGHT/N,RATIO,BORDER,BORDERCOLOR", "box RATIO 0.5", 3, "0.5"},
      {"METHOD,WIDTH/N,HEIGHT/N,RATIO,BORDER,BORDERCOLOR", "lanczos 800 600 0 1 4278190080", 5, "4278190080"},
      {"RADIUS, STRENGTH", "3 STRENGTH 40", 1, "40"},
      {"RADIUS, STRENGTH", "RADIUS=2 7", 1, "7"},
      {"MODE,LOW,HIGH,AUTO/S", "color AUTO", 0, "color"},
      {"LEFT,TOP,WIDTH,HEIGHT", "10 10 WIDTH 5000 5000", 3, "5000"},
      {"MODE,RADIUS", "MODE coloralpha RADIUS 2.5", 1, "2.5"},
      {"MODE,RADIUS,THRESHOLD", "alpha 1.0 THRESHOLD=30", 2, "30"},
      {"TEXT,FONT,SIZE,DIRECTION,ORIGIN,POSX,POSY,COLOR,SHADOW,SPOSX,SPOSY,SCOLOR,SSMOOTH,SINTENSITY",
       "\"Hello there\" FONT=Sans.ttf SIZE 20 ORIGIN rightbottom SINTENSITY 0.5", 13, "0.5"},
      {"RED,GREEN,BLUE,ALPHA", "1.0 0.5 BLUE=2", 2, "2"},
      {"HUE,SATURATION,VALUE", "HUE 90", 0, "90"},
      {"CONTRAST", "1.259", 0, "1.259"},
      {"GAMMA", "GAMMA 2.0", 0, "2.0"},
  };
  for (const Case& c : cases) {
    platform::ParsedArgs p = platform::ReadArgsLine(c.tmpl, c.line);
    ASSERT_TRUE(p.ok) << c.tmpl << " / " << c.line << ": " << p.error;
    Args a(p);
    ASSERT_NE(a.Text(c.slot), nullptr) << c.line;
    EXPECT_STREQ(a.Text(c.slot), c.text) << c.line;
  }
  platform::ParsedArgs jpg = platform::ReadArgsLine("FILE,QUALITY/N", "out.jpg QUALITY 80");
  Args ja(jpg);
  ASSERT_NE(ja.Number(1), nullptr);
  EXPECT_EQ(*ja.Number(1), 80);
  platform::ParsedArgs png = platform::ReadArgsLine("FILE,ALPHA/S", "out.png");
  EXPECT_FALSE(Args(png).Switch(1));
  EXPECT_EQ(Args(png).Text(7), nullptr) << "a slot the template does not have reads as absent";
}

TEST(Conversions, WholeNumbers) {
  EXPECT_EQ(ToWhole(nullptr), 0);
  EXPECT_EQ(ToWhole("42"), 42);
  EXPECT_EQ(ToWhole("-17px"), -17);
  EXPECT_EQ(ToWhole("+8"), 8);
  EXPECT_EQ(ToWhole("abc"), 0);
  EXPECT_EQ(ToWhole("0x10"), 0) << "decimal digits only";
  EXPECT_EQ(ToWhole("3.9"), 3);
  EXPECT_EQ(static_cast<uint32_t>(ToWhole("4278190080")), 0xFF000000u) << "a decimal colour keeps its bits";
  EXPECT_EQ(ToWhole("99999999999999999999999"), ToWhole("99999999999999999999999")) << "no overflow trap";
}

TEST(Conversions, FractionsThroughDoubleThenSingle) {
  EXPECT_EQ(ToFraction(nullptr), 0.0f);
  EXPECT_EQ(ToFraction("x1"), 0.0f);
  EXPECT_EQ(ToFraction("0.5"), 0.5f);
  EXPECT_EQ(ToFraction("2.5e1xyz"), 25.0f);
  EXPECT_EQ(ToFraction("1.259"), static_cast<float>(1.259));
  EXPECT_EQ(Hundredths(ToFraction("1.259")), 125) << "CONTRAST 1.259 acts as 1.25";
  // The product is taken in double precision: 0.29f x 100 is 28.99999.. (a single-precision
  // product would round to 29).
  EXPECT_EQ(Hundredths(ToFraction("0.29")), 28);
  EXPECT_EQ(Hundredths(ToFraction("-0.5")), -50);
  EXPECT_EQ(Hundredths(ToFraction("nan")), INT32_MIN) << "not a number becomes the most negative number";
  EXPECT_EQ(Hundredths(ToFraction("1e30")), INT32_MAX);
  EXPECT_EQ(Hundredths(ToFraction("-1e30")), INT32_MIN);
}

TEST(Conversions, ColoursWithBasePrefixes) {
  EXPECT_EQ(ToColour("0xFF00FF00"), 0xFF00FF00u);
  EXPECT_EQ(ToColour("0XffFFff"), 0x00FFFFFFu);
  EXPECT_EQ(ToColour("0777"), 0777u);
  EXPECT_EQ(ToColour("089"), 0u) << "8 is no octal digit";
  EXPECT_EQ(ToColour("16777215"), 0xFFFFFFu);
  EXPECT_EQ(ToColour("0x1FFFFFFFF"), 0xFFFFFFFFu) << "saturates past 32 bits";
  EXPECT_EQ(ToColour("garbage"), 0u);
  EXPECT_EQ(ToColour(nullptr), 0u);
}

TEST(Utf8, AcceptsWellFormedRejectsTheRest) {
  EXPECT_TRUE(IsValidUtf8("Load /tmp/f\xC3\xBCr.jpg"));
  EXPECT_TRUE(IsValidUtf8("\xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUtf8("\xC3"));              // cut short
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong '/'
  EXPECT_FALSE(IsValidUtf8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xFF"));
}

TEST(Replies, OneLineEachWay) {
  EXPECT_EQ(FormatReply(Answer(0)), "RC 0");
  EXPECT_EQ(FormatReply(Answer(640)), "RC 640");
  EXPECT_EQ(FormatReply(AnswerText(0, "a b")), "RC 0 a b");
  EXPECT_EQ(FormatReply(AnswerText(0, "two\nlines\r")), "RC 0 two?lines?");
  EXPECT_EQ(FormatReply(AnswerText(0, "")), "RC 0");
}

class PortDispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const Command& c : kCommands)
      port.SetHandler(c.name, [this, name = std::string(c.name)](const Args& a) {
        calls.push_back(name);
        last = a.Text(0) ? a.Text(0) : "(none)";
        return Answer(7);
      });
  }
  CommandPort port;
  std::vector<std::string> calls;
  std::string last;
};

TEST_F(PortDispatch, FindsCommandsAndPassesSlots) {
  Reply r = port.Execute("Load \"/tmp/a b.png\"");
  EXPECT_EQ(r.rc, 7);
  EXPECT_EQ(last, "/tmp/a b.png");
  r = port.Execute("  imagewidth  ");
  EXPECT_EQ(r.rc, 7) << "the command word is matched without regard to case";
  EXPECT_EQ(calls, (std::vector<std::string>{"Load", "ImageWidth"}));
}

TEST_F(PortDispatch, BadRequestsRunNoHandler) {
  const std::string tooLong = "Load " + std::string(kMaxLineBytes, 'x');
  struct Bad {
    std::string line;
    int rc;
  } bad[] = {
      {"Frobnicate 1 2", kRcBadArguments},
      {"", kRcBadArguments},
      {"ImageWidth extra", kRcBadArguments},
      {"SaveJPG out.jpg QUALITY high", kRcBadArguments},
      {"Scale box WIDTH", kRcBadArguments},
      {"Load \"unterminated", kRcBadArguments},
      {"Load \xC3(", kRcBadLine},
      {std::string("Load a\0b", 8), kRcBadLine},
      {tooLong, kRcBadLine},
  };
  for (const Bad& b : bad) {
    Reply r = port.Execute(b.line);
    EXPECT_EQ(r.rc, b.rc) << b.line.substr(0, 40);
    EXPECT_TRUE(r.hasText && !r.text.empty()) << "an error comes with a text";
  }
  EXPECT_TRUE(calls.empty());
  EXPECT_FALSE(port.QuitRequested());
}

TEST(StandardCommands, QuitHelpInfo) {
  CommandPort port;
  Reply help = port.Execute("HELP");
  EXPECT_EQ(help.rc, 0);
  EXPECT_EQ(help.text.find("Load FILE; LoadNext; "), 0u);
  EXPECT_NE(help.text.find("; Sharpen RADIUS, STRENGTH; "), std::string::npos);
  EXPECT_EQ(FormatReply(port.Execute("INFO TITLE")), "RC 0 Vistaloom");
  EXPECT_EQ(FormatReply(port.Execute("info version")), "RC 0 $VER: Vistaloom 0.8.5 (21.08.06)");
  EXPECT_EQ(FormatReply(port.Execute("INFO ITEM=BASE")), "RC 0 VISTALOOM");
  EXPECT_NE(port.Execute("INFO COLOUR").rc, 0);
  EXPECT_NE(port.Execute("INFO").rc, 0);
  EXPECT_FALSE(port.QuitRequested());
  EXPECT_EQ(port.Execute("QUIT").rc, 0);
  EXPECT_TRUE(port.QuitRequested());
}

TEST(StandardCommands, MissingHandlerAnswersOneWithDiagnostic) {
  CommandPort port;
  testing::internal::CaptureStdout();
  Reply r = port.Execute("InsertText hello");
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(out, "[REXX][InsertText]: not available\n");
  EXPECT_FALSE(port.SetHandler("NoSuchCommand", [](const Args&) { return Answer(0); }));
}

}  // namespace
}  // namespace vl::script

namespace vl::script {
namespace {

TEST(BusyPort, CommandsThatChangeThePictureWaitQueriesAndSavesAnswer) {
  CommandPort port;
  int ran = 0;
  for (const Command& c : kCommands)
    port.SetHandler(c.name, [&ran](const Args&) {
      ++ran;
      return Answer(0);
    });
  const char* changing[] = {"Load x",        "LoadNext",         "LoadPrevious",     "ClipboardPaste",
                            "Scale RATIO 2", "Sharpen 1 1",      "Levels",           "Crop",
                            "Blur",          "SelectiveBlur",    "InsertText a b 1", "BalanceRGB",
                            "BalanceHSV",    "AdjustContrast 2", "AdjustGamma 2"};
  const char* answering[] = {"ImageWidth", "ImageHeight", "ImageName", "ImagePath",     "SaveJPG x",
                             "SavePNG x",  "SaveIFF x",   "HELP",      "ClipboardCopy", "ChangeDirectory /"};
  port.SetBusy(true);
  for (const char* line : changing) EXPECT_EQ(FormatReply(port.Execute(line)), "RC 1 busy") << line;
  EXPECT_EQ(ran, 0);
  for (const char* line : answering) EXPECT_EQ(port.Execute(line).rc, 0) << line;
  port.SetBusy(false);
  for (const char* line : changing) EXPECT_EQ(port.Execute(line).rc, 0) << line;
  EXPECT_EQ(ran, static_cast<int>(std::size(changing) + std::size(answering)) - 1);  // HELP runs no handler
}

}  // namespace
}  // namespace vl::script
