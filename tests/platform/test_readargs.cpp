#include <gtest/gtest.h>

#include "platform/readargs.h"

namespace vl::platform {
namespace {

constexpr const char* kStart = "FILE/M,FS=FULLSCREEN/S,BR=BROWSER/S,3D=3DVIEW/S";

TEST(ReadArgs, TemplateItemsAndAliases) {
  auto items = ParseTemplate(kStart);
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 4u);
  EXPECT_TRUE((*items)[0].isMulti);
  EXPECT_EQ((*items)[1].names, (std::vector<std::string>{"FS", "FULLSCREEN"}));
  EXPECT_TRUE((*items)[3].isSwitch);
  auto blank = ParseTemplate("RADIUS, STRENGTH");
  ASSERT_TRUE(blank);
  EXPECT_EQ((*blank)[1].names.front(), "STRENGTH");
  EXPECT_TRUE(ParseTemplate("")->empty());
  EXPECT_FALSE(ParseTemplate("A,,B"));
  EXPECT_FALSE(ParseTemplate("A/Q"));
}

TEST(ReadArgs, CommandLineCases) {
  auto two = ReadArgs(kStart, {"a.jpg", "b.jpg"});
  ASSERT_TRUE(two.ok);
  EXPECT_EQ(two[0].multi, (std::vector<std::string>{"a.jpg", "b.jpg"}));
  EXPECT_FALSE(two[2].present);

  auto only3d = ReadArgs(kStart, {"3D"});
  ASSERT_TRUE(only3d.ok);
  EXPECT_TRUE(only3d[3].present);
  EXPECT_TRUE(only3d[0].multi.empty());

  auto mixed = ReadArgs(kStart, {"browser", "x.png", "fullscreen"});
  ASSERT_TRUE(mixed.ok);
  EXPECT_TRUE(mixed[1].present);
  EXPECT_TRUE(mixed[2].present);
  EXPECT_EQ(mixed[0].multi, (std::vector<std::string>{"x.png"}));

  auto none = ReadArgs(kStart, {});
  ASSERT_TRUE(none.ok);
  EXPECT_FALSE(none[2].present);

  auto unknown = ReadArgs(kStart, {"ZOOM=2", "a.jpg"});
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.error, "unknown keyword");

  auto switchValue = ReadArgs(kStart, {"BROWSER=NO"});
  EXPECT_FALSE(switchValue.ok);
}

TEST(ReadArgs, KeywordsValuesAndNumbers) {
  const char* t = "FILE,QUALITY/N";
  auto a = ReadArgs(t, {"out.jpg", "QUALITY", "80"});
  ASSERT_TRUE(a.ok);
  EXPECT_EQ(a[0].text, "out.jpg");
  EXPECT_TRUE(a[1].present);
  EXPECT_EQ(a[1].number, 80);
  auto b = ReadArgs(t, {"quality=-5", "FILE=x y.jpg"});
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b[1].number, -5);
  EXPECT_EQ(b[0].text, "x y.jpg");
  auto bad = ReadArgs(t, {"x.jpg", "QUALITY", "8O"});
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error, "bad number");
  auto huge = ReadArgs(t, {"x.jpg", "QUALITY=99999999999"});
  EXPECT_EQ(huge.error, "bad number");
  auto positionalNumber = ReadArgs(t, {"x.jpg", "75"});
  ASSERT_TRUE(positionalNumber.ok);
  EXPECT_EQ(positionalNumber[1].number, 75);
  auto tooMany = ReadArgs(t, {"x.jpg", "75", "extra"});
  EXPECT_EQ(tooMany.error, "wrong number of arguments");
  auto missingValue = ReadArgs(t, {"x.jpg", "QUALITY"});
  EXPECT_EQ(missingValue.error, "required argument missing");
}

TEST(ReadArgs, RequiredKeywordOnlyAndRest) {
  auto req = ReadArgs("FILE/A,MODE/K", {"MODE", "fast"});
  EXPECT_FALSE(req.ok);
  EXPECT_EQ(req.error, "required argument missing");
  auto kw = ReadArgs("FILE/A,MODE/K", {"MODE", "fast", "pic.png"});
  ASSERT_TRUE(kw.ok);
  EXPECT_EQ(kw[1].text, "fast");
  EXPECT_EQ(kw[0].text, "pic.png");
  auto kwNotPositional = ReadArgs("MODE/K", {"fast"});
  EXPECT_FALSE(kwNotPositional.ok);
  auto rest = ReadArgsLine("NAME,TEXT/F", "a  hello   there world");
  ASSERT_TRUE(rest.ok);
  EXPECT_EQ(rest[0].text, "a");
  EXPECT_EQ(rest[1].text, "hello   there world");
  auto multiReserve = ReadArgs("FROM/M/A,TO/A", {"a", "b", "c"});
  ASSERT_TRUE(multiReserve.ok);
  EXPECT_EQ(multiReserve[0].multi, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(multiReserve[1].text, "c");
}

TEST(ReadArgs, LinesWithQuotes) {
  auto q = ReadArgsLine("TEXT,FONT,SIZE", R"("Hello, *"world*"" FONT="My Font.ttf" 12)");
  ASSERT_TRUE(q.ok);
  EXPECT_EQ(q[0].text, "Hello, \"world\"");
  EXPECT_EQ(q[1].text, "My Font.ttf");
  EXPECT_EQ(q[2].text, "12");
  auto quotedKeyword = ReadArgsLine("FILE,ALPHA/S", R"("ALPHA")");
  ASSERT_TRUE(quotedKeyword.ok);
  EXPECT_EQ(quotedKeyword[0].text, "ALPHA");
  EXPECT_FALSE(quotedKeyword[1].present);
  auto open = ReadArgsLine("FILE", R"("never closed)");
  EXPECT_FALSE(open.ok);
  auto empty = ReadArgsLine("", "   ");
  EXPECT_TRUE(empty.ok);
  auto extra = ReadArgsLine("", "something");
  EXPECT_EQ(extra.error, "wrong number of arguments");
}

}  // namespace
}  // namespace vl::platform
