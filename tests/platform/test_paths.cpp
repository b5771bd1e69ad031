#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "platform/paths.h"
#include "test_support.h"

namespace vl::platform {
namespace {

using vl::test::ScopedEnv;
using vl::test::TempDir;

TEST(Assigns, ResolveKnownNamesCaseInsensitivelyAndLeaveOthers) {
  TempDir t;
  ScopedEnv e("VISTALOOM_ASSIGN_ENVARC", t.path());
  EXPECT_EQ(ResolvePath("ENVARC:Vistaloom.config"), t.path() + "/Vistaloom.config");
  EXPECT_EQ(ResolvePath("envarc:sys/def_tool.info"), t.path() + "/sys/def_tool.info");
  EXPECT_EQ(ResolvePath("ENVARC:"), t.path());
  EXPECT_EQ(ResolvePath("/home/u/a:b.jpg"), "/home/u/a:b.jpg");
  EXPECT_EQ(ResolvePath("photo:1.jpg"), "photo:1.jpg") << "unknown assign stays a Linux name";
  EXPECT_EQ(ResolvePath("dir/ENV:x"), "dir/ENV:x");
  EXPECT_TRUE(HasAssign("t:VLTemp.jpg"));
  EXPECT_FALSE(HasAssign("x.jpg"));
}

TEST(Assigns, DefaultsFollowTheEnvironment) {
  TempDir t;
  ScopedEnv rt("XDG_RUNTIME_DIR", t.path());
  ScopedEnv tmp("TMPDIR", t.path() + "/tmp");
  ScopedEnv cfg("XDG_CONFIG_HOME", t.path() + "/cfg");
  EXPECT_EQ(ResolvePath("T:VLTemp.jpg"), t.path() + "/tmp/VLTemp.jpg");
  EXPECT_EQ(ResolvePath("ENVARC:a"), t.path() + "/cfg/vistaloom/a");
  EXPECT_EQ(ResolvePath("ENV:Vistaloom.config"), t.path() + "/vistaloom/env/Vistaloom.config");
  EXPECT_EQ(ResolvePath("CLIPS:0"), t.path() + "/vistaloom/clips/0");
  struct stat st;
  ASSERT_EQ(::stat((t.path() + "/vistaloom").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(Assigns, PrivateRuntimeDirectoryWithoutXdgRuntimeDir) {
  const char* old = std::getenv("XDG_RUNTIME_DIR");
  std::string saved = old ? old : "";
  ::unsetenv("XDG_RUNTIME_DIR");
  std::string dir = RuntimeDirectory();
  if (old) ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir, "/tmp/vistaloom-" + std::to_string(::getuid()));
  struct stat st;
  ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(Assigns, EnvIsSeededFromEnvarc) {
  TempDir t;
  ScopedEnv env("VISTALOOM_ASSIGN_ENV", t.path() + "/env");
  ScopedEnv arc("VISTALOOM_ASSIGN_ENVARC", t.path() + "/arc");
  ASSERT_TRUE(MakeDirectories(t.path() + "/arc"));
  { std::ofstream(t.path() + "/arc/Vistaloom.config") << "saved"; }
  std::string p = ResolveForRead("ENV:Vistaloom.config");
  EXPECT_EQ(p, t.path() + "/env/Vistaloom.config");
  std::ifstream f(p);
  std::string content;
  f >> content;
  EXPECT_EQ(content, "saved");
  EXPECT_EQ(ResolveForRead("ENV:missing"), t.path() + "/env/missing");
}

TEST(Assigns, ProgdirReadsFallBackToShippedData) {
  TempDir t;
  ScopedEnv e("VISTALOOM_ASSIGN_PROGDIR", t.path() + "/write:" + t.path() + "/ship");
  ASSERT_TRUE(MakeDirectories(t.path() + "/ship/icon_templates"));
  { std::ofstream(t.path() + "/ship/icon_templates/a.png") << "x"; }
  EXPECT_EQ(ResolvePath("PROGDIR:icon_templates/a.png"), t.path() + "/write/icon_templates/a.png");
  EXPECT_EQ(ResolveForRead("PROGDIR:icon_templates/a.png"), t.path() + "/ship/icon_templates/a.png");
}

TEST(PathParts, FilePartPathPartAddPart) {
  EXPECT_EQ(FilePart("/home/u/pic.jpg"), "pic.jpg");
  EXPECT_EQ(FilePart("pic.jpg"), "pic.jpg");
  EXPECT_EQ(FilePart("dir/"), "");
  EXPECT_EQ(PathPart("/home/u/pic.jpg"), "/home/u");
  EXPECT_EQ(PathPart("/pic.jpg"), "/");
  EXPECT_EQ(PathPart("pic.jpg"), "");
  std::string d = "/home/u";
  EXPECT_TRUE(AddPart(d, "pic.jpg"));
  EXPECT_EQ(d, "/home/u/pic.jpg");
  d = "/home/u/";
  EXPECT_TRUE(AddPart(d, "x"));
  EXPECT_EQ(d, "/home/u/x");
  d = "/home";
  EXPECT_TRUE(AddPart(d, "/etc/x"));
  EXPECT_EQ(d, "/etc/x");
  d = "/a";
  EXPECT_FALSE(AddPart(d, std::string(2000, 'n'), 1023));
  EXPECT_EQ(d, "/a") << "a failed AddPart leaves the destination alone";
}

}  // namespace
}  // namespace vl::platform
