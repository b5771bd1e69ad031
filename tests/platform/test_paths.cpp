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

TEST(Assigns, AbsolutePathJoinsRelativeNamesToTheWorkingDirectory) {
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(AbsolutePath("photo.jpg"), std::string(cwd) + "/photo.jpg");
  EXPECT_EQ(AbsolutePath("/a/b.png"), "/a/b.png");
  EXPECT_EQ(AbsolutePath(""), "");
  EXPECT_EQ(AbsolutePath("T:x.png"), ResolvePath("T:x.png"));  // an assign resolves to its absolute directory
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

TEST(Assigns, ShippedDataLiesBesideTheProgramOrInTheSourceTreeForABuild) {
  TempDir t;
  // A build folder that was installed into (share/vistaloom beside its bin).
  ASSERT_TRUE(MakeDirectories(t.path() + "/b/share/vistaloom"));
  const std::string b = t.path() + "/b";
  struct Case {
    std::string exeDir, buildDir, expected;
  } cases[] = {
      {"/opt/vl/bin", "/home/u/build", "/opt/vl/share/vistaloom"},  // installed, data not checked here
      {"/usr/bin", "", "/usr/share/vistaloom"},
      {"/home/u/build", "/home/u/build", "/src/data"},  // the build's own programs
      {"/home/u/build/tests", "/home/u/build", "/src/data"},
      {"/home/u/build/", "/home/u/build/", "/src/data"},
      {"/home/u/build2", "/home/u/build", "/home/u/share/vistaloom"},  // only a common prefix
      {"/home/u/buil", "/home/u/build", "/home/u/share/vistaloom"},
      {b + "/bin", b, b + "/share/vistaloom"},  // installed inside the build folder: its own data wins
  };
  for (const Case& c : cases)
    EXPECT_EQ(ShippedDataDirectoryFor(c.exeDir, c.buildDir, "/src/data"), c.expected) << c.exeDir;
}

TEST(Assigns, ProgdirReadsTheRunningBuildsData) {
  // This test program lies in the build folder: PROGDIR: reads fall back to the source tree.
  const char* own = std::getenv("VISTALOOM_ASSIGN_PROGDIR");
  if (own && *own) GTEST_SKIP() << "PROGDIR: is set from outside";
  EXPECT_FALSE(ExecutableDirectory().empty());
  auto dirs = AssignDirectories("PROGDIR");
  ASSERT_EQ(dirs.size(), 2u);
  EXPECT_EQ(dirs[1], ShippedDataDirectory());
  struct stat st;
  EXPECT_EQ(::stat((ShippedDataDirectory() + "/samples/testcard.png").c_str(), &st), 0) << ShippedDataDirectory();
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
